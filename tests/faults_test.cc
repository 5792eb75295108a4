// Faults of the file system: a full disk while a dictionary is built, and
// folders and files that cannot be read or written. Each gives its documented
// answer, never a crash, never a dictionary left open or a descriptor leaked,
// and verification never searches a half-written dictionary.
//
// Every scenario runs in a forked child process, so that a file-size limit,
// a change of user or a crash stays there. Permissions mean nothing to root:
// run as root, the child first becomes the unprivileged user 65534.

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "quarvel/dictmanger.h"
#include "quarvel/pwanalysis.h"
#include "testing/descriptors.h"
#include "testing/test_util.h"

namespace {

using quarvel::testing::OpenDescriptors;

using quarvel::testing::MakeDictionary;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

constexpr uid_t kNobody = 65534;
constexpr char kProfile[] = "./dicts/profile";
// A dictionary outside ./dicts: opening it proves that no other dictionary
// was left open (only one can be open at a time).
constexpr char kSpare[] = "./spare/words";

// The failed checks of a child process, sent to the parent through a pipe.
class ChildChecks {
 public:
  explicit ChildChecks(int fd) : fd_(fd) {}

  void Check(bool ok, const char *what, int line) {
    if (!ok) Send("line " + std::to_string(line) + ": " + what);
  }
  void CheckEq(std::string_view actual, std::string_view expected, const char *what, int line) {
    if (actual != expected) {
      Send("line " + std::to_string(line) + ": " + what + " is \"" + std::string(actual) +
           "\", expected \"" + std::string(expected) + "\"");
    }
  }
  void CheckEq(long actual, long expected, const char *what, int line) {
    if (actual != expected) {
      Send("line " + std::to_string(line) + ": " + what + " is " + std::to_string(actual) +
           ", expected " + std::to_string(expected));
    }
  }
  void Skip(const std::string &why) { Send("SKIP " + why); }

 private:
  void Send(const std::string &message) {
    const std::string line = message + "\n";
    if (write(fd_, line.data(), line.size()) < 0) _exit(3);
  }
  int fd_;
};

#define CHILD_CHECK(c, cond) (c).Check((cond), #cond, __LINE__)
#define CHILD_CHECK_EQ(c, actual, expected) (c).CheckEq((actual), (expected), #actual, __LINE__)

std::string Slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a folder.
std::set<std::string> Listing(const char *folder) {
  std::set<std::string> names;
  if (DIR *dir = opendir(folder)) {
    while (const dirent *entry = readdir(dir)) names.insert(entry->d_name);
    closedir(dir);
  }
  return names;
}

bool Exists(const std::string &path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

// No dictionary is open: another one opens, and closes again.
void CheckNoDictionaryOpen(ChildChecks &c) {
  PackedDict *pwp = PWOpen(kSpare, "rb");
  CHILD_CHECK(c, pwp != nullptr);
  if (pwp != nullptr) CHILD_CHECK_EQ(c, PWClose(pwp), 0);
}

bool InDictionary(const char *prefix, const std::string &word) {
  PackedDict *pwp = PWOpen(prefix, "rb");
  if (pwp == nullptr) return false;
  const bool found = FindPW(pwp, word.c_str()) != static_cast<int32_t>(pwp->header.word_count);
  PWClose(pwp);
  return found;
}

enum class User { kSame, kUnprivileged };

// Runs setup, then (for kUnprivileged, when root) gives up root, then body,
// all in a child process with its standard output (the library's trace) in
// /dev/null. Fails the test for every failed check of the child, for a
// crash, and for a descriptor that body leaves open.
void InChild(User user, const std::function<void(ChildChecks &)> &setup,
             const std::function<void(ChildChecks &)> &body) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  fflush(nullptr);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(pipe_fds[0]);
    ChildChecks c(pipe_fds[1]);
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) _exit(4);
    close(null_fd);
    setup(c);
    if (user == User::kUnprivileged) {
      if (geteuid() == 0 &&
          (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
        c.Skip("cannot give up root privileges");
        _exit(0);
      }
      // Permissions must hold for this user, or nothing here means anything.
      const int probe = open("unreadable-probe", O_RDONLY);
      if (probe >= 0) {
        c.Skip("file permissions are not enforced for this user");
        _exit(0);
      }
    }
    const long fds_before = OpenDescriptors();
    body(c);
    CHILD_CHECK_EQ(c, OpenDescriptors(), fds_before);
    fflush(nullptr);
    _exit(0);
  }
  close(pipe_fds[1]);
  std::string messages;
  char chunk[512];
  for (ssize_t n; (n = read(pipe_fds[0], chunk, sizeof(chunk))) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    messages.append(chunk, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  if (WIFSIGNALED(status)) {
    ADD_FAILURE() << "the child died of signal " << WTERMSIG(status) << " ("
                  << strsignal(WTERMSIG(status)) << ")";
  } else {
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the child exited abnormally";
  }
  std::istringstream lines(messages);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("SKIP ", 0) == 0) GTEST_SKIP() << line.substr(5);
    ADD_FAILURE() << line;
  }
}

