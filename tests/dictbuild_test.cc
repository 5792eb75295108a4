// Dictionary building, dumping and deletion: normalisation of word lists,
// failure codes, the personal dictionary switch, hostile word lists.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarvel/dictmanger.h"
#include "quarvel/gconfig.h"
#include "quarvel/pwanalysis.h"
#include "testing/test_util.h"
#include "verify/pwanalysis_internal.h"
#include "store/dictmanger_internal.h"

namespace {

using quarvel::testing::CaptureFd;
using quarvel::testing::FileExists;
using quarvel::testing::ReadFile;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

class BuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir("dicts", 0700), 0);
    USEPROFILE = 0;
    DELORGFILE = 0;
  }
  void TearDown() override {
    USEPROFILE = 0;
    DELORGFILE = 0;
    EXPECT_NE(pdesc.header.magic, PACKED_DICT_MAGIC) << "a dictionary was left open";
    EXPECT_EQ(buf, nullptr);
    EXPECT_EQ(offsets, nullptr);
    EXPECT_EQ(off_size, 0);
    EXPECT_EQ(off_idx, 0);
  }

  std::string Create(const std::string &list, const std::string &prefix) {
    CaptureFd out(1);
    std::string answer = CreateDict(list.c_str(), prefix.c_str());
    trace_ = out.Take();
    return answer;
  }

  // Builds a dictionary from the given word list content and dumps it back.
  std::string BuildAndDump(const std::string &content) {
    WriteFile("list.txt", content);
    EXPECT_EQ(Create("list.txt", "./dicts/user"), "RET_CD=0000");
    EXPECT_EQ(Dict2Data("dump.txt", "./dicts/user"), 0);
    return ReadFile("dump.txt");
  }

  std::string trace_;
  TempDir dir_{/*chdir_into=*/true};
};

