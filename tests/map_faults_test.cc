// Mapped files that shrink under the process: the pages they lose read as
// zeros instead of ending the process with SIGBUS, the dictionary that met
// them counts as unreadable and is opened again once its files are whole,
// and a bus error that is not about the library's maps goes where it went
// before the library installed its handler.

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/check_plan.h"
#include "format/file_io.h"
#include "format/map_faults.h"
#include "quarvel/quarvel.h"
#include "store/dictionary.h"
#include "store/dictionary_cache.h"
#include "store/hash_dict.h"
#include "store/write_generation.h"
#include "testing/test_util.h"

namespace {

namespace engine = quarvel::engine;
using quarvel::testing::ReadFile;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

constexpr char kPrefix[] = "./dicts/default_dict";

std::string Path(const char *extension) { return std::string(kPrefix) + extension; }

// Writes bytes at offset of an existing file, in place (no truncation).
bool WriteInPlace(const std::string &path, size_t offset, std::string_view bytes) {
  const int fd = open(path.c_str(), O_WRONLY);
  if (fd < 0) return false;
  const bool ok = pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) ==
                  static_cast<ssize_t>(bytes.size());
  return close(fd) == 0 && ok;
}

// Files counted as settled: older than the quiet window, so that an open
// maps them with their filter.
void LetSettle() { std::this_thread::sleep_for(std::chrono::milliseconds(150)); }

class MapFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir("conf", 0700), 0);
    ASSERT_EQ(mkdir("dicts", 0700), 0);
    WriteFile("conf/quarvel.ini", "[QUARVEL_RULE]\nquarvel_rule.postfix_num=1\n");
    words_ = quarvel::testing::RandomWords(40000, 17, 12, "abcdefghijklmnopqrstuvwxyz");
    quarvel::testing::MakeDictionary(kPrefix, words_);
    engine::SetDecodedDataBytes(0);  // map it
    // The first open writes the filter file; later ones map it.
    ASSERT_TRUE(engine::Dictionary::Open(kPrefix, /*trusted=*/true)->ok());
    LetSettle();
  }
  void TearDown() override { engine::SetDecodedDataBytes(engine::kDecodedDataBytes); }

  TempDir dir_{/*chdir_into=*/true};
  std::set<std::string> words_;
};

// Each file of a mapped dictionary cut to nothing under it: a check through
// it counts it as unreadable, every search still returns, the dictionary
// reports the fault, the write generation moves, it is stale, and the cache
// opens it again once the file is whole.
TEST_F(MapFaultTest, ShrunkFileFaultsAndIsOpenedAgain) {
  for (const char *extension : {".pwd", ".pwi", ".pwf"}) {
    SCOPED_TRACE(extension);
    const std::shared_ptr<const engine::Dictionary> dict = quarvel::ReopenedDictionary(kPrefix);
    ASSERT_TRUE(dict->ok());
    ASSERT_TRUE(dict->mapped());
    ASSERT_NE(dict->filter(), nullptr);
    ASSERT_TRUE(dict->filter()->mapped());
    EXPECT_FALSE(dict->Faulted());

    const std::string saved = ReadFile(Path(extension));
    const uint64_t faults = quarvel::RecoveredMapFaults();
    const uint64_t generation = quarvel::DictionaryWriteGeneration();
    ASSERT_EQ(truncate(Path(extension).c_str(), 0), 0);
    // A check through it counts it as unreadable.
    const engine::ScoringSettings settings;
    engine::CheckPlan plan(settings);
    plan.AddDictionary(kPrefix, 0, dict.get());
    quarvel_result r;
    QUARVEL_RESULT_INIT(&r);
    plan.Score(*words_.begin(), &r);
    EXPECT_EQ(r.match.kind, QUARVEL_MATCH_UNREADABLE);
    for (const std::string &w : words_) dict->Contains(w.c_str());
    EXPECT_GT(quarvel::RecoveredMapFaults(), faults);
    EXPECT_TRUE(dict->Faulted());
    EXPECT_NE(quarvel::DictionaryWriteGeneration(), generation);
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    EXPECT_TRUE(dict->Stale(now));

    ASSERT_TRUE(WriteInPlace(Path(extension), 0, saved));
    LetSettle();
    const std::shared_ptr<const engine::Dictionary> again = quarvel::CachedDictionary(kPrefix);
    ASSERT_NE(again, dict);
    ASSERT_TRUE(again->ok());
    EXPECT_FALSE(again->Faulted());
    size_t found = 0;
    for (const std::string &w : words_) found += again->Contains(w.c_str()) ? 1 : 0;
    EXPECT_EQ(found, words_.size());
  }
}