void Chmod(const std::string &path, mode_t mode) {
  ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

// A working folder that every user may enter and write: the configuration,
// the default dictionary, one configured dictionary, a spare dictionary and
// a word list.
class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_umask_ = umask(022);
    Chmod(".", 0777);
    ASSERT_EQ(mkdir("conf", 0755), 0);
    ASSERT_EQ(mkdir("dicts", 0777), 0);
    ASSERT_EQ(mkdir("spare", 0755), 0);
    Chmod("dicts", 0777);
    WriteFile("conf/quarvel.ini", "[QUARVEL_DICT]\ndict.file.prefix.1=./dicts/extra\n");
    MakeDictionary("./dicts/default_dict", {"dragon", "password", "sunshine"});
    MakeDictionary("./dicts/extra", {"letmein", "trustno"});
    MakeDictionary(kSpare, {"spare"});
    WriteFile("words.txt", "Quokka\nnarwhal\n");
    WriteFile("unreadable-probe", "");
    Chmod("unreadable-probe", 0);
  }
  void TearDown() override {
    // The folder must be writable again to be removed.
    chmod(dir_.path().c_str(), 0700);
    umask(old_umask_);
  }

  mode_t old_umask_ = 0;
  TempDir dir_{/*chdir_into=*/true};
};

const std::function<void(ChildChecks &)> kNoSetup = [](ChildChecks &) {};

// ---------------------------------------------------------------------------
// A full disk.

// Twenty words of 31 letters, each with its own first letter: sorted, no word
// shares a first byte with the one before, so the dictionary's data file
// (670 bytes) is larger than the sorted list of the build (640 bytes).
std::vector<std::string> UnsharedWords() {
  std::vector<std::string> words;
  for (int i = 0; i < 20; ++i) {
    words.push_back(static_cast<char>('a' + i) + std::string(30, static_cast<char>('z' - i)));
  }
  return words;
}

// The file-size limit between the two.
constexpr rlim_t kFileSizeLimit = 655;

// Lowers the soft limit only, so that it can be raised again.
void LimitFileSize(ChildChecks &c, rlim_t bytes) {
  rlimit limit;
  CHILD_CHECK_EQ(c, getrlimit(RLIMIT_FSIZE, &limit), 0);
  limit.rlim_cur = std::min(bytes, limit.rlim_max);
  signal(SIGXFSZ, SIG_IGN);
  CHILD_CHECK_EQ(c, setrlimit(RLIMIT_FSIZE, &limit), 0);
}

std::string DictionaryBytes(const std::string &prefix) {
  return Slurp(prefix + ".pwd") + "|" + Slurp(prefix + ".pwi") + "|" + Slurp(prefix + ".hwm");
}

TEST_F(FaultTest, FullDiskKeepsThePreviousPersonalDictionary) {
  const std::vector<std::string> new_words = UnsharedWords();
  std::string list;
  for (const std::string &w : new_words) list += w + "\n";
  WriteFile("new-words.txt", list);
  WriteFile("old-words.txt", "oldalpha\noldbeta\noldgamma\n");

  InChild(User::kSame, kNoSetup, [&](ChildChecks &c) {
    CHILD_CHECK_EQ(c, CreateDict("old-words.txt", kProfile), "RET_CD=0000");
    CHILD_CHECK_EQ(c, LoadConfigFile(),
                   "RET_CD=0000:PW_LEN=6:CTS_NCR=3:REPT_NCR=0:NCHAR=4:USE_DICT_CNT=2:USE_PDICT=01");
    const std::string before = DictionaryBytes(kProfile);
    const std::set<std::string> files = Listing("dicts");

    LimitFileSize(c, kFileSizeLimit);
    CHILD_CHECK_EQ(c, CreateDict("new-words.txt", kProfile), "RET_CD=3004");
    CheckNoDictionaryOpen(c);
    c.Check(Listing("dicts") == files, "the failed build left files in ./dicts", __LINE__);

    // The previous dictionary is still there, whole, and still searched.
    c.Check(DictionaryBytes(kProfile) == before, "the previous dictionary's files changed",
            __LINE__);
    CHILD_CHECK_EQ(c, USEPROFILE, 1);
    CHILD_CHECK(c, InDictionary(kProfile, "oldbeta"));
    CHILD_CHECK(c, !InDictionary(kProfile, new_words[3]));
    const std::string old_answer = VerifyPW("OldBeta");
    CHILD_CHECK(c, old_answer.find(":PDICT_FD=01") != std::string::npos);
    const std::string new_answer = VerifyPW(new_words[3].c_str());
    CHILD_CHECK(c, new_answer.find(":PDICT_FD=00") != std::string::npos);
    CheckNoDictionaryOpen(c);
  });
}

