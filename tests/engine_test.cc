// The engine's service interface: answers and trace lines equal to
// VerifyPW's, explanations that name the word and the variant, context
// words, reloads racing checks, dictionaries replaced on disk, and the
// records' contracts.

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <cmath>

#include "quarvel/quarvel.h"
#include "testing/test_util.h"

namespace {

using quarvel::testing::CaptureFd;
using quarvel::testing::MakeDictionary;
using quarvel::testing::ReadFile;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

// Every search switched on: reversed words, a hundred suffixes, ten prefixes,
// the repeat stage; a personal dictionary and a second configured one.
constexpr char kConfig[] =
    "[QUARVEL_RULE]\nquarvel_rule.postfix_num=2\nquarvel_rule.prefix_num=1\n"
    "quarvel_rule.min_rept=1\n[QUARVEL_SEARCH]\nquarvel_search.pw_prefix_num=1\n"
    "quarvel_search.pw_reverse=1\nquarvel_search.pw_min_rept=1\n"
    "[QUARVEL_DICT]\ndict.file.prefix.3=./dicts/extra\n";

struct Engine {
  quarvel_env *env = nullptr;
  ~Engine() { quarvel_close(env); }
};

quarvel_result Check(const quarvel_env *env, const std::string &password,
                     const std::vector<const char *> &context = {}) {
  quarvel_result r;
  QUARVEL_RESULT_INIT(&r);
  if (context.empty()) {
    quarvel_check(env, password.data(), password.size(), &r);
  } else {
    quarvel_check_context(env, password.data(), password.size(), context.data(), context.size(),
                          &r);
  }
  return r;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir("conf", 0700), 0);
    ASSERT_EQ(mkdir("dicts", 0700), 0);
    WriteFile("conf/quarvel.ini", kConfig);
    MakeDictionary("./dicts/default_dict",
                   {"dragon", "letmein", "monkey", "password", "sunshine", "dragon5", "shadow"});
    MakeDictionary("./dicts/extra", {"tiger", "zebra"});
    MakeDictionary("./dicts/profile", {"myname", "rosebud"});
    char error[256];
    engine_.env = quarvel_open(".", error, sizeof(error));
    ASSERT_NE(engine_.env, nullptr) << error;
  }

  TempDir dir_{/*chdir_into=*/true};
  Engine engine_;
};

// The same passwords through VerifyPW (after LoadConfigFile in the same
// folder) and quarvel_check give the same answers and the same trace lines.
// Answers the number of passwords found in a dictionary.
int ExpectVerifyPWParity(quarvel_env *env, const std::vector<std::string> &extra) {
  {
    CaptureFd out(1);
    EXPECT_EQ(std::string(LoadConfigFile()).substr(0, 12), "RET_CD=0000:");
  }
  std::string engine_trace;
  quarvel_set_trace(
      env,
      [](void *context, const char *line) {
        *static_cast<std::string *>(context) += std::string(line) + "\n";
      },
      &engine_trace);

  std::vector<std::string> passwords = extra;
  passwords.insert(passwords.end(),
                   {"dragon", "Dr4gon!!", "nogard", "$unsh1ne", "tiger", "myname", "eman-ym",
                    "5dragon", "x", "aaaaaaaaaaaa", "Tr0ub4dor&3", std::string(257, 'a'),
                    std::string(258, 'b'), std::string("ab\0cd", 5)});
  for (const auto &entry : std::filesystem::directory_iterator(QUARVEL_PASSWORD_CORPUS)) {
    passwords.push_back(ReadFile(entry.path().string()));
  }
  std::mt19937 rng(11);
  for (int i = 0; i < 300; ++i) {
    std::string p(1 + rng() % 40, '\0');
    for (char &c : p) c = static_cast<char>(1 + rng() % 255);
    passwords.push_back(p);
  }
  int found = 0;
  for (const std::string &password : passwords) {
    SCOPED_TRACE(::testing::PrintToString(password));
    CaptureFd out(1);
    const std::string expected = VerifyPW(password.c_str());
    const std::string verify_trace = out.Take();
    engine_trace.clear();
    const quarvel_result r = Check(env, password);
    EXPECT_EQ(r.answer, expected);
    EXPECT_EQ(engine_trace, verify_trace);
    if (r.code == 0) {
      EXPECT_EQ(expected.substr(0, 22), "RET_CD=0000:RT_LEVEL=" + std::to_string(r.level));
    }
    found += r.match.kind != QUARVEL_MATCH_NONE ? 1 : 0;
  }
  quarvel_set_trace(env, nullptr, nullptr);
  return found;
}

