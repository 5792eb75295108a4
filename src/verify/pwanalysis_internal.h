// Internal view of the verification settings, for the library's own code and
// white-box tests.
#ifndef QUARVEL_SRC_VERIFY_PWANALYSIS_INTERNAL_H_
#define QUARVEL_SRC_VERIFY_PWANALYSIS_INTERNAL_H_

#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "quarvel/gconfig.h"
#include "store/hash_dict.h"

namespace quarvel::verify {

// The configuration object of the last environment load, or NULL before the
// first. Scoring refuses to run without one.
extern gcfg *cfg;

// The texts the dictionary slots (dict[1..7]) point to: the library's own
// copies, so the configuration object they came from can be released at the
// next load.
extern std::string slot_texts[8];

// The hashed leaked-password lists of the last environment load
// ([QUARVEL_BREACH]), in number order, and the fewest occurrences that
// count. Empty when none is configured: verification is then exactly as
// without them.
struct BreachList {
  int number = 1;
  std::string prefix;  // as configured
  std::shared_ptr<const HashDict> list;
};
extern std::vector<BreachList> breach_lists;
extern uint64_t breach_min_count;

// Verification and the dictionary search read the settings and the slots
// under a shared hold of this lock; loading the environment, and changing
// USEPROFILE after a build or a deletion, hold it exclusively. A build
// holds it only for that last step, so verification never waits for one.
extern std::shared_mutex state_lock;

// Prefix of the personal dictionary.
inline constexpr const char kProfilePrefix[] = "./dicts/profile";

// True when a dictionary opens for reading; reports on standard error why
// it does not, as PWOpen does.
bool DictionaryOpens(const char *prefix);

// The same, saying nothing.
bool DictionaryOpensSilently(const char *prefix);

// CreateDict sorts a word list in memory while it takes at most this many
// bytes there, and in sorted runs beyond (1 GiB unless a test lowers it).
uint64_t CreateDictMemoryBudget();
void SetCreateDictMemoryBudget(uint64_t bytes);

}  // namespace quarvel::verify

// The preparation state of a dictionary build, between the steps of one call
// of SortFile: the word list's text, and the offsets of its words.
extern "C" {
extern char *buf;
extern int32_t *offsets;
extern int32_t off_size;
extern int32_t off_idx;
}

#endif  // QUARVEL_SRC_VERIFY_PWANALYSIS_INTERNAL_H_
