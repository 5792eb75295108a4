// Dictionary search: a word and its derived variants, looked up by binary
// search in one packed dictionary.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "quarvel/dictmanger.h"
#include "quarvel/rules.h"
#include "quarvel/search.h"
#include "verify/api_lock.h"
#include "verify/search_internal.h"
#include "verify/trace.h"
#include "wordstore/scratch.h"

namespace quarvel::search {

int POSTFIXCNT = 0;
int PREFIXCNT = 0;
int USEREVERSE = 0;

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

constexpr RuleTable kRuleTable = BuildRuleTable();
static_assert(kRuleTable.count == kRuleTableEntries);

// Each repeated rule is the same text as the rule two places before it.
constexpr bool RepeatsAreRepeats() {
  size_t repeats = 0;
  for (size_t i = 0; i < kRuleTableEntries; ++i) {
    if (!kRuleTable.rules[i].repeated) continue;
    ++repeats;
    const RuleText &a = kRuleTable.rules[i], &b = kRuleTable.rules[i - 2];
    if (std::string_view(a.text, a.length) != std::string_view(b.text, b.length)) return false;
  }
  return repeats == kRuleTableEntries - 297;
}
static_assert(RepeatsAreRepeats());

constexpr std::array<const char *, kRuleTableEntries + 1> RulePointers() {
  std::array<const char *, kRuleTableEntries + 1> pointers{};
  for (size_t i = 0; i < kRuleTableEntries; ++i) pointers[i] = kRuleTable.rules[i].text;
  pointers[kRuleTableEntries] = nullptr;
  return pointers;
}

}  // namespace

constexpr std::array<const char *, kRuleTableEntries + 1> r_destructors = RulePointers();

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
    const std::string_view rule(kRuleTable.rules[i].text, kRuleTable.rules[i].length);
    RuleNeeds &n = needs[i];
    n.repeated = kRuleTable.rules[i].repeated;
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

// Longest part of the word that is searched.
constexpr size_t kWordLimit = 256;
constexpr size_t kAreaSize = 1024;
// The areas never hold more than the word, two digits and a terminator.
constexpr size_t kUsedBytes = kWordLimit + 3;
static_assert(kUsedBytes <= kAreaSize);

// The dictionary open during a call; nothing between calls.
PackedDict *pwp = nullptr;

// The candidates that the rule table makes of one word, in the table's
// order, keeping only those a dictionary can hold. Verification searches the
// same word in up to nine dictionaries; it makes them once for all of them.
class PassCandidates {
 public:
  // Runs the rules over word, unless that was the last word.
  void Make(std::string_view word) {
    if (made_ && word == word_) return;
    Wipe();
    word_.assign(word);
    const WordTraits traits(word_.c_str());
    for (size_t i = 0; i < kRuleTableEntries; ++i) {
      if (!traits.MayYieldStoredWord(kRuleNeeds[i])) continue;
      const char *candidate = Mangle(word_.c_str(), r_destructors[i]);
      if (candidate == nullptr) continue;
      const size_t length = strnlen(candidate, kLongestStoredWord + 1);
      if (length > kLongestStoredWord) continue;
      starts_.push_back(texts_.size());
      texts_.append(candidate, length);
      texts_.push_back('\0');
    }
    made_ = true;
  }

  // True when found answers true for a candidate; stops at the first.
  template <typename Found>
  bool Any(Found found) const {
    for (size_t start : starts_) {
      if (found(texts_.data() + start)) return true;
    }
    return false;
  }

  // The candidates are variants of a password: they go when the
  // verification is done.
  void Wipe() {
    SecureWipe(word_.data(), word_.size());
    SecureWipe(texts_.data(), texts_.size());
    word_.clear();
    texts_.clear();
    starts_.clear();
    made_ = false;
  }

 private:
  bool made_ = false;
  std::string word_;
  std::string texts_;  // the candidates, each ended by a NUL
  std::vector<size_t> starts_;
};

PassCandidates g_forward_candidates;
PassCandidates g_reversed_candidates;
int g_batch_depth = 0;

void WipeCandidates() {
  g_forward_candidates.Wipe();
  g_reversed_candidates.Wipe();
}

// One call of the search: the open dictionary, the word and its scratch areas.
class Search {
 public:
  Search(PackedDict *dict, const char *word) : dict_(dict), count_(dict->header.word_count) {
    word_ = word != nullptr ? word : "";
    RestoreWord();
  }

  ~Search() {
    SecureWipe(work_, kUsedBytes);
    SecureWipe(affixed_, kUsedBytes);
  }

  Search(const Search &) = delete;
  Search &operator=(const Search &) = delete;