// What the three ways into a dictionary answer for one password.
struct Answers {
  int kind = 0, level = 0;
  bool unreadable_reason = false;
  std::string check_answer, verify_answer, find_answer;
  bool operator==(const Answers &) const = default;
};

std::string Show(const Answers &a) {
  return "kind " + std::to_string(a.kind) + " level " + std::to_string(a.level) + " [" +
         a.check_answer + "] [" + a.verify_answer + "] [" + a.find_answer + "]";
}

Answers Ask(const quarvel_env *env, const std::string &password) {
  Answers a;
  quarvel_result r;
  QUARVEL_RESULT_INIT(&r);
  quarvel_check(env, password.data(), password.size(), &r);
  a.kind = r.match.kind;
  a.level = r.level;
  a.check_answer = r.answer;
  for (int i = 0; i < r.reason_count; ++i) {
    a.unreadable_reason |= r.reasons[i].code == QUARVEL_REASON_UNREADABLE;
  }
  a.verify_answer = VerifyPW(password.c_str());
  const char *found = DictFindPW(password.c_str(), kPrefix);
  a.find_answer = found != nullptr ? found : "(null)";
  return a;
}

// Standard output and error sent nowhere (VerifyPW traces every check).
class Silenced {
 public:
  Silenced() {
    fflush(nullptr);
    const int null = open("/dev/null", O_WRONLY);
    for (int fd : {1, 2}) {
      saved_[fd - 1] = dup(fd);
      dup2(null, fd);
    }
    close(null);
  }
  ~Silenced() {
    fflush(nullptr);
    for (int fd : {1, 2}) {
      dup2(saved_[fd - 1], fd);
      close(saved_[fd - 1]);
    }
  }

 private:
  int saved_[2];
};

// The child's rewrites, each leaving the dictionary unopenable until it is
// whole again: the files cut to nothing and written back in place (the
// index's header last), or written again through PWOpen(prefix, "wb").
// PWOpen truncates the data file before the index; a reader that opened the
// files between the two would find a whole index over an empty data file,
// which no reader can tell from a damaged dictionary. So the child cuts the
// index first, as a careful writer does.
void RewriteInPlace(const std::string &data, const std::string &index) {
  for (const char *extension : {".pwi", ".pwd", ".pwf"}) {
    if (truncate(Path(extension).c_str(), 0) != 0 && errno != ENOENT) _exit(3);
  }
  usleep(3000);
  if (!WriteInPlace(Path(".pwd"), 0, data) || !WriteInPlace(Path(".pwi"), 12, index.substr(12)) ||
      !WriteInPlace(Path(".pwi"), 0, index.substr(0, 12))) {
    _exit(4);
  }
}

void RewriteThroughPWOpen(const std::set<std::string> &words) {
  if (truncate(Path(".pwi").c_str(), 0) != 0) _exit(8);
  PackedDict *pwp = PWOpen(kPrefix, "wb");
  if (pwp == nullptr) _exit(5);
  for (const std::string &w : words) {
    if (PutPW(pwp, w.c_str()) != 0) _exit(6);
  }
  if (PWClose(pwp) != 0) _exit(7);
}