// Mangled forms that only the extended profile finds.
const std::vector<std::string> kMangled = {
    "Dr@gon2024!", "!!sunshine77", "n0gard!",  "dragondragon", "qwerty",
    "14/06/1987",  "xXmonkeyXx",   "$h@d0w#1", "1qaz2wsx",     "M0nk3y!!2019"};

TEST_F(EngineTest, AnswersAndTraceEqualVerifyPW) {
  const int found_off = ExpectVerifyPWParity(engine_.env, kMangled);
  // With the profile on, both find more, and still agree line for line.
  std::string config = kConfig;
  config.insert(config.find("[QUARVEL_SEARCH]\n") + 17, "quarvel_search.extended=1\n");
  WriteFile("conf/quarvel.ini", config);
  ASSERT_EQ(quarvel_reload(engine_.env), 0);
  const int found_on = ExpectVerifyPWParity(engine_.env, kMangled);
  EXPECT_GE(found_on, found_off + static_cast<int>(kMangled.size()) - 2);
}

// Each hit names the dictionary, the stored word and how the password was
// turned into it.
TEST_F(EngineTest, ExplanationsNameWordAndVariant) {
  struct Case {
    const char *password;
    int kind;
    int slot;
    const char *word;
    const char *variant;
    unsigned variants;
  } cases[] = {
      {"dragon", QUARVEL_MATCH_DICTIONARY, 0, "dragon", "as given", 0},
      {"Dragon", QUARVEL_MATCH_DICTIONARY, 0, "dragon", "lower-cased", QUARVEL_VARIANT_LOWERCASED},
      {"dr4gon", QUARVEL_MATCH_DICTIONARY, 0, "dragon", "'4' read as 'a'", QUARVEL_VARIANT_RULE},
      {"$unshine", QUARVEL_MATCH_DICTIONARY, 0, "sunshine", "'$' read as 's'",
       QUARVEL_VARIANT_RULE},
      {"dragon!!", QUARVEL_MATCH_DICTIONARY, 0, "dragon", "last 2 characters removed",
       QUARVEL_VARIANT_RULE},
      {"nogard", QUARVEL_MATCH_DICTIONARY, 0, "dragon", "reversed", QUARVEL_VARIANT_REVERSED},
      {"tiger", QUARVEL_MATCH_DICTIONARY, 3, "tiger", "as given", 0},
      {"rosebud", QUARVEL_MATCH_PERSONAL, -1, "rosebud", "as given", 0},
      {"5dragon", QUARVEL_MATCH_DICTIONARY, 0, "dragon", "first 1 character removed",
       QUARVEL_VARIANT_RULE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.password);
    const quarvel_result r = Check(engine_.env, c.password);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.match.kind, c.kind);
    EXPECT_EQ(r.match.slot, c.slot);
    EXPECT_STREQ(r.match.word, c.word);
    EXPECT_STREQ(r.match.variant, c.variant);
    EXPECT_EQ(r.match.variants, c.variants);
  }
  // The dictionary holds "dragon05": the password is the word without its
  // suffix (a hundred suffixes are written with two digits).
  MakeDictionary("./dicts/default_dict", {"dragon05"});
  quarvel_result r = Check(engine_.env, "Dragon");
  EXPECT_STREQ(r.match.word, "dragon05");
  EXPECT_STREQ(r.match.affix, "05");
  EXPECT_STREQ(r.match.variant, "lower-cased, suffix 05");
  EXPECT_EQ(r.match.variants, QUARVEL_VARIANT_LOWERCASED | QUARVEL_VARIANT_SUFFIX);
  EXPECT_EQ(r.stage_score[4], r.stage_score[3] - 1);

  r = Check(engine_.env, "Zq8#vLw2!mK");
  EXPECT_EQ(r.match.kind, QUARVEL_MATCH_NONE);
  EXPECT_EQ(r.level, 3);
  EXPECT_EQ(r.pdict_fd, 0);
}

