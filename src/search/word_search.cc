// The variant search of one word.

#include "search/word_search.h"

#include <algorithm>
#include <cstring>

#include "base/secure_wipe.h"
#include "search/rule_table.h"

namespace quarvel::engine {
namespace {

template <size_t N>
void CopyField(char (&out)[N], std::string_view text) {
  const size_t n = std::min(text.size(), N - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace

WordSearch::WordSearch(std::string_view word, const SearchSettings &settings)
    : settings_(settings) {
  // The text searched ends at a NUL, as a C string does.
  length_ = strnlen(word.data(), std::min(word.size(), kSearchedLength));
  std::memcpy(word_, word.data(), length_);
  word_[length_] = '\0';
  std::reverse_copy(word_, word_ + length_, reversed_word_);
  reversed_word_[length_] = '\0';
  forward_.Make(word_);
}

void ExplainHit(const Hit &hit, bool lowercased, Explanation *out) {
  if (lowercased) {
    out->variants |= QUARVEL_VARIANT_LOWERCASED;
    out->steps.Add(QUARVEL_STEP_LOWERCASED);
  }
  if (hit.pass == Hit::kRules || hit.pass == Hit::kReversedRules) {
    const size_t rule = static_cast<size_t>(hit.rule);
    const std::string_view text = search::kRuleTable[rule];
    CopyField(out->rule, text);
    if (hit.pass == Hit::kReversedRules) {
      out->variants |= QUARVEL_VARIANT_REVERSED;
      out->steps.Add(QUARVEL_STEP_REVERSED);
    }
    if (text != ":") out->variants |= QUARVEL_VARIANT_RULE;
    AddRuleSteps(rule, &out->steps);
  } else {
    CopyField(out->rule, ":");
    CopyField(out->affix, hit.affix);
    const bool suffix = hit.pass == Hit::kSuffix;
    out->variants |= suffix ? QUARVEL_VARIANT_SUFFIX : QUARVEL_VARIANT_PREFIX;
    out->steps.Add(suffix ? QUARVEL_STEP_SUFFIX : QUARVEL_STEP_PREFIX, 0, 0, 0, hit.affix);
    if (hit.affix_reversed) {
      out->variants |= QUARVEL_VARIANT_REVERSED;
      out->steps.Add(QUARVEL_STEP_REVERSED);
    }
  }
  out->SetWord(hit.word);
}

WordSearch::~WordSearch() {
  SecureWipe(word_, sizeof(word_));
  SecureWipe(reversed_word_, sizeof(reversed_word_));
  SecureWipe(affixed_, sizeof(affixed_));
}

}  // namespace quarvel::engine
