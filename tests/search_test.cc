// Dictionary search: the rule table, each family of variants, the affix and
// reverse passes, trace lines, and the dictionary always closed afterwards.

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarvel/dictmanger.h"
#include "quarvel/search.h"
#include "testing/test_util.h"
#include "search/rule_table.h"
#include "store/dictmanger_internal.h"

namespace {

using quarvel::search::suffix_numbers;
using quarvel::search::prefix_numbers;
using quarvel::search::kRuleTable;
using quarvel::testing::CaptureFd;
using quarvel::testing::TempDir;

// The rule order, derived independently from its description: ten fixed
// rules, then each single-choice component visited in turn (try P, visit P
// plus every later component, then P's tail), then the tail of the empty
// text.
std::vector<std::string> ExpectedDistinctRules() {
  std::vector<std::string> rules = {":",   "[",   "]",      "[[",     "]]",
                                    "[[[", "]]]", "/?p@?p", "/?s@?s", "/?X@?X"};
  const std::vector<std::string> singles = {"/$s$s", "/0s0o", "/2s2a", "/3s3e", "/5s5s"};
  auto tail = [&](const std::string &p) {
    for (const char *t : {"/1s1i", "/1s1l", "/1s1i/4s4a", "/1s1i/4s4h", "/1s1l/4s4a", "/1s1l/4s4h",
                          "/4s4a", "/4s4h"}) {
      rules.push_back(p + t);
    }
  };
  std::function<void(const std::string &, size_t)> visit = [&](const std::string &p, size_t k) {
    rules.push_back(p);
    for (size_t j = k + 1; j < singles.size(); ++j) visit(p + singles[j], j);
    tail(p);
  };
  for (size_t k = 0; k < singles.size(); ++k) visit(singles[k], k);
  tail("");
  return rules;
}

TEST(RuleTableTest, FollowsTheOrderingProcedure) {
  ASSERT_EQ(kRuleTable[quarvel::search::kRuleTableEntries], nullptr);
  std::vector<std::string> stored;
  for (size_t i = 0; kRuleTable[i] != nullptr; ++i) stored.push_back(kRuleTable[i]);
  EXPECT_EQ(stored.size(), 361u);

  // First occurrences, in order, are the 297 rules of the procedure.
  std::vector<std::string> distinct;
  std::set<std::string> seen;
  for (const std::string &rule : stored) {
    if (seen.insert(rule).second) distinct.push_back(rule);
  }
  EXPECT_EQ(distinct.size(), 297u);
  EXPECT_EQ(distinct, ExpectedDistinctRules());

  const std::vector<std::string> beginning = {":",
                                              "[",
                                              "]",
                                              "[[",
                                              "]]",
                                              "[[[",
                                              "]]]",
                                              "/?p@?p",
                                              "/?s@?s",
                                              "/?X@?X",
                                              "/$s$s",
                                              "/$s$s/0s0o",
                                              "/$s$s/0s0o/2s2a",
                                              "/$s$s/0s0o/2s2a/3s3e",
                                              "/$s$s/0s0o/2s2a/3s3e/5s5s",
                                              "/$s$s/0s0o/2s2a/3s3e/5s5s/1s1i",
                                              "/$s$s/0s0o/2s2a/3s3e/5s5s/1s1l"};
  EXPECT_TRUE(std::equal(beginning.begin(), beginning.end(), stored.begin()));
  const std::vector<std::string> end = {"/1s1l/4s4a", "/1s1l/4s4h", "/4s4a", "/4s4h"};
  EXPECT_TRUE(std::equal(end.begin(), end.end(), distinct.end() - 4));

  // Each tail's last two rules stand twice, right after the tail.
  EXPECT_EQ(stored[stored.size() - 4], "/4s4a");
  EXPECT_EQ(stored[stored.size() - 3], "/4s4h");
  EXPECT_EQ(stored[stored.size() - 2], "/4s4a");
  EXPECT_EQ(stored[stored.size() - 1], "/4s4h");
}

TEST(SettersTest, AffixSelectorsAndReverseSwitch) {
  struct Case {
    int selector, count;
  };
  for (Case c : {Case{1, 10}, Case{2, 100}, Case{0, 0}, Case{3, 0}, Case{-1, 0}}) {
    SetPostFixCnt(c.selector);
    EXPECT_EQ(suffix_numbers, c.count) << c.selector;
    SetPreFixCnt(c.selector);
    EXPECT_EQ(prefix_numbers, c.count) << c.selector;
  }
  SetUseReverse(5);
  EXPECT_EQ(quarvel::search::reverse_passes, 5);
  SetUseReverse(0);
  EXPECT_EQ(quarvel::search::reverse_passes, 0);
}

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPostFixCnt(0);
    SetPreFixCnt(0);
    SetUseReverse(0);
  }
  void TearDown() override {
    SetPostFixCnt(0);
    SetPreFixCnt(0);
    SetUseReverse(0);
    EXPECT_NE(pdesc.header.magic, PACKED_DICT_MAGIC) << "a dictionary was left open";
  }

  std::string MakeDict(const std::set<std::string> &words, const std::string &name = "d") {
    const std::string prefix = dir_.File(name);
    quarvel::testing::MakeDictionary(prefix, words);
    return prefix;
  }

  // DictFindPW with standard output captured.
  const char *Find(const std::string &word, const std::string &prefix,
                   std::string *trace = nullptr) {
    CaptureFd out(1);
    const char *answer = DictFindPW(word.c_str(), prefix.c_str());
    std::string text = out.Take();
    if (trace != nullptr) *trace = text;
    return answer;
  }

  bool Hit(const std::string &word, const std::string &prefix) {
    const char *answer = Find(word, prefix);
    if (answer != nullptr) {
      EXPECT_STREQ(answer, "0001");
    }
    return answer != nullptr;
  }

  TempDir dir_;
};

