// The variant search of one word in dictionaries: the rule table over the
// word, the same over the reversed word, then numbers after and before it.
// The first hit ends a search. The candidates are made once per word and
// serve every dictionary the word is searched in.
#ifndef QUARVEL_SRC_SEARCH_WORD_SEARCH_H_
#define QUARVEL_SRC_SEARCH_WORD_SEARCH_H_

#include <cstddef>
#include <string_view>

#include "search/candidates.h"
#include "search/explanation.h"
#include "search/trace_line.h"

namespace quarvel::engine {

// The search's switches.
struct SearchSettings {
  int suffix_numbers = 0;  // 0, 10 or 100 numbers tried after the word
  int prefix_numbers = 0;  // the same before it
  int reverse = 0;         // non-zero: reversed passes (its value is traced)
};

// Where and how a search found the word.
struct Hit {
  enum Pass { kRules, kReversedRules, kSuffix, kPrefix } pass = kRules;
  int rule = 0;                       // kRules, kReversedRules: index in the rule table
  bool affix_reversed = false;        // kSuffix, kPrefix: the affixed word, reversed
  char affix[3] = {};                 // kSuffix, kPrefix: the number's digits
  char word[kMaxCandidate + 1] = {};  // the stored word that matched
};

// Fills out's rule, affix, word, QUARVEL_VARIANT_* bits and steps from hit;
// lowercased: the word searched had its upper-case letters lowered.
void ExplainHit(const Hit &hit, bool lowercased, Explanation *out);

// Longest part of a word that is searched.
inline constexpr size_t kSearchedLength = 256;

class WordSearch {
 public:
  // word: the text searched, cut to its first 256 characters.
  WordSearch(std::string_view word, const SearchSettings &settings);
  ~WordSearch();
  WordSearch(const WordSearch &) = delete;
  WordSearch &operator=(const WordSearch &) = delete;

  // Searches the dictionary behind contains (a callable answering whether a
  // NUL-terminated candidate is stored); traces the passes it starts.
  template <typename Contains>
  bool Run(Contains &&contains, const TraceSink &trace, Hit *hit) {
    if (RulePass(forward_, contains, hit)) return true;
    if (settings_.reverse != 0) {
      TraceLine(trace) << "[INFO]USEREVERSE[" << settings_.reverse << "]";
      if (!reversed_made_) {
        reversed_.Make(reversed_word_);
        reversed_made_ = true;
      }
      if (RulePass(reversed_, contains, hit)) {
        if (hit) hit->pass = Hit::kReversedRules;
        return true;
      }
    }
    if (settings_.suffix_numbers != 0) {
      TraceLine(trace) << "[INFO]POSTFIX SEARCH[" << settings_.suffix_numbers << "]";
      if (AffixPass(settings_.suffix_numbers, true, contains, hit)) return true;
    }
    if (settings_.prefix_numbers != 0) {
      TraceLine(trace) << "[INFO]PREFIX SEARCH[" << settings_.prefix_numbers << "]";
      if (AffixPass(settings_.prefix_numbers, false, contains, hit)) return true;
    }
    return false;
  }

 private:
  template <typename Contains>
  bool RulePass(const CandidateSet &set, Contains &contains, Hit *hit) const {
    for (const Candidate &c : set.items()) {
      if (contains(c.text)) {
        if (hit) {
          hit->pass = Hit::kRules;
          hit->rule = c.rule;
          std::memcpy(hit->word, c.text, sizeof(c.text));
        }
        return true;
      }
    }
    return false;
  }

  // The word followed (or preceded) by each number below numbers; with 100
  // numbers, the numbers below 10 are written with two digits.
  template <typename Contains>
  bool AffixPass(int numbers, bool suffix, Contains &contains, Hit *hit) {
    for (int n = 0; n < numbers; ++n) {
      char digits[2];
      const size_t count = numbers > 10 || n > 9 ? 2 : 1;
      if (length_ + count > kMaxCandidate) break;  // no candidate can be stored
      digits[count - 1] = static_cast<char>('0' + n % 10);
      if (count == 2) digits[0] = static_cast<char>('0' + n / 10);
      char *out = affixed_;
      if (!suffix) out = std::copy(digits, digits + count, out);
      out = std::copy(word_, word_ + length_, out);
      if (suffix) out = std::copy(digits, digits + count, out);
      *out = '\0';
      bool found = contains(affixed_);
      bool reversed = false;
      if (!found && settings_.reverse != 0) {
        std::reverse(affixed_, out);
        found = contains(affixed_);
        reversed = found;
      }
      if (found) {
        if (hit) {
          hit->pass = suffix ? Hit::kSuffix : Hit::kPrefix;
          hit->affix_reversed = reversed;
          std::memcpy(hit->affix, digits, count);
          hit->affix[count] = '\0';
          std::memcpy(hit->word, affixed_, static_cast<size_t>(out - affixed_) + 1);
        }
        return true;
      }
    }
    return false;
  }

  SearchSettings settings_;
  char word_[kSearchedLength + 1];
  char reversed_word_[kSearchedLength + 1];
  size_t length_;
  char affixed_[kMaxCandidate + 3];
  CandidateSet forward_;
  CandidateSet reversed_;
  bool reversed_made_ = false;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_SEARCH_WORD_SEARCH_H_
