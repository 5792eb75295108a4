// The extended search profile through quarvel_check: mangled passwords with
// the word and the explanation expected, patterns, strong passwords that
// must not be found, and the level cap.

#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "quarvel/quarvel.h"
#include "testing/test_util.h"

namespace {

using quarvel::testing::MakeDictionary;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

// The shipped defaults (ten numeric suffixes, no reversed passes) and the
// profile on.
constexpr char kConfig[] = "[QUARVEL_SEARCH]\nquarvel_search.extended=1\n";

class ExtendedSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir("conf", 0700), 0);
    ASSERT_EQ(mkdir("dicts", 0700), 0);
    WriteFile("conf/quarvel.ini", kConfig);
    MakeDictionary("./dicts/default_dict", {"dragon", "flower", "letmein", "monkey", "password",
                                            "secret", "shadow", "sunshine", "trustno1"});
    MakeDictionary("./dicts/profile", {"rosebud"});
    char error[256];
    env_ = quarvel_open(".", error, sizeof(error));
    ASSERT_NE(env_, nullptr) << error;
  }
  void TearDown() override { quarvel_close(env_); }

  quarvel_result Check(const std::string &password) const {
    quarvel_result r;
    QUARVEL_RESULT_INIT(&r);
    EXPECT_EQ(quarvel_check(env_, password.data(), password.size(), &r), 0);
    return r;
  }

  TempDir dir_{/*chdir_into=*/true};
  quarvel_env *env_ = nullptr;
};

constexpr unsigned kExt = QUARVEL_VARIANT_EXTENDED;

TEST_F(ExtendedSearchTest, MangledPasswordsNameWordAndTransformations) {
  struct Case {
    const char *password;
    int kind;
    const char *word;
    const char *variant;
    unsigned variants;
  } cases[] = {
      {"P@ssw0rd2024!", QUARVEL_MATCH_DICTIONARY, "password",
       "capitalised, '@' read as 'a', '0' read as 'o', year 2024 and '!' cut from the end",
       kExt | QUARVEL_VARIANT_LOWERCASED | QUARVEL_VARIANT_LEET | QUARVEL_VARIANT_CUT_END},
      {"Dragon1987", QUARVEL_MATCH_DICTIONARY, "dragon", "capitalised, year 1987 cut from the end",
       kExt | QUARVEL_VARIANT_LOWERCASED | QUARVEL_VARIANT_CUT_END},
      {"MONKEY1234", QUARVEL_MATCH_DICTIONARY, "monkey",
       "upper-cased, digits 1234 cut from the end",
       kExt | QUARVEL_VARIANT_LOWERCASED | QUARVEL_VARIANT_CUT_END},
      {"!!sunshine77", QUARVEL_MATCH_DICTIONARY, "sunshine",
       "'!!' cut from the start, digits 77 cut from the end",
       kExt | QUARVEL_VARIANT_CUT_START | QUARVEL_VARIANT_CUT_END},
      {"2019Shadow", QUARVEL_MATCH_DICTIONARY, "shadow",
       "capitalised, year 2019 cut from the start",
       kExt | QUARVEL_VARIANT_LOWERCASED | QUARVEL_VARIANT_CUT_START},
      {"dragondragon", QUARVEL_MATCH_DICTIONARY, "dragon", "written twice",
       kExt | QUARVEL_VARIANT_DOUBLED},
      {"y3kn0m", QUARVEL_MATCH_DICTIONARY, "monkey", "reversed, '3' read as 'e', '0' read as 'o'",
       kExt | QUARVEL_VARIANT_REVERSED | QUARVEL_VARIANT_LEET},
      {"$ecre7", QUARVEL_MATCH_DICTIONARY, "secret", "'$' read as 's', '7' read as 't'",
       kExt | QUARVEL_VARIANT_LEET},
      {"Fl0w3r!", QUARVEL_MATCH_DICTIONARY, "flower",
       "capitalised, '0' read as 'o', '3' read as 'e', '!' cut from the end",
       kExt | QUARVEL_VARIANT_LOWERCASED | QUARVEL_VARIANT_LEET | QUARVEL_VARIANT_CUT_END},
      {"|3tm3!n", QUARVEL_MATCH_DICTIONARY, "letmein",
       "'|' read as 'l', '3' read as 'e', '!' read as 'i'", kExt | QUARVEL_VARIANT_LEET},
      {"l3t-me-1n", QUARVEL_MATCH_DICTIONARY, "letmein",
       "'3' read as 'e', '-' dropped, '1' read as 'i'", kExt | QUARVEL_VARIANT_LEET},
      {"xXmonkeyXx", QUARVEL_MATCH_DICTIONARY, "monkey",
       "lower-cased, inside the password (2 before, 2 after)",
       kExt | QUARVEL_VARIANT_LOWERCASED | QUARVEL_VARIANT_INSIDE},
      {"R0sebud99", QUARVEL_MATCH_PERSONAL, "rosebud",
       "capitalised, '0' read as 'o', digits 99 cut from the end",
       kExt | QUARVEL_VARIANT_LOWERCASED | QUARVEL_VARIANT_LEET | QUARVEL_VARIANT_CUT_END},
      {"qwerty", QUARVEL_MATCH_PATTERN, "qwerty", "keyboard walk 'qwerty'", kExt},
      {"1qaz2wsx", QUARVEL_MATCH_PATTERN, "1qaz2wsx", "keyboard walk '1qaz', keyboard walk '2wsx'",
       kExt},
      {"abcd1234", QUARVEL_MATCH_PATTERN, "abcd1234", "sequence 'abcd', sequence '1234'", kExt},
      {"14/06/1987", QUARVEL_MATCH_PATTERN, "14/06/1987", "date 1987-06-14", kExt},
      {"19870614", QUARVEL_MATCH_PATTERN, "19870614", "date 1987-06-14", kExt},
      {"zzzzzzz!!", QUARVEL_MATCH_PATTERN, "zzzzzzz!!", "run 'zzzzzzz', symbols '!!'", kExt},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.password);
    const quarvel_result r = Check(c.password);
    EXPECT_EQ(r.match.kind, c.kind);
    EXPECT_STREQ(r.match.word, c.word);
    EXPECT_STREQ(r.match.variant, c.variant);
    EXPECT_EQ(r.match.variants, c.variants);
    EXPECT_STREQ(r.match.affix, "");
    EXPECT_LE(r.level, 2);
    // A hit costs the stage its point, as any dictionary hit does.
    if (c.kind == QUARVEL_MATCH_PERSONAL) {
      EXPECT_EQ(r.pdict_fd, 1);
      EXPECT_EQ(r.stage_score[5], r.stage_score[4] - 1);
    } else {
      EXPECT_EQ(r.dict_fd_cnt, 1);
      EXPECT_EQ(r.stage_score[4], r.stage_score[3] - 1);
    }
  }
}

