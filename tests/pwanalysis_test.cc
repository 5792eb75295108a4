// Password scoring: the stages and their trace lines, the answer fields, the
// level mapping, the dictionary stages, hostile passwords, and no copy of a
// password left in the library's memory.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarvel/dictmanger.h"
#include "quarvel/gconfig.h"
#include "quarvel/pwanalysis.h"
#include "quarvel/search.h"
#include "testing/test_util.h"
#include "verify/pwanalysis_internal.h"
#include "store/dictmanger_internal.h"

namespace {

using quarvel::testing::CaptureFd;
using quarvel::testing::MakeDictionary;
using quarvel::testing::TempDir;

constexpr char kDefaultDict[] = "./dicts/default_dict";

// The settings as a successful environment load leaves them for a
// configuration file without any keys.
void SetLoadedDefaults() {
  MINLEN = 6;
  MINDIFF = 4;
  MINSTEP = 3;
  MINREPT = 0;
  POSTFIXNUM = 1;
  PREFIXNUM = 0;
  USEPOSTFIXNUM = 1;
  USEPREFIXNUM = 0;
  USEREVERSE = 0;
  USEMINREPT = 0;
  USEPROFILE = 0;
  DELORGFILE = 0;
  SetPostFixCnt(1);
  SetPreFixCnt(0);
  SetUseReverse(0);
  for (const char *&slot : dict) slot = "";
  dict[0] = kDefaultDict;
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ScoringTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir("dicts", 0700), 0);
    MakeDictionary(kDefaultDict, {"dragon", "letmein", "monkey", "password", "sunshine"});
    quarvel::verify::cfg = gcfg_create(5, 3);
    SetLoadedDefaults();
  }
  void TearDown() override {
    gcfg_destroy(quarvel::verify::cfg);
    quarvel::verify::cfg = nullptr;
    SetLoadedDefaults();
    EXPECT_NE(pdesc.header.magic, PACKED_DICT_MAGIC) << "a dictionary was left open";
  }

  // VerifyPW with its trace captured.
  std::string Verify(const std::string &password, std::string *trace = nullptr) {
    CaptureFd out(1);
    std::string answer = VerifyPW(password.c_str());
    std::string text = out.Take();
    if (trace != nullptr) *trace = text;
    return answer;
  }

  TempDir dir_{/*chdir_into=*/true};
};

TEST_F(ScoringTest, WorkedExample) {
  std::string trace;
  EXPECT_EQ(Verify("qwertabc", &trace),
            "RET_CD=0000:RT_LEVEL=1:PW_LEN=8:PW_NCR=1:REPT_NCR=0:CTS_NCR=2:DICT_FD_CNT=2:"
            "PDICT_FD=XX");
  EXPECT_EQ(Lines(trace), (std::vector<std::string>{
                              "[1] BASIC JUMSU[PWLEN=8][CHARACTERS=1]=[1]",
                              "[2][MINDIFF=4],[junk=8][JUMSU=1]",
                              "[3][USEMINREPT=0],[MINREPT=0][repcnt=0][JUMSU=1]",
                              "[4][MINSTEP=3],[SeqChar=2][JUMSU=1]",
                              "[DictFindPW][DICT=./dicts/default_dict]",
                              "[INFO]POSTFIX SEARCH[10]",
                              "[INFO]DICT SEARCH FILE_NAME ./dicts/default_dict, NOT FOUND",
                              "[5][DICT_SEARCH=NOT FOUND],[JUMSU=1]",
                              "[6][Personal DICT_SEARCH=NOT USED],[JUMSU=1]",
                          }));
}

TEST_F(ScoringTest, RefusedPasswords) {
  EXPECT_EQ(Verify(""), "RET_CD=2000");
  EXPECT_EQ(Verify(std::string(258, 'k')), "RET_CD=2000");
  EXPECT_EQ(Verify(std::string(1 << 20, 'k')), "RET_CD=2000");
  EXPECT_STREQ(VerifyPW(nullptr), "RET_CD=2000");
  std::string answer = Verify(std::string(257, 'k'));
  EXPECT_NE(answer.find(":PW_LEN=256:"), std::string::npos) << answer;

  gcfg_destroy(quarvel::verify::cfg);
  quarvel::verify::cfg = nullptr;
  EXPECT_EQ(Verify("anything"), "RET_CD=2001");
  EXPECT_EQ(Verify(""), "RET_CD=2001");  // the environment is checked first
  quarvel::verify::cfg = gcfg_create(5, 3);
}