struct VariantCase {
  const char *word;
  bool hit;
};

TEST_F(SearchTest, VariantFamilies) {
  const std::string d =
      MakeDict({"banana", "hash", "lollipop", "mississippi", "password", "secret"});
  const std::vector<VariantCase> cases = {
      // unchanged
      {"password", true},
      // one to three extra characters in front or behind
      {"xpassword", true},
      {"xypassword", true},
      {"xyzpassword", true},
      {"wxyzpassword", false},
      {"passwordx", true},
      {"passwordxy", true},
      {"passwordxyz", true},
      {"passwordwxyz", false},
      // punctuation, symbols, both
      {"pass.wo!rd", true},
      {"p'a?s,sword\"", true},
      {"pa%ss#wo@rd", true},
      {"pa.ss#word", true},
      {"pa ss word", true},
      // substitutions, one kind and several
      {"pa$$word", true},
      {"pa55word", true},
      {"pa$5word", true},
      {"passw0rd", true},
      {"p2ssword", true},
      {"p4ssword", true},
      {"s3cr3t", true},
      {"5ecre7", false},
      {"m1ss1ss1pp1", true},
      {"lo11ipop", true},
      {"h4sh", true},
      {"b4n4n4", true},
      {"b2n4n2", true},
      {"p2$$w0rd", true},
      // two kinds of change at once
      {"xpa$$word", false},
      {"pa$$wordx", false},
      {"1o111pop", false},
      {"h44h", false},
      {"drowssap", false},
  };
  for (const VariantCase &c : cases) EXPECT_EQ(Hit(c.word, d), c.hit) << c.word;
}

TEST_F(SearchTest, ReversedWord) {
  const std::string d = MakeDict({"password"});
  EXPECT_FALSE(Hit("drowssap", d));
  SetUseReverse(5);
  std::string trace;
  EXPECT_STREQ(Find("drowssap", d, &trace), "0001");
  EXPECT_EQ(trace, "[DictFindPW][DICT=" + d + "]\n[INFO]USEREVERSE[5]\n");
  // Rules apply to the reversed word too.
  EXPECT_TRUE(Hit("xdrowssap", d));
  EXPECT_TRUE(Hit("dr0wssap", d));
}

TEST_F(SearchTest, ShortWords) {
  const std::string d = MakeDict({"7", "x"});
  EXPECT_TRUE(Hit("x", d));
  EXPECT_FALSE(Hit("y", d));
  EXPECT_FALSE(Hit("", d));
  // The bare numbers are looked up for an empty word.
  SetPostFixCnt(1);
  EXPECT_TRUE(Hit("", d));
}

