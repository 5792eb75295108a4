// Secrets: the library never writes a password, or a variant of one, to
// standard output or standard error, and the words of a word list it builds
// a dictionary from do not stay in its writable memory (its .data and .bss)
// once the build has returned, whether the build succeeded or failed.
//
// The passwords and words are made at run time, so that the test's own
// constant data does not hold them.

#include <fcntl.h>
#include <grp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarvel/pwanalysis.h"
#include "quarvel/search.h"
#include "testing/test_util.h"

namespace {

using quarvel::testing::CaptureFd;
using quarvel::testing::MakeDictionary;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

// Everything that can be read of the library's writable memory: the writable
// mappings of libquarvel.so and the anonymous mapping right after them (the
// tail of its .bss). Read through /proc/self/mem, so that a sanitizer does
// not see reads across its guard zones between globals.
std::vector<std::string> LibraryWritableMemory() {
  std::vector<std::string> areas;
  std::ifstream maps("/proc/self/maps");
  const int mem = open("/proc/self/mem", O_RDONLY);
  if (mem < 0) return areas;
  bool after_library = false;
  uint64_t library_end = 0;
  for (std::string line; std::getline(maps, line);) {
    std::istringstream fields(line);
    std::string range, perms, offset, device, inode, path;
    fields >> range >> perms >> offset >> device >> inode;
    std::getline(fields >> std::ws, path);
    const uint64_t lo = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
    const uint64_t hi = std::stoull(range.substr(range.find('-') + 1), nullptr, 16);
    const std::string name = path.substr(path.rfind('/') + 1);
    const bool library = name.rfind("libquarvel.so", 0) == 0;
    const bool bss_tail = after_library && path.empty() && lo == library_end;
    after_library = library;
    if (library) library_end = hi;
    if (!(library || bss_tail) || perms.size() < 2 || perms[1] != 'w') continue;
    std::string content(hi - lo, '\0');
    if (pread(mem, content.data(), content.size(), static_cast<off_t>(lo)) ==
        static_cast<ssize_t>(content.size())) {
      areas.push_back(std::move(content));
    } else {
      ADD_FAILURE() << "cannot read " << line;
    }
  }
  close(mem);
  return areas;
}

// The texts of needles that the library's writable memory holds.
std::vector<std::string> FoundInLibraryMemory(const std::vector<std::string> &needles) {
  const std::vector<std::string> areas = LibraryWritableMemory();
  EXPECT_FALSE(areas.empty()) << "no writable mapping of libquarvel.so found";
  std::vector<std::string> found;
  for (const std::string &needle : needles) {
    for (const std::string &area : areas) {
      if (area.find(needle) != std::string::npos) {
        found.push_back(needle);
        break;
      }
    }
  }
  return found;
}

// Texts that no output and no memory of the library holds, unless the
// library kept one: random letters and digits.
class Distinct {
 public:
  std::string Word(size_t length, bool letters_only = false) {
    const std::string alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
    const size_t size = letters_only ? 26 : alphabet.size();
    std::string word;
    for (size_t i = 0; i < length; ++i) word += alphabet[rng_() % size];
    return word;
  }

 private:
  std::mt19937 rng_{std::random_device{}()};
};

std::string Lower(std::string text) {
  for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Reversed(const std::string &text) { return std::string(text.rbegin(), text.rend()); }

// A word as a person may write it in a word list: capitals, a hyphen and a
// full stop that building removes again.
std::string Written(const std::string &word) {
  std::string line = word;
  line[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
  return line.substr(0, 4) + "-" + line.substr(4) + ".";
}

// A working folder with every search switched on: the default dictionary, a
// configured one, a damaged one that cannot be opened, and a personal one.
class SecretsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir("conf", 0755), 0);
    ASSERT_EQ(mkdir("dicts", 0777), 0);
    WriteFile("conf/quarvel.ini",
              "[QUARVEL_DICT]\n"
              "dict.file.prefix.1=./dicts/extra\n"
              "[QUARVEL_RULE]\n"
              "quarvel_rule.postfix_num=2\n"
              "quarvel_rule.prefix_num=2\n"
              "quarvel_rule.min_rept=1\n"
              "[QUARVEL_SEARCH]\n"
              "quarvel_search.pw_postfix_num=1\n"
              "quarvel_search.pw_prefix_num=1\n"
              "quarvel_search.pw_reverse=1\n"
              "quarvel_search.pw_min_rept=1\n");
    MakeDictionary("./dicts/default_dict", {"dragon", "password", "sunshine"});
    MakeDictionary("./dicts/extra", {"letmein"});
    WriteFile("dicts/damaged.pwd", "not a dictionary");
    WriteFile("dicts/damaged.pwi", "not an index either");
  }
  void TearDown() override {
    CaptureFd out(1);
    DeleteDict("./dicts/profile");
  }