// A password of the given length built from the first `classes` of digit,
// lower, upper, symbol, with characters chosen to avoid sequences.
std::string PasswordOf(int length, int classes) {
  const std::string pools[] = {"0369", "aeimquy", "BFJNRVZ", "!#%&(+"};
  std::string p;
  for (int i = 0; i < length; ++i) {
    const std::string &pool = pools[i % classes];
    p += pool[(i / classes) % pool.size()];
  }
  return p;
}

TEST_F(ScoringTest, BaseScoreByLengthAndClasses) {
  struct Row {
    int length, row;
    int scores[4];
  };
  const Row rows[] = {
      {6, 6, {1, 1, 1, 1}},   {7, 7, {1, 1, 3, 3}},   {8, 8, {1, 2, 3, 3}},
      {9, 9, {2, 3, 3, 3}},   {13, 13, {2, 3, 3, 3}}, {14, 14, {4, 4, 4, 4}},
      {49, 49, {4, 4, 4, 4}}, {50, 49, {4, 4, 4, 4}}, {60, 49, {4, 4, 4, 4}},
  };
  for (const Row &r : rows) {
    for (int classes = 1; classes <= 4; ++classes) {
      std::string trace;
      const std::string password = PasswordOf(r.length, classes);
      std::string answer = Verify(password, &trace);
      EXPECT_EQ(Lines(trace)[0], "[1] BASIC JUMSU[PWLEN=" + std::to_string(r.row) +
                                     "][CHARACTERS=" + std::to_string(classes) + "]=[" +
                                     std::to_string(r.scores[classes - 1]) + "]")
          << password;
      EXPECT_NE(answer.find(":PW_LEN=" + std::to_string(r.length) +
                            ":PW_NCR=" + std::to_string(classes) + ":"),
                std::string::npos)
          << answer;
    }
  }
}

TEST_F(ScoringTest, PasswordWithoutAnyClass) {
  // Fourteen spaces: the last entry of row 13, and an empty text from stage 3 on.
  std::string trace;
  std::string answer = Verify(std::string(14, ' '), &trace);
  std::vector<std::string> lines = Lines(trace);
  EXPECT_EQ(lines[0], "[1] BASIC JUMSU[PWLEN=14][CHARACTERS=0]=[3]");
  EXPECT_EQ(lines[1], "[2][MINDIFF=4],[junk=1][JUMSU=2]");
  EXPECT_EQ(lines[3], "[4][MINSTEP=3],[SeqChar=0][JUMSU=2]");
  EXPECT_EQ(answer,
            "RET_CD=0000:RT_LEVEL=2:PW_LEN=14:PW_NCR=0:REPT_NCR=0:CTS_NCR=0:DICT_FD_CNT=2:"
            "PDICT_FD=XX");
}

TEST_F(ScoringTest, DistinctCharactersCountCaseUntilStageThree) {
  // "AaAaAaAa" has two distinct characters; the point is lost (MINDIFF 4).
  std::string trace;
  Verify("AaAaAaAa", &trace);
  EXPECT_EQ(Lines(trace)[1], "[2][MINDIFF=4],[junk=2][JUMSU=1]");
  // From stage 3 on it is "aaaaaaaa": both pieces of its first half repeat.
  USEMINREPT = 1;
  MINREPT = 0;
  Verify("AaAaAaAa", &trace);
  EXPECT_EQ(Lines(trace)[2], "[3][USEMINREPT=1],[MINREPT=0][repcnt=2][JUMSU=0]");

  // Thresholds compare as unsigned numbers.
  USEMINREPT = 0;
  MINDIFF = -1;
  Verify("abcdefghijklmnop", &trace);
  EXPECT_EQ(Lines(trace)[1], "[2][MINDIFF=-1],[junk=16][JUMSU=3]");
  MINSTEP = -1;
  Verify("abcdefghijklmnop", &trace);
  EXPECT_EQ(Lines(trace)[3], "[4][MINSTEP=-1],[SeqChar=15][JUMSU=3]");
}

