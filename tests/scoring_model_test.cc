// quarvel_check against a model of the six scoring stages written from the
// rules, not from the scorer: the base score table by length and classes,
// distinct characters, repeated pieces, neighbours in sequence, the
// dictionaries and the personal dictionary, the level ranges and the answer
// text. The dictionaries hold long words no random password comes near, so
// the dictionary stages of the model need only two of the search's passes:
// the password as it is and the password with one digit after it.

#include <sys/stat.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarvel/quarvel.h"
#include "testing/test_util.h"

namespace {

using quarvel::testing::MakeDictionary;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

struct ModelSettings {
  int min_diff = 4;
  int min_step = 3;
  int use_min_rept = 0;
  int min_rept = 0;
  bool profile = true;
};

const std::set<std::string> kDefaultWords = {"xylophonist", "quizzically", "boomerang7"};
const std::set<std::string> kExtraWords = {"marshmallow"};
const std::set<std::string> kPersonalWords = {"zigzagging"};

// The base score: rows by length (49 from 50 on), columns by the number of
// classes present.
int BaseEntry(int row, int column) {
  if (row <= 6) return 1;
  if (row == 7) return column < 2 ? 1 : 3;
  if (row == 8) return column == 0 ? 1 : column == 1 ? 2 : 3;
  if (row <= 13) return column == 0 ? 2 : 3;
  return 4;
}

bool IsSymbol(unsigned char c) {
  return std::string_view("`~!@#$%^&*()-_=+\\|]}[{'\";:/?.>,<").find(static_cast<char>(c)) !=
         std::string_view::npos;
}

// How often piece occurs in text, overlaps counted; 0 when once.
int Occurrences(const std::string &text, const std::string &piece) {
  int count = 0;
  for (size_t i = 0; i + piece.size() <= text.size(); ++i) {
    if (text.compare(i, piece.size(), piece) == 0) ++count;
  }
  return count == 1 ? 0 : count;
}

int RepeatedPairs(const std::string &text) {
  if (text.empty()) return 0;
  const int half = static_cast<int>(std::min<size_t>(text.size() - 1, 255) / 2);
  int count = 0;
  for (int s = 0; s <= half - 2; ++s) {
    if (Occurrences(text, text.substr(static_cast<size_t>(s), 2)) != 0) ++count;
  }
  return count;
}

bool InDictionary(const std::set<std::string> &words, const std::string &text) {
  if (words.count(text) != 0) return true;
  for (char d = '0'; d <= '9'; ++d) {
    if (words.count(text + d) != 0) return true;
  }
  return false;
}

struct Expected {
  std::string answer;
  int stages[6] = {};
  int level = 0;
};

Expected Model(std::string password, const ModelSettings &s) {
  Expected e;
  password = password.substr(0, password.find('\0'));
  if (password.empty() || password.size() > 257) {
    e.answer = "RET_CD=2000";
    return e;
  }
  const std::string text = password.substr(0, 256);
  bool digit = false, lower = false, upper = false, symbol = false;
  std::set<unsigned char> distinct;
  for (unsigned char c : text) {
    digit |= c >= '0' && c <= '9';
    lower |= c >= 'a' && c <= 'z';
    upper |= c >= 'A' && c <= 'Z';
    symbol |= IsSymbol(c);
    distinct.insert(c);
  }
  const int classes = digit + lower + upper + symbol;
  const int length = static_cast<int>(text.size());
  const int row = std::min(length, 49);
  int score = classes > 0 ? BaseEntry(row, classes - 1) : BaseEntry(row - 1, 3);
  e.stages[0] = score;
  if (distinct.size() < static_cast<unsigned>(s.min_diff)) --score;
  e.stages[1] = score;

  std::string search = text;
  for (char &c : search) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  while (!search.empty() &&
         std::string_view(" \t\n\v\f\r").find(search.back()) != std::string_view::npos) {
    search.pop_back();
  }
  const int repeats = s.use_min_rept != 0 ? RepeatedPairs(search) : 0;
  if (s.use_min_rept != 0 && repeats > s.min_rept) --score;
  e.stages[2] = score;
  int sequences = 0;
  for (size_t i = 1; i < search.size(); ++i) {
    const int step = static_cast<signed char>(search[i]) - static_cast<signed char>(search[i - 1]);
    sequences += step == 1 || step == -1;
  }
  if (static_cast<unsigned>(sequences) > static_cast<unsigned>(s.min_step)) --score;
  e.stages[3] = score;

  int position = InDictionary(kDefaultWords, search) ? 1
                 : InDictionary(kExtraWords, search) ? 2
                                                     : 3;
  if (position < 3) --score;
  e.stages[4] = score;
  std::string personal = "XX";
  if (s.profile) {
    personal = InDictionary(kPersonalWords, search) ? "01" : "00";
    if (personal == "01") --score;
  }
  e.stages[5] = score;
  e.level = score >= 2 && score <= 4 ? score : 1;
  char answer[256];
  snprintf(answer, sizeof(answer),
           "RET_CD=0000:RT_LEVEL=%d:PW_LEN=%d:PW_NCR=%d:REPT_NCR=%d:CTS_NCR=%d:DICT_FD_CNT=%d:"
           "PDICT_FD=%s",
           e.level, length, classes, repeats, sequences, position, personal.c_str());
  e.answer = answer;
  return e;
}

// Passwords that reach every row of the table, every class count, the
// thresholds of each stage and both dictionaries, and random ones.
std::vector<std::string> Passwords() {
  std::vector<std::string> out = {"xylophonist",
                                  "XYLOPHONIST",
                                  "Quizzically  ",
                                  "boomerang",
                                  "marshmallow",
                                  "zigzagging",
                                  "ZigZagging\t",
                                  "abcdefgh",
                                  "98765432",
                                  "abababab",
                                  "aaaaaaaaaaaaaaa",
                                  "a",
                                  "Ab1!",
                                  "       ",
                                  "\x80\x81\x82\x83\x84\x85\x86\x87",
                                  "ab\0cd",
                                  std::string(257, 'q'),
                                  std::string(258, 'q'),
                                  std::string(80, 'z') + "Y1!"};
  const std::string alphabet =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789`~!@#$%^&*()-_=+[]{}|;:'\",.<>"
      "/? "
      "\t\xe9\xff";
  std::mt19937 rng(20261207);
  for (int i = 0; i < 600; ++i) {
    std::string p(1 + rng() % 60, ' ');
    // Narrow alphabets too, so that few classes and few distinct
    // characters are common.
    const size_t span = 2 + rng() % (alphabet.size() - 1);
    const size_t from = rng() % (alphabet.size() - span + 1);
    for (char &c : p) c = alphabet[from + rng() % span];
    out.push_back(p);
  }
  return out;
}

class ScoringModelTest : public ::testing::TestWithParam<ModelSettings> {};

TEST_P(ScoringModelTest, CheckAgreesWithTheModel) {
  const ModelSettings &s = GetParam();
  TempDir root;
  ASSERT_EQ(mkdir(root.File("conf").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(root.File("dicts").c_str(), 0700), 0);
  WriteFile(root.File("conf/quarvel.ini"),
            "[QUARVEL_RULE]\nquarvel_rule.min_diff=" + std::to_string(s.min_diff) +
                "\nquarvel_rule.min_step=" + std::to_string(s.min_step) +
                "\nquarvel_rule.min_rept=" + std::to_string(s.min_rept) +
                "\n[QUARVEL_SEARCH]\nquarvel_search.pw_min_rept=" + std::to_string(s.use_min_rept) +
                "\n[QUARVEL_DICT]\ndict.file.prefix.3=dicts/extra\n");
  MakeDictionary(root.File("dicts/default_dict"), kDefaultWords);
  MakeDictionary(root.File("dicts/extra"), kExtraWords);
  if (s.profile) MakeDictionary(root.File("dicts/profile"), kPersonalWords);
  char error[256];
  quarvel_env *env = quarvel_open(root.path().c_str(), error, sizeof(error));
  ASSERT_NE(env, nullptr) << error;
  for (const std::string &password : Passwords()) {
    SCOPED_TRACE(::testing::PrintToString(password));
    const Expected e = Model(password, s);
    quarvel_result r;
    QUARVEL_RESULT_INIT(&r);
    quarvel_check(env, password.data(), password.size(), &r);
    ASSERT_EQ(r.answer, e.answer);
    if (r.code != QUARVEL_OK) continue;
    EXPECT_EQ(r.level, e.level);
    for (int stage = 0; stage < 6; ++stage) EXPECT_EQ(r.stage_score[stage], e.stages[stage]);
  }
  quarvel_close(env);
}

INSTANTIATE_TEST_SUITE_P(Settings, ScoringModelTest,
                         ::testing::Values(ModelSettings{}, ModelSettings{7, 1, 1, 0, false},
                                           ModelSettings{-1, -1, 1, 2, true},
                                           ModelSettings{12, 0, 0, 5, true}));

}  // namespace