TEST_F(SearchTest, NumericSuffixes) {
  const std::string d5 = MakeDict({"secret5"}, "d5");
  const std::string d05 = MakeDict({"secret05"}, "d05");
  EXPECT_FALSE(Hit("secret", d5));
  SetPostFixCnt(1);
  std::string trace;
  EXPECT_STREQ(Find("secret", d5, &trace), "0001");
  EXPECT_EQ(trace, "[DictFindPW][DICT=" + d5 + "]\n[INFO]POSTFIX SEARCH[10]\n");
  EXPECT_FALSE(Hit("secret", d05));
  SetPostFixCnt(2);
  EXPECT_FALSE(Hit("secret", d5));  // one-digit suffixes are not tried
  EXPECT_TRUE(Hit("secret", d05));
  // Affixed candidates are looked up as built, without rules.
  EXPECT_FALSE(Hit("secretx", d05));
  EXPECT_TRUE(Hit("SECRET", MakeDict({"SECRET42"}, "upper")));
}

TEST_F(SearchTest, NumericPrefixes) {
  const std::string d = MakeDict({"7secret", "07secret"});
  EXPECT_FALSE(Hit("secret", d));
  SetPreFixCnt(1);
  std::string trace;
  EXPECT_STREQ(Find("secret", d, &trace), "0001");
  EXPECT_EQ(trace, "[DictFindPW][DICT=" + d + "]\n[INFO]PREFIX SEARCH[10]\n");
  SetPreFixCnt(2);
  EXPECT_TRUE(Hit("secret", MakeDict({"07secret"}, "p07")));
  EXPECT_FALSE(Hit("secret", MakeDict({"7secret"}, "p7")));
}

TEST_F(SearchTest, ReversedAffixedCandidates) {
  // The reverse of "secret3": the digit first, then the word backwards.
  const std::string d = MakeDict({"3terces"});
  SetPostFixCnt(1);
  EXPECT_FALSE(Hit("secret", d));
  SetUseReverse(1);
  EXPECT_TRUE(Hit("secret", d));
}

TEST_F(SearchTest, AllPassesTraceInOrder) {
  const std::string d = MakeDict({"zzz"});
  SetUseReverse(1);
  SetPostFixCnt(2);
  SetPreFixCnt(1);
  std::string trace;
  EXPECT_EQ(Find("secret", d, &trace), nullptr);
  EXPECT_EQ(trace,
            "[DictFindPW][DICT=" + d +
                "]\n[INFO]USEREVERSE[1]\n[INFO]POSTFIX SEARCH[100]\n[INFO]PREFIX SEARCH[10]\n");
}

TEST_F(SearchTest, MissingDictionaryAnswers1001Silently) {
  std::string trace;
  CaptureFd err(2);
  EXPECT_STREQ(Find("password", dir_.File("none"), &trace), "1001");
  EXPECT_EQ(trace, "");
  EXPECT_EQ(err.Take(), "");
  EXPECT_STREQ(DictFindPW("password", nullptr), "1001");
}

TEST_F(SearchTest, HostileWords) {
  const std::string d = MakeDict({"password"});
  SetUseReverse(1);
  SetPostFixCnt(2);
  SetPreFixCnt(2);
  std::string huge(1 << 20, 'p');
  EXPECT_FALSE(Hit(huge, d));
  std::string bytes;
  for (int i = 1; i < 256; ++i) bytes += static_cast<char>(i);
  EXPECT_FALSE(Hit(bytes, d));
  EXPECT_FALSE(Hit(std::string(300, '$') + "0235141", d));
  EXPECT_EQ(DictFindPW(nullptr, d.c_str()), nullptr);
  // Only the first 256 characters are searched.
  SetUseReverse(0);
  SetPostFixCnt(0);
  SetPreFixCnt(0);
  EXPECT_TRUE(Hit(std::string(248, '.') + "password", d));
  EXPECT_FALSE(Hit(std::string(250, '.') + "password", d));
}

}  // namespace
