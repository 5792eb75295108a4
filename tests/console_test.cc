// The console executable driven through a pipe with scripted input, in a
// working folder of its own (conf/quarvel.ini, dicts/default_dict). Library
// answers are compared with what the library answers in this process, in the
// same folder.

#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "quarvel/gconfig.h"
#include "quarvel/pwanalysis.h"
#include "testing/test_util.h"

namespace {

using quarvel::testing::CaptureFd;
using quarvel::testing::FileExists;
using quarvel::testing::ReadFile;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

// The menu and the separator as the console writes them (EUC-KR frame).
const std::string kMenu = "\xA6\xAE" + Repeat("\xA6\xAC", 20) + "\xA6\xAF\n" +
                          "\xA6\xAD Password Safety Verification Lib Test  \xA6\xAD\n" +
                          "\xA6\xB1" + Repeat("\xA6\xAC", 20) + "\xA6\xB0\n" +
                          "   1. Env Load \n"
                          "   2. Verify Password \n"
                          "   3. Personal Dict Create \n"
                          "   4. Personal Dict Delete \n"
                          "   5. User Dict Create \n"
                          "   6. Pull data out of dict  \n"
                          "   7. Exit \n\n\n"
                          "   Select Number => ";
const std::string kSeparator = "\n" + Repeat("\xA6\xAC", 37) + "\n";
const std::string kPasswordPrompt = "\n input password : ";

std::string EucKrToUtf8(const std::string &text) {
  iconv_t cd = iconv_open("UTF-8", "EUC-KR");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    ADD_FAILURE() << "iconv has no EUC-KR";
    return {};
  }
  std::string out(text.size() * 3, '\0');
  char *in = const_cast<char *>(text.data());
  size_t in_left = text.size();
  char *to = out.data();
  size_t room = out.size();
  const size_t converted = iconv(cd, &in, &in_left, &to, &room);
  iconv_close(cd);
  EXPECT_NE(converted, static_cast<size_t>(-1)) << "not valid EUC-KR";
  out.resize(out.size() - room);
  return out;
}

