// Environment loading: the configuration file drives the settings, the
// dictionary table and the search's switches; each failure code leaves
// exactly its documented state.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "quarvel/dictmanger.h"
#include "quarvel/gconfig.h"
#include "quarvel/pwanalysis.h"
#include "quarvel/search.h"
#include "testing/test_util.h"
#include "verify/pwanalysis_internal.h"
#include "search/rule_table.h"
#include "store/dictmanger_internal.h"

namespace {

using quarvel::testing::CaptureFd;
using quarvel::testing::MakeDictionary;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

// The values every setting has before the first load.
void ResetToInitialValues() {
  gcfg_destroy(quarvel::verify::cfg);
  quarvel::verify::cfg = nullptr;
  MINLEN = 6;
  MINDIFF = 4;
  MINSTEP = 3;
  MINREPT = 3;
  POSTFIXNUM = 2;
  PREFIXNUM = 1;
  USEPOSTFIXNUM = 1;
  USEPREFIXNUM = 0;
  USEREVERSE = 0;
  USEMINREPT = 0;
  USEPROFILE = 0;
  DELORGFILE = 0;
  USE_DICT_CNT = 1;
  for (const char *&slot : dict) slot = nullptr;
  quarvel::search::suffix_numbers = 0;
  quarvel::search::prefix_numbers = 0;
  quarvel::search::reverse_passes = 0;
}

class EnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetToInitialValues();
    ASSERT_EQ(mkdir("conf", 0700), 0);
    ASSERT_EQ(mkdir("dicts", 0700), 0);
    MakeDictionary("./dicts/default_dict", {"password"});
  }
  void TearDown() override {
    ResetToInitialValues();
    EXPECT_NE(pdesc.header.magic, PACKED_DICT_MAGIC);
  }

  void Config(const std::string &text) { WriteFile("conf/quarvel.ini", text); }

  std::string Load() {
    CaptureFd err(2);
    std::string answer = LoadConfigFile();
    errors_ = err.Take();
    return answer;
  }

  std::string Verify(const std::string &password) {
    CaptureFd out(1);
    return VerifyPW(password.c_str());
  }

  std::string errors_;
  TempDir dir_{/*chdir_into=*/true};
};

TEST_F(EnvironmentTest, FileWithoutKeysGivesTheDefaults) {
  Config("# nothing set\n[QUARVEL_RULE]\n");
  EXPECT_EQ(Load(),
            "RET_CD=0000:PW_LEN=6:CTS_NCR=3:REPT_NCR=0:NCHAR=4:USE_DICT_CNT=1:USE_PDICT=00");
  EXPECT_EQ(MINLEN, 6);
  EXPECT_EQ(MINDIFF, 4);
  EXPECT_EQ(MINSTEP, 3);
  EXPECT_EQ(POSTFIXNUM, 1);
  EXPECT_EQ(PREFIXNUM, 0);
  EXPECT_EQ(MINREPT, 0);
  EXPECT_EQ(USEPOSTFIXNUM, 1);
  EXPECT_EQ(USEPREFIXNUM, 0);
  EXPECT_EQ(USEREVERSE, 0);
  EXPECT_EQ(USEMINREPT, 0);
  EXPECT_EQ(DELORGFILE, 0);
  EXPECT_EQ(USEPROFILE, 0);
  // Ten numeric suffixes; prefixes and reversed words stay off.
  EXPECT_EQ(quarvel::search::suffix_numbers, 10);
  EXPECT_EQ(quarvel::search::prefix_numbers, 0);
  EXPECT_EQ(quarvel::search::reverse_passes, 0);
  EXPECT_STREQ(dict[0], "./dicts/default_dict");
  for (int n = 1; n < 8; ++n) EXPECT_STREQ(dict[n], "") << n;
}