TEST_F(ScoringTest, RepeatStage) {
  std::string trace;
  // Off: the count is 0 whatever the password.
  EXPECT_NE(Verify("abababab", &trace).find(":REPT_NCR=0:"), std::string::npos);
  EXPECT_EQ(Lines(trace)[2], "[3][USEMINREPT=0],[MINREPT=0][repcnt=0][JUMSU=0]");
  USEMINREPT = 1;
  MINREPT = 1;
  // "xyzxyzxyzq": pieces at 0..2 of the first half ("xy", "yz", "zx") all repeat.
  std::string answer = Verify("xyzxyzxyzq", &trace);
  EXPECT_NE(answer.find(":REPT_NCR=3:"), std::string::npos) << answer;
  EXPECT_EQ(Lines(trace)[2], "[3][USEMINREPT=1],[MINREPT=1][repcnt=3][JUMSU=1]");
}

TEST(RepeatCountTest, PiecesAndOccurrences) {
  EXPECT_EQ(RepeteSubStr("aaa", "aa"), 2);  // overlapping
  EXPECT_EQ(RepeteSubStr("abcab", "ab"), 2);
  EXPECT_EQ(RepeteSubStr("abc", "ab"), 0);  // exactly once
  EXPECT_EQ(RepeteSubStr("abc", "zz"), 0);
  EXPECT_EQ(RepeteSubStr("abc", ""), 0);
  EXPECT_EQ(RepeteSubStr(nullptr, "a"), 0);

  EXPECT_EQ(RepeteChar("abab", 2), 0);   // fewer than 5 characters: no piece
  EXPECT_EQ(RepeteChar("ababa", 2), 1);  // only the piece at 0
  EXPECT_EQ(RepeteChar("ababab", 2), 1);
  EXPECT_EQ(RepeteChar("abcabcab", 2), 2);  // pieces at 0 and 1
  EXPECT_EQ(RepeteChar("abcdefgh", 2), 0);
  EXPECT_EQ(RepeteChar("", 2), 0);
  EXPECT_EQ(RepeteChar("aaaaaaaaaa", 0), 0);
  EXPECT_EQ(RepeteChar("aaaaaaaaaa", 1000), RepeteChar("aaaaaaaaaa", 2));
  EXPECT_EQ(RepeteChar("aaaaaaaaaa", 3), 2);
  // The first half is taken of at most 255 characters.
  EXPECT_EQ(RepeteChar(std::string(5000, 'a').c_str(), 2), 126);
}

TEST_F(ScoringTest, SequenceStage) {
  std::string trace;
  std::string answer = Verify("abcdzyxw", &trace);  // ab bc cd, zy yx xw
  EXPECT_NE(answer.find(":CTS_NCR=6:"), std::string::npos);
  EXPECT_EQ(Lines(trace)[3], "[4][MINSTEP=3],[SeqChar=6][JUMSU=0]");
  // Codes compare as signed bytes: 0x7f then 0x80 is no step.
  answer = Verify("\x7f\x80\x81\x82xqxq", &trace);
  EXPECT_NE(answer.find(":CTS_NCR=2:"), std::string::npos) << answer;
}

TEST_F(ScoringTest, DictionaryStage) {
  std::string trace;
  std::string answer = Verify("Password", &trace);  // lower-cased before the search
  EXPECT_EQ(answer,
            "RET_CD=0000:RT_LEVEL=1:PW_LEN=8:PW_NCR=2:REPT_NCR=0:CTS_NCR=0:DICT_FD_CNT=1:"
            "PDICT_FD=XX");
  std::vector<std::string> lines = Lines(trace);
  // The word itself is the first candidate: no affix pass runs.
  EXPECT_EQ(lines[4], "[DictFindPW][DICT=./dicts/default_dict]");
  EXPECT_EQ(lines[5], "[INFO]DICT SEARCH FILE_NAME ./dicts/default_dict FOUND");
  EXPECT_EQ(lines[6], "[5][DICT_SEARCH=FOUND],[JUMSU=1]");

  // Trailing white space goes before the search.
  EXPECT_NE(Verify("sunshine \t").find(":DICT_FD_CNT=1:"), std::string::npos);
}