TEST_F(EngineTest, ContextWordsAreADictionary) {
  const std::vector<const char *> context = {"J.Smith-Jones", "jo", nullptr, "Kensington"};
  struct Case {
    const char *password;
    const char *word;                           // nullptr: no context hit
  } cases[] = {{"jsmithjones", "jsmithjones"},  // punctuation of the context word dropped
               {"Kensington7!", "kensington"},  // two characters trimmed
               {"kensington1234", nullptr},     // more than three trimmed
               {"notgnisnek", "kensington"},    // reversed
               {"k3ns1ngton", "kensington"},    // substitutions
               {"jo", nullptr}};                // too short to count
  for (const Case &c : cases) {
    SCOPED_TRACE(c.password);
    const quarvel_result r = Check(engine_.env, c.password, context);
    if (c.word == nullptr) {
      EXPECT_NE(r.match.kind, QUARVEL_MATCH_CONTEXT);
      continue;
    }
    EXPECT_EQ(r.match.kind, QUARVEL_MATCH_CONTEXT);
    EXPECT_STREQ(r.match.word, c.word);
    // Without the context, the same password is not found.
    EXPECT_NE(Check(engine_.env, c.password).match.kind, QUARVEL_MATCH_CONTEXT);
    EXPECT_NE(std::string(r.answer).find(":DICT_FD_CNT=2:"), std::string::npos) << r.answer;
  }
}

// Checks racing reloads see one configuration or the other, never a mix.
TEST_F(EngineTest, ReloadRacingChecks) {
  // One dictionary or two: DICT_FD_CNT tells them apart.
  const std::string without = "[QUARVEL_RULE]\nquarvel_rule.min_diff=4\n";
  const std::string with =
      "[QUARVEL_RULE]\nquarvel_rule.min_diff=9\n[QUARVEL_DICT]\n"
      "dict.file.prefix.2=./dicts/extra\n";
  WriteFile("conf/quarvel.ini", without);
  ASSERT_EQ(quarvel_reload(engine_.env), 0);
  const std::string a = Check(engine_.env, "Zq8#vLw2!mK").answer;
  WriteFile("conf/quarvel.ini", with);
  ASSERT_EQ(quarvel_reload(engine_.env), 0);
  const std::string b = Check(engine_.env, "Zq8#vLw2!mK").answer;
  ASSERT_NE(a, b);

  std::atomic<bool> stop{false};
  std::atomic<int> odd{0}, checks{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&] {
      while (!stop) {
        const std::string answer = Check(engine_.env, "Zq8#vLw2!mK").answer;
        if (answer != a && answer != b) ++odd;
        ++checks;
      }
    });
  }
  for (int i = 0; i < 200; ++i) {
    WriteFile("conf/quarvel.ini", i % 2 ? with : without);
    EXPECT_EQ(quarvel_reload(engine_.env), 0);
  }
  stop = true;
  for (auto &t : threads) t.join();
  EXPECT_EQ(odd, 0);
  EXPECT_GT(checks, 0);
}