TEST_F(BuildTest, Normalisation) {
  struct Case {
    const char *name;
    std::string list;
    std::string dump;
  };
  const std::string l40(40, 'q'), l32(32, 'r'), l31(31, 's');
  const std::vector<Case> cases = {
      {"case folding, duplicates kept", "Apple\nbanana\nAPPLE\n", "apple\napple\nbanana\n"},
      {"letters and digits kept", "Pass word-123!\n", "password123\n"},
      {"carriage returns", "b\r\na\r\n", "a\nb\n"},
      {"lengths", l40 + "\n" + l32 + "\n" + l31 + "\n",
       std::string(31, 'q') + "\n" + std::string(31, 'r') + "\n" + l31 + "\n"},
      {"last line without line end", "def\nabc", "abc\ndef\n"},
      {"non-ASCII", "\xc3\xa9\xc3\xa8\ncaf\xc3\xa9\n", "caf\n"},
      {"empty and dropped lines", "\n\n!!!\n  \nz\n", "z\n"},
      {"digits before letters", "b\n1\na1\na\n", "1\na\na1\nb\n"},
      {"NUL bytes dropped", std::string("ab\0c\n", 5), "abc\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BuildAndDump(c.list), c.dump);
  }
}

TEST_F(BuildTest, LineEndsDoNotChangeTheDictionary) {
  BuildAndDump("alpha\nbeta\ngamma\n");
  const std::string lf = ReadFile("dicts/user.pwd") + ReadFile("dicts/user.pwi");
  BuildAndDump("alpha\r\nbeta\r\ngamma\r\n");
  EXPECT_EQ(ReadFile("dicts/user.pwd") + ReadFile("dicts/user.pwi"), lf);
  BuildAndDump("alpha\rbeta\rgamma");
  EXPECT_EQ(ReadFile("dicts/user.pwd") + ReadFile("dicts/user.pwi"), lf);
}

TEST_F(BuildTest, SuccessfulBuildTracesAndCleansUp) {
  WriteFile("list.txt", "one\ntwo\n");
  EXPECT_EQ(Create("list.txt", "./dicts/user"), "RET_CD=0000");
  EXPECT_EQ(trace_, "[Create Personal Dict]\n");
  EXPECT_FALSE(FileExists("make.txt"));
  EXPECT_TRUE(FileExists("list.txt"));
  EXPECT_TRUE(FileExists("dicts/user.pwd"));
  EXPECT_TRUE(FileExists("dicts/user.pwi"));
  EXPECT_TRUE(FileExists("dicts/user.hwm"));

  DELORGFILE = 1;
  EXPECT_EQ(Create("list.txt", "./dicts/user"), "RET_CD=0000");
  EXPECT_FALSE(FileExists("list.txt"));
}

TEST_F(BuildTest, FailureCodes) {
  // No word list: nothing written, the switch untouched.
  USEPROFILE = 1;
  EXPECT_EQ(Create("missing.txt", "./dicts/profile"), "RET_CD=3001");
  EXPECT_FALSE(FileExists("make.txt"));
  EXPECT_FALSE(FileExists("dicts/profile.pwd"));
  EXPECT_EQ(USEPROFILE, 1);
  USEPROFILE = 0;

  // A word list that opens but cannot be read.
  ASSERT_EQ(mkdir("folder", 0700), 0);
  EXPECT_EQ(Create("folder", "./dicts/user"), "RET_CD=3002");

  // The dictionary's folder is missing: the sorted list stays behind, and
  // a failed build never removes the word list.
  DELORGFILE = 1;
  WriteFile("list.txt", "word\n");
  EXPECT_EQ(Create("list.txt", "./nowhere/user"), "RET_CD=3004");
  EXPECT_EQ(ReadFile("make.txt"), "word\n");
  EXPECT_TRUE(FileExists("list.txt"));

  // The temporary file cannot be written.
  ASSERT_EQ(unlink("make.txt"), 0);
  ASSERT_EQ(mkdir("make.txt", 0700), 0);
  EXPECT_EQ(Create("list.txt", "./dicts/user"), "RET_CD=3002");
}

TEST_F(BuildTest, WordListOf2GiBIsSortedInRuns) {
  // 2 GiB of NUL bytes and one word: SortFile, which reads whole, refuses
  // it; CreateDict sorts it in runs.
  const int fd = open("huge.txt", O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, "Walrus\n", 7, static_cast<off_t>(1) << 31), 7);  // sparse before it
  close(fd);
  EXPECT_EQ(SortFile("huge.txt", "out.txt"), 2);
  EXPECT_EQ(Create("huge.txt", "./dicts/user"), "RET_CD=0000");
  EXPECT_EQ(Dict2Data("dump.txt", "./dicts/user"), 0);
  EXPECT_EQ(ReadFile("dump.txt"), "walrus\n");
  EXPECT_FALSE(FileExists("make.txt"));
}

