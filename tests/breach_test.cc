// Hashed leaked-password lists and the NIST SP 800-63B verdict: the line
// format, builds against a model of the lists, malformed lines, the count
// threshold, checks that agree with a packed dictionary of the same words,
// VerifyPW's parity with a list configured, callers of the first result
// layout, and the verdict's length counting and failures.

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#if QUARVEL_HAVE_SHA1
#include <openssl/sha.h>
#endif

#include "search/breach.h"
#include "engine/nist.h"
#include "quarvel/quarvel.h"
#include "testing/test_util.h"
#include "store/hash_dict.h"

namespace {

using quarvel::testing::CaptureFd;
using quarvel::testing::MakeDictionary;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

#define SKIP_WITHOUT_SHA1()                                                  \
  if (!quarvel::engine::BreachListsSupported()) {                            \
    GTEST_SKIP() << "this build has no SHA-1 (no libcrypto for the target)"; \
  }

std::string Sha1Hex(const std::string &text) {
  std::string hex;
#if QUARVEL_HAVE_SHA1
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char *>(text.data()), text.size(), digest);
  char two[3];
  for (unsigned char b : digest) {
    snprintf(two, sizeof(two), "%02X", b);
    hex += two;
  }
#else
  (void)text;
#endif
  return hex;
}

uint64_t KeyOfHex(const std::string &hex) { return std::stoull(hex.substr(0, 16), nullptr, 16); }

TEST(HashLineTest, AcceptsHashesAndCountsOnly) {
  const std::string h = "5BAA61E4C9B93F3F0682250B6CF8331B7EE68FD8";
  const std::string lower = "5baa61e4c9b93f3f0682250b6cf8331b7ee68fd8";
  const struct {
    std::string line;
    bool ok;
    uint64_t count;
  } cases[] = {
      {h, true, 1},
      {lower + ":3861", true, 3861},
      {h + ":0", true, 0},
      {h + ":7\r", true, 7},
      {h + "\r", true, 1},
      {h + ":18446744073709551615", true, UINT64_MAX},
      {h + ":99999999999999999999", true, UINT64_MAX},  // saturates
      {h + ":", false, 0},
      {h + ":123456789012345678901", false, 0},  // 21 digits
      {h + ":12a", false, 0},
      {h + " :1", false, 0},
      {h + "0", false, 0},
      {h.substr(0, 39), false, 0},
      {"G" + h.substr(1), false, 0},
      {"", false, 0},
      {h + ":1\r\r", false, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.line);
    uint64_t key = 0, count = 0;
    EXPECT_EQ(quarvel::ParseHashLine(c.line, &key, &count), c.ok);
    if (c.ok) {
      EXPECT_EQ(key, 0x5BAA61E4C9B93F3Full);
      EXPECT_EQ(count, c.count);
    }
  }
}

// Hash lists of a model: a few thousand hashes, some repeated across the
// lists with counts to add, in mixed case, CRLF and LF, in random order.
struct ListModel {
  std::map<uint64_t, uint64_t> totals;
  std::vector<std::string> files;
};

ListModel WriteLists(const TempDir &dir, int hashes, unsigned seed) {
  std::mt19937_64 rng(seed);
  ListModel model;
  std::string texts[2];
  for (int i = 0; i < hashes; ++i) {
    char hex[41];
    snprintf(hex, sizeof(hex), "%016llX%016llX%08X", static_cast<unsigned long long>(rng()),
             static_cast<unsigned long long>(rng()), static_cast<unsigned>(rng()));
    std::string line = hex;
    const int copies = rng() % 7 == 0 ? 2 : 1;
    for (int c = 0; c < copies; ++c) {
      std::string copy = line;
      if (rng() % 2) {
        for (char &ch : copy) ch = static_cast<char>(tolower(ch));
      }
      uint64_t count = 1;
      if (rng() % 3 != 0) {
        count = rng() % 20;
        copy += ":" + std::to_string(count);
      }
      copy += rng() % 4 == 0 ? "\r\n" : "\n";
      texts[rng() % 2] += copy;
      model.totals[KeyOfHex(line)] += count;
    }
  }
  for (int f = 0; f < 2; ++f) {
    model.files.push_back(dir.File("list" + std::to_string(f) + ".txt"));
    WriteFile(model.files.back(), texts[f]);
  }
  return model;
}