  // Builds the personal dictionary from words, written as a person may.
  void BuildProfile(const std::vector<std::string> &words, std::string *trace = nullptr) {
    std::string list;
    for (const std::string &w : words) list += Written(w) + "\r\n";
    WriteFile("personal.txt", list);
    CaptureFd out(1);
    CaptureFd err(2);
    ASSERT_STREQ(CreateDict("personal.txt", "./dicts/profile"), "RET_CD=0000");
    std::string text = err.Take();
    text += out.Take();
    if (trace != nullptr) *trace = text;
  }

  std::string Load() {
    CaptureFd out(1);
    CaptureFd err(2);
    return LoadConfigFile();
  }

  Distinct distinct_;
  TempDir dir_{/*chdir_into=*/true};
};

TEST_F(SecretsTest, NoPasswordOnTheStandardStreams) {
  // The personal dictionary holds the word that the first and the third
  // password are variants of; the others are in no dictionary.
  const std::string base = distinct_.Word(12, /*letters_only=*/true);
  BuildProfile({base});
  ASSERT_EQ(Load().substr(0, 12), "RET_CD=0000:");

  std::string leet = base;
  for (char &c : leet) {
    if (c == 'o') c = '0';
    if (c == 's') c = '$';
    if (c == 'e') c = '3';
  }
  leet[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(leet[0])));
  const std::vector<std::string> passwords = {
      leet,
      "Q7!" + distinct_.Word(14) + "#Zx",
      Reversed(base),
      std::string(60, '$') + distinct_.Word(16),
  };
  for (size_t i = 0; i < passwords.size(); ++i) {
    const std::string &password = passwords[i];
    SCOPED_TRACE(password);
    const std::string lower = Lower(password);
    CaptureFd out(1);
    CaptureFd err(2);
    const std::string answer = VerifyPW(password.c_str());
    for (const char *prefix : {"./dicts/default_dict", "./dicts/extra", "./dicts/profile",
                               "./dicts/damaged", "./dicts/missing"}) {
      DictFindPW(lower.c_str(), prefix);
    }
    const std::string errors = err.Take();
    const std::string trace = out.Take();
    const std::string found = i % 2 == 0 ? ":PDICT_FD=01" : ":PDICT_FD=00";
    EXPECT_NE(answer.find(found), std::string::npos) << answer;
    // The trace was captured: it shows the stages, and the damaged
    // dictionary's message shows on standard error.
    EXPECT_NE(trace.find("[6][Personal DICT_SEARCH="), std::string::npos) << trace;
    EXPECT_NE(errors.find("./dicts/damaged"), std::string::npos) << errors;
    const std::string forms[] = {
        password, lower, Reversed(lower), lower.substr(3), lower.substr(0, lower.size() - 3), base};
    for (const std::string &form : forms) {
      EXPECT_EQ(trace.find(form), std::string::npos) << form << " in\n" << trace;
      EXPECT_EQ(errors.find(form), std::string::npos) << form << " in\n" << errors;
    }
  }
}

TEST_F(SecretsTest, NoWordOfAWordListOnTheStandardStreams) {
  std::vector<std::string> words;
  for (int i = 0; i < 40; ++i) words.push_back(distinct_.Word(13));
  std::string trace;
  BuildProfile(words, &trace);
  EXPECT_NE(trace.find("[Create Personal Dict]"), std::string::npos) << trace;
  for (const std::string &w : words) {
    EXPECT_EQ(trace.find(w), std::string::npos) << w;
    EXPECT_EQ(trace.find(Written(w)), std::string::npos) << w;
  }
  // A failed build reports no word either.
  CaptureFd out(1);
  CaptureFd err(2);
  EXPECT_STREQ(CreateDict("personal.txt", "./nowhere/profile"), "RET_CD=3004");
  trace = out.Take() + err.Take();
  for (const std::string &w : words) EXPECT_EQ(trace.find(w), std::string::npos) << w;
}

