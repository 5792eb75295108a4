// No password, nor a variant of it, stays in the process's writable memory
// after quarvel_check: heap, stacks (of the calling thread and of a thread
// that has ended), static storage. The password lives only in a page of the
// test's own, which the scan leaves out.

#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "quarvel/quarvel.h"
#include "search/breach.h"
#include "search/extended_search.h"
#include "search/word_search.h"
#include "store/dictionary.h"
#include "testing/test_util.h"

namespace {

using quarvel::testing::MakeDictionary;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

constexpr size_t kPage = 4096;

// A sanitizer's own memory is no process memory to scan: AddressSanitizer's
// shadow and quarantine, and ThreadSanitizer's shadow, which spans several
// times the application's address space (a scan would not end).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUARVEL_SKIP_UNDER_SANITIZER() GTEST_SKIP() << "a sanitizer's memory is no memory to scan"
#else
#define QUARVEL_SKIP_UNDER_SANITIZER() static_cast<void>(0)
#endif

// The test's own page: the only place the password and its forms may be.
struct SecretPage {
  SecretPage() {
    data = static_cast<char *>(
        mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  }
  ~SecretPage() { munmap(data, kPage); }
  char *data;
};

// How many times bytes [needle, needle + n) occur in the writable mappings
// of the process other than the page [skip, skip + kPage).
size_t CountInWritableMemory(const char *needle, size_t n, const char *skip) {
  std::ifstream maps("/proc/self/maps");
  size_t count = 0;
  for (std::string line; std::getline(maps, line);) {
    unsigned long start = 0, end = 0;
    char perms[5] = {};
    if (sscanf(line.c_str(), "%lx-%lx %4s", &start, &end, perms) != 3) continue;
    if (perms[0] != 'r' || perms[1] != 'w') continue;
    if (line.find("[vvar]") != std::string::npos) continue;
    const char *from = reinterpret_cast<const char *>(start);
    const char *to = reinterpret_cast<const char *>(end);
    if (from == skip) continue;
    for (const char *at = from; at < to; ++at) {
      at = static_cast<const char *>(memmem(at, static_cast<size_t>(to - at), needle, n));
      if (at == nullptr) break;
      ++count;
    }
  }
  return count;
}

bool InWritableMemory(const char *needle, size_t n, const char *skip) {
  return CountInWritableMemory(needle, n, skip) > 0;
}

TEST(EngineSecretsTest, NoFormOfThePasswordStays) {
  QUARVEL_SKIP_UNDER_SANITIZER();
  TempDir dir(/*chdir_into=*/true);
  ASSERT_EQ(mkdir("conf", 0700), 0);
  ASSERT_EQ(mkdir("dicts", 0700), 0);
  // Every pass of the search runs: reversed words, a hundred suffixes and
  // ten prefixes, and a personal dictionary.
  WriteFile("conf/quarvel.ini",
            "[QUARVEL_RULE]\nquarvel_rule.postfix_num=2\nquarvel_rule.prefix_num=1\n"
            "[QUARVEL_SEARCH]\nquarvel_search.pw_prefix_num=1\nquarvel_search.pw_reverse=1\n"
            "quarvel_search.pw_min_rept=1\n");
  MakeDictionary("./dicts/default_dict", {"dragon", "zebra"});
  MakeDictionary("./dicts/profile", {"rosebud"});
  char error[256];
  quarvel_env *env = quarvel_open(".", error, sizeof(error));
  ASSERT_NE(env, nullptr) << error;

  SecretPage page;
  ASSERT_NE(page.data, MAP_FAILED);
  char *password = page.data;
  char *lowered = page.data + 512;
  char *reversed = page.data + 1024;
  char *context = page.data + 1536;
  std::mt19937 rng(std::random_device{}());
  const size_t n = 24;
  for (size_t i = 0; i < n; ++i) {
    password[i] = static_cast<char>((i % 3 == 0 ? 'A' : 'a') + rng() % 26);
    lowered[i] = static_cast<char>(password[i] | 0x20);
    reversed[n - 1 - i] = lowered[i];
  }
  password[n] = lowered[n] = reversed[n] = '\0';
  std::memcpy(context, lowered, n + 1);  // the password as a context word: a hit
  context[n - 1] = '\0';

  auto check = [&] {
    quarvel_result r;
    QUARVEL_RESULT_INIT(&r);
    const char *words[] = {context};
    quarvel_check_context(env, password, n, words, 1, &r);
    const bool hit = r.match.kind == QUARVEL_MATCH_CONTEXT;
    explicit_bzero(&r, sizeof(r));  // the result is the caller's: it names the word
    return hit;
  };
  EXPECT_TRUE(check());
  std::thread other([&] { EXPECT_TRUE(check()); });
  other.join();

  for (const char *form : {password, lowered, reversed, context}) {
    EXPECT_FALSE(InWritableMemory(form, strlen(form), page.data))
        << "a form of the password stays: form " << (form - page.data) / 512;
  }
  // The scan does see the heap.
  char *copy = static_cast<char *>(malloc(n + 1));
  std::memcpy(copy, reversed, n + 1);
  EXPECT_TRUE(InWritableMemory(reversed, n, page.data));
  explicit_bzero(copy, n + 1);
  free(copy);
  quarvel_close(env);
}

// The hash keys of the candidates the search makes of a password, listed
// by a child process into a shared mapping, so that listing them leaves no
// copy in this process.
class CandidateKeys {
 public:
  static constexpr size_t kCapacity = 8192;
  static constexpr size_t kBytes = (kCapacity + 1) * sizeof(uint64_t);