TEST_F(ExtendedSearchTest, StrongPasswordsAreNotFound) {
  const char *strong[] = {
      "Zq8#vLw2!mK",
      "tH7#qLp9$wXz",
      "8fK!2mQz#Rv4",
      "Gx9&vT2!pLq7",
      "mR4^kZ8@wN1!",
      "correcthorsebatterystaple",
      // A stored word under half of the password does not count.
      "Xk9#dragon$Lm2@pQ7!z",
      // Patterns that leave most of the password to chance.
      "qwerty#X9k!L2m",
      "1987Kp#x7Vq!Lz",
      // Readings that need a character standing for no letter.
      "m^nkey*Q7xL2v",
  };
  for (const char *password : strong) {
    SCOPED_TRACE(password);
    const quarvel_result r = Check(password);
    EXPECT_EQ(r.match.kind, QUARVEL_MATCH_NONE) << r.match.word << ": " << r.match.variant;
    EXPECT_GE(r.level, 3);
  }
}

// One lost point would leave a long disguised word at level 3 or 4: the
// profile rates a hit at most level 2, and changes nothing without a hit.
TEST_F(ExtendedSearchTest, HitsAreRatedAtMostLevelTwo) {
  quarvel_result r = Check("!!Sunshine2024!!");
  EXPECT_STREQ(r.match.word, "sunshine");
  EXPECT_EQ(r.stage_score[5], 3);
  EXPECT_EQ(r.level, 2);
  EXPECT_EQ(std::string(r.answer).substr(0, 22), "RET_CD=0000:RT_LEVEL=2");

  WriteFile("conf/quarvel.ini", "[QUARVEL_SEARCH]\nquarvel_search.extended=0\n");
  ASSERT_EQ(quarvel_reload(env_), 0);
  r = Check("!!Sunshine2024!!");
  EXPECT_EQ(r.match.kind, QUARVEL_MATCH_NONE);
  EXPECT_EQ(r.level, 4);
  EXPECT_EQ(Check("sunshine").match.variants, 0u);
}

}  // namespace