int BuildHashed(const std::string &prefix, const std::vector<std::string> &files,
                uint64_t min_count, bool skip, uint64_t budget, quarvel_hashed_build_stats *stats,
                std::string *error) {
  std::vector<const char *> sources;
  for (const std::string &f : files) sources.push_back(f.c_str());
  quarvel_build_options options = {};
  options.size = sizeof(options);
  options.memory_budget = budget;
  stats->size = sizeof(*stats);
  char text[512] = "";
  const int code =
      quarvel_build_hashed(nullptr, prefix.c_str(), sources.data(), sources.size(), min_count,
                           skip ? 1 : 0, &options, stats, text, sizeof(text));
  *error = text;
  return code;
}

// Every stored hash is found with its added count, nothing below the
// threshold is stored, and keys beside the stored ones are absent; in
// memory and through runs merged on disk.
TEST(HashedBuildTest, MatchesTheModel) {
  TempDir dir;
  const ListModel model = WriteLists(dir, 100000, 7);
  for (const uint64_t budget : {uint64_t{0}, uint64_t{1} << 20}) {  // default; 48 Ki records a run
    for (const uint64_t min_count : {uint64_t{1}, uint64_t{10}}) {
      SCOPED_TRACE("budget " + std::to_string(budget) + ", min count " + std::to_string(min_count));
      quarvel_hashed_build_stats stats;
      std::string error;
      ASSERT_EQ(BuildHashed(dir.File("h"), model.files, min_count, false, budget, &stats, &error),
                0)
          << error;
      std::string why;
      const auto dict = quarvel::HashDict::Open(dir.File("h.hsh"), &why);
      ASSERT_NE(dict, nullptr) << why;
      uint64_t kept = 0;
      for (const auto &[key, total] : model.totals) {
        const uint64_t expected = total >= min_count ? total : 0;
        kept += expected != 0;
        ASSERT_EQ(dict->CountOf(key), expected) << std::hex << key;
        if (model.totals.count(key + 1) == 0) {
          EXPECT_EQ(dict->CountOf(key + 1), 0u);
        }
      }
      EXPECT_EQ(dict->key_count(), kept);
      EXPECT_EQ(stats.hashes, kept);
      EXPECT_EQ(stats.below_min_count, model.totals.size() - kept);
      EXPECT_EQ(stats.malformed, 0u);
      EXPECT_TRUE(dict->has_filter());
    }
  }
}

TEST(HashedBuildTest, MalformedLinesFailOrAreCounted) {
  TempDir dir;
  const std::string good = "5BAA61E4C9B93F3F0682250B6CF8331B7EE68FD8:5\n";
  WriteFile(dir.File("a.txt"), good + "\n" + good + "not a hash\n" + good + "ABC:1\n" + good);
  quarvel_hashed_build_stats stats;
  std::string error;
  EXPECT_EQ(BuildHashed(dir.File("h"), {dir.File("a.txt")}, 1, false, 0, &stats, &error), 3007);
  EXPECT_NE(error.find("a.txt:4: not a SHA-1 hash line"), std::string::npos) << error;
  EXPECT_FALSE(quarvel::testing::FileExists(dir.File("h.hsh")));

  ASSERT_EQ(BuildHashed(dir.File("h"), {dir.File("a.txt")}, 1, true, 0, &stats, &error), 0)
      << error;
  EXPECT_EQ(stats.malformed, 2u);
  EXPECT_EQ(stats.first_malformed_line, 4u);
  EXPECT_EQ(stats.lines, 7u);
  EXPECT_EQ(stats.hashes, 1u);
  std::string why;
  EXPECT_EQ(quarvel::HashDict::Open(dir.File("h.hsh"), &why)->CountOf(0x5BAA61E4C9B93F3Full), 20u);

  EXPECT_EQ(BuildHashed(dir.File("h"), {dir.File("missing.txt")}, 1, false, 0, &stats, &error),
            3001);
  EXPECT_EQ(BuildHashed(dir.File("h"), {dir.File("a.txt")}, 0, false, 0, &stats, &error), 3006);
}