  bool Run() {
    if (RulePass(g_forward_candidates)) return true;
    if (USEREVERSE != 0) {
      Trace() << "[INFO]USEREVERSE[" << USEREVERSE << "]\n";
      const char *reversed = Reverse(work_);
      std::memmove(work_, reversed, strnlen(reversed, kWordLimit));
      if (RulePass(g_reversed_candidates)) return true;
    }
    if (POSTFIXCNT != 0) {
      Trace() << "[INFO]POSTFIX SEARCH[" << POSTFIXCNT << "]\n";
      RestoreWord();
      if (AffixPass(POSTFIXCNT, /*suffix=*/true)) return true;
    }
    if (PREFIXCNT != 0) {
      Trace() << "[INFO]PREFIX SEARCH[" << PREFIXCNT << "]\n";
      RestoreWord();
      if (AffixPass(PREFIXCNT, /*suffix=*/false)) return true;
    }
    return false;
  }

 private:
  void RestoreWord() {
    const size_t length = strnlen(word_, kWordLimit);
    std::memcpy(work_, word_, length);
    work_[length] = '\0';
  }

  bool Found(const char *candidate) const {
    return FindPW(dict_, candidate) != static_cast<int32_t>(count_);
  }

  bool RulePass(PassCandidates &candidates) const {
    try {
      candidates.Make(work_);
    } catch (...) {
      // Out of memory: run the rules one by one instead.
      candidates.Wipe();
      return DirectRulePass();
    }
    return candidates.Any([this](const char *candidate) { return Found(candidate); });
  }

  bool DirectRulePass() const {
    const WordTraits traits(work_);
    for (size_t i = 0; i < kRuleTableEntries; ++i) {
      if (!traits.MayYieldStoredWord(kRuleNeeds[i])) continue;
      const char *candidate = Mangle(work_, r_destructors[i]);
      if (candidate != nullptr && Found(candidate)) return true;
    }
    return false;
  }

  // The word followed (or preceded) by each number below numbers; with 100
  // numbers, the numbers below 10 are written with two digits ("%s0%d").
  bool AffixPass(int numbers, bool suffix) {
    const size_t length = strnlen(work_, kWordLimit);
    for (int n = 0; n < numbers; ++n) {
      char digits[2];
      const size_t count = numbers > 10 || n > 9 ? 2 : 1;
      if (length + count > kLongestStoredWord) break;  // no candidate can be stored
      digits[count - 1] = static_cast<char>('0' + n % 10);
      if (count == 2) digits[0] = static_cast<char>('0' + n / 10);
      char *out = affixed_;
      if (!suffix) out = std::copy(digits, digits + count, out);
      out = std::copy(work_, work_ + length, out);
      if (suffix) out = std::copy(digits, digits + count, out);
      *out = '\0';
      if (Found(affixed_)) return true;
      if (USEREVERSE != 0) {
        std::reverse(affixed_, out);
        if (Found(affixed_)) return true;
      }
    }
    return false;
  }

  PackedDict *dict_;
  const uint32_t count_;
  const char *word_;
  char work_[kAreaSize];
  char affixed_[kAreaSize];
};

}  // namespace

CandidateBatch::CandidateBatch() { ++g_batch_depth; }

CandidateBatch::~CandidateBatch() {
  if (--g_batch_depth == 0) WipeCandidates();
}

}  // namespace quarvel::search

using quarvel::search::pwp;

extern "C" const char *DictFindPW(const char *word, const char *prefix) noexcept {
  quarvel::ApiLock lock;
  pwp = PWOpen(prefix, "rb");
  if (pwp == nullptr) return "1001";
  bool found;
  {
    quarvel::search::Search search(pwp, word);
    quarvel::Trace() << "[DictFindPW][DICT=" << prefix << "]\n";
    found = search.Run();
  }
  PWClose(pwp);
  pwp = nullptr;
  // The rule engine's areas, the decoded block and the candidates may hold
  // the word or a variant of it.
  if (quarvel::search::g_batch_depth == 0) quarvel::search::WipeCandidates();
  quarvel::WipeRuleAreas();
  quarvel::WipeDictResultArea();
  return found ? "0001" : nullptr;
}

namespace {
int AffixCount(int selector) { return selector == 1 ? 10 : selector == 2 ? 100 : 0; }
}  // namespace

extern "C" void SetPostFixCnt(int selector) noexcept {
  quarvel::search::POSTFIXCNT = AffixCount(selector);
}

extern "C" void SetPreFixCnt(int selector) noexcept {
  quarvel::search::PREFIXCNT = AffixCount(selector);
}

extern "C" void SetUseReverse(int on) noexcept { quarvel::search::USEREVERSE = on; }
