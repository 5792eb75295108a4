// The explanation as data against worked examples: for each password, the
// steps that turn it into the stored word and the sentence of
// match.variant, both worked out by hand from the rule table, the search's
// passes and the extended profile (include/quarvel/engine.h), and the
// reasons for the points lost.

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarvel/quarvel.h"
#include "search/rule_table.h"
#include "testing/test_util.h"

namespace {

using quarvel::testing::MakeDictionary;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

struct ExpectedStep {
  int code;
  int piece = 0;
  int count = 0;  // for QUARVEL_STEP_RULE: -1, the rule whose text is arg
  int count2 = 0;
  const char *arg = "";
};

struct ExpectedReason {
  int stage, code, points, value, limit;
};

struct Case {
  const char *password;
  int kind;
  const char *word;
  const char *sentence;
  std::vector<ExpectedStep> steps;
  std::vector<ExpectedReason> reasons;
};

constexpr int kDict = QUARVEL_MATCH_DICTIONARY;
constexpr ExpectedReason kInDictionary = {5, QUARVEL_REASON_DICTIONARY, 1, 0, 0};

// Settings: reversed passes, a hundred suffixes and a hundred prefixes (two
// digits each), the extended profile; min_diff 4, min_step 3.
const Case kCases[] = {
    {"dragon", kDict, "dragon", "as given", {}, {kInDictionary}},
    {"Dragon", kDict, "dragon", "lower-cased", {{QUARVEL_STEP_LOWERCASED}}, {kInDictionary}},
    // "[" "]" "[[" find nothing; "]]" (rule 4) leaves "dragon".
    {"Dragon12",
     kDict,
     "dragon",
     "lower-cased, last 2 characters removed",
     {{QUARVEL_STEP_LOWERCASED}, {QUARVEL_STEP_RULE, 0, 4, 0, "]]"}, {QUARVEL_STEP_CUT_LAST, 0, 2}},
     {kInDictionary}},
    {"xdragon",
     kDict,
     "dragon",
     "first 1 character removed",
     {{QUARVEL_STEP_RULE, 0, 1, 0, "["}, {QUARVEL_STEP_CUT_FIRST, 0, 1}},
     {kInDictionary}},
    {"xxdragon",
     kDict,
     "dragon",
     "first 2 characters removed",
     {{QUARVEL_STEP_RULE, 0, 3, 0, "[["}, {QUARVEL_STEP_CUT_FIRST, 0, 2}},
     {kInDictionary}},
    {"drag.on",
     kDict,
     "dragon",
     "punctuation removed",
     {{QUARVEL_STEP_RULE, 0, 7, 0, "/?p@?p"}, {QUARVEL_STEP_PUNCTUATION_REMOVED}},
     {kInDictionary}},
    // Forward, "/0s0o" makes "nogard"; reversed, "drag0n" becomes "dragon".
    {"n0gard",
     kDict,
     "dragon",
     "reversed, '0' read as 'o'",
     {{QUARVEL_STEP_REVERSED}, {QUARVEL_STEP_RULE, 0, -1, 0, "/0s0o"}, {QUARVEL_STEP_READ_AS, 0, 0, 0, "0o"}},
     {kInDictionary}},
    {"shadow", kDict, "shadow07", "suffix 07", {{QUARVEL_STEP_SUFFIX, 0, 0, 0, "07"}}, {kInDictionary}},
    // "wodahs07" read backwards.
    {"wodahs",
     kDict,
     "70shadow",
     "suffix 07, reversed",
     {{QUARVEL_STEP_SUFFIX, 0, 0, 0, "07"}, {QUARVEL_STEP_REVERSED}},
     {kInDictionary}},
    {"monkey", kDict, "12monkey", "prefix 12", {{QUARVEL_STEP_PREFIX, 0, 0, 0, "12"}}, {kInDictionary}},
    // The extended profile: the run "2024!!!" cut from the end is a year and
    // symbols; 15 characters of 4 classes score 4, the hit leaves 3, and
    // the profile caps the level at 2.
    {"Sunshine2024!!!",
     kDict,
     "sunshine",
     "capitalised, year 2024 and '!!!' cut from the end",
     {{QUARVEL_STEP_CAPITALISED},
      {QUARVEL_STEP_CUT_END, QUARVEL_PIECE_YEAR, 0, 0, "2024"},
      {QUARVEL_STEP_CUT_END, QUARVEL_PIECE_SYMBOLS, 0, 0, "!!!"}},
     {kInDictionary, {0, QUARVEL_REASON_LEVEL_CAPPED, 0, 3, 2}}},
    {"1987sunshine",
     kDict,
     "sunshine",
     "year 1987 cut from the start",
     {{QUARVEL_STEP_CUT_START, QUARVEL_PIECE_YEAR, 0, 0, "1987"}},
     {kInDictionary}},
    {"P@SSW0RD",
     kDict,
     "password",
     "upper-cased, '@' read as 'a', '0' read as 'o'",
     {{QUARVEL_STEP_UPPERCASED}, {QUARVEL_STEP_READ_AS, 0, 0, 0, "@a"}, {QUARVEL_STEP_READ_AS, 0, 0, 0, "0o"}},
     {kInDictionary}},
    {"dragondragon", kDict, "dragon", "written twice", {{QUARVEL_STEP_DOUBLED}}, {kInDictionary}},
    // Windows of 11, 10 and 9 characters hold no word; of 8, the third.
    {"xxsunshinexx",
     kDict,
     "sunshine",
     "inside the password (2 before, 2 after)",
     {{QUARVEL_STEP_INSIDE, 0, 2, 2}},
     {kInDictionary}},
    {"qwerty",
     QUARVEL_MATCH_PATTERN,
     "qwerty",
     "keyboard walk 'qwerty'",
     {{QUARVEL_STEP_PATTERN, QUARVEL_PIECE_KEYBOARD_WALK, 0, 0, "qwerty"}},
     {{5, QUARVEL_REASON_PATTERN, 1, 0, 0}}},
    {"qwerty14061987",
     QUARVEL_MATCH_PATTERN,
     "qwerty14061987",
     "keyboard walk 'qwerty', date 1987-06-14",
     {{QUARVEL_STEP_PATTERN, QUARVEL_PIECE_KEYBOARD_WALK, 0, 0, "qwerty"},
      {QUARVEL_STEP_PATTERN, QUARVEL_PIECE_DATE, 0, 0, "1987-06-14"}},
     // 14 characters of 2 classes score 4, the pattern leaves 3: capped.
     {{5, QUARVEL_REASON_PATTERN, 1, 0, 0}, {0, QUARVEL_REASON_LEVEL_CAPPED, 0, 3, 2}}},
    // d-c, c-b, b-a, 5-6, 6-7, 7-8: six neighbours in sequence, more than 3.
    {"dcba5678",
     QUARVEL_MATCH_PATTERN,
     "dcba5678",
     "sequence 'dcba', sequence '5678'",
     {{QUARVEL_STEP_PATTERN, QUARVEL_PIECE_SEQUENCE, 0, 0, "dcba"},
      {QUARVEL_STEP_PATTERN, QUARVEL_PIECE_SEQUENCE, 0, 0, "5678"}},
     {{4, QUARVEL_REASON_SEQUENCES, 1, 6, 3}, {5, QUARVEL_REASON_PATTERN, 1, 0, 0}}},
    // Three distinct characters, fewer than 4; found nowhere.
    {"aaa12", QUARVEL_MATCH_NONE, "", "", {}, {{2, QUARVEL_REASON_FEW_DISTINCT, 1, 3, 4}}},
};

class ExplanationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir(/*chdir_into=*/true);
    mkdir("conf", 0700);
    mkdir("dicts", 0700);
    WriteFile("conf/quarvel.ini",
              "[QUARVEL_RULE]\nquarvel_rule.postfix_num=2\nquarvel_rule.prefix_num=2\n"
              "quarvel_rule.min_diff=4\nquarvel_rule.min_step=3\n"
              "[QUARVEL_SEARCH]\nquarvel_search.pw_prefix_num=1\nquarvel_search.pw_reverse=1\n"
              "quarvel_search.extended=1\n");
    MakeDictionary("./dicts/default_dict",
                   {"dragon", "password", "sunshine", "shadow07", "70shadow", "12monkey"});
    char error[256];
    env_ = quarvel_open(".", error, sizeof(error));
    ASSERT_NE(env_, nullptr) << error;
  }
  static void TearDownTestSuite() {
    quarvel_close(env_);
    delete dir_;
  }
  static TempDir *dir_;
  static quarvel_env *env_;
};

