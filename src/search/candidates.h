// The candidates that the rule table makes of one word, in the table's
// order, keeping only those a dictionary can hold (at most 31 bytes).
#ifndef QUARVEL_SRC_SEARCH_CANDIDATES_H_
#define QUARVEL_SRC_SEARCH_CANDIDATES_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "quarvel/dictmanger.h"
#include "search/rule_table.h"

namespace quarvel::engine {

inline constexpr size_t kMaxCandidate = PACKED_DICT_MAX_WORD;

struct Candidate {
  uint16_t rule;                 // index in the rule table
  char text[kMaxCandidate + 1];  // NUL-terminated
};

// Lives on the stack of one check: no allocation, wiped when it goes.
class CandidateSet {
 public:
  CandidateSet() = default;
  ~CandidateSet() { Wipe(); }
  CandidateSet(const CandidateSet &) = delete;
  CandidateSet &operator=(const CandidateSet &) = delete;

  // Runs the rules over word (NUL-terminated, at most 256 characters).
  void Make(const char *word);
  void Wipe();

  std::span<const Candidate> items() const { return {items_.data(), count_}; }

 private:
  std::array<Candidate, search::kRuleTableEntries> items_;
  size_t count_ = 0;
};

// Asks contains about the text of each item in order; the first stored one
// fills hit's index and word (a candidate of kMaxCandidate bytes at most).
template <typename Item, typename Found, typename Contains>
bool FirstStored(std::span<const Item> items, Contains &contains, Found *hit) {
  for (size_t i = 0; i < items.size(); ++i) {
    if (contains(static_cast<const char *>(items[i].text))) {
      hit->index = static_cast<int>(i);
      std::memcpy(hit->word, items[i].text, sizeof(hit->word));
      return true;
    }
  }
  return false;
}

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_SEARCH_CANDIDATES_H_
