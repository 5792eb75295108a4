// Internal view of the dictionary search, for the library's own code and
// white-box tests.
#ifndef QUARVEL_SRC_VERIFY_SEARCH_INTERNAL_H_
#define QUARVEL_SRC_VERIFY_SEARCH_INTERNAL_H_

#include <array>
#include <cstddef>

namespace quarvel::search {

// Number of entries of the rule table, not counting its terminating NULL.
inline constexpr size_t kRuleTableEntries = 361;

// The rules tried on every word, in order, ended by NULL.
extern const std::array<const char *, kRuleTableEntries + 1> r_destructors;

// The search's own settings, changed only through SetPostFixCnt,
// SetPreFixCnt and SetUseReverse. USEREVERSE here is the search's switch,
// distinct from the configuration setting ::USEREVERSE.
extern int POSTFIXCNT;
extern int PREFIXCNT;
extern int USEREVERSE;

// While one of these lives, the candidates that the rules make of a word
// are kept from one DictFindPW to the next, for a verification that searches
// the same word in several dictionaries; they are wiped when the last one
// goes. Callers hold the library's lock meanwhile.
class CandidateBatch {
 public:
  CandidateBatch();
  ~CandidateBatch();
  CandidateBatch(const CandidateBatch &) = delete;
  CandidateBatch &operator=(const CandidateBatch &) = delete;
};

}  // namespace quarvel::search

#endif  // QUARVEL_SRC_VERIFY_SEARCH_INTERNAL_H_