// A hostile image is refused whole, never read past its end.
TEST(HashedBuildTest, DamagedFilesAreRefused) {
  TempDir dir;
  const ListModel model = WriteLists(dir, 300, 3);
  quarvel_hashed_build_stats stats;
  std::string error;
  ASSERT_EQ(BuildHashed(dir.File("h"), model.files, 1, false, 0, &stats, &error), 0) << error;
  const std::string image = quarvel::testing::ReadFile(dir.File("h.hsh"));
  auto view = [](const std::string &bytes) {
    std::string why;
    return quarvel::HashDict::View(
               {reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size()}, &why) !=
           nullptr;
  };
  EXPECT_TRUE(view(image));
  const struct {
    size_t offset;
    char value;
  } damages[] = {{0, 'X'}, {4, 2}, {8, 0x7F}, {16, 40}, {32, 1}, {40, 3}};
  for (const auto &d : damages) {
    std::string damaged = image;
    damaged[d.offset] = d.value;
    EXPECT_FALSE(view(damaged)) << "byte " << d.offset;
  }
  EXPECT_FALSE(view(image.substr(0, image.size() - 1)));
  // An index entry out of order.
  std::string damaged = image;
  const size_t index_at = (64 + 12 * 300 + 7) / 8 * 8;
  damaged[index_at + 8 + 7] = 0x40;
  EXPECT_FALSE(view(damaged));
}

// Lower-case words, as a packed dictionary stores them.
std::vector<std::string> Words(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::set<std::string> words;
  while (static_cast<int>(words.size()) < n) {
    std::string w(4 + rng() % 7, 'a');
    for (char &c : w) c = static_cast<char>(rng() % 3 == 0 ? '0' + rng() % 10 : 'a' + rng() % 26);
    words.insert(w);
  }
  return {words.begin(), words.end()};
}

// The passwords people make of words, and random ones.
std::vector<std::string> Passwords(const std::vector<std::string> &words, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> out;
  for (size_t i = 0; i < words.size(); i += 3) {
    std::string w = words[i];
    out.push_back(w);
    std::string capital = w;
    capital[0] = static_cast<char>(toupper(capital[0]));
    out.push_back(capital + std::to_string(rng() % 100));
    out.push_back(std::string(w.rbegin(), w.rend()));
    out.push_back(w + "!!");
    out.push_back(std::to_string(rng() % 10) + w);
    std::string leet = w;
    for (char &c : leet) c = c == 'a' ? '@' : c == 'o' ? '0' : c;
    out.push_back(leet + "2024");
  }
  for (int i = 0; i < 200; ++i) {
    std::string p(3 + rng() % 14, '\0');
    for (char &c : p) c = static_cast<char>(33 + rng() % 94);
    out.push_back(p);
  }
  return out;
}

struct Env {
  quarvel_env *env = nullptr;
  ~Env() { quarvel_close(env); }
};

quarvel_result Check(const quarvel_env *env, const std::string &password,
                     const std::vector<const char *> &context = {}) {
  quarvel_result r;
  QUARVEL_RESULT_INIT(&r);
  quarvel_check_context(env, password.data(), password.size(), context.data(), context.size(), &r);
  return r;
}