TEST_F(ScoringTest, EightDictionaries) {
  for (int i = 1; i < 8; ++i) {
    MakeDictionary("./dicts/d" + std::to_string(i), {"word" + std::to_string(i)});
  }
  static std::string prefixes[8];
  for (int i = 1; i < 8; ++i) {
    prefixes[i] = "./dicts/d" + std::to_string(i);
    dict[i] = prefixes[i].c_str();
  }
  std::string trace;
  EXPECT_NE(Verify("word7", &trace).find(":DICT_FD_CNT=8:"), std::string::npos);
  EXPECT_NE(trace.find("[INFO]DICT SEARCH FILE_NAME ./dicts/d7 FOUND\n"), std::string::npos);
  EXPECT_NE(Verify("elsewhere").find(":DICT_FD_CNT=9:"), std::string::npos);

  // Empty and unset slots are skipped; a hit counts its position among the
  // dictionaries searched.
  dict[2] = "";
  dict[4] = nullptr;
  EXPECT_NE(Verify("word7").find(":DICT_FD_CNT=6:"), std::string::npos);
  EXPECT_NE(Verify("elsewhere").find(":DICT_FD_CNT=7:"), std::string::npos);
}

TEST_F(ScoringTest, UnopenableDictionaryCountsAsFound) {
  dict[1] = "./dicts/missing";
  std::string trace;
  std::string answer = Verify("elsewhere", &trace);
  EXPECT_NE(answer.find(":DICT_FD_CNT=2:"), std::string::npos) << answer;
  EXPECT_NE(trace.find("[INFO]DICT SEARCH FILE_NAME ./dicts/missing FOUND\n"), std::string::npos);
  EXPECT_NE(trace.find("[5][DICT_SEARCH=FOUND]"), std::string::npos);
}

TEST_F(ScoringTest, PersonalDictionaryStage) {
  std::string trace;
  USEPROFILE = 1;
  // Switched on but missing: "1001" counts as found.
  std::string answer = Verify("Tr0ub4dor&3kqzw", &trace);
  EXPECT_NE(answer.find(":PDICT_FD=01"), std::string::npos) << answer;
  EXPECT_NE(trace.find("user profile dict filename ./dicts/profile\n"
                       "profile dict filename ./dicts/profile, 1001\n"
                       "[6][Personal DICT_SEARCH=FOUND],[JUMSU="),
            std::string::npos)
      << trace;

  MakeDictionary("./dicts/profile", {"myname"});
  answer = Verify("MyName!!", &trace);
  EXPECT_NE(answer.find(":PDICT_FD=01"), std::string::npos) << answer;
  EXPECT_NE(trace.find("profile dict filename ./dicts/profile, 0001\n"), std::string::npos);

  answer = Verify("Tr0ub4dor&3kqzw", &trace);
  EXPECT_EQ(answer,
            "RET_CD=0000:RT_LEVEL=4:PW_LEN=15:PW_NCR=4:REPT_NCR=0:CTS_NCR=0:DICT_FD_CNT=2:"
            "PDICT_FD=00");
  EXPECT_NE(trace.find("[6][Personal DICT_SEARCH=NOT FOUND],[JUMSU=4]\n"), std::string::npos);
}

TEST_F(ScoringTest, LevelsFollowTheScore) {
  struct Case {
    const char *password;
    int level;
  };
  const Case cases[] = {
      {"Tr0ub4dor&3kqzw", 4},  // 14+ characters, nothing lost
      {"k7Rq!x", 1},           // short
      {"k7Rq!xz", 3},          // 7 characters, 4 classes
      {"k7rqxzw", 1},          // 7 characters, 2 classes
      {"k7rqxzwm", 2},         // 8 characters, 2 classes
  };
  for (const Case &c : cases) {
    std::string answer = Verify(c.password);
    EXPECT_NE(answer.find("RT_LEVEL=" + std::to_string(c.level) + ":"), std::string::npos)
        << c.password << " -> " << answer;
  }
}

