// The candidates of the dictionary search: the rule table, built at compile
// time, what each rule needs of a word to yield a candidate a dictionary can
// hold, and the candidates the rules make of one word.

#include "search/candidates.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/secure_wipe.h"
#include "quarvel/dictmanger.h"
#include "quarvel/rules.h"
#include "search/rule_table.h"
#include "search/rules_internal.h"

namespace quarvel::search {

namespace {

// The rule table. Ten fixed rules come first: the word itself, one to three
// characters trimmed from either end, and punctuation, symbols or every
// non-alphanumeric character removed. Then come the substitution rules that
// undo leet-speak: every combination of the five single-choice components,
// at most one of the two readings of "1" and at most one of the two readings
// of "4", except the empty one (2^5 * 3 * 3 - 1 = 287 rules).
//
// Order: visiting a rule text P that ends with component k tries P, then
// visits P followed by each later component j > k in turn, then tries P's
// tail (P with the "1" and "4" readings added). Components 1 to 5 are visited
// alone in order, and the table ends with the tail of the empty text. Each
// tail is stored with its last two rules repeated once more, which changes
// no answer: 10 + 287 + 32 * 2 = 361 entries.
constexpr std::string_view kFixedRules[] = {
    ":", "[", "]", "[[", "]]", "[[[", "]]]", "/?p@?p", "/?s@?s", "/?X@?X",
};
constexpr std::string_view kComponents[] = {"/$s$s", "/0s0o", "/2s2a", "/3s3e", "/5s5s"};
constexpr std::string_view kTail[] = {
    "/1s1i", "/1s1l", "/1s1i/4s4a", "/1s1i/4s4h", "/1s1l/4s4a", "/1s1l/4s4h", "/4s4a", "/4s4h",
};
constexpr size_t kTailRepeats = 2;
constexpr size_t kMaxRuleLength = 5 * 5 + 10;

struct RuleText {
  char text[kMaxRuleLength + 1] = {};
  size_t length = 0;
  bool repeated = false;  // the same rule stands earlier in the table

  constexpr RuleText Plus(std::string_view more) const {
    RuleText r = *this;
    for (char c : more) r.text[r.length++] = c;
    return r;
  }
};

struct RuleTable {
  RuleText rules[kRuleTableEntries];
  size_t count = 0;

  constexpr void Add(const RuleText &rule) { rules[count++] = rule; }

  constexpr void AddTail(const RuleText &prefix) {
    for (std::string_view part : kTail) Add(prefix.Plus(part));
    for (size_t i = std::size(kTail) - kTailRepeats; i < std::size(kTail); ++i) {
      RuleText again = prefix.Plus(kTail[i]);
      again.repeated = true;
      Add(again);
    }
  }