// A child process rewrites the mapped dictionary in place, again and again,
// while two threads of the parent check passwords through quarvel_check,
// VerifyPW and DictFindPW. The parent survives, every answer is the one the whole
// dictionary gives or the one an unreadable dictionary gives, and once the
// child is done the whole dictionary's answers come back.
TEST_F(MapFaultTest, ChildRewritesWhileParentChecks) {
  ASSERT_EQ(std::string(LoadConfigFile()).substr(0, 12), "RET_CD=0000:");
  char error[256];
  quarvel_env *env = quarvel_open(".", error, sizeof(error));
  ASSERT_NE(env, nullptr) << error;
  std::vector<std::string> passwords;
  for (const std::string &w : words_) {
    if (passwords.size() == 24) break;
    passwords.push_back(w);
  }
  for (int i = 0; i < 24; ++i) passwords.push_back("Qz" + std::to_string(i * 7919) + "#Vx");

  auto ask_all = [&] {
    std::vector<Answers> answers;
    Silenced quiet;
    for (const std::string &p : passwords) answers.push_back(Ask(env, p));
    return answers;
  };
  const std::vector<Answers> whole = ask_all();
  // The answers of an unreadable dictionary: its index moved away.
  ASSERT_EQ(rename(Path(".pwi").c_str(), "aside.pwi"), 0);
  LetSettle();
  const std::vector<Answers> unreadable = ask_all();
  ASSERT_EQ(rename("aside.pwi", Path(".pwi").c_str()), 0);
  LetSettle();
  ASSERT_EQ(ask_all(), whole);
  size_t hits = 0;
  for (size_t i = 0; i < passwords.size(); ++i) {
    EXPECT_EQ(unreadable[i].kind, QUARVEL_MATCH_UNREADABLE);
    EXPECT_TRUE(unreadable[i].unreadable_reason);
    EXPECT_EQ(unreadable[i].find_answer, "1001");
    hits += whole[i].kind == QUARVEL_MATCH_DICTIONARY ? 1 : 0;
  }
  EXPECT_EQ(hits, 24u);

  const std::string data = ReadFile(Path(".pwd")), index = ReadFile(Path(".pwi"));
  const uint64_t faults = quarvel::RecoveredMapFaults();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    for (int cycle = 0; cycle < 60; ++cycle) {
      if (cycle % 4 == 3) {
        RewriteThroughPWOpen(words_);
      } else {
        RewriteInPlace(data, index);
      }
      usleep(4000);
    }
    _exit(0);
  }
  // Two threads check, as a service's workers do.
  std::vector<std::string> failures;
  std::mutex failures_mutex;
  std::atomic<size_t> rounds{0}, unreadable_seen{0};
  std::atomic<bool> done{false};
  auto check = [&] {
    while (!done.load()) {
      ++rounds;
      for (size_t i = 0; i < passwords.size(); ++i) {
        const Answers a = Ask(env, passwords[i]);
        const bool as_whole = a.kind == whole[i].kind && a.level == whole[i].level &&
                              a.check_answer == whole[i].check_answer;
        const bool as_unreadable = a.kind == unreadable[i].kind && a.level == unreadable[i].level &&
                                   a.check_answer == unreadable[i].check_answer;
        unreadable_seen += as_unreadable ? 1 : 0;
        std::string failure;
        if (!as_whole && !as_unreadable) failure = "check ";
        if (a.verify_answer != whole[i].verify_answer &&
            a.verify_answer != unreadable[i].verify_answer) {
          failure += "VerifyPW ";
        }
        if (a.find_answer != whole[i].find_answer && a.find_answer != "1001") {
          failure += "DictFindPW ";
        }
        if (!failure.empty()) {
          std::lock_guard lock(failures_mutex);
          failures.push_back(failure + passwords[i] + ": " + Show(a));
        }
      }
    }
  };
  int status = 0;
  {
    Silenced quiet;
    std::thread second(check);
    std::thread watcher([&] {
      waitpid(child, &status, 0);
      done = true;
    });
    check();
    watcher.join();
    second.join();
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  for (size_t i = 0; i < failures.size() && i < 10; ++i) ADD_FAILURE() << failures[i];
  EXPECT_GT(rounds, 10u);
  EXPECT_GT(unreadable_seen, 0u);
  EXPECT_GT(quarvel::RecoveredMapFaults(), faults) << "no search met a vanished page";

  // Whole again: served from maps again, with the whole dictionary's answers.
  LetSettle();
  EXPECT_EQ(ask_all(), whole);
  EXPECT_TRUE(quarvel::CachedDictionary(kPrefix, /*look_now=*/true)->mapped());
  quarvel_close(env);
}