// CreateDict under a budget of a few KiB sorts in hundreds of runs, merged
// in several rounds: its files, its sorted list on failure and its words
// (duplicates kept) are those of the build in memory and of a model.
TEST_F(BuildTest, RunsMatchTheBuildInMemoryAndAModel) {
  std::mt19937 rng(21);
  const std::string alphabet = "abcXYZ019-! ";
  std::string list;
  std::vector<std::string> model;
  for (int i = 0; i < 40000; ++i) {
    std::string line;
    for (int n = static_cast<int>(rng() % 40); n > 0; --n)
      line += alphabet[rng() % alphabet.size()];
    std::string word;
    for (char c : line) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) word += c;
    }
    if (i % 7 == 0 && !model.empty()) {  // a repeat of an earlier line
      word = model[rng() % model.size()];
      line = word;
    }
    if (!word.empty()) model.push_back(word.substr(0, 31));
    list += line + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
  }
  list += "LastWord";  // no line end
  model.push_back("lastword");
  std::sort(model.begin(), model.end());
  std::string dump;
  for (const std::string &w : model) dump += w + "\n";
  WriteFile("list.txt", list);

  struct Outcome {
    std::string files, make_txt;
  };
  auto build = [&](uint64_t budget) {
    quarvel::verify::SetCreateDictMemoryBudget(budget);
    Outcome o;
    EXPECT_EQ(Create("list.txt", "./dicts/user"), "RET_CD=0000");
    o.files = ReadFile("dicts/user.pwd") + ReadFile("dicts/user.pwi") + ReadFile("dicts/user.hwm");
    EXPECT_EQ(Dict2Data("dump.txt", "./dicts/user"), 0);
    EXPECT_EQ(ReadFile("dump.txt"), dump);
    // A build that cannot write its dictionary leaves the sorted list.
    EXPECT_EQ(Create("list.txt", "./nowhere/user"), "RET_CD=3004");
    o.make_txt = ReadFile("make.txt");
    quarvel::verify::SetCreateDictMemoryBudget(uint64_t{1} << 30);
    return o;
  };
  const Outcome in_memory = build(uint64_t{1} << 30);
  const Outcome in_runs = build(4096);
  EXPECT_EQ(in_runs.files, in_memory.files);
  EXPECT_EQ(in_runs.make_txt, in_memory.make_txt);
  ASSERT_EQ(SortFile("list.txt", "sorted.txt"), 0);
  EXPECT_EQ(in_runs.make_txt, ReadFile("sorted.txt"));
  // No run is left behind.
  for (const auto &entry : std::filesystem::directory_iterator(".")) {
    EXPECT_EQ(entry.path().filename().string().find(".quarvel-run"), std::string::npos);
  }
}

// A build killed while it sorts in runs or writes leaves the previous
// dictionary whole and searchable, and no run behind (runs are unlinked
// as soon as they are made).
TEST_F(BuildTest, KilledBuildKeepsThePreviousDictionary) {
  WriteFile("old.txt", "secret\n");
  ASSERT_EQ(Create("old.txt", "./dicts/profile"), "RET_CD=0000");
  const std::string old_files = ReadFile("dicts/profile.pwd") + ReadFile("dicts/profile.pwi");
  std::string list;
  for (uint64_t i = 0; i < 300000; ++i) list += "w" + std::to_string(i * 7919 % 300000) + "\n";
  WriteFile("new.txt", list);
  for (int delay_ms : {5, 40, 150}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      quarvel::verify::SetCreateDictMemoryBudget(64 << 10);
      CaptureFd out(1);
      CreateDict("new.txt", "./dicts/profile");
      _exit(0);
    }
    usleep(delay_ms * 1000);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const std::string files = ReadFile("dicts/profile.pwd") + ReadFile("dicts/profile.pwi");
    PackedDict *pwp = PWOpen("./dicts/profile", "rb");
    ASSERT_NE(pwp, nullptr);
    if (files == old_files) {
      EXPECT_EQ(FindPW(pwp, "secret"), 0);
    } else {  // the child finished first: the new dictionary is whole
      EXPECT_EQ(pwp->header.word_count, 300000u);
      EXPECT_NE(static_cast<uint32_t>(FindPW(pwp, "w17")), pwp->header.word_count);
    }
    PWClose(pwp);
    for (const auto &entry : std::filesystem::directory_iterator(".")) {
      EXPECT_EQ(entry.path().filename().string().find(".quarvel-run"), std::string::npos);
    }
    // Staged files of a killed build may remain beside the dictionary (see
    // StagedDictionary): they are never taken for it.
    for (const auto &entry : std::filesystem::directory_iterator("dicts")) {
      const std::string name = entry.path().filename().string();
      if (name.find(".new-") != std::string::npos) std::filesystem::remove(entry.path());
    }
  }
}