  constexpr void Visit(const RuleText &prefix, size_t last_component) {
    Add(prefix);
    for (size_t j = last_component + 1; j < std::size(kComponents); ++j) {
      Visit(prefix.Plus(kComponents[j]), j);
    }
    AddTail(prefix);
  }
};

constexpr RuleTable BuildRuleTable() {
  RuleTable table;
  for (std::string_view rule : kFixedRules) table.Add(RuleText{}.Plus(rule));
  for (size_t k = 0; k < std::size(kComponents); ++k) {
    table.Visit(RuleText{}.Plus(kComponents[k]), k);
  }
  table.AddTail(RuleText{});
  return table;
}

constexpr RuleTable kBuiltRules = BuildRuleTable();
static_assert(kBuiltRules.count == kRuleTableEntries);

// Each repeated rule is the same text as the rule two places before it.
constexpr bool RepeatsAreRepeats() {
  size_t repeats = 0;
  for (size_t i = 0; i < kRuleTableEntries; ++i) {
    if (!kBuiltRules.rules[i].repeated) continue;
    ++repeats;
    const RuleText &a = kBuiltRules.rules[i], &b = kBuiltRules.rules[i - 2];
    if (std::string_view(a.text, a.length) != std::string_view(b.text, b.length)) return false;
  }
  return repeats == kRuleTableEntries - 297;
}
static_assert(RepeatsAreRepeats());

constexpr std::array<const char *, kRuleTableEntries + 1> RulePointers() {
  std::array<const char *, kRuleTableEntries + 1> pointers{};
  for (size_t i = 0; i < kRuleTableEntries; ++i) pointers[i] = kBuiltRules.rules[i].text;
  pointers[kRuleTableEntries] = nullptr;
  return pointers;
}

}  // namespace

constexpr std::array<const char *, kRuleTableEntries + 1> kRuleTable = RulePointers();

namespace {

// Longest word a dictionary stores: a longer candidate is never found.
constexpr size_t kLongestStoredWord = PACKED_DICT_MAX_WORD;

// What a rule of the table needs of a word to yield a candidate that a
// dictionary can hold. Rules that cannot are skipped without running them;
// that changes no answer, since their candidate would not be found.
struct RuleNeeds {
  enum Kind { kTrim, kPurge, kSubstitute } kind = kTrim;
  size_t trimmed = 0;     // kTrim: characters removed
  char purged_class = 0;  // kPurge: the class whose presence the rule tests
  uint8_t required = 0;   // kSubstitute: characters the rule tests for
  bool repeated = false;  // the same rule stands earlier in the table
};

// The characters that substitution rules test for, one bit each.
constexpr std::string_view kTestedCharacters = "$023514";

constexpr uint8_t CharacterBit(char c) {
  const size_t i = kTestedCharacters.find(c);
  return i == std::string_view::npos ? 0 : static_cast<uint8_t>(1u << i);
}

constexpr std::array<RuleNeeds, kRuleTableEntries> AnalyseRules() {
  std::array<RuleNeeds, kRuleTableEntries> needs{};
  for (size_t i = 0; i < kRuleTableEntries; ++i) {
    const std::string_view rule(kBuiltRules.rules[i].text, kBuiltRules.rules[i].length);
    RuleNeeds &n = needs[i];
    n.repeated = kBuiltRules.rules[i].repeated;
    if (rule == ":") {
      n.kind = RuleNeeds::kTrim;
    } else if (rule.find_first_not_of("[]") == std::string_view::npos) {
      n.kind = RuleNeeds::kTrim;
      n.trimmed = rule.size();
    } else if (rule.starts_with("/?")) {
      n.kind = RuleNeeds::kPurge;
      n.purged_class = rule[2];
    } else {
      n.kind = RuleNeeds::kSubstitute;
      for (size_t k = 0; k + 1 < rule.size(); ++k) {
        if (rule[k] == '/') n.required |= CharacterBit(rule[k + 1]);
      }
    }
  }
  return needs;
}

constexpr std::array<RuleNeeds, kRuleTableEntries> kRuleNeeds = AnalyseRules();
static_assert(kRuleNeeds[0].kind == RuleNeeds::kTrim && kRuleNeeds[6].trimmed == 3);
static_assert(kRuleNeeds[9].kind == RuleNeeds::kPurge && kRuleNeeds[9].purged_class == 'X');
static_assert(kRuleNeeds[11].required == (CharacterBit('$') | CharacterBit('0')));

// What the rules need to know of the word a pass runs over.
struct WordTraits {
  explicit WordTraits(const char *word) : length(std::strlen(word)) {
    for (const char *p = word; *p != '\0'; ++p) tested |= CharacterBit(*p);
    // The same class test that the rules' '/?C' command makes.
    for (char c : {'p', 's', 'X'}) has_class[ClassIndex(c)] = PolyStrchr(word, c) != nullptr;
  }

  static size_t ClassIndex(char c) { return c == 'p' ? 0 : c == 's' ? 1 : 2; }

  bool MayYieldStoredWord(const RuleNeeds &rule) const {
    if (rule.repeated) return false;  // it would yield the same candidate again
    switch (rule.kind) {
      case RuleNeeds::kTrim:
        return length > rule.trimmed && length - rule.trimmed <= kLongestStoredWord;
      case RuleNeeds::kPurge:
        return has_class[ClassIndex(rule.purged_class)];
      case RuleNeeds::kSubstitute:
        return (tested & rule.required) == rule.required && length <= kLongestStoredWord;
    }
    return true;
  }

  size_t length;
  uint8_t tested = 0;
  bool has_class[3] = {};
};

}  // namespace
}  // namespace quarvel::search

namespace quarvel::engine {

using search::kRuleNeeds;
using search::kRuleTableEntries;
using search::kRuleTable;
using search::WordTraits;

void CandidateSet::Make(const char *word) {
  Wipe();
  std::array<char, 1024> area;
  size_t used = 0;
  const WordTraits traits(word);
  for (size_t i = 0; i < kRuleTableEntries; ++i) {
    if (!traits.MayYieldStoredWord(kRuleNeeds[i])) continue;
    const char *candidate = MangleInto(area, used, word, kRuleTable[i]);
    if (candidate == nullptr) continue;
    const size_t length = strnlen(candidate, kMaxCandidate + 1);
    if (length > kMaxCandidate) continue;
    Candidate &c = items_[count_++];
    c.rule = static_cast<uint16_t>(i);
    std::memcpy(c.text, candidate, length);
    c.text[length] = '\0';
  }
  SecureWipe(area.data(), std::min(used, area.size()));
}

void CandidateSet::Wipe() {
  SecureWipe(items_.data(), count_ * sizeof(Candidate));
  count_ = 0;
}

}  // namespace quarvel::engine