// A root with a default dictionary and a config; the hashed list of
// hashed_words at dicts/breach when given.
void MakeRoot(const TempDir &dir, const std::string &config) {
  ASSERT_EQ(mkdir(dir.File("conf").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(dir.File("dicts").c_str(), 0700), 0);
  WriteFile(dir.File("conf/quarvel.ini"), config);
  MakeDictionary(dir.File("dicts/default_dict"), {"zzqqxx"});
}

void MakeHashedList(const TempDir &dir, const std::map<std::string, uint64_t> &counts) {
  std::string text;
  for (const auto &[word, count] : counts)
    text += Sha1Hex(word) + ":" + std::to_string(count) + "\n";
  WriteFile(dir.File("leaked.txt"), text);
  quarvel_hashed_build_stats stats;
  std::string error;
  ASSERT_EQ(
      BuildHashed(dir.File("dicts/breach"), {dir.File("leaked.txt")}, 1, false, 0, &stats, &error),
      0)
      << error;
}

constexpr char kSearch[] =
    "[QUARVEL_RULE]\nquarvel_rule.postfix_num=2\nquarvel_rule.prefix_num=1\n"
    "[QUARVEL_SEARCH]\nquarvel_search.pw_prefix_num=1\nquarvel_search.pw_reverse=1\n"
    "quarvel_search.extended=1\n";

// The model: the same words in a packed dictionary, searched by the same
// variant search, must give the same answer and name the same word for
// every password.
TEST(BreachCheckTest, AgreesWithAPackedDictionaryOfTheSameWords) {
  SKIP_WITHOUT_SHA1();
  const std::vector<std::string> words = Words(600, 5);
  TempDir hashed, packed;
  MakeRoot(hashed, std::string(kSearch) + "[QUARVEL_BREACH]\nbreach.file.prefix.2=dicts/breach\n");
  std::map<std::string, uint64_t> counts;
  for (size_t i = 0; i < words.size(); ++i) counts[words[i]] = 1 + i * 37;
  MakeHashedList(hashed, counts);
  MakeRoot(packed, std::string(kSearch) + "[QUARVEL_DICT]\ndict.file.prefix.4=dicts/words\n");
  MakeDictionary(packed.File("dicts/words"), {words.begin(), words.end()});
  char error[256];
  Env a, b;
  a.env = quarvel_open(hashed.path().c_str(), error, sizeof(error));
  ASSERT_NE(a.env, nullptr) << error;
  b.env = quarvel_open(packed.path().c_str(), error, sizeof(error));
  ASSERT_NE(b.env, nullptr) << error;

  int hits = 0;
  for (const std::string &password : Passwords(words, 9)) {
    SCOPED_TRACE(password);
    const quarvel_result ra = Check(a.env, password);
    const quarvel_result rb = Check(b.env, password);
    ASSERT_STREQ(ra.answer, rb.answer);
    EXPECT_EQ(ra.nist_failures, rb.nist_failures);
    if (rb.match.kind != QUARVEL_MATCH_DICTIONARY) {
      EXPECT_NE(ra.match.kind, QUARVEL_MATCH_BREACH);
      continue;
    }
    ++hits;
    EXPECT_EQ(ra.match.kind, QUARVEL_MATCH_BREACH);
    EXPECT_EQ(ra.match.slot, 2);
    EXPECT_STREQ(ra.match.prefix, "dicts/breach");
    EXPECT_STREQ(ra.match.word, rb.match.word);
    EXPECT_STREQ(ra.match.variant, rb.match.variant);
    EXPECT_EQ(ra.match.variants, rb.match.variants);
    EXPECT_EQ(ra.breach_count, counts.at(ra.match.word));
  }
  EXPECT_GT(hits, 600);
}

// Passwords no packed dictionary can hold are found exactly as given, with
// their case and every byte; min_count leaves out the rarer ones.
TEST(BreachCheckTest, ExactPasswordsAndTheCountThreshold) {
  SKIP_WITHOUT_SHA1();
  TempDir dir;
  MakeRoot(dir, "[QUARVEL_BREACH]\nbreach.file.prefix.1=dicts/breach\nbreach.min_count=100\n");
  const std::string long_one = std::string(200, 'Q') + "#" + std::string(56, 'r');  // 257 bytes
  MakeHashedList(dir, {{"Tr0ub4dor&3 !", 3861}, {"x Y z!", 99}, {long_one, 100}});
  char error[256];
  Env e;
  e.env = quarvel_open(dir.path().c_str(), error, sizeof(error));
  ASSERT_NE(e.env, nullptr) << error;
  const struct {
    std::string password;
    bool found;
    uint64_t count;
  } cases[] = {
      {"Tr0ub4dor&3 !", true, 3861}, {"tr0ub4dor&3 !", false, 0},  // case counts
      {"Tr0ub4dor&3 ", false, 0},    {"x Y z!", false, 0},         // 99 < 100
      {long_one, true, 100},         {long_one.substr(0, 256), false, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.password);
    const quarvel_result r = Check(e.env, c.password);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.match.kind == QUARVEL_MATCH_BREACH, c.found);
    EXPECT_EQ(r.breach_count, c.count);
    EXPECT_EQ(r.dict_fd_cnt, c.found ? 2 : 3);
    EXPECT_EQ(r.stage_score[3] - r.stage_score[4], c.found ? 1 : 0);
    if (c.found) {
      EXPECT_STREQ(r.match.variant, "as given");
    }
  }
}

