// Internal view of the dictionary search, for the library's own code and
// white-box tests.
#ifndef QUARVEL_SRC_SEARCH_RULE_TABLE_H_
#define QUARVEL_SRC_SEARCH_RULE_TABLE_H_

#include <array>
#include <cstddef>

namespace quarvel::engine {
struct SearchSettings;
}

namespace quarvel::search {

// Number of entries of the rule table, not counting its terminating NULL.
inline constexpr size_t kRuleTableEntries = 361;

// The rules tried on every word, in order, ended by NULL.
extern const std::array<const char *, kRuleTableEntries + 1> kRuleTable;

// The search's own settings for the specified functions (DictFindPW,
// VerifyPW), changed only through SetPostFixCnt, SetPreFixCnt and
// SetUseReverse (and read and written as atomics): the numbers tried after
// and before a word (0, 10 or 100), and the reversed passes (non-zero: on;
// its value is traced). reverse_passes is distinct from the configuration
// setting ::USEREVERSE, which only says whether a load switches it on.
extern int suffix_numbers;
extern int prefix_numbers;
extern int reverse_passes;

// The extended search profile (quarvel_search.extended), set by each
// environment load and read by VerifyPW; DictFindPW does not use it.
extern int EXTENDED;

// The switches above, read once for a search.
engine::SearchSettings CurrentSettings();

}  // namespace quarvel::search

#endif  // QUARVEL_SRC_SEARCH_RULE_TABLE_H_