TempDir *ExplanationTest::dir_ = nullptr;
quarvel_env *ExplanationTest::env_ = nullptr;

TEST_F(ExplanationTest, StepsAndSentenceAgreeWithWorkedExamples) {
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.password);
    quarvel_result r;
    QUARVEL_RESULT_INIT(&r);
    ASSERT_EQ(quarvel_check(env_, c.password, strlen(c.password), &r), QUARVEL_OK);
    EXPECT_EQ(r.match.kind, c.kind);
    EXPECT_STREQ(r.match.word, c.word);
    EXPECT_STREQ(r.match.variant, c.sentence);
    ASSERT_EQ(r.step_count, static_cast<int>(c.steps.size()));
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const ExpectedStep &e = c.steps[i];
      const quarvel_step &s = r.match_steps[i];
      SCOPED_TRACE(i);
      EXPECT_EQ(s.code, e.code);
      EXPECT_EQ(s.piece, e.piece);
      EXPECT_STREQ(s.arg, e.arg);
      EXPECT_EQ(s.count2, e.count2);
      if (e.code == QUARVEL_STEP_RULE && e.count < 0) {
        ASSERT_GE(s.count, 0);
        ASSERT_LT(s.count, static_cast<int>(quarvel::search::kRuleTableEntries));
        EXPECT_STREQ(quarvel::search::kRuleTable[static_cast<size_t>(s.count)], e.arg);
      } else {
        EXPECT_EQ(s.count, e.count);
      }
    }
    ASSERT_EQ(r.reason_count, static_cast<int>(c.reasons.size()));
    for (size_t i = 0; i < c.reasons.size(); ++i) {
      const ExpectedReason &e = c.reasons[i];
      const quarvel_reason &got = r.reasons[i];
      SCOPED_TRACE(i);
      EXPECT_EQ(got.stage, e.stage);
      EXPECT_EQ(got.code, e.code);
      EXPECT_EQ(got.points, e.points);
      EXPECT_EQ(got.value, e.value);
      EXPECT_EQ(got.limit, e.limit);
    }
  }
}

// A caller of an earlier layout gets no explanation as data, and nothing is
// written past its record.
TEST_F(ExplanationTest, EarlierLayoutsGetNoSteps) {
  for (const size_t size : {QUARVEL_RESULT_V1_SIZE, QUARVEL_RESULT_V2_SIZE}) {
    quarvel_result r;
    std::memset(&r, 0x5a, sizeof(r));
    QUARVEL_RESULT_INIT(&r);
    r.size = static_cast<uint32_t>(size);
    ASSERT_EQ(quarvel_check(env_, "Dragon12", 8, &r), QUARVEL_OK);
    EXPECT_STREQ(r.match.variant, "lower-cased, last 2 characters removed");
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(&r);
    for (size_t i = size; i < sizeof(r); ++i) ASSERT_EQ(bytes[i], 0x5a) << i;
  }
}

}  // namespace