TEST_F(FaultTest, FullDiskLeavesNoHalfWrittenDictionary) {
  const std::vector<std::string> words = UnsharedWords();
  std::string list;
  for (const std::string &w : words) list += w + "\n";
  WriteFile("new-words.txt", list);

  InChild(User::kSame, kNoSetup, [&](ChildChecks &c) {
    CHILD_CHECK_EQ(c, LoadConfigFile(),
                   "RET_CD=0000:PW_LEN=6:CTS_NCR=3:REPT_NCR=0:NCHAR=4:USE_DICT_CNT=2:USE_PDICT=00");
    const std::set<std::string> files = Listing("dicts");
    LimitFileSize(c, kFileSizeLimit);
    // At a new prefix, and as the first personal dictionary.
    CHILD_CHECK_EQ(c, CreateDict("new-words.txt", "./dicts/fresh"), "RET_CD=3004");
    CheckNoDictionaryOpen(c);
    PackedDict *pwp = PWOpen("./dicts/fresh", "rb");
    CHILD_CHECK(c, pwp == nullptr);  // nothing half-written can be searched
    if (pwp != nullptr) PWClose(pwp);

    CHILD_CHECK_EQ(c, CreateDict("new-words.txt", kProfile), "RET_CD=3004");
    CheckNoDictionaryOpen(c);
    CHILD_CHECK_EQ(c, USEPROFILE, 0);
    const std::string answer = VerifyPW(words[0].c_str());
    CHILD_CHECK(c, answer.find(":PDICT_FD=XX") != std::string::npos);
    c.Check(Listing("dicts") == files, "the failed builds left files in ./dicts", __LINE__);

    // With room again, the same build succeeds.
    LimitFileSize(c, RLIM_INFINITY);
    CHILD_CHECK_EQ(c, CreateDict("new-words.txt", kProfile), "RET_CD=0000");
    CHILD_CHECK(c, InDictionary(kProfile, words[19]));
  });
}

TEST_F(FaultTest, FullDiskInAFolderThatTakesNoNewFiles) {
  // The personal dictionary's files may be rewritten, but no file can be
  // added beside them.
  const std::vector<std::string> new_words = UnsharedWords();
  std::string list;
  for (const std::string &w : new_words) list += w + "\n";
  WriteFile("new-words.txt", list);
  MakeDictionary(kProfile, {"keepsake"});
  if (geteuid() == 0) {
    for (const char *ext : {".pwd", ".pwi", ".hwm"}) {
      const std::string file = std::string(kProfile) + ext;
      ASSERT_EQ(chown(file.c_str(), kNobody, kNobody), 0) << file;
    }
  }
  Chmod("dicts", 0555);
  InChild(User::kUnprivileged, kNoSetup, [&](ChildChecks &c) {
    CHILD_CHECK_EQ(c, LoadConfigFile(),
                   "RET_CD=0000:PW_LEN=6:CTS_NCR=3:REPT_NCR=0:NCHAR=4:USE_DICT_CNT=2:USE_PDICT=01");
    const std::string before = DictionaryBytes(kProfile);
    LimitFileSize(c, kFileSizeLimit);
    CHILD_CHECK_EQ(c, CreateDict("new-words.txt", kProfile), "RET_CD=3004");
    CheckNoDictionaryOpen(c);
    // Either the previous dictionary survives whole, or nothing of the
    // failed build is searched.
    if (USEPROFILE != 0) {
      c.Check(DictionaryBytes(kProfile) == before,
              "USEPROFILE is 1 but the previous dictionary's files changed", __LINE__);
      CHILD_CHECK(c, InDictionary(kProfile, "keepsake"));
      CHILD_CHECK(c, !InDictionary(kProfile, new_words[0]));
    } else {
      const std::string answer = VerifyPW(new_words[19].c_str());
      CHILD_CHECK(c, answer.find(":PDICT_FD=XX") != std::string::npos);
      CHILD_CHECK_EQ(c, LoadConfigFile(),
                     "RET_CD=0000:PW_LEN=6:CTS_NCR=3:REPT_NCR=0:NCHAR=4:USE_DICT_CNT=2:"
                     "USE_PDICT=00");
    }
  });
  Chmod("dicts", 0777);
}

