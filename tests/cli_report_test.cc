// The quarvel command's wording of explanations, from result records built
// by hand: every step, piece and reason code, the JSON members, and the
// codes derived for a record from an older library.

#include <cmath>
#include <fstream>
#include <initializer_list>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/guesses.h"
#include "cli/report.h"
#include "cli/wording.h"
#include "quarvel/engine.h"

namespace quarvel::cli {
namespace {

struct StepSpec {
  int code;
  int piece = 0;
  int count = 0;
  int count2 = 0;
  const char *arg = "";
};

quarvel_result Record(int kind, const char *word, std::initializer_list<StepSpec> steps,
                      unsigned variants = 0) {
  quarvel_result r = {};
  QUARVEL_RESULT_INIT(&r);
  r.match.kind = kind;
  r.match.slot = kind == QUARVEL_MATCH_DICTIONARY ? 0 : -1;
  r.match.variants = variants;
  snprintf(r.match.prefix, sizeof(r.match.prefix), "%s",
           kind == QUARVEL_MATCH_DICTIONARY || kind == QUARVEL_MATCH_BREACH ? "dicts/words" : "");
  snprintf(r.match.word, sizeof(r.match.word), "%s", word);
  for (const StepSpec &s : steps) {
    quarvel_step &step = r.match_steps[r.step_count++];
    step.code = s.code;
    step.piece = s.piece;
    step.count = s.count;
    step.count2 = s.count2;
    snprintf(step.arg, sizeof(step.arg), "%s", s.arg);
  }
  return r;
}

TEST(CliWording, DescribesEveryStepAndPiece) {
  constexpr int D = QUARVEL_MATCH_DICTIONARY;
  constexpr unsigned X = QUARVEL_VARIANT_EXTENDED;
  struct Case {
    quarvel_result record;
    std::string expected;
  };
  const Case cases[] = {
      {Record(D, "dragon", {}), "the dictionary word 'dragon' as given"},
      {Record(QUARVEL_MATCH_CONTEXT, "jsmith", {}), "the context word 'jsmith' as given"},
      {Record(QUARVEL_MATCH_PERSONAL, "rex", {{QUARVEL_STEP_LOWERCASED}}),
       "lower-cased form of the personal dictionary word 'rex'"},
      // The standard passes: forms first (reversed before the case), then
      // the rule and what it did, then the number the word adds.
      {Record(D, "dragon",
              {{QUARVEL_STEP_LOWERCASED},
               {QUARVEL_STEP_REVERSED},
               {QUARVEL_STEP_RULE, 0, 17, 0, "[["},
               {QUARVEL_STEP_CUT_FIRST, 0, 2},
               {QUARVEL_STEP_SUFFIX, 0, 0, 0, "12"}}),
       "reversed, lower-cased form of the dictionary word 'dragon', by rule '[[' (first 2 "
       "characters removed) without its suffix 12"},
      {Record(D, "tiger", {{QUARVEL_STEP_RULE, 0, 3, 0, "]"}, {QUARVEL_STEP_CUT_LAST, 0, 1}}),
       "the dictionary word 'tiger', by rule ']' (last 1 character removed)"},
      {Record(D, "sunshine",
              {{QUARVEL_STEP_RULE, 0, 9, 0, "/5s5s/1s1i"},
               {QUARVEL_STEP_READ_AS, 0, 0, 0, "5s"},
               {QUARVEL_STEP_READ_AS, 0, 0, 0, "1i"}}),
       "the dictionary word 'sunshine', by rule '/5s5s/1s1i' ('5' read as 's', '1' read as "
       "'i')"},
      {Record(D, "hello",
              {{QUARVEL_STEP_RULE, 0, 20, 0, "/?p@?p"}, {QUARVEL_STEP_PUNCTUATION_REMOVED}}),
       "the dictionary word 'hello', by rule '/?p@?p' (punctuation removed)"},
      {Record(D, "hello",
              {{QUARVEL_STEP_RULE, 0, 21, 0, "/?s@?s"}, {QUARVEL_STEP_SYMBOLS_REMOVED}}),
       "the dictionary word 'hello', by rule '/?s@?s' (symbols removed)"},
      {Record(D, "hello",
              {{QUARVEL_STEP_RULE, 0, 22, 0, "/?X@?X"}, {QUARVEL_STEP_NON_ALNUM_REMOVED}}),
       "the dictionary word 'hello', by rule '/?X@?X' (non-alphanumeric characters removed)"},
      {Record(D, "7tiger", {{QUARVEL_STEP_PREFIX, 0, 0, 0, "7"}, {QUARVEL_STEP_REVERSED}}),
       "reversed form of the dictionary word '7tiger' without its prefix 7"},
      // The extended search: every step in parentheses, in order.
      {Record(D, "dragon",
              {{QUARVEL_STEP_CAPITALISED},
               {QUARVEL_STEP_READ_AS, 0, 0, 0, "4a"},
               {QUARVEL_STEP_CUT_END, QUARVEL_PIECE_YEAR, 0, 0, "2024"},
               {QUARVEL_STEP_CUT_END, QUARVEL_PIECE_SYMBOLS, 0, 0, "!!"}},
              X),
       "the dictionary word 'dragon' (capitalised, '4' read as 'a', year 2024 and '!!' cut from "
       "the end)"},
      {Record(D, "monkey",
              {{QUARVEL_STEP_UPPERCASED},
               {QUARVEL_STEP_CUT_START, QUARVEL_PIECE_DIGITS, 0, 0, "12"},
               {QUARVEL_STEP_CUT_END, QUARVEL_PIECE_DATE, 0, 0, "1987-06-14"}},
              X),
       "the dictionary word 'monkey' (upper-cased, digits 12 cut from the start, date "
       "1987-06-14 cut from the end)"},
      {Record(
           D, "shadow",
           {{QUARVEL_STEP_REVERSED}, {QUARVEL_STEP_DROPPED, 0, 0, 0, "."}, {QUARVEL_STEP_DOUBLED}},
           X),
       "the dictionary word 'shadow' (reversed, '.' dropped, written twice)"},
      {Record(D, "사랑해",
              {{QUARVEL_STEP_ACCENTS_FOLDED},
               {QUARVEL_STEP_TYPED_LATIN, 0, 0, 0, "사랑해"},
               {QUARVEL_STEP_CUT_END, QUARVEL_PIECE_DIGITS, 0, 0, "12"}},
              X),
       "the dictionary word '사랑해' (accents removed, the Korean word 사랑해 typed on a Latin "
       "keyboard, digits 12 cut from the end)"},
      // Without the extended bit, its steps still say where they come from.
      {Record(D, "football", {{QUARVEL_STEP_INSIDE, 0, 1, 2}}),
       "the dictionary word 'football' (inside the password (1 before, 2 after))"},
      {Record(D, "summer", {}, X), "the dictionary word 'summer' (found by the extended search)"},
      {Record(QUARVEL_MATCH_PATTERN, "",
              {{QUARVEL_STEP_PATTERN, QUARVEL_PIECE_KEYBOARD_WALK, 0, 0, "qwerty"},
               {QUARVEL_STEP_PATTERN, QUARVEL_PIECE_SEQUENCE, 0, 0, "abcd"},
               {QUARVEL_STEP_PATTERN, QUARVEL_PIECE_RUN, 0, 0, "aaaa"}}),
       "keyboard walk 'qwerty', sequence 'abcd', run 'aaaa'"},
      {Record(QUARVEL_MATCH_PATTERN, "",
              {{QUARVEL_STEP_PATTERN, QUARVEL_PIECE_DATE, 0, 0, "1987-06-14"},
               {QUARVEL_STEP_PATTERN, QUARVEL_PIECE_DIGITS, 0, 0, "1234"},
               {QUARVEL_STEP_PATTERN, QUARVEL_PIECE_SYMBOLS, 0, 0, "!!"}}),
       "date 1987-06-14, digits 1234, '!!'"},
  };
  for (const Case &c : cases) EXPECT_EQ(DescribeMatch(c.record), c.expected);

  // The steps alone, as explain's "read as:" and a breach hit tell them.
  EXPECT_EQ(StepsText(StepsOf(cases[3].record)),
            "lower-cased, reversed, first 2 characters removed, suffix 12");
  EXPECT_EQ(StepsText(StepsOf(cases[0].record)), "as given");
}

// The reasons on a check line, and the same texts and codes in JSON.
TEST(CliWording, ReasonsOnTheLineAndInJson) {
  quarvel_result r = Record(QUARVEL_MATCH_BREACH, "hunter2", {{QUARVEL_STEP_CUT_LAST, 0, 3}});
  r.breach_count = 3861;
  r.level = 1;
  r.pw_len = 10;
  r.pw_ncr = 2;
  const int scores[6] = {4, 3, 2, 1, 0, 0};
  std::copy(std::begin(scores), std::end(scores), r.stage_score);
  r.reasons[0] = {2, QUARVEL_REASON_FEW_DISTINCT, 1, 3, 5};
  r.reasons[1] = {3, QUARVEL_REASON_REPEATS, 1, 4, 2};
  r.reasons[2] = {4, QUARVEL_REASON_SEQUENCES, 1, 6, 3};
  r.reasons[3] = {5, QUARVEL_REASON_BREACH, 1, 0, 0};
  r.reasons[4] = {0, QUARVEL_REASON_LEVEL_CAPPED, 0, 3, 2};
  r.reason_count = 5;
  std::string line;
  AppendHumanLine(line, {"argument", 1}, "", 10, r);
  // The result line; the advice lines after it are CliGuesses's.
  EXPECT_EQ(line.substr(0, line.find('\n') + 1),
            "argument 1: level 1 (weak), base score 4 for 10 bytes in 2 classes; -1 only 3 "
            "distinct characters (fewer than 5); -1 4 repeated two-character pieces (more than "
            "2); -1 6 neighbours in sequence (more than 3); -1 seen 3,861 times in the "
            "leaked-password list 'dicts/words' as 'hunter2' (last 3 characters removed)\n");

  // A length the extended profile counted in characters (사랑해, 9 bytes)
  // says so; an equal one, ASCII or the standard profile's, is in bytes.
  for (const auto &[pw_len, bytes, unit] :
       {std::tuple{3, 9, "3 characters"}, {1, 3, "1 character"}, {1, 1, "1 byte"}}) {
    r.pw_len = pw_len;
    line.clear();
    AppendHumanLine(line, {"argument", 1}, "", bytes, r);
    EXPECT_NE(line.find(std::string(" for ") + unit + " in 2 classes"), std::string::npos) << line;
  }
  r.pw_len = 10;

  std::string out;
  AppendJsonLine(out, {"line", 7}, "", r);
  const auto json = nlohmann::json::parse(out);
  ASSERT_EQ(json["reasons"].size(), 5u);
  EXPECT_EQ(json["reasons"][0],
            nlohmann::json::parse(R"x({"stage": 2, "code": "few_distinct", "points": 1,
              "value": 3, "limit": 5, "text": "only 3 distinct characters (fewer than 5)"
})x"));
  EXPECT_EQ(json["reasons"][3]["code"], "breach");
  EXPECT_FALSE(json["reasons"][3].contains("value"));
  EXPECT_EQ(json["reasons"][4]["code"], "level_capped");
  EXPECT_EQ(json["reasons"][4]["text"],
            "a found password is rated at most level 2 (the score gave level 3)");
  EXPECT_EQ(json["match"]["steps"], nlohmann::json::parse(R"x([{"code":"cut_last","count":3}])x"));
  EXPECT_EQ(json["match"]["breach_count"], 3861);

  // The other stage-5 and stage-6 reasons, one at a time.
  const std::pair<quarvel_reason, std::string> more[] = {
      {{5, QUARVEL_REASON_DICTIONARY, 1, 0, 0},
       "in dictionary dicts/words: the dictionary word 'hunter2' (last 3 characters removed)"},
      {{5, QUARVEL_REASON_CONTEXT, 1, 0, 0},
       "close to a context word: the dictionary word 'hunter2' (last 3 characters removed)"},
      {{5, QUARVEL_REASON_UNREADABLE, 1, 0, 0},
       "dictionary dicts/words could not be read, which counts as found"},
      {{6, QUARVEL_REASON_PERSONAL, 1, 0, 0}, "in the personal dictionary"},
  };
  for (const auto &[reason, text] : more) EXPECT_EQ(ReasonText(r, reason), text);
}

// Each step code's members in JSON: the ones engine.h says it uses.
TEST(CliWording, JsonStepMembers) {
  quarvel_result r = Record(QUARVEL_MATCH_DICTIONARY, "dragon",
                            {{QUARVEL_STEP_RULE, 0, 17, 0, "]]"},
                             {QUARVEL_STEP_READ_AS, 0, 0, 0, "0o"},
                             {QUARVEL_STEP_INSIDE, 0, 1, 2},
                             {QUARVEL_STEP_CUT_END, QUARVEL_PIECE_YEAR, 0, 0, "2024"},
                             {QUARVEL_STEP_PATTERN, QUARVEL_PIECE_KEYBOARD_WALK, 0, 0, "qwe"},
                             {QUARVEL_STEP_DOUBLED},
                             {QUARVEL_STEP_TYPED_LATIN, 0, 0, 0, "사랑"},
                             {99, 1, 2, 3, "?"}});
  r.level = 2;
  std::string out;
  AppendJsonLine(out, {"line", 1}, "", r);
  EXPECT_EQ(nlohmann::json::parse(out)["match"]["steps"], nlohmann::json::parse(R"x([
      {"code": "rule", "count": 17, "arg": "]]"},
      {"code": "read_as", "arg": "0o"},
      {"code": "inside", "count": 1, "count2": 2},
      {"code": "cut_end", "piece": "year", "arg": "2024"},
      {"code": "pattern", "piece": "keyboard_walk", "arg": "qwe"},
      {"code": "doubled"},
      {"code": "typed_latin", "arg": "사랑"},
      {"code": 99, "piece": "digits", "count": 2, "count2": 3, "arg": "?"}])x"));
}

// The names in JSON are the ones engine.h gives each code in parentheses.
TEST(CliWording, NamesAreTheHeaders) {
  std::ifstream header(QUARVEL_ENGINE_HEADER);
  ASSERT_TRUE(header) << QUARVEL_ENGINE_HEADER;
  std::stringstream text;
  text << header.rdbuf();
  const std::string all = text.str();
  const std::regex define(R"x(#define QUARVEL_(REASON|STEP|PIECE)_\w+ (\d+) +/\* \("(\w+)"\))x");
  std::map<std::string, int> seen;
  for (std::sregex_iterator it(all.begin(), all.end(), define), end; it != end; ++it) {
    const std::string family = (*it)[1];
    const int code = std::stoi((*it)[2]);
    const std::string name = (*it)[3];
    const std::string_view ours = family == "REASON" ? ReasonName(code)
                                  : family == "STEP" ? StepName(code)
                                                     : PieceName(code);
    EXPECT_EQ(ours, name) << family << " " << code;
    ++seen[family];
  }
  EXPECT_EQ(seen["REASON"], QUARVEL_REASON_FEW_GUESSES);
  EXPECT_EQ(seen["STEP"], QUARVEL_STEP_ACCENTS_FOLDED);
  EXPECT_EQ(seen["PIECE"], QUARVEL_PIECE_RUN);
  EXPECT_EQ(StepName(0), "");
  EXPECT_EQ(ReasonName(QUARVEL_REASON_FEW_GUESSES + 1), "");
}

TEST(CliGuesses, HumanDurations) {
  constexpr double kDay = 86400, kYear = 365.25 * kDay;
  const std::pair<double, std::string> cases[] = {
      {0, "instant"},         {0.99, "instant"},        {1, "1 second"},
      {59.4, "59 seconds"},   {60, "1 minute"},         {45 * 60, "45 minutes"},
      {5 * 3600, "5 hours"},  {3 * kDay, "3 days"},     {100 * kDay, "3 months"},
      {2 * kYear, "2 years"}, {99 * kYear, "99 years"}, {100 * kYear, "centuries"},
      {1e300, "centuries"},
  };
  for (const auto &[seconds, text] : cases) EXPECT_EQ(HumanDuration(seconds), text) << seconds;
}

// A graded record with an estimate, as the library lays it out.
quarvel_result Estimated(double guesses_log10) {
  quarvel_result r = Record(QUARVEL_MATCH_NONE, "", {});
  snprintf(r.answer, sizeof(r.answer), "RET_CD=0000:RT_LEVEL=3:PW_LEN=11:PW_NCR=2");
  r.level = 3;
  r.pw_len = 11;
  r.pw_ncr = 2;
  r.guesses_log10 = guesses_log10;
  // Rates of the four attacks: 100 an hour, 10, 10^4 and 10^10 a second.
  const double rates[QUARVEL_ATTACKS] = {100.0 / 3600, 10, 1e4, 1e10};
  for (int a = 0; a < QUARVEL_ATTACKS; ++a) {
    r.crack_seconds[a] = std::pow(10.0, guesses_log10) / rates[a];
  }
  r.warning = QUARVEL_WARNING_COMMON_WORDS;
  r.suggestion_count = 2;
  r.suggestions[0] = QUARVEL_SUGGESTION_ADD_WORDS;
  r.suggestions[1] = 99;
  r.piece_count = 2;
  r.pieces[0] = {QUARVEL_GUESS_DICTIONARY,
                 0,
                 7,
                 QUARVEL_GUESS_CAPITALISED | QUARVEL_GUESS_LEET,
                 1200,
                 0,
                 4.2,
                 "sunrise"};
  r.pieces[1] = {QUARVEL_GUESS_BRUTE_FORCE, 7, 4, 0x4000, 0, -1, 4.0, ""};
  return r;
}

// The estimate on the check line's advice lines and in JSON: names and texts
// from the library's catalogue, codes it does not know by number.
TEST(CliGuesses, AdviceLinesAndJson) {
  const quarvel_result r = Estimated(8.2);
  std::string lines;
  AppendAdviceLines(lines, r);
  EXPECT_EQ(lines,
            "  about 10^8.2 guesses; online: 6 months, offline fast hash: instant\n"
            "  warning: " +
                std::string(quarvel_warning_text(QUARVEL_WARNING_COMMON_WORDS)) +
                "\n  suggestion: " + quarvel_suggestion_text(QUARVEL_SUGGESTION_ADD_WORDS) + "\n");
  EXPECT_EQ(PieceText(r.pieces[0], "dicts/words"),
            "bytes 1-7: dictionary word 'sunrise' (rank 1200 in dicts/words, capitalised, leet), "
            "10^4.2 guesses");
  EXPECT_EQ(PieceText(r.pieces[1], ""), "bytes 8-11: brute force, 10^4.0 guesses");

  std::string out;
  AppendJsonLine(out, {"line", 1}, "", r);
  const auto json = nlohmann::json::parse(out);
  EXPECT_DOUBLE_EQ(json["guesses_log10"].get<double>(), 8.2);
  EXPECT_EQ(json["crack_seconds"].size(), 4u);
  EXPECT_NEAR(json["crack_seconds"]["offline_slow_hash"].get<double>(), std::pow(10, 4.2), 1e-6);
  EXPECT_EQ(json["pieces"][0]["transforms"], nlohmann::json::parse(R"(["capitalised","leet"])"));
  EXPECT_EQ(json["pieces"][1]["transforms"], nlohmann::json::parse("[16384]"));
  EXPECT_EQ(json["pieces"][0]["word"], "sunrise");
  EXPECT_EQ(json["warning"]["code"], "common_words");
  EXPECT_EQ(json["warning"]["text"], quarvel_warning_text(QUARVEL_WARNING_COMMON_WORDS));
  EXPECT_EQ(json["suggestions"], nlohmann::json::parse(R"([{"name": "add_words", "text": ")" +
                                                       std::string(quarvel_suggestion_text(1)) +
                                                       R"("}, {"name": 99, "text": ""}])"));