// VerifyPW searches the same lists, with the same answers and trace lines
// as quarvel_check; a caller of the first result layout is served the
// first layout's bytes and nothing beyond.
TEST(BreachCheckTest, VerifyPWParityAndFirstLayoutCallers) {
  SKIP_WITHOUT_SHA1();
  TempDir dir(/*chdir_into=*/true);
  MakeRoot(dir, std::string(kSearch) + "[QUARVEL_BREACH]\nbreach.file.prefix.3=./dicts/breach\n");
  const std::vector<std::string> words = Words(50, 8);
  std::map<std::string, uint64_t> counts;
  for (const std::string &w : words) counts[w] = 5;
  MakeHashedList(dir, counts);
  char error[256];
  Env e;
  e.env = quarvel_open(".", error, sizeof(error));
  ASSERT_NE(e.env, nullptr) << error;
  {
    CaptureFd out(1);
    ASSERT_EQ(std::string(LoadConfigFile()).substr(0, 12), "RET_CD=0000:");
  }
  std::string trace;
  quarvel_set_trace(
      e.env,
      [](void *t, const char *line) { *static_cast<std::string *>(t) += line + std::string("\n"); },
      &trace);
  int found = 0;
  for (const std::string &password : Passwords(words, 4)) {
    SCOPED_TRACE(password);
    CaptureFd out(1);
    const std::string expected = VerifyPW(password.c_str());
    const std::string expected_trace = out.Take();
    trace.clear();
    const quarvel_result r = Check(e.env, password);
    EXPECT_EQ(r.answer, expected);
    EXPECT_EQ(trace, expected_trace);
    if (r.match.kind == QUARVEL_MATCH_BREACH) {
      ++found;
      EXPECT_NE(trace.find("[INFO]BREACH SEARCH FILE_NAME ./dicts/breach FOUND\n"),
                std::string::npos);
    }
  }
  quarvel_set_trace(e.env, nullptr, nullptr);
  EXPECT_GT(found, 50);

  alignas(quarvel_result) unsigned char bytes[sizeof(quarvel_result)];
  memset(bytes, 0xAB, sizeof(bytes));
  auto *old = reinterpret_cast<quarvel_result *>(bytes);
  old->size = static_cast<uint32_t>(QUARVEL_RESULT_V1_SIZE);
  ASSERT_EQ(quarvel_check(e.env, words[0].data(), words[0].size(), old), 0);
  EXPECT_EQ(old->match.kind, QUARVEL_MATCH_BREACH);
  for (size_t i = QUARVEL_RESULT_V1_SIZE; i < sizeof(bytes); ++i) ASSERT_EQ(bytes[i], 0xAB) << i;
  old->size = static_cast<uint32_t>(QUARVEL_RESULT_V1_SIZE - 1);
  EXPECT_EQ(quarvel_check(e.env, "abc", 3, old), QUARVEL_BAD_ARGUMENT);

  // A list that cannot be opened fails the load, in both interfaces.
  WriteFile("conf/quarvel.ini", "[QUARVEL_BREACH]\nbreach.file.prefix.1=dicts/missing\n");
  EXPECT_EQ(quarvel_reload(e.env), 1003);
  CaptureFd err(2);
  EXPECT_STREQ(LoadConfigFile(), "RET_CD=1003");
}