// A bus error that is not about the library's maps, with each disposition
// that the process had before the library installed its handler: the
// handler is called as it was installed, the default action and an ignored
// fault end the process with SIGBUS, and an ignored signal sent by kill
// stays ignored. In each child a fault on the library's own map comes
// first, and is recovered.
void SigInfoHandler(int, siginfo_t *, void *) { _exit(41); }
void PlainHandler(int) { _exit(42); }

void Install(int how) {
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  if (how == 0) {
    action.sa_sigaction = SigInfoHandler;
    action.sa_flags = SA_SIGINFO;
  } else {
    action.sa_handler = how == 1 ? PlainHandler : how == 2 ? SIG_DFL : SIG_IGN;
  }
  sigaction(SIGBUS, &action, nullptr);
}

// Three pages of a new file, open for reading.
int ThreePages(const std::string &path) {
  WriteFile(path, std::string(3 * static_cast<size_t>(sysconf(_SC_PAGESIZE)), 'x'));
  return open(path.c_str(), O_RDONLY);
}

void FaultAfterOurs(int how, bool sent, const std::string &folder) {
  Install(how);
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const int ours_fd = ThreePages(folder + "/ours");
  std::unique_ptr<quarvel::FileMap> ours = quarvel::FileMap::Map(ours_fd, 3 * page, nullptr);
  if (ours == nullptr || truncate((folder + "/ours").c_str(), 0) != 0) _exit(2);
  const volatile unsigned char *bytes = ours->bytes().data();
  if (bytes[2 * page] != 0 || !ours->faulted()) _exit(3);
  if (sent) {
    kill(getpid(), SIGBUS);
  } else {
    const int foreign_fd = ThreePages(folder + "/foreign");
    void *foreign = mmap(nullptr, 3 * page, PROT_READ, MAP_SHARED, foreign_fd, 0);
    if (foreign == MAP_FAILED || truncate((folder + "/foreign").c_str(), 0) != 0) _exit(4);
    const volatile unsigned char read =
        static_cast<const volatile unsigned char *>(foreign)[2 * page];
    (void)read;
  }
  _exit(0);
}

TEST(MapFaultDeathTest, OtherFaultsGoWhereTheyWentBefore) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TempDir dir;
  const auto exited = [](int code) { return ::testing::ExitedWithCode(code); };
  const auto killed = ::testing::KilledBySignal(SIGBUS);
  struct Case {
    const char *what;
    int how;  // 0 SA_SIGINFO handler, 1 plain handler, 2 SIG_DFL, 3 SIG_IGN
    bool sent;
    std::function<bool(int)> expected;
  };
  const Case cases[] = {
      {"siginfo handler, fault", 0, false, exited(41)},
      {"plain handler, fault", 1, false, exited(42)},
      {"plain handler, sent", 1, true, exited(42)},
      {"default, fault", 2, false, killed},
      {"default, sent", 2, true, killed},
      {"ignored, fault", 3, false, killed},
      {"ignored, sent", 3, true, exited(0)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EXIT(FaultAfterOurs(c.how, c.sent, dir.path()), c.expected, "");
  }
}

// A hashed list whose index is rewritten under a view after it was checked:
// lookups stay within the keys.
TEST(HashedListTest, IndexRewrittenUnderAViewStaysInTheKeys) {
  TempDir dir{/*chdir_into=*/true};
  quarvel::HashDictWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open("list.hsh", 64, 1, &error)) << error;
  for (uint64_t k = 1; k <= 64; ++k) ASSERT_TRUE(writer.Add(k << 56, k));
  ASSERT_TRUE(writer.Finish(0, &error)) << error;
  std::string image = ReadFile("list.hsh");
  const std::unique_ptr<quarvel::HashDict> list = quarvel::HashDict::View(
      std::span(reinterpret_cast<const unsigned char *>(image.data()), image.size()), &error);
  ASSERT_NE(list, nullptr) << error;
  EXPECT_EQ(list->CountOf(uint64_t{5} << 56), 5u);
  // Every index entry (the 8-byte words after the counts) set beyond the keys.
  const size_t index_at = (64 + 12 * 64 + 7) / 8 * 8;
  std::memset(image.data() + index_at, 0x7f, image.size() - index_at);
  // Each answer is absent or one of the stored counts.
  for (uint64_t k = 0; k <= 70; ++k) EXPECT_LE(list->CountOf(k << 56), 64u);
}

}  // namespace