// ---------------------------------------------------------------------------
// Environment loading without the files it needs.

TEST_F(FaultTest, ConfigurationUnreadableOrMissing) {
  Chmod("conf/quarvel.ini", 0);
  InChild(User::kUnprivileged, kNoSetup, [](ChildChecks &c) {
    CHILD_CHECK_EQ(c, LoadConfigFile(), "RET_CD=1001");
    CheckNoDictionaryOpen(c);
  });

  Chmod("conf/quarvel.ini", 0644);
  Chmod("conf", 0);
  InChild(User::kUnprivileged, kNoSetup, [](ChildChecks &c) {
    CHILD_CHECK_EQ(c, LoadConfigFile(), "RET_CD=1001");
    CheckNoDictionaryOpen(c);
  });

  Chmod("conf", 0755);
  ASSERT_EQ(rename("conf", "conf-gone"), 0);
  InChild(User::kUnprivileged, kNoSetup, [](ChildChecks &c) {
    CHILD_CHECK_EQ(c, LoadConfigFile(), "RET_CD=1001");
    CheckNoDictionaryOpen(c);
  });
}

TEST_F(FaultTest, DefaultDictionaryUnreadable) {
  const auto load_fails = [](ChildChecks &c) {
    CHILD_CHECK_EQ(c, LoadConfigFile(), "RET_CD=1002");
    CheckNoDictionaryOpen(c);
  };
  for (const char *file : {"dicts/default_dict.pwd", "dicts/default_dict.pwi"}) {
    SCOPED_TRACE(file);
    Chmod(file, 0);
    InChild(User::kUnprivileged, kNoSetup, load_fails);
    Chmod(file, 0644);
  }
  Chmod("dicts", 0);  // the folder itself
  InChild(User::kUnprivileged, kNoSetup, load_fails);
  Chmod("dicts", 0777);
}

TEST_F(FaultTest, ConfiguredDictionaryUnreadable) {
  Chmod("dicts/extra.pwi", 0);
  InChild(User::kUnprivileged, kNoSetup, [](ChildChecks &c) {
    CHILD_CHECK_EQ(c, LoadConfigFile(), "RET_CD=1003");
    CheckNoDictionaryOpen(c);
  });
}

TEST_F(FaultTest, DictsIsARegularFile) {
  ASSERT_EQ(rename("dicts", "dicts-gone"), 0);
  WriteFile("dicts", "not a folder\n");
  InChild(User::kUnprivileged, kNoSetup, [](ChildChecks &c) {
    CHILD_CHECK_EQ(c, LoadConfigFile(), "RET_CD=1002");
    CheckNoDictionaryOpen(c);
    CHILD_CHECK_EQ(c, CreateDict("words.txt", kProfile), "RET_CD=3004");
    CHILD_CHECK_EQ(c, USEPROFILE, 0);
    CheckNoDictionaryOpen(c);
  });
  EXPECT_EQ(quarvel::testing::ReadFile("dicts"), "not a folder\n");
}

// ---------------------------------------------------------------------------
// Dictionary building and dumping without the files they need.

TEST_F(FaultTest, WordListUnreadable) {
  Chmod("words.txt", 0);
  InChild(User::kUnprivileged, kNoSetup, [](ChildChecks &c) {
    CHILD_CHECK_EQ(c, CreateDict("words.txt", kProfile), "RET_CD=3001");
    CHILD_CHECK(c, !Exists("make.txt"));
    CHILD_CHECK(c, !Exists("dicts/profile.pwd"));
    CHILD_CHECK_EQ(c, USEPROFILE, 0);
    CheckNoDictionaryOpen(c);
  });
}