  // A password not graded has none of it, and no advice line.
  quarvel_result refused = r;
  refused.code = QUARVEL_BAD_PASSWORD;
  out.clear();
  AppendJsonLine(out, {"line", 2}, "", refused);
  for (const char *key : {"guesses_log10", "crack_seconds", "pieces", "warning", "suggestions"}) {
    EXPECT_TRUE(nlohmann::json::parse(out)[key].is_null()) << key;
  }
  lines.clear();
  AppendAdviceLines(lines, refused);
  EXPECT_EQ(lines, "");
}

// --min-guesses caps as the configuration key does: level, reason, answer.
TEST(CliGuesses, CapByGuesses) {
  quarvel_result r = Estimated(6.5);
  EXPECT_FALSE(CapByGuesses(r, 6.5));  // not below
  EXPECT_EQ(r.level, 3);
  EXPECT_TRUE(CapByGuesses(r, 7));
  EXPECT_EQ(r.level, 2);
  EXPECT_STREQ(r.answer, "RET_CD=0000:RT_LEVEL=2:PW_LEN=11:PW_NCR=2");
  ASSERT_EQ(r.reason_count, 1);
  EXPECT_EQ(r.reasons[0].code, QUARVEL_REASON_FEW_GUESSES);
  EXPECT_EQ(std::vector<int>(
                {r.reasons[0].stage, r.reasons[0].points, r.reasons[0].value, r.reasons[0].limit}),
            std::vector<int>({0, 0, 3, 2}));
  std::string lines;
  AppendAdviceLines(lines, r);
  EXPECT_NE(lines.find("; a password estimated below the least number of guesses is rated at "
                       "most level 2 (the score gave level 3)\n"),
            std::string::npos)
      << lines;
  // Already at level 2: nothing to cap, nothing said.
  EXPECT_FALSE(CapByGuesses(r, 7));
  EXPECT_EQ(r.reason_count, 1);
}

}  // namespace
}  // namespace quarvel::cli
