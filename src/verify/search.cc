// Dictionary search: a word and its derived variants, looked up by binary
// search in one packed dictionary.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "quarvel/dictmanger.h"
#include "quarvel/rules.h"
#include "quarvel/search.h"
#include "verify/api_lock.h"
#include "verify/search_internal.h"
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
      Add(prefix.Plus(kTail[i]));
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

constexpr std::array<const char *, kRuleTableEntries + 1> RulePointers() {
  std::array<const char *, kRuleTableEntries + 1> pointers{};
  for (size_t i = 0; i < kRuleTableEntries; ++i) pointers[i] = kRuleTable.rules[i].text;
  pointers[kRuleTableEntries] = nullptr;
  return pointers;
}

}  // namespace

constexpr std::array<const char *, kRuleTableEntries + 1> r_destructors = RulePointers();

namespace {

// Longest part of the word that is searched.
constexpr size_t kWordLimit = 256;
constexpr size_t kAreaSize = 1024;

// The dictionary open during a call; nothing between calls.
PackedDict *pwp = nullptr;

// One call of the search: the open dictionary, the word and its scratch areas.
class Search {
 public:
  Search(PackedDict *dict, const char *word) : dict_(dict), count_(dict->header.word_count) {
    word_ = word != nullptr ? word : "";
    RestoreWord();
  }

  ~Search() {
    SecureWipe(work_, sizeof(work_));
    SecureWipe(affixed_, sizeof(affixed_));
  }

  Search(const Search &) = delete;
  Search &operator=(const Search &) = delete;

  bool Run() {
    if (RulePass()) return true;
    if (USEREVERSE != 0) {
      printf("[INFO]USEREVERSE[%d]\n", USEREVERSE);
      const char *reversed = Reverse(work_);
      std::memmove(work_, reversed, strnlen(reversed, kWordLimit));
      if (RulePass()) return true;
    }
    if (POSTFIXCNT != 0) {
      printf("[INFO]POSTFIX SEARCH[%d]\n", POSTFIXCNT);
      RestoreWord();
      if (AffixPass(POSTFIXCNT, /*suffix=*/true)) return true;
    }
    if (PREFIXCNT != 0) {
      printf("[INFO]PREFIX SEARCH[%d]\n", PREFIXCNT);
      RestoreWord();
      if (AffixPass(PREFIXCNT, /*suffix=*/false)) return true;
    }
    return false;
  }

 private:
  void RestoreWord() {
    std::memset(work_, 0, sizeof(work_));
    std::memcpy(work_, word_, strnlen(word_, kWordLimit));
  }

  bool Found(const char *candidate) const {
    return FindPW(dict_, candidate) != static_cast<int32_t>(count_);
  }

  bool RulePass() const {
    for (size_t i = 0; i < kRuleTableEntries; ++i) {
      const char *candidate = Mangle(work_, r_destructors[i]);
      if (candidate != nullptr && Found(candidate)) return true;
    }
    return false;
  }

  // With 100 numbers, the numbers below 10 are written with two digits.
  bool AffixPass(int numbers, bool suffix) {
    for (int n = 0; n < numbers; ++n) {
      const bool padded = numbers > 10 && n <= 9;
      if (suffix) {
        snprintf(affixed_, sizeof(affixed_), padded ? "%s0%d" : "%s%d", work_, n);
      } else {
        snprintf(affixed_, sizeof(affixed_), padded ? "0%d%s" : "%d%s", n, work_);
      }
      if (Found(affixed_)) return true;
      if (USEREVERSE != 0) {
        const size_t length = strnlen(affixed_, sizeof(affixed_));
        std::reverse(affixed_, affixed_ + length);
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

}  // namespace quarvel::search

using quarvel::search::pwp;

extern "C" const char *DictFindPW(const char *word, const char *prefix) noexcept {
  quarvel::ApiLock lock;
  pwp = PWOpen(prefix, "rb");
  if (pwp == nullptr) return "1001";
  bool found;
  {
    quarvel::search::Search search(pwp, word);
    printf("[DictFindPW][DICT=%s]\n", prefix);
    found = search.Run();
  }
  PWClose(pwp);
  pwp = nullptr;
  // The rule engine's areas and the decoded block may hold the word or a
  // variant of it.
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