  CandidateKeys() {
    area_ = static_cast<uint64_t *>(
        mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  }
  ~CandidateKeys() { munmap(area_, kBytes); }
  bool ok() const { return area_ != MAP_FAILED; }
  const char *start() const { return reinterpret_cast<const char *>(area_); }
  size_t count() const { return static_cast<size_t>(area_[0]); }

  // Lists the keys of every candidate of the rule, reversed and affix
  // passes and of the extended profile, for the searched form searched.
  bool List(const char *searched, const quarvel::engine::SearchSettings &settings) {
    const pid_t child = fork();
    if (child == 0) {
      uint64_t *keys = area_ + 1;
      size_t n = 0;
      auto take = [&](const char *word) {
        if (n < kCapacity) keys[n++] = quarvel::engine::Sha1Key(word, strlen(word));
        return false;
      };
      quarvel::engine::WordSearch search(searched, settings);
      search.Run(take, {}, nullptr);
      quarvel::engine::ExtendedSearch extended(searched);
      quarvel::engine::ExtendedHit unused;
      extended.Run(take, &unused);
      area_[0] = n;
      std::sort(keys, keys + n);
      _exit(0);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
  }

  // How many of the keys lie, 8-byte aligned, in a writable mapping of the
  // process other than this one and the page skip.
  size_t FoundInWritableMemory(const char *skip) const {
    const uint64_t *begin = area_ + 1, *end = begin + count();
    std::ifstream maps("/proc/self/maps");
    size_t found = 0;
    for (std::string line; std::getline(maps, line);) {
      unsigned long from = 0, to = 0;
      char perms[5] = {};
      if (sscanf(line.c_str(), "%lx-%lx %4s", &from, &to, perms) != 3) continue;
      if (perms[0] != 'r' || perms[1] != 'w') continue;
      if (line.find("[vvar]") != std::string::npos) continue;
      if (reinterpret_cast<const char *>(from) == skip ||
          reinterpret_cast<const char *>(from) == start()) {
        continue;
      }
      for (unsigned long at = from; at + sizeof(uint64_t) <= to; at += sizeof(uint64_t)) {
        uint64_t word;
        std::memcpy(&word, reinterpret_cast<const void *>(at), sizeof(word));
        if (word != 0 && std::binary_search(begin, end, word)) ++found;
      }
    }
    return found;
  }

 private:
  uint64_t *area_;
};

// A password with many candidates (reversed passes, a hundred suffixes and
// a hundred prefixes, the extended profile) checked against a hashed list:
// the hash keys of its variants, which the list search gathers in a growing
// buffer, leave no copy behind.
TEST(EngineSecretsTest, NoHashKeyOfAVariantStays) {
  QUARVEL_SKIP_UNDER_SANITIZER();
  if (!quarvel::engine::BreachListsSupported()) GTEST_SKIP() << "no SHA-1 in this build";
  TempDir dir(/*chdir_into=*/true);
  ASSERT_EQ(mkdir("conf", 0700), 0);
  ASSERT_EQ(mkdir("dicts", 0700), 0);
  WriteFile("conf/quarvel.ini",
            "[QUARVEL_RULE]\nquarvel_rule.postfix_num=2\nquarvel_rule.prefix_num=2\n"
            "[QUARVEL_SEARCH]\nquarvel_search.pw_prefix_num=1\nquarvel_search.pw_reverse=1\n"
            "quarvel_search.extended=1\n"
            "[QUARVEL_BREACH]\nbreach.file.prefix.1=dicts/leaked\n");
  MakeDictionary("./dicts/default_dict", {"dragon", "zebra"});
  // SHA-1 of "password".
  WriteFile("dicts/leaked.txt", "5BAA61E4C9B93F3F0682250B6CF8331B7EE68FD8:10\n");
  const char *sources[] = {"dicts/leaked.txt"};
  char error[256];
  ASSERT_EQ(quarvel_build_hashed(nullptr, "dicts/leaked", sources, 1, 1, 0, nullptr, nullptr, error,
                                 sizeof(error)),
            0)
      << error;
  quarvel_env *env = quarvel_open(".", error, sizeof(error));
  ASSERT_NE(env, nullptr) << error;

  SecretPage page;
  ASSERT_NE(page.data, MAP_FAILED);
  char *password = page.data;
  char *searched = page.data + 512;
  // A year, then letters with the characters that leet and the substitution
  // rules read between them, then symbols: many candidates of every pass.
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz";
  static constexpr char kLeet[] = "0134578@$!|";
  std::mt19937 rng(std::random_device{}());
  const size_t n = 22;
  std::memcpy(password, "1987", 4);
  for (size_t i = 4; i < n - 2; ++i) {
    password[i] = i % 2 == 0 ? kLetters[rng() % 26] : kLeet[rng() % (sizeof(kLeet) - 1)];
  }
  std::memcpy(password + n - 2, "!?", 2);
  password[n] = '\0';
  std::memcpy(searched, password, n + 1);

  CandidateKeys keys;
  ASSERT_TRUE(keys.ok());
  quarvel::engine::SearchSettings settings;
  settings.suffix_numbers = settings.prefix_numbers = 100;
  settings.reverse = 1;
  ASSERT_TRUE(keys.List(searched, settings));
  // More keys than the search reserves room for (512): its buffer grows.
  ASSERT_GT(keys.count(), 640u);

  quarvel_result r;
  QUARVEL_RESULT_INIT(&r);
  quarvel_check(env, password, n, &r);
  EXPECT_EQ(r.match.kind, QUARVEL_MATCH_NONE) << r.match.variant;
  explicit_bzero(&r, sizeof(r));
  EXPECT_EQ(keys.FoundInWritableMemory(page.data), 0u)
      << "hash keys of variants of the password stay in memory";
  quarvel_close(env);
}

}  // namespace

// A personal dictionary's words are the person's: the dictionary that holds
// them in memory keeps one copy, and reading it leaves none in freed memory
// (the file's bytes, or a word pool that grew). The list is written and
// built by a child process from a page of the test's own, so that only the
// library's reading of it can leave copies here.
TEST(EngineSecretsTest, APersonalWordIsKeptOnce) {
  QUARVEL_SKIP_UNDER_SANITIZER();
  TempDir dir(/*chdir_into=*/true);
  ASSERT_EQ(mkdir("conf", 0700), 0);
  ASSERT_EQ(mkdir("dicts", 0700), 0);
  WriteFile("conf/quarvel.ini", "[QUARVEL_RULE]\nquarvel_rule.postfix_num=2\n");
  MakeDictionary("./dicts/default_dict", {"dragon", "zebra"});

  // 200 words of 14 random letters, a line each, in the test's own page.
  constexpr size_t kWords = 200, kLength = 14;
  static_assert(kWords * (kLength + 1) <= kPage);
  SecretPage page;
  ASSERT_NE(page.data, MAP_FAILED);
  std::mt19937 rng(std::random_device{}());
  std::vector<const char *> words;
  for (size_t i = 0; i < kWords * (kLength + 1); ++i) {
    if (i % (kLength + 1) == 0) words.push_back(page.data + i);
    page.data[i] = i % (kLength + 1) == kLength ? '\n' : static_cast<char>('a' + rng() % 26);
  }
  const pid_t child = fork();
  if (child == 0) {
    FILE *out = fopen("personal.txt", "w");
    fwrite(page.data, 1, kWords * (kLength + 1), out);
    fclose(out);
    _exit(std::string(CreateDict("personal.txt", "./dicts/profile")) == "RET_CD=0000" ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  unlink("personal.txt");

  // The scan's first calls bind library functions lazily, and the binding
  // saves the vector registers on the stack, with whatever the check left
  // in them: one scan before the check binds them.
  CountInWritableMemory("bind", 4, page.data);
  // Decoded, the dictionary holds each word once; mapped, its words are in
  // the files' read-only mapping only; read a block at a time (its files
  // are not all regular: the marks are a FIFO), in none.
  enum Way { kDecoded, kMapped, kRead };
  for (const Way way : {kDecoded, kMapped, kRead}) {
    quarvel::engine::SetDecodedDataBytes(way == kDecoded ? quarvel::engine::kDecodedDataBytes : 0);
    if (way == kRead) {
      ASSERT_EQ(unlink("dicts/profile.hwm"), 0);
      ASSERT_EQ(mkfifo("dicts/profile.hwm", 0600), 0);
    }
    char error[256];
    quarvel_env *env = quarvel_open(".", error, sizeof(error));
    ASSERT_NE(env, nullptr) << error;
    quarvel_result r;
    QUARVEL_RESULT_INIT(&r);  // with the estimate, which indexes the dictionary's words
    quarvel_check(env, words[7], kLength, &r);
    EXPECT_EQ(r.match.kind, QUARVEL_MATCH_PERSONAL);
    explicit_bzero(&r, sizeof(r));

    // The last ten letters of each word: the file stores a word after the
    // letters it shares with the one before.
    const size_t copied = std::count_if(words.begin(), words.end(), [&](const char *w) {
      return CountInWritableMemory(w + kLength - 10, 10, page.data) != (way == kDecoded);
    });
    EXPECT_EQ(copied, 0u) << "of " << kWords << " words, served the way " << way;
    quarvel_close(env);
  }
  quarvel::engine::SetDecodedDataBytes(quarvel::engine::kDecodedDataBytes);
}