struct Session {
  int exit_code = -1;  // 1000 + signal number when killed
  std::string out;
  std::string err;
};

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    signal(SIGPIPE, SIG_IGN);  // the console may end before taking all input
    ASSERT_EQ(mkdir("conf", 0700), 0);
    ASSERT_EQ(mkdir("dicts", 0700), 0);
    WriteFile("conf/quarvel.ini", "[QUARVEL_RULE]\nquarvel_rule.min_len=6\n");
    WriteFile("default.txt", "password\ndragon\nsunshine\nmonkey\nletmein\n");
    ASSERT_EQ(Quiet([] { return std::string(CreateDict("default.txt", "./dicts/default_dict")); }),
              "RET_CD=0000");
    USEPROFILE = 0;  // as in the console, which starts with the initial settings
    WriteFile("words.txt", "Zebra\napple\nMango\n");
  }
  void TearDown() override { USEPROFILE = 0; }

  template <typename F>
  static std::string Quiet(F call, std::string *trace = nullptr) {
    CaptureFd out(1);
    std::string answer = call();
    std::string text = out.Take();
    if (trace != nullptr) *trace = text;
    return answer;
  }

  // The console's lines for option 1 and for one password of the
  // verification loop, as this process's library produces them.
  static std::string EnvLoadLines() {
    return "\n Env Load \n Env Load Result[" + Quiet([] { return std::string(LoadConfigFile()); }) +
           "] \n";
  }
  static std::string VerifyLines(const std::string &password, std::string *result = nullptr) {
    Quiet([] { return std::string(LoadConfigFile()); });
    std::string trace;
    std::string answer = Quiet([&] { return std::string(VerifyPW(password.c_str())); }, &trace);
    if (result != nullptr) *result = answer;
    return kPasswordPrompt + trace + "[input password=" + password + "],[Search Result=" + answer +
           "]\n";
  }

  Session Console(std::string_view input) {
    const std::string out_path = dir_.File("console.out"), err_path = dir_.File("console.err");
    int in[2];
    EXPECT_EQ(pipe(in), 0);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(in[0], 0);
      close(in[0]);
      close(in[1]);
      dup2(open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      dup2(open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      // A console that loops on its input is stopped rather than left to run.
      const rlimit size{8 << 20, 8 << 20};
      setrlimit(RLIMIT_FSIZE, &size);
      signal(SIGPIPE, SIG_DFL);
      alarm(60);
      execl(QUARVEL_CONSOLE_PATH, QUARVEL_CONSOLE_PATH, static_cast<char *>(nullptr));
      _exit(127);
    }
    close(in[0]);
    for (size_t done = 0; done < input.size();) {
      const ssize_t n = write(in[1], input.data() + done, input.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the console has ended
      done += static_cast<size_t>(n);
    }
    close(in[1]);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    Session run;
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    run.out = ReadFile(out_path);
    run.err = ReadFile(err_path);
    std::remove(out_path.c_str());
    std::remove(err_path.c_str());
    return run;
  }

  // The output between menus: piece i follows the (i+1)-th menu. The output
  // must start with a menu.
  static std::vector<std::string> AfterMenus(const std::string &out) {
    std::vector<std::string> pieces;
    EXPECT_EQ(out.rfind(kMenu, 0), 0u) << "output does not start with the menu";
    size_t at = kMenu.size();
    for (;;) {
      const size_t next = out.find(kMenu, at);
      pieces.push_back(out.substr(at, next == std::string::npos ? next : next - at));
      if (next == std::string::npos) return pieces;
      at = next + kMenu.size();
    }
  }

  TempDir dir_{/*chdir_into=*/true};
};

TEST_F(ConsoleTest, MenuFrameInEucKrAndOptionSevenEndsAtOnce) {
  const Session run = Console("7\n1\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, kMenu);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(EucKrToUtf8(run.out),
            "┏━━━━━━━━━━━━━━━━━━━━┓\n"
            "┃ Password Safety Verification Lib Test  ┃\n"
            "┗━━━━━━━━━━━━━━━━━━━━┛\n"
            "   1. Env Load \n"
            "   2. Verify Password \n"
            "   3. Personal Dict Create \n"
            "   4. Personal Dict Delete \n"
            "   5. User Dict Create \n"
            "   6. Pull data out of dict  \n"
            "   7. Exit \n\n\n"
            "   Select Number => ");
  EXPECT_EQ(EucKrToUtf8(kSeparator), "\n" + Repeat("━", 37) + "\n");
}

TEST_F(ConsoleTest, ChoicesOutsideOneToSevenPrintTheSeparator) {
  for (const char *choice : {"abc", "", "0", "8", "-1", "x1", "65536"}) {
    SCOPED_TRACE(choice);
    const Session run = Console(std::string(choice) + "\n7\n");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, kMenu + kSeparator + kMenu);
  }
}

TEST_F(ConsoleTest, ChoiceTakesTheLeadingNumberLow16Bits) {
  const std::string env_load = EnvLoadLines();
  for (const char *choice : {"65537", "-65535", " +1", "1st"}) {
    SCOPED_TRACE(choice);
    const Session run = Console(std::string(choice) + "\n7\n");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, kMenu + env_load + kMenu);
  }
  EXPECT_EQ(Console("65543\n1\n").out, kMenu);  // 65543 selects 7
}

TEST_F(ConsoleTest, LongChoiceLineIsReadNineCharactersAtATime) {
  // "000000001" selects 1; the next read takes "7".
  EXPECT_EQ(Console("0000000017\n").out, kMenu + EnvLoadLines() + kMenu);
  // "2xxxxxxxx" starts the verification loop, whose first read takes "monkey".
  const Session run = Console("1\n2xxxxxxxxmonkey\n\n7\n");
  EXPECT_EQ(run.exit_code, 0);
  const auto pieces = AfterMenus(run.out);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[1], VerifyLines("monkey") + kPasswordPrompt);
}