TEST_F(EnvironmentTest, EverySettingIsReadFromItsKey) {
  Config(
      "[QUARVEL_RULE]\n"
      "quarvel_rule.min_len = 9\n"
      "quarvel_rule.min_diff=5\n"
      "quarvel_rule.min_step=2\n"
      "quarvel_rule.postfix_num=2\n"
      "quarvel_rule.prefix_num=1\n"
      "quarvel_rule.min_rept=7\n"
      "[QUARVEL_SEARCH]\n"
      "quarvel_search.pw_postfix_num=1\n"
      "quarvel_search.pw_prefix_num=1\n"
      "quarvel_search.pw_reverse=1\n"
      "quarvel_search.pw_min_rept=1\n"
      "[QUARVEL_ETC]\n"
      "pwd_create.orgfile.delete=1\n");
  EXPECT_EQ(Load(),
            "RET_CD=0000:PW_LEN=9:CTS_NCR=2:REPT_NCR=7:NCHAR=4:USE_DICT_CNT=1:USE_PDICT=00");
  EXPECT_EQ(MINDIFF, 5);
  EXPECT_EQ(USEREVERSE, 1);
  EXPECT_EQ(USEMINREPT, 1);
  EXPECT_EQ(DELORGFILE, 1);
  EXPECT_EQ(quarvel::search::suffix_numbers, 100);
  EXPECT_EQ(quarvel::search::prefix_numbers, 10);
  EXPECT_EQ(quarvel::search::reverse_passes, 1);
}

TEST_F(EnvironmentTest, RepeatThresholdNeedsItsSwitch) {
  Config(
      "[QUARVEL_RULE]\nquarvel_rule.min_rept=5\n[QUARVEL_SEARCH]\nquarvel_search.pw_min_rept=0\n");
  EXPECT_NE(Load().find(":REPT_NCR=0:"), std::string::npos);
  Config(
      "[QUARVEL_RULE]\nquarvel_rule.min_rept=5\n[QUARVEL_SEARCH]\nquarvel_search.pw_min_rept=1\n");
  EXPECT_NE(Load().find(":REPT_NCR=5:"), std::string::npos);
}

TEST_F(EnvironmentTest, SwitchedOffSearchesKeepTheirPreviousValues) {
  Config(
      "[QUARVEL_SEARCH]\nquarvel_search.pw_reverse=1\nquarvel_search.pw_prefix_num=1\n"
      "[QUARVEL_RULE]\nquarvel_rule.prefix_num=2\n");
  Load();
  EXPECT_EQ(quarvel::search::reverse_passes, 1);
  EXPECT_EQ(quarvel::search::prefix_numbers, 100);
  Config(
      "[QUARVEL_SEARCH]\nquarvel_search.pw_reverse=0\nquarvel_search.pw_prefix_num=0\n"
      "quarvel_search.pw_postfix_num=0\n[QUARVEL_RULE]\nquarvel_rule.postfix_num=2\n");
  Load();
  EXPECT_EQ(quarvel::search::reverse_passes, 1);
  EXPECT_EQ(quarvel::search::prefix_numbers, 100);
  EXPECT_EQ(quarvel::search::suffix_numbers, 10);  // from the first load
}

