// The process-wide state of the specified functions, in one place: the
// settings with their values before the first environment load, the texts
// the dictionary slots refer to, the configuration object, the search's
// switches, the locks, and the scoring tables the library exports. (The word
// store keeps its own: PWOpen's one descriptor, its decoded-dictionary cache,
// GetPW's block area and the rule functions' result areas.)

#include "engine/scoring_tables.h"
#include "quarvel/pwanalysis.h"
#include "search/rule_table.h"
#include "verify/api_lock.h"
#include "verify/pwanalysis_internal.h"

#include <shared_mutex>
#include <string>

// Settings: their values before the first environment load.

extern "C" {
int MINLEN = 6;
int MINDIFF = 4;
int MINSTEP = 3;
int MINREPT = 3;
int POSTFIXNUM = 2;
int PREFIXNUM = 1;
int USEPOSTFIXNUM = 1;
int USEPREFIXNUM = 0;
int USEREVERSE = 0;
int USEMINREPT = 0;
int USEPROFILE = 0;
int DELORGFILE = 0;
int USE_DICT_CNT = 1;
const char *dict[8] = {};
}

namespace quarvel::verify {
gcfg *cfg = nullptr;
std::string slot_texts[8];
std::vector<BreachList> breach_lists;
uint64_t breach_min_count = 1;
std::shared_mutex state_lock;
}  // namespace quarvel::verify

namespace quarvel::search {
int suffix_numbers = 0;
int prefix_numbers = 0;
int reverse_passes = 0;
int EXTENDED = 0;
}  // namespace quarvel::search

pthread_mutex_t quarvel::ApiLock::mutex_ = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

// The library reads its own copies of the scoring tables (engine/scoring_tables.h),
// so a host program that defines symbols of the same names cannot change how
// passwords are graded.
extern "C" const int nLevel[50][4] = {QUARVEL_LEVEL_ROWS};
extern "C" const int nRange[4][2] = {QUARVEL_RANGES};
extern "C" const char numberal[] = QUARVEL_DIGITS;
extern "C" const char lowercase[] = QUARVEL_LOWER;
extern "C" const char uppercase[] = QUARVEL_UPPER;
extern "C" const char simbol[] = QUARVEL_SYMBOLS;