TEST_F(BuildTest, FailedWriteKeepsThePreviousDictionary) {
  WriteFile("old.txt", "secret\n");
  ASSERT_EQ(Create("old.txt", "./dicts/profile"), "RET_CD=0000");
  const std::string old_data = ReadFile("dicts/profile.pwd");
  WriteFile("new.txt", "alpha\nbeta\n");

  // In a child process, files may not grow past 1000 bytes: the sorted list
  // and the data file fit, the 1024-byte mark file does not.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    int failures = 0;
    CaptureFd out(1);
    if (std::string(CreateDict("new.txt", "./dicts/profile")) != "RET_CD=3004") failures |= 1;
    if (USEPROFILE != 1) failures |= 2;                          // the old one is still usable
    if (pdesc.header.magic == PACKED_DICT_MAGIC) failures |= 4;  // nothing left open
    _exit(failures);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  // The previous dictionary is intact, and no staged file is left behind.
  EXPECT_EQ(ReadFile("dicts/profile.pwd"), old_data);
  PackedDict *pwp = PWOpen("./dicts/profile", "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_EQ(FindPW(pwp, "secret"), 0);
  PWClose(pwp);
  for (const auto &entry : std::filesystem::directory_iterator("dicts")) {
    EXPECT_EQ(entry.path().filename().string().find(".new-"), std::string::npos) << entry.path();
  }
}

TEST_F(BuildTest, BuildReplacesAllThreeFiles) {
  WriteFile("a.txt", "apple\nbanana\n");
  ASSERT_EQ(Create("a.txt", "./dicts/user"), "RET_CD=0000");
  // The rebuilt dictionary has all three files, whatever was there before.
  ASSERT_EQ(unlink("dicts/user.hwm"), 0);
  WriteFile("b.txt", "cherry\n");
  ASSERT_EQ(Create("b.txt", "./dicts/user"), "RET_CD=0000");
  EXPECT_TRUE(FileExists("dicts/user.hwm"));
  EXPECT_EQ(Dict2Data("dump.txt", "./dicts/user"), 0);
  EXPECT_EQ(ReadFile("dump.txt"), "cherry\n");
}

TEST_F(BuildTest, BuildWhileAnotherDictionaryIsOpen) {
  // Creating the dictionary force-closes the one a caller left open, names
  // the caller's prefix, and builds nothing: the sorted list stays behind.
  WriteFile("list.txt", "open\n");
  ASSERT_EQ(Create("list.txt", "./dicts/open"), "RET_CD=0000");
  WriteFile("list.txt", "word\n");
  ASSERT_NE(PWOpen("./dicts/open", "rb"), nullptr);
  CaptureFd err(2);
  EXPECT_EQ(Create("list.txt", "./dicts/user"), "RET_CD=3004");
  EXPECT_EQ(err.Take(), "./dicts/user: another dictionary already open, force closed \n");
  EXPECT_EQ(trace_, "");
  EXPECT_EQ(ReadFile("make.txt"), "word\n");
  EXPECT_FALSE(FileExists("dicts/user.pwd"));
  for (const auto &entry : std::filesystem::directory_iterator("dicts")) {
    EXPECT_EQ(entry.path().filename().string().rfind("open.", 0), 0u) << entry.path();
  }
}

TEST_F(BuildTest, RebuildKeepsModesOwnersAndLinks) {
  const mode_t old_umask = umask(027);
  auto mode = [](const std::string &path) {
    struct stat status = {};
    EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
  };
  const char *extensions[] = {".pwd", ".pwi", ".hwm"};
  // New files follow the umask, as fopen's would.
  WriteFile("list.txt", "one\n");
  ASSERT_EQ(Create("list.txt", "./dicts/user"), "RET_CD=0000");
  for (const char *ext : extensions) EXPECT_EQ(mode(std::string("dicts/user") + ext), 0640u);

  // Files replaced keep their modes (and owner and group, where the
  // process may give them away).
  const mode_t modes[] = {0600, 0604, 0400};
  const bool root = geteuid() == 0;
  for (int i = 0; i < 3; ++i) {
    const std::string path = std::string("dicts/user") + extensions[i];
    ASSERT_EQ(chmod(path.c_str(), modes[i]), 0);
    if (root) {
      ASSERT_EQ(chown(path.c_str(), 1, 2), 0);
    }
  }
  WriteFile("list.txt", "two\n");
  ASSERT_EQ(Create("list.txt", "./dicts/user"), "RET_CD=0000");
  for (int i = 0; i < 3; ++i) {
    const std::string path = std::string("dicts/user") + extensions[i];
    EXPECT_EQ(mode(path), modes[i]) << path;
    struct stat status = {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    if (root) {
      EXPECT_EQ(status.st_uid, 1u) << path;
      EXPECT_EQ(status.st_gid, 2u) << path;
    }
  }

  // Links stay links: the new words go to their targets.
  ASSERT_EQ(mkdir("store", 0700), 0);
  WriteFile("list.txt", "old\n");
  ASSERT_EQ(Create("list.txt", "./store/real"), "RET_CD=0000");
  for (const char *ext : extensions) {
    ASSERT_EQ(symlink((std::string("../store/real") + ext).c_str(),
                      (std::string("dicts/linked") + ext).c_str()),
              0);
  }
  WriteFile("list.txt", "new\n");
  ASSERT_EQ(Create("list.txt", "./dicts/linked"), "RET_CD=0000");
  for (const char *ext : extensions) {
    struct stat status = {};
    ASSERT_EQ(lstat((std::string("dicts/linked") + ext).c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode)) << ext;
  }
  EXPECT_EQ(Dict2Data("dump.txt", "./store/real"), 0);
  EXPECT_EQ(ReadFile("dump.txt"), "new\n");
  for (const char *folder : {"dicts", "store"}) {
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
      EXPECT_EQ(entry.path().string().find(".new-"), std::string::npos) << entry.path();
    }
  }
  umask(old_umask);
}

TEST_F(BuildTest, PersonalDictionarySwitch) {
  WriteFile("list.txt", "secret\n");
  // Another prefix leaves the switch alone.
  EXPECT_EQ(Create("list.txt", "./dicts/user"), "RET_CD=0000");
  EXPECT_EQ(USEPROFILE, 0);
  // The personal dictionary, under any spelling of its name.
  EXPECT_EQ(Create("list.txt", "dicts/profile"), "RET_CD=0000");
  EXPECT_EQ(USEPROFILE, 1);
  EXPECT_EQ(Create("list.txt", "./dicts/../dicts/profile"), "RET_CD=0000");
  EXPECT_EQ(USEPROFILE, 1);
  // An empty list gives a dictionary of no words, which cannot be searched;
  // the build says nothing more than a successful build says.
  WriteFile("empty.txt", "");
  {
    CaptureFd err(2);
    EXPECT_EQ(Create("empty.txt", "./dicts/profile"), "RET_CD=0000");
    EXPECT_EQ(err.Take(), "");
  }
  EXPECT_EQ(trace_, "[Create Personal Dict]\n");
  EXPECT_EQ(USEPROFILE, 0);
  EXPECT_EQ(ReadFile("dicts/profile.pwd"), std::string(16, '\0'));

  // Deleting another dictionary leaves the switch alone.
  EXPECT_EQ(Create("list.txt", "./dicts/profile"), "RET_CD=0000");
  {
    CaptureFd out(1);
    EXPECT_STREQ(DeleteDict("./dicts/user"), "RET_CD=0000");
    EXPECT_EQ(out.Take(), "[Delete Personal Dict \n");
  }
  EXPECT_EQ(USEPROFILE, 1);
  EXPECT_FALSE(FileExists("dicts/user.pwd"));
  EXPECT_FALSE(FileExists("dicts/user.hwm"));
  CaptureFd out(1);
  EXPECT_STREQ(DeleteDict("./dicts/profile"), "RET_CD=0000");
  EXPECT_EQ(USEPROFILE, 0);
  EXPECT_FALSE(FileExists("dicts/profile.pwi"));
}

TEST_F(BuildTest, DeleteRemovesOnlyItsOwnFiles) {
  // Without files: still answers success and switches the profile off.
  USEPROFILE = 1;
  CaptureFd out(1);
  EXPECT_STREQ(DeleteDict("./dicts/profile"), "RET_CD=0000");
  EXPECT_EQ(USEPROFILE, 0);

  WriteFile("dicts/lone.pwd", "x");
  WriteFile("dicts/lone.txt", "x");
  EXPECT_STREQ(DeleteDict("./dicts/lone"), "RET_CD=0000");
  EXPECT_FALSE(FileExists("dicts/lone.pwd"));
  EXPECT_TRUE(FileExists("dicts/lone.txt"));

  // A name too long for the 1024-byte buffer is skipped, never cut: the cut
  // name "<prefix>.p" must survive.
  std::string prefix = dir_.path();
  while (prefix.size() < 1021 - 201) {
    prefix += "/" + std::string(200, 'd');
    ASSERT_EQ(mkdir(prefix.c_str(), 0700), 0);
  }
  prefix += "/" + std::string(1021 - prefix.size() - 1, 'n');
  ASSERT_EQ(prefix.size(), 1021u);
  WriteFile(prefix + ".p", "innocent");
  WriteFile(prefix + ".pwd", "dictionary");
  EXPECT_STREQ(DeleteDict(prefix.c_str()), "RET_CD=0000");
  EXPECT_TRUE(FileExists(prefix + ".p"));
  EXPECT_TRUE(FileExists(prefix + ".pwd"));  // its name does not fit either
}

TEST_F(BuildTest, DumpOfAMissingDictionary) {
  CaptureFd err(2);
  EXPECT_EQ(Dict2Data("dump.txt", "./dicts/none"), -1);
  EXPECT_EQ(err.Take().rfind("PWOpen: ", 0), 0u);
  EXPECT_EQ(ReadFile("dump.txt"), "");
  EXPECT_EQ(Dict2Data("nowhere/dump.txt", "./dicts/none"), -1);
}

TEST_F(BuildTest, VerificationFollowsThePersonalDictionary) {
  WriteFile("list.txt", "Hunter2\n");
  quarvel::verify::cfg = gcfg_create(5, 3);
  for (const char *&slot : dict) slot = "";
  auto verify = [](const char *password) {
    CaptureFd out(1);
    return std::string(VerifyPW(password));
  };
  EXPECT_NE(verify("hunter2").find(":PDICT_FD=XX"), std::string::npos);
  EXPECT_EQ(Create("list.txt", "./dicts/profile"), "RET_CD=0000");
  EXPECT_NE(verify("hunter2").find(":PDICT_FD=01"), std::string::npos);
  EXPECT_NE(verify("correct horse").find(":PDICT_FD=00"), std::string::npos);
  {
    CaptureFd out(1);
    DeleteDict("./dicts/profile");
  }
  EXPECT_NE(verify("hunter2").find(":PDICT_FD=XX"), std::string::npos);
  for (const char *&slot : dict) slot = nullptr;
  gcfg_destroy(quarvel::verify::cfg);
  quarvel::verify::cfg = nullptr;
}

TEST_F(BuildTest, HostileWordLists) {
  std::mt19937 rng(42);
  std::string noise(1 << 20, '\0');
  for (char &c : noise) c = static_cast<char>(rng());
  WriteFile("noise.txt", noise);
  ASSERT_EQ(Create("noise.txt", "./dicts/noise"), "RET_CD=0000");
  ASSERT_EQ(Dict2Data("dump.txt", "./dicts/noise"), 0);
  const std::string dump = ReadFile("dump.txt");
  std::string previous;
  size_t start = 0;
  for (size_t end; (end = dump.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string word = dump.substr(start, end - start);
    ASSERT_FALSE(word.empty());
    ASSERT_LE(word.size(), 31u);
    ASSERT_EQ(word.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789"), std::string::npos);
    ASSERT_LE(previous, word);
    previous = word;
  }

  // Only separators: no word at all.
  WriteFile("separators.txt", std::string(100000, '\n') + std::string(100000, '\r'));
  EXPECT_EQ(Create("separators.txt", "./dicts/sep"), "RET_CD=0000");

  // One line of 100 MB: one word of 31 characters.
  EXPECT_EQ(BuildAndDump(std::string(100 << 20, 'x')), std::string(31, 'x') + "\n");
}

TEST_F(BuildTest, SortedListFollowsByteOrder) {
  // Many shared beginnings, prefixes of one another, duplicates, and lines
  // that lose characters to normalisation.
  std::mt19937 rng(9);
  const std::string alphabet = "ab09Z-";
  std::vector<std::string> expected;
  std::string list;
  for (int i = 0; i < 60000; ++i) {
    std::string line;
    for (int n = static_cast<int>(rng() % 8); n > 0; --n) line += alphabet[rng() % alphabet.size()];
    list += line + "\n";
    std::string word;
    for (char c : line) {
      if (c == '-') continue;
      word += static_cast<char>(c == 'Z' ? 'z' : c);
    }
    expected.push_back(word);
  }
  std::sort(expected.begin(), expected.end());
  std::string sorted;
  for (const std::string &w : expected) sorted += w + "\n";
  WriteFile("list.txt", list);
  ASSERT_EQ(SortFile("list.txt", "sorted.txt"), 0);
  EXPECT_EQ(ReadFile("sorted.txt"), sorted);
}

TEST_F(BuildTest, PreparationSteps) {
  // Offsets grow in steps of 10000 entries.
  for (int i = 0; i < 10001; ++i) ASSERT_EQ(InsertWord(i), 0);
  EXPECT_EQ(off_size, 20000);
  EXPECT_EQ(off_idx, 10001);
  EXPECT_EQ(offsets[10000], 10000);
  free(offsets);
  offsets = nullptr;
  off_size = off_idx = 0;

  // The byte after the text is the caller's: Translate never writes it, so
  // the last line, without a line end, forms no word.
  char text[] = "Hello World\nfoo-BAR\r\nx#";
  const unsigned length = sizeof(text) - 2;
  buf = text;
  ASSERT_EQ(Translate(text, length), 0);
  EXPECT_EQ(text[length], '#');
  ASSERT_EQ(off_idx, 3);  // hello world, foobar, the empty word of CR LF
  EXPECT_STREQ(text + offsets[0], "helloworld");
  EXPECT_STREQ(text + offsets[1], "foobar");
  EXPECT_STREQ(text + offsets[2], "");
  EXPECT_LT(Compare(&offsets[1], &offsets[0]), 0);
  EXPECT_GT(Compare(&offsets[1], &offsets[2]), 0);
  EXPECT_EQ(WriteOut("sorted.txt"), 0);
  EXPECT_EQ(ReadFile("sorted.txt"), "helloworld\nfoobar\n\n");
  EXPECT_EQ(WriteOut("nowhere/sorted.txt"), -1);
  buf = nullptr;
  free(offsets);
  offsets = nullptr;
  off_size = off_idx = 0;

  WriteFile("in.txt", "b\na\n");
  EXPECT_EQ(SortFile("in.txt", "out.txt"), 0);
  EXPECT_EQ(ReadFile("out.txt"), "a\nb\n");
  EXPECT_EQ(SortFile("missing.txt", "out.txt"), 1);
  EXPECT_EQ(SortFile("in.txt", "nowhere/out.txt"), 5);
}

}  // namespace
