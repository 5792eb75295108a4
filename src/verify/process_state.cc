// The process-wide state of the specified functions: the settings with their
// values before the first environment load, the texts the dictionary slots
// point to, the configuration object, the snapshot LoadConfigFile published,
// the search's switches, the locks, and the scoring tables the library
// exports. The word store keeps its own (PWOpen's one descriptor, GetPW's
// block area), and so do the rules (their result areas).

#include <atomic>
#include <mutex>
#include <set>
#include <string>

#include "engine/scoring_tables.h"
#include "quarvel/pwanalysis.h"
#include "search/rule_table.h"
#include "verify/api_lock.h"
#include "verify/pwanalysis_internal.h"

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
constinit WriterFirstLock personal_dictionary_lock;

namespace {

// Node-based: a text's copy never moves.
std::set<std::string, std::less<>> g_slot_texts;
std::mutex g_slot_texts_mutex;

// Made at the first load and never destroyed: checks in other threads may
// still run while the process exits.
std::mutex g_environment_mutex;
engine::Environment *g_environment = nullptr;
std::atomic<const engine::Environment *> g_environment_view{nullptr};

}  // namespace

const char *SlotText(std::string_view text) {
  std::lock_guard lock(g_slot_texts_mutex);
  auto it = g_slot_texts.find(text);
  if (it == g_slot_texts.end()) it = g_slot_texts.emplace(text).first;
  return it->c_str();
}

const engine::Environment *ProcessEnvironment() {
  return g_environment_view.load(std::memory_order_acquire);
}

void PublishProcessSnapshot(std::shared_ptr<const engine::Snapshot> snapshot) {
  std::lock_guard lock(g_environment_mutex);
  if (g_environment != nullptr) {
    g_environment->Publish(std::move(snapshot));
    return;
  }
  g_environment = engine::Environment::Published(std::move(snapshot)).release();
  g_environment_view.store(g_environment, std::memory_order_release);
}

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