TEST(NistTest, LengthCountsNfkcCharacters) {
  const struct {
    std::string password;
    int length;
  } cases[] = {
      {"abc", 3},
      {"caf\xC3\xA9", 4},               // é, one code point
      {"cafe\xCC\x81", 4},              // e and a combining acute: composed into one
      {"\xEF\xAC\x81sh", 4},            // the ligature fi is two letters
      {"\xEF\xBC\xA1\xEF\xBC\xA2", 2},  // full-width A and B
      {"\xE2\x91\xA0", 1},              // circled one reads as 1
      {"\xE3\x8D\xBB", 2},              // the square era name Heisei: two ideographs
      {"\xF0\x9F\x94\x91", 1},          // an emoji, four bytes
      {"ab\xFF\xFE", 4},                // not UTF-8: bytes
      {"\xC3", 1},
  };
#if !QUARVEL_HAVE_ICU
  GTEST_SKIP() << "no ICU in this build: lengths count bytes";
#endif
  for (const auto &c : cases) {
    EXPECT_EQ(quarvel::engine::NistLength(c.password), c.length) << c.password;
  }
}

TEST(NistTest, BlocklistSettings) {
  quarvel::engine::NistSettings s;
  std::string bad;
  ASSERT_TRUE(quarvel::engine::ParseBlocklist(" 0, 3 ,breach", &s, &bad));
  EXPECT_EQ(s.blocklist_slots, 0x09u);
  EXPECT_TRUE(s.blocklist_breach);
  ASSERT_TRUE(quarvel::engine::ParseBlocklist("none", &s, &bad));
  EXPECT_EQ(s.blocklist_slots, 0u);
  EXPECT_FALSE(s.blocklist_breach);
  EXPECT_FALSE(quarvel::engine::ParseBlocklist("1,8", &s, &bad));
  EXPECT_EQ(bad, "8");
}

// Each failure on its own, and the blocklist as configured: a word in a
// dictionary outside it does not count, and one the search stopped before
// reaching is still looked for.
TEST(NistTest, VerdictFailures) {
  TempDir dir;
  MakeRoot(dir,
           "[QUARVEL_DICT]\ndict.file.prefix.1=dicts/common\n"
           "dict.file.prefix.2=dicts/names\n[nist]\nmin_length=12\nblocklist=2\n");
  MakeDictionary(dir.File("dicts/common"), {"correcthorse", "batterystaple"});
  MakeDictionary(dir.File("dicts/names"), {"batterystaple", "alexandria"});
  char error[256];
  Env e;
  e.env = quarvel_open(dir.path().c_str(), error, sizeof(error));
  ASSERT_NE(e.env, nullptr) << error;
  const struct {
    std::string password;
    unsigned failures;
  } cases[] = {
      {"violet-harbour-kettle", 0},
      {"short pass", QUARVEL_NIST_TOO_SHORT},
      {"correcthorse", 0},                        // only in slot 1, outside the blocklist
      {"batterystaple", QUARVEL_NIST_BLOCKLIST},  // slot 1 answers first; slot 2 holds it too
      {"Alexandria", QUARVEL_NIST_BLOCKLIST | QUARVEL_NIST_TOO_SHORT},
      {"aaaaaaaaaaaaaaaa", QUARVEL_NIST_REPETITIVE},
      {"abcdefghijklmnop", QUARVEL_NIST_REPETITIVE},
      {"qwertyuiopasdfgh", QUARVEL_NIST_REPETITIVE},
      {"Fernandez123", QUARVEL_NIST_CONTEXT},
  };
  const std::vector<const char *> context = {"fernandez"};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.password);
    const quarvel_result r = Check(e.env, c.password, context);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.nist_failures, c.failures);
    EXPECT_EQ(r.nist_ok, c.failures == 0 ? 1 : 0);
    EXPECT_EQ(r.nist_min_length, 12);
  }
}

}  // namespace
