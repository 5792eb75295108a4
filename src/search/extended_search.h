// The extended search profile (quarvel_search.extended=1): what people do
// to a word to make a password, undone. It runs in a dictionary after the
// rule table, the reversed passes and the numeric affixes found nothing
// there, and tries, in this order:
//   - the password with what people add around a word cut from either end
//     (up to four digits, a year, a date, a tail of symbols, a digit or
//     symbol walk; see ReadAffix), each remaining piece read as letters
//     (the wider leet alphabet of leet.h, with its ambiguities), as it is,
//     reversed, and as one half when it is a word written twice;
//   - a stored word of at least 5 characters that makes at least half of
//     the password, anywhere inside it, as written and read as letters.
// The candidates are made once per check, at the first dictionary that
// needs them, and serve every dictionary; there are at most
// kMaxExtendedCandidates of them, most likely first, so a check costs at
// most that many more lookups per dictionary whatever the password.
//
// Patterns that are no dictionary lookup (keyboard walks, sequences, runs,
// dates) are looked for once per check by FindPattern.
#ifndef QUARVEL_SRC_SEARCH_EXTENDED_SEARCH_H_
#define QUARVEL_SRC_SEARCH_EXTENDED_SEARCH_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "search/candidates.h"
#include "search/explanation.h"
#include "search/leet.h"
#include "search/patterns.h"

namespace quarvel::engine {

inline constexpr size_t kMaxExtendedCandidates = 512;

struct ExtendedCandidate {
  enum Kind : uint8_t { kCut, kInside } kind;
  uint8_t head;  // characters of the searched text before the piece
  uint8_t tail;  // characters after it
  bool reversed;
  bool doubled;    // the piece was the word written twice
  uint8_t length;  // of text
  uint8_t substitution_count;
  Substitution substitutions[kMaxSubstitutions];
  char text[kMaxCandidate + 1];
};

struct ExtendedHit {
  int index = -1;  // the candidate that was found
  char word[kMaxCandidate + 1] = {};
};

class ExtendedSearch {
 public:
  // text: the searched form of the password (lower-cased, trailing blanks
  // gone), at most 256 characters. Nothing is made before the first Run.
  explicit ExtendedSearch(std::string_view text);
  ~ExtendedSearch();
  ExtendedSearch(const ExtendedSearch &) = delete;
  ExtendedSearch &operator=(const ExtendedSearch &) = delete;

  // Searches the dictionary behind contains (as WordSearch::Run) with the
  // first limit candidates, the most likely.
  template <typename Contains>
  bool Run(Contains &&contains, ExtendedHit *hit, size_t limit = kMaxExtendedCandidates) {
    if (!made_) Make();
    return FirstStored(std::span<const ExtendedCandidate>(items_.get(), std::min(count_, limit)),
                       contains, hit);
  }

  // True when the whole text is a keyboard walk, a sequence, a run, a date
  // or up to three such pieces (see ReadPattern); appends their steps to out.
  bool FindPattern(Steps *out) const;

  // Appends the steps that turned the password into the word of hit to out:
  // the reversal, the readings, the repetition, what was cut.
  void Describe(const ExtendedHit &hit, Steps *out) const;

  // Fills out's word, rule (":"), QUARVEL_VARIANT_* bits and steps from hit;
  // case_step: CaseChangeStep of the password, 0 for none.
  void Explain(const ExtendedHit &hit, int case_step, Explanation *out) const;

  // The QUARVEL_VARIANT_* bits of hit (QUARVEL_VARIANT_EXTENDED among them).
  unsigned Variants(const ExtendedHit &hit) const;

  size_t candidate_count() const { return count_; }

 private:
  class Collector;
  void Make();
  bool Add(const ExtendedCandidate &candidate);

  char text_[257];
  size_t length_;
  bool made_ = false;
  std::unique_ptr<ExtendedCandidate[]> items_;
  std::unique_ptr<uint16_t[]> table_;  // open addressing over items_: index + 1
  size_t count_ = 0;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_SEARCH_EXTENDED_SEARCH_H_