// Every word of a word list, written and normalised, and its reversal.
std::vector<std::string> AllForms(const std::vector<std::string> &words) {
  std::vector<std::string> forms;
  for (const std::string &w : words) {
    forms.push_back(w);
    forms.push_back(Written(w));
    forms.push_back(Reversed(w));
  }
  return forms;
}

TEST_F(SecretsTest, NoWordOfAWordListStaysInLibraryMemory) {
  ASSERT_EQ(Load().substr(0, 12), "RET_CD=0000:");
  std::vector<std::string> words;
  for (int i = 0; i < 100; ++i) words.push_back(distinct_.Word(14));
  BuildProfile(words);
  EXPECT_EQ(FoundInLibraryMemory(AllForms(words)), std::vector<std::string>{});

  // Dumping the dictionary reads every word through the library's areas.
  {
    CaptureFd err(2);
    ASSERT_EQ(Dict2Data("dump.txt", "./dicts/profile"), 0);
  }
  EXPECT_EQ(quarvel::testing::ReadFile("dump.txt").size(), 100 * 15u);
  EXPECT_EQ(FoundInLibraryMemory(AllForms(words)), std::vector<std::string>{});

  std::string answer;
  {
    CaptureFd out(1);
    answer = VerifyPW(Written(words[7]).c_str());
  }
  EXPECT_NE(answer.find(":PDICT_FD=01"), std::string::npos) << answer;
  // The scan does see the library's memory: the last environment answer
  // lives there (a verification's answer lives with its thread).
  const std::string loaded = Load();
  EXPECT_EQ(FoundInLibraryMemory({loaded}), std::vector<std::string>{loaded});
}

// Builds prefix from personal.txt in a child process as the unprivileged
// user 65534 and scans the library's memory for forms afterwards. Exit
// status: 0 clean, 1 a form found, 2 the build did not answer "RET_CD=3004",
// 3 no memory to scan, 77 permissions not enforced.
int FailedBuildInChild(const char *prefix, const std::vector<std::string> &forms) {
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, STDOUT_FILENO);
    dup2(null_fd, STDERR_FILENO);
    if (geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
      _exit(77);
    }
    // A change of user makes the process undumpable, and its /proc files root's.
    prctl(PR_SET_DUMPABLE, 1);
    if (access("dicts", W_OK) == 0) _exit(77);
    if (std::string(CreateDict("personal.txt", prefix)) != "RET_CD=3004") _exit(2);
    const std::vector<std::string> areas = LibraryWritableMemory();
    if (areas.empty()) _exit(3);
    for (const std::string &form : forms) {
      for (const std::string &area : areas) {
        if (area.find(form) != std::string::npos) _exit(1);
      }
    }
    _exit(0);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(SecretsTest, NoWordOfAFailedBuildStaysInLibraryMemory) {
  // Builds whose data file takes no byte: the folder takes no new file, so
  // the dictionary is written in place, and its data file is the full
  // device. Permissions mean nothing to root: the builds run in a child
  // process as the unprivileged user 65534.
  std::vector<std::string> words;
  for (int i = 0; i < 400; ++i) words.push_back(distinct_.Word(14));
  std::string list;
  for (const std::string &w : words) list += Written(w) + "\n";
  WriteFile("personal.txt", list);
  ASSERT_EQ(chmod(".", 0777), 0);
  for (const std::string prefix : {"dicts/profile", "dicts/user"}) {
    ASSERT_EQ(symlink("/dev/full", (prefix + ".pwd").c_str()), 0);
    for (const char *ext : {".pwi", ".hwm"}) {
      WriteFile(prefix + ext, "");
      if (geteuid() == 0) {
        ASSERT_EQ(chown((prefix + ext).c_str(), 65534, 65534), 0);
      }
    }
  }
  ASSERT_EQ(chmod("dicts", 0555), 0);

  for (const char *prefix : {"./dicts/profile", "./dicts/user"}) {
    SCOPED_TRACE(prefix);
    const int status = FailedBuildInChild(prefix, AllForms(words));
    if (status == 77) {
      chmod("dicts", 0777);
      GTEST_SKIP() << "permissions are not enforced here";
    }
    EXPECT_NE(status, 2) << "the build did not fail";
    EXPECT_NE(status, 3) << "no writable memory of the library found";
    EXPECT_NE(status, 1) << "a word of the failed build stays in the library's writable memory";
    EXPECT_EQ(status, 0);
  }
  ASSERT_EQ(chmod("dicts", 0777), 0);
  ASSERT_EQ(chmod(".", 0700), 0);
}

}  // namespace