// A dictionary replaced by renaming new files over it (as another process's
// build does) is searched at the latest QUARVEL_REVALIDATE_MS later.
TEST_F(EngineTest, ReplacedDictionaryIsPickedUp) {
  EXPECT_EQ(Check(engine_.env, "walrus").match.kind, QUARVEL_MATCH_NONE);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Another process: builds beside and renames into place.
    MakeDictionary("./dicts/next", {"walrus"});
    for (const char *ext : {".pwd", ".pwi", ".hwm"}) {
      rename((std::string("./dicts/next") + ext).c_str(),
             (std::string("./dicts/extra") + ext).c_str());
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  std::this_thread::sleep_for(std::chrono::milliseconds(2 * QUARVEL_REVALIDATE_MS + 1));
  const quarvel_result r = Check(engine_.env, "walrus");
  EXPECT_EQ(r.match.kind, QUARVEL_MATCH_DICTIONARY);
  EXPECT_EQ(r.match.slot, 3);
}

TEST_F(EngineTest, BuildThroughTheEnvironmentReplacesItsDictionary) {
  WriteFile("words.txt", "Walrus\nwalrus\n\nOtter!\n");
  const char *sources[] = {"words.txt"};
  quarvel_build_stats stats{};
  stats.size = sizeof(stats);
  char error[256];
  ASSERT_EQ(
      quarvel_build(engine_.env, "dicts/extra", sources, 1, nullptr, &stats, error, sizeof(error)),
      0)
      << error;
  EXPECT_EQ(stats.words, 2u);
  EXPECT_STREQ(Check(engine_.env, "otter").match.word, "otter");
  EXPECT_EQ(Check(engine_.env, "tiger").match.kind, QUARVEL_MATCH_NONE);
}

// The estimate is written into a whole record only; a least number of
// guesses caps the level of quarvel_check and of VerifyPW alike, and a
// value that is no number fails the environment's load but not
// LoadConfigFile.
TEST_F(EngineTest, GuessEstimateAndItsPolicy) {
  const std::string strong = "Sunshine2024!";
  quarvel_result full = Check(engine_.env, strong);
  ASSERT_EQ(full.code, 0);
  const int level = full.level;
  EXPECT_GT(level, 2);
  EXPECT_GT(full.guesses_log10, 3);
  EXPECT_LT(full.guesses_log10, 12);
  for (int attack = 0; attack < QUARVEL_ATTACKS; ++attack) {
    EXPECT_GT(full.crack_seconds[attack], 0);
  }
  EXPECT_NEAR(std::log10(full.crack_seconds[QUARVEL_ATTACK_OFFLINE_FAST]), full.guesses_log10 - 10,
              1e-9);
  ASSERT_GE(full.piece_count, 2);
  EXPECT_EQ(full.pieces[0].kind, QUARVEL_GUESS_DICTIONARY);
  EXPECT_STREQ(full.pieces[0].word, "sunshine");
  EXPECT_EQ(full.pieces[0].transforms, unsigned{QUARVEL_GUESS_CAPITALISED});

  // A record of the layout before the estimate: nothing beyond its size.
  std::vector<unsigned char> bytes(sizeof(quarvel_result), 0xa5);
  auto *small = reinterpret_cast<quarvel_result *>(bytes.data());
  small->size = QUARVEL_RESULT_V3_SIZE;
  ASSERT_EQ(quarvel_check(engine_.env, strong.data(), strong.size(), small), 0);
  EXPECT_EQ(small->level, level);
  for (size_t i = QUARVEL_RESULT_V3_SIZE; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0xa5) << i;

  std::string config = kConfig;
  config.insert(config.find("[QUARVEL_SEARCH]\n") + 17, "quarvel_search.min_guesses_log10=14\n");
  WriteFile("conf/quarvel.ini", config);
  ASSERT_EQ(quarvel_reload(engine_.env), 0);
  const quarvel_result capped = Check(engine_.env, strong);
  EXPECT_EQ(capped.level, 2);
  ASSERT_GE(capped.reason_count, 1);
  const quarvel_reason &last = capped.reasons[capped.reason_count - 1];
  EXPECT_EQ(last.code, QUARVEL_REASON_FEW_GUESSES);
  EXPECT_EQ(last.value, level);
  std::string loaded, verified;
  {
    CaptureFd out(1);
    loaded = LoadConfigFile();
    verified = VerifyPW(strong.c_str());
  }
  EXPECT_EQ(loaded.substr(0, 12), "RET_CD=0000:");
  EXPECT_EQ(verified, capped.answer);
  // A random password of 20 characters is estimated above the bar.
  EXPECT_EQ(Check(engine_.env, "q7#Lm9!xZ2@vB5$kW8^r").level, 4);

  config.replace(config.find("=14\n"), 4, "=lots\n");
  WriteFile("conf/quarvel.ini", config);
  EXPECT_EQ(quarvel_reload(engine_.env), 1001);
  {
    CaptureFd out(1);
    loaded = LoadConfigFile();
  }
  EXPECT_EQ(loaded.substr(0, 12), "RET_CD=0000:");
}

TEST(EngineApiTest, RecordsAndFailures) {
  quarvel_result r;
  QUARVEL_RESULT_INIT(&r);
  EXPECT_EQ(quarvel_check(nullptr, "x", 1, &r), QUARVEL_NO_ENV);
  EXPECT_STREQ(r.answer, "RET_CD=2001");
  EXPECT_EQ(quarvel_check(nullptr, "x", 1, nullptr), QUARVEL_BAD_ARGUMENT);
  r.size = 8;
  EXPECT_EQ(quarvel_check(nullptr, "x", 1, &r), QUARVEL_BAD_ARGUMENT);

  TempDir dir(/*chdir_into=*/true);
  char error[256] = "unchanged";
  EXPECT_EQ(quarvel_open(dir.path().c_str(), error, sizeof(error)), nullptr);
  EXPECT_NE(std::string(error).find("conf/quarvel.ini"), std::string::npos) << error;
  EXPECT_NE(std::string(error).find("(1001)"), std::string::npos) << error;
  ASSERT_EQ(mkdir("conf", 0700), 0);
  WriteFile("conf/quarvel.ini", "");
  EXPECT_EQ(quarvel_open(nullptr, error, sizeof(error)), nullptr);
  EXPECT_NE(std::string(error).find("(1002)"), std::string::npos) << error;
  ASSERT_EQ(mkdir("dicts", 0700), 0);
  MakeDictionary("./dicts/default_dict", {"a"});
  WriteFile("conf/quarvel.ini", "[QUARVEL_DICT]\ndict.file.prefix.1=missing\n");
  EXPECT_EQ(quarvel_open(nullptr, error, sizeof(error)), nullptr);
  EXPECT_NE(std::string(error).find("(1003)"), std::string::npos) << error;
  WriteFile("conf/quarvel.ini", "");
  Engine engine;
  engine.env = quarvel_open(nullptr, error, sizeof(error));
  ASSERT_NE(engine.env, nullptr);
  QUARVEL_RESULT_INIT(&r);
  EXPECT_EQ(quarvel_check(engine.env, "", 0, &r), QUARVEL_BAD_PASSWORD);
  EXPECT_STREQ(r.answer, "RET_CD=2000");
  EXPECT_EQ(quarvel_check(engine.env, "\0abc", 4, &r), QUARVEL_BAD_PASSWORD);
  const std::string long_one(258, 'z');
  EXPECT_EQ(quarvel_check(engine.env, long_one.data(), long_one.size(), &r), QUARVEL_BAD_PASSWORD);
  // A NUL ends the text, as it ends VerifyPW's.
  EXPECT_EQ(quarvel_check(engine.env, "abcdefgh\0zzzz", 13, &r), 0);
  EXPECT_EQ(r.pw_len, 8);
}

}  // namespace