TEST_F(EnvironmentTest, ConfiguredDictionaries) {
  MakeDictionary("./dicts/third", {"word"});
  MakeDictionary("./dicts/fifth", {"word"});
  Config("[QUARVEL_DICT]\ndict.file.prefix.3=./dicts/third\n");
  EXPECT_NE(Load().find(":USE_DICT_CNT=2:"), std::string::npos);
  EXPECT_STREQ(dict[1], "");
  EXPECT_STREQ(dict[2], "");
  EXPECT_STREQ(dict[3], "./dicts/third");

  // A missing dictionary stops the load, even with a good one after it.
  MINLEN = 99;
  Config(
      "[QUARVEL_DICT]\ndict.file.prefix.2=./dicts/missing\ndict.file.prefix.5=./dicts/fifth\n"
      "[QUARVEL_RULE]\nquarvel_rule.min_len=7\n");
  EXPECT_EQ(Load(), "RET_CD=1003");
  EXPECT_STREQ(dict[2], "./dicts/missing");
  EXPECT_STREQ(dict[3], "");
  EXPECT_STREQ(dict[5], "./dicts/fifth");
  EXPECT_EQ(USE_DICT_CNT, 1);
  EXPECT_EQ(MINLEN, 99);   // no setting was read
  EXPECT_EQ(errors_, "");  // a dictionary without its data file fails silently

  // A blank after "=" stays in the prefix.
  Config("[QUARVEL_DICT]\ndict.file.prefix.1= ./dicts/third\n");
  EXPECT_EQ(Load(), "RET_CD=1003");
  EXPECT_STREQ(dict[1], " ./dicts/third");
}

TEST_F(EnvironmentTest, DefaultDictionaryAndConfigurationFileMissing) {
  Config("");
  ASSERT_EQ(unlink("dicts/default_dict.pwd"), 0);
  EXPECT_EQ(Load(), "RET_CD=1002");
  EXPECT_STREQ(dict[0], "./dicts/default_dict");

  ASSERT_EQ(unlink("conf/quarvel.ini"), 0);
  EXPECT_EQ(Load(), "RET_CD=1001");
}

TEST_F(EnvironmentTest, ScoringAfterAFailedFirstLoad) {
  EXPECT_EQ(Verify("anything"), "RET_CD=2001");
  EXPECT_EQ(Load(), "RET_CD=1001");
  // A configuration object exists: scoring runs on the initial values and
  // searches no dictionary.
  EXPECT_EQ(Verify("password"),
            "RET_CD=0000:RT_LEVEL=1:PW_LEN=8:PW_NCR=1:REPT_NCR=0:CTS_NCR=0:DICT_FD_CNT=1:"
            "PDICT_FD=XX");
}

TEST_F(EnvironmentTest, PersonalDictionaryFollowsTheProbe) {
  Config("");
  MakeDictionary("./dicts/profile", {"secret"});
  EXPECT_NE(Load().find("USE_PDICT=01"), std::string::npos);
  EXPECT_EQ(USEPROFILE, 1);
  EXPECT_NE(Verify("secret").find(":PDICT_FD=01"), std::string::npos);

  // Removed by other means: the next load switches the personal search off
  // instead of charging every password for a dictionary that is gone.
  for (const char *ext : {".pwd", ".pwi", ".hwm"}) {
    ASSERT_EQ(unlink((std::string("dicts/profile") + ext).c_str()), 0);
  }
  EXPECT_NE(Load().find("USE_PDICT=00"), std::string::npos);
  EXPECT_EQ(USEPROFILE, 0);
  EXPECT_NE(Verify("secret").find(":PDICT_FD=XX"), std::string::npos);
}

TEST_F(EnvironmentTest, ReloadsReleaseThePreviousConfiguration) {
  MakeDictionary("./dicts/third", {"word"});
  Config("[QUARVEL_DICT]\ndict.file.prefix.3=./dicts/third\n");
  for (int i = 0; i < 200; ++i) ASSERT_EQ(Load().substr(0, 11), "RET_CD=0000");
  // The slots hold the library's own copies: still valid after the
  // configuration they came from is gone (the sanitizer build checks it).
  gconfigsect *section = gcfg_findsection(quarvel::verify::cfg, "QUARVEL_DICT");
  ASSERT_NE(section, nullptr);
  EXPECT_STREQ(dict[3], "./dicts/third");
  EXPECT_NE(dict[3], gcfg_get(quarvel::verify::cfg, "QUARVEL_DICT", "dict.file.prefix.3", ""));
  EXPECT_NE(Verify("word").find(":DICT_FD_CNT=2:"), std::string::npos);
}

}  // namespace