TEST_F(ConsoleTest, EnvLoad) {
  const std::string defaults =
      "\n Env Load \n Env Load Result[RET_CD=0000:PW_LEN=6:CTS_NCR=3:REPT_NCR=0:NCHAR=4:"
      "USE_DICT_CNT=1:USE_PDICT=00] \n";
  Session run = Console("1\n7\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, kMenu + defaults + kMenu);
  // The shipped configuration holds the defaults.
  WriteFile("conf/quarvel.ini", ReadFile(QUARVEL_SHIPPED_CONFIG));
  EXPECT_EQ(Console("1\n7\n").out, kMenu + defaults + kMenu);

  ASSERT_EQ(std::remove("conf/quarvel.ini"), 0);
  EXPECT_EQ(Console("1\n7\n").out,
            kMenu + "\n Env Load \n Env Load Result[RET_CD=1001] \n" + kMenu);
}

TEST(ShippedConfiguration, NamesEveryKeyWithItsDefault) {
  gcfg *cfg = gcfg_create(5, 3);
  ASSERT_EQ(gcfg_load(cfg, QUARVEL_SHIPPED_CONFIG), 0);
  const struct {
    const char *section, *key, *value;
  } keys[] = {
      {"QUARVEL_DICT", "dict.file.prefix.1", ""},
      {"QUARVEL_DICT", "dict.file.prefix.2", ""},
      {"QUARVEL_DICT", "dict.file.prefix.3", ""},
      {"QUARVEL_DICT", "dict.file.prefix.4", ""},
      {"QUARVEL_DICT", "dict.file.prefix.5", ""},
      {"QUARVEL_DICT", "dict.file.prefix.6", ""},
      {"QUARVEL_DICT", "dict.file.prefix.7", ""},
      {"QUARVEL_RULE", "quarvel_rule.min_len", "6"},
      {"QUARVEL_RULE", "quarvel_rule.min_diff", "4"},
      {"QUARVEL_RULE", "quarvel_rule.min_step", "3"},
      {"QUARVEL_RULE", "quarvel_rule.postfix_num", "1"},
      {"QUARVEL_RULE", "quarvel_rule.prefix_num", "0"},
      {"QUARVEL_RULE", "quarvel_rule.min_rept", "0"},
      {"QUARVEL_SEARCH", "quarvel_search.pw_postfix_num", "1"},
      {"QUARVEL_SEARCH", "quarvel_search.pw_prefix_num", "0"},
      {"QUARVEL_SEARCH", "quarvel_search.pw_reverse", "0"},
      {"QUARVEL_SEARCH", "quarvel_search.pw_min_rept", "0"},
      {"QUARVEL_SEARCH", "quarvel_search.extended", "0"},
      {"QUARVEL_BREACH", "breach.file.prefix.1", ""},
      {"QUARVEL_BREACH", "breach.file.prefix.8", ""},
      {"QUARVEL_BREACH", "breach.min_count", "1"},
      {"QUARVEL_LANG", "lang.ko", ""},
      {"QUARVEL_LANG", "lang.ko.romanised", ""},
      {"QUARVEL_LANG", "lang.ko.keyboard", "1"},
      {"QUARVEL_LANG", "lang.de", ""},
      {"QUARVEL_LANG", "lang.pt", ""},
      {"nist", "min_length", "15"},
      {"nist", "blocklist", "all"},
      {"QUARVEL_ETC", "pwd_create.orgfile.delete", "0"},
  };
  for (const auto &k : keys) {
    EXPECT_STREQ(gcfg_get(cfg, k.section, k.key, "(absent)"), k.value) << k.key;
  }
  gcfg_destroy(cfg);
}

TEST_F(ConsoleTest, VerificationLoop) {
  // Before the environment is loaded the library refuses to score.
  EXPECT_EQ(AfterMenus(Console("2\npassword\n\n7\n").out)[0],
            kPasswordPrompt + "[input password=password],[Search Result=RET_CD=2001]\n" +
                kPasswordPrompt);

  // "2abc" starts the loop; a line of blanks is a password; an empty line
  // returns to the menu.
  const Session run = Console("1\n2abc\npassword\n   \n\n7\n");
  EXPECT_EQ(run.exit_code, 0);
  const auto pieces = AfterMenus(run.out);
  ASSERT_EQ(pieces.size(), 3u);
  std::string result;
  const std::string password_lines = VerifyLines("password", &result);
  EXPECT_EQ(pieces[1], password_lines + VerifyLines("   ") + kPasswordPrompt);
  EXPECT_NE(result.find(":DICT_FD_CNT=1:"), std::string::npos) << result;
}

TEST_F(ConsoleTest, HangulTypedInEucKrIsVerifiedAsUtf8WithTheExtendedProfile) {
  // The extended profile counts characters: 3 for the UTF-8 text, where the
  // EUC-KR bytes, not UTF-8, would count 6.
  WriteFile("conf/quarvel.ini", "[QUARVEL_SEARCH]\nquarvel_search.extended=1\n");
  const std::string euc_kr = "\xBB\xE7\xB6\xFB\xC7\xD8";  // 사랑해
  const std::string utf8 = EucKrToUtf8(euc_kr);
  ASSERT_EQ(utf8, "사랑해");
  std::string result;
  std::string lines = VerifyLines(utf8, &result);
  EXPECT_NE(result.find(":PW_LEN=3:"), std::string::npos) << result;
  // The line is shown as typed.
  lines.replace(lines.find("=" + utf8 + "]"), utf8.size() + 1, "=" + euc_kr);
  // UTF-8, and bytes that are neither (a lone 0xFF), are verified as given.
  const std::string other = "\xFF\xFEzz";
  const Session run = Console("1\n2\n" + euc_kr + "\n" + utf8 + "\n" + other + "\n\n7\n");
  EXPECT_EQ(AfterMenus(run.out)[1],
            lines + VerifyLines(utf8) + VerifyLines(other) + kPasswordPrompt);
  // The standard profile verifies the line as typed.
  WriteFile("conf/quarvel.ini", "[QUARVEL_RULE]\nquarvel_rule.min_len=6\n");
  EXPECT_EQ(AfterMenus(Console("1\n2\n" + euc_kr + "\n\n7\n").out)[1],
            VerifyLines(euc_kr) + kPasswordPrompt);
}

TEST_F(ConsoleTest, LinesKeepEveryCharacterAndLongLinesComeInPieces) {
  // A last line without a line feed keeps its last character, then the
  // console ends at the end of input.
  Session run = Console("1\n2\nletmein");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(AfterMenus(run.out)[1], VerifyLines("letmein") + kPasswordPrompt);

  // 1023 characters per read: the rest of the line is the next password.
  const std::string a1023(1023, 'a'), a77(77, 'a');
  run = Console("1\n2\n" + a1023 + a77 + "\n\n7\n");
  const auto pieces = AfterMenus(run.out);
  ASSERT_EQ(pieces.size(), 3u);
  std::string long_result;
  EXPECT_EQ(pieces[1], VerifyLines(a1023, &long_result) + VerifyLines(a77) + kPasswordPrompt);
  EXPECT_EQ(long_result, "RET_CD=2000");

  // The same holds for a path: the prefix keeps its last character.
  run = Console("5\nwords.txt\n./dicts/it_dict");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(FileExists("dicts/it_dict.pwd"));
}

TEST_F(ConsoleTest, PersonalDictCreateAndDelete) {
  const std::string create_head = "\n Personal Dict Create :Current Dir, tmp.txt ";
  EXPECT_EQ(AfterMenus(Console("3\n7\n").out)[0],
            create_head + "\n Personal Dict Create Result[RET_CD=3001] \n");
  EXPECT_FALSE(FileExists("dicts/profile.pwd"));

  WriteFile("tmp.txt", "Secret\nhunter2\n");
  const Session run = Console("3\n1\n4\n7\n");
  EXPECT_EQ(run.exit_code, 0);
  const auto pieces = AfterMenus(run.out);
  ASSERT_EQ(pieces.size(), 4u);
  EXPECT_EQ(pieces[0],
            create_head + "[Create Personal Dict]\n\n Personal Dict Create Result[RET_CD=0000] \n");
  EXPECT_NE(pieces[1].find(":USE_PDICT=01] \n"), std::string::npos) << pieces[1];
  EXPECT_EQ(pieces[2],
            "\n Personal Dict Delete : [Delete Personal Dict \n"
            "\n Personal Dict Delete Result[RET_CD=0000] \n");
  for (const char *ext : {".pwd", ".pwi", ".hwm"}) {
    EXPECT_FALSE(FileExists(std::string("dicts/profile") + ext)) << ext;
  }
}

TEST_F(ConsoleTest, UserDictCreateAndDump) {
  Session run = Console("5\nwords.txt\n./dicts/it_dict\n6\nout.txt\n./dicts/it_dict\n7\n");
  EXPECT_EQ(run.exit_code, 0);
  auto pieces = AfterMenus(run.out);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0],
            "\n User Dict Create\n Dictionary Name :"
            "\n Dictionary PREFIX Name(./dicts/it_dict) :[Create Personal Dict]\n"
            "\n Result[RET_CD=0000] \n");
  EXPECT_EQ(pieces[1],
            "\n Pull data out of dict\n Save File Name :"
            "\n Dictionary Prefix Name(./dicts/it_dict) :\n Save Succecc \n");
  EXPECT_EQ(ReadFile("out.txt"), "apple\nmango\nzebra\n");

  // A prefix that names no dictionary leaves an empty file behind.
  run = Console("6\nnone.txt\n./dicts/missing\n7\n");
  pieces = AfterMenus(run.out);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0],
            "\n Pull data out of dict\n Save File Name :"
            "\n Dictionary Prefix Name(./dicts/it_dict) :\n Save Fail \n");
  EXPECT_EQ(run.err.rfind("PWOpen: ", 0), 0u) << run.err;
  EXPECT_TRUE(FileExists("none.txt"));
  EXPECT_EQ(ReadFile("none.txt"), "");
}

