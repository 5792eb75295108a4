// No password, nor a variant of it, stays in the process's writable memory
// after quarvel_check: heap, stacks (of the calling thread and of a thread
// that has ended), static storage. The password lives only in a page of the
// test's own, which the scan leaves out.

#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>

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
#include "testing/test_util.h"

namespace {

using quarvel::testing::MakeDictionary;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

constexpr size_t kPage = 4096;

// The test's own page: the only place the password and its forms may be.
struct SecretPage {
  SecretPage() {
    data = static_cast<char *>(
        mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  }
  ~SecretPage() { munmap(data, kPage); }
  char *data;
};

// True when bytes [needle, needle + n) occur in a writable mapping of the
// process other than the page [skip, skip + kPage).
bool InWritableMemory(const char *needle, size_t n, const char *skip) {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    unsigned long start = 0, end = 0;
    char perms[5] = {};
    if (sscanf(line.c_str(), "%lx-%lx %4s", &start, &end, perms) != 3) continue;
    if (perms[0] != 'r' || perms[1] != 'w') continue;
    if (line.find("[vvar]") != std::string::npos) continue;
    const char *from = reinterpret_cast<const char *>(start);
    const char *to = reinterpret_cast<const char *>(end);
    if (from == skip) continue;
    if (memmem(from, static_cast<size_t>(to - from), needle, n) != nullptr) return true;
  }
  return false;
}

TEST(EngineSecretsTest, NoFormOfThePasswordStays) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's shadow memory and quarantine are no process memory to scan";
#endif
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

}  // namespace