TEST_F(FaultTest, CurrentFolderUnwritable) {
  Chmod(".", 0555);
  InChild(User::kUnprivileged, kNoSetup, [](ChildChecks &c) {
    CHILD_CHECK_EQ(c, CreateDict("words.txt", kProfile), "RET_CD=3002");
    CHILD_CHECK(c, !Exists("dicts/profile.pwd"));
    CHILD_CHECK_EQ(c, USEPROFILE, 0);
    CheckNoDictionaryOpen(c);
  });
  Chmod(".", 0777);
}

TEST_F(FaultTest, DictsUnwritable) {
  Chmod("dicts", 0555);
  InChild(User::kUnprivileged, kNoSetup, [](ChildChecks &c) {
    CHILD_CHECK_EQ(c, CreateDict("words.txt", "./dicts/user"), "RET_CD=3004");
    CheckNoDictionaryOpen(c);
    CHILD_CHECK_EQ(c, CreateDict("words.txt", kProfile), "RET_CD=3004");
    CHILD_CHECK_EQ(c, USEPROFILE, 0);
    CHILD_CHECK(c, !Exists("dicts/profile.pwd"));
    CheckNoDictionaryOpen(c);
  });

  // A personal dictionary that exists survives a rebuild that cannot write.
  Chmod("dicts", 0777);
  MakeDictionary(kProfile, {"keepsake"});
  Chmod("dicts", 0555);
  InChild(User::kUnprivileged, kNoSetup, [](ChildChecks &c) {
    CHILD_CHECK_EQ(c, LoadConfigFile(),
                   "RET_CD=0000:PW_LEN=6:CTS_NCR=3:REPT_NCR=0:NCHAR=4:USE_DICT_CNT=2:USE_PDICT=01");
    CHILD_CHECK_EQ(c, CreateDict("words.txt", kProfile), "RET_CD=3004");
    CheckNoDictionaryOpen(c);
    CHILD_CHECK_EQ(c, USEPROFILE, 1);
    CHILD_CHECK(c, InDictionary(kProfile, "keepsake"));
    CHILD_CHECK(c, !InDictionary(kProfile, "quokka"));
  });
  Chmod("dicts", 0777);
}

TEST_F(FaultTest, DumpToAnUnwritableOutput) {
  ASSERT_EQ(mkdir("locked", 0555), 0);
  WriteFile("readonly.txt", "keep\n");
  Chmod("readonly.txt", 0444);
  InChild(User::kUnprivileged, kNoSetup, [](ChildChecks &c) {
    CHILD_CHECK_EQ(c, Dict2Data("locked/dump.txt", kSpare), -1);
    CHILD_CHECK(c, !Exists("locked/dump.txt"));
    CheckNoDictionaryOpen(c);
    CHILD_CHECK_EQ(c, Dict2Data("readonly.txt", kSpare), -1);
    CHILD_CHECK_EQ(c, Slurp("readonly.txt"), "keep\n");
    CheckNoDictionaryOpen(c);
  });
  // An output that opens but takes no byte.
  InChild(User::kSame, kNoSetup, [](ChildChecks &c) {
    CHILD_CHECK_EQ(c, Dict2Data("/dev/full", kSpare), -1);
    CheckNoDictionaryOpen(c);
  });
}

// ---------------------------------------------------------------------------
// Verification fails closed.

TEST_F(FaultTest, UnreadablePersonalDictionaryCountsAsFound) {
  MakeDictionary(kProfile, {"keepsake"});
  const auto setup = [](ChildChecks &c) {
    // Loaded while the dictionary is readable; it then becomes unreadable.
    CHILD_CHECK_EQ(c, LoadConfigFile(),
                   "RET_CD=0000:PW_LEN=6:CTS_NCR=3:REPT_NCR=0:NCHAR=4:USE_DICT_CNT=2:USE_PDICT=01");
    CHILD_CHECK_EQ(c, chmod("dicts/profile.pwd", 0), 0);
  };
  InChild(User::kUnprivileged, setup, [](ChildChecks &c) {
    CHILD_CHECK_EQ(c, USEPROFILE, 1);
    const std::string answer = VerifyPW("Zq8#vLw2!mK");
    CHILD_CHECK_EQ(c, answer.substr(0, 12), "RET_CD=0000:");
    CHILD_CHECK(c, answer.find(":PDICT_FD=01") != std::string::npos);
    CheckNoDictionaryOpen(c);
  });
}

}  // namespace