TEST_F(ConsoleTest, EndOfInputEndsTheProgramFromTheMenu) {
  // Inside the verification loop the end of input goes back to the menu,
  // which is printed again; at the menu and at the prompts of options 5 and
  // 6 it ends the program.
  const std::string list_prompt = "\n User Dict Create\n Dictionary Name :";
  const std::string save_prompt = "\n Pull data out of dict\n Save File Name :";
  const struct {
    const char *input;
    std::string shown;
  } cases[] = {
      {"", ""},
      {"2\n", kPasswordPrompt + kMenu},
      {"2\nmonkey\n", kPasswordPrompt + "[input password=monkey],[Search Result=RET_CD=2001]\n" +
                          kPasswordPrompt + kMenu},
      {"5\n", list_prompt},
      {"5\nwords.txt\n", list_prompt + "\n Dictionary PREFIX Name(./dicts/it_dict) :"},
      {"6\n", save_prompt},
      {"6\nout.txt\n", save_prompt + "\n Dictionary Prefix Name(./dicts/it_dict) :"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.input);
    const Session run = Console(c.input);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, kMenu + c.shown);
  }
  // Nothing was built or written by the options left unanswered.
  EXPECT_FALSE(FileExists("make.txt"));
  EXPECT_FALSE(FileExists("dicts/it_dict.pwd"));
  EXPECT_FALSE(FileExists("out.txt"));
}

}  // namespace