TEST_F(ScoringTest, AnyBytesGiveAWellFormedAnswer) {
  const std::regex well_formed(
      "RET_CD=0000:RT_LEVEL=[1-4]:PW_LEN=[0-9]+:PW_NCR=[0-4]:REPT_NCR=[0-9]+:CTS_NCR=[0-9]+:"
      "DICT_FD_CNT=[0-9]+:PDICT_FD=(01|00|XX)");
  USEMINREPT = 1;
  SetUseReverse(1);
  SetPostFixCnt(2);
  SetPreFixCnt(2);
  std::vector<std::string> passwords = {
      "\x01\x02\x03", "\xff\xfe\xfd\xfc",       "\t\n\r\v\f",
      "caf\xc3\xa9",  std::string(257, '\xff'), std::string(200, '$') + "0235141"};
  std::string all;
  for (int i = 1; i < 256; ++i) all += static_cast<char>(i);
  passwords.push_back(all.substr(0, 257));
  for (const std::string &p : passwords) {
    std::string answer = Verify(p);
    EXPECT_TRUE(std::regex_match(answer, well_formed)) << answer;
  }
}

// The content of the writable segments of the binary that holds the
// library's code (its .data and .bss). Read through /proc/self/mem, so that
// a sanitizer does not see reads across its guard zones between globals.
std::vector<std::string> LibraryWritableMemory() {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  EXPECT_GT(n, 0);
  exe[n > 0 ? n : 0] = '\0';
  std::vector<std::string> areas;
  std::ifstream maps("/proc/self/maps");
  int mem = open("/proc/self/mem", O_RDONLY);
  EXPECT_GE(mem, 0);
  std::string line;
  bool after_image = false;
  while (std::getline(maps, line)) {
    std::istringstream fields(line);
    std::string range, perms, offset, dev, inode, path;
    fields >> range >> perms >> offset >> dev >> inode >> path;
    // The image's own mappings, and the anonymous one right after them (the
    // tail of .bss).
    const bool image = path == exe;
    const bool bss_tail = after_image && path.empty();
    after_image = image;
    if (!(image || bss_tail) || perms.size() < 2 || perms[1] != 'w') continue;
    const uint64_t lo = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
    const uint64_t hi = std::stoull(range.substr(range.find('-') + 1), nullptr, 16);
    std::string content(hi - lo, '\0');
    EXPECT_EQ(pread(mem, content.data(), content.size(), static_cast<off_t>(lo)),
              static_cast<ssize_t>(content.size()));
    areas.push_back(std::move(content));
  }
  close(mem);
  return areas;
}

bool InLibraryMemory(const std::string &needle) {
  for (const std::string &area : LibraryWritableMemory()) {
    if (area.find(needle) != std::string::npos) return true;
  }
  return false;
}

TEST_F(ScoringTest, NoPasswordRemainsInLibraryMemory) {
  // The profile holds a variant of the password, so the search hits.
  MakeDictionary("./dicts/profile", {"qzvbsmhwpokt"});
  USEPROFILE = 1;
  USEMINREPT = 1;
  SetUseReverse(1);
  SetPostFixCnt(2);
  SetPreFixCnt(2);
  // Built at run time, so that the test's own constant data does not hold it.
  std::string password = std::string("Qz") + "Vb$Mh" + "Wp0Kt";
  std::string lower = "qzvb$mhwp0kt";
  std::string reversed(lower.rbegin(), lower.rend());
  std::string variant = "qzvbsmhwpokt";  // with $ and 0 substituted
  ASSERT_FALSE(InLibraryMemory(lower));
  EXPECT_NE(Verify(password).find(":PDICT_FD=01"), std::string::npos);
  {
    CaptureFd out(1);
    EXPECT_STREQ(DictFindPW(lower.c_str(), "./dicts/profile"), "0001");
  }
  EXPECT_FALSE(InLibraryMemory(password));
  EXPECT_FALSE(InLibraryMemory(lower));
  EXPECT_FALSE(InLibraryMemory(reversed));
  EXPECT_FALSE(InLibraryMemory(variant));
}

}  // namespace
