// Hangul composed from the two-set layout, the Revised Romanization, the
// Korean readings of passwords and the folding of Latin letters, against
// tables written from the layout and the Unicode charts; then language
// dictionaries through the engine, against a root without them.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <algorithm>

#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "build/affix_file.h"
#include "quarvel/dictmanger.h"
#include "quarvel/engine.h"
#include "search/explanation.h"
#include "search/fold.h"
#include "search/hangul.h"
#include "search/korean_search.h"
#include "testing/test_util.h"

namespace quarvel::engine {
namespace {

using hangul::Jamo;
using testing::MakeDictionary;
using testing::TempDir;
using testing::WriteFile;

// Reads letters as two-set keys and composes them; "" when they do not
// compose into syllables.
std::string Typed(std::string_view keys) {
  std::vector<Jamo> jamo;
  for (char k : keys) {
    Jamo j;
    if (!hangul::KeyJamo(k, &j)) return "";
    jamo.push_back(j);
  }
  char32_t out[64];
  size_t count = 0;
  if (!hangul::Compose(jamo, out, &count)) return "";
  std::string text;
  for (size_t i = 0; i < count; ++i) hangul::AppendUtf8(out[i], &text);
  return text;
}

// The layout as its keycaps show it: the small letters a to z, then the
// shifted Q W E R T O P.
constexpr std::string_view kKeycaps = "ㅁㅠㅊㅇㄷㄹㅎㅗㅑㅓㅏㅣㅡㅜㅐㅔㅂㄱㄴㅅㅕㅍㅈㅌㅛㅋ";
constexpr std::string_view kShiftedKeycaps = "ㅃㅉㄸㄲㅆㅒㅖ";

TEST(TwoSetTest, EveryKeyTypesTheJamoOnItsKeycap) {
  const std::string letters = "abcdefghijklmnopqrstuvwxyzQWERTOP";
  const std::string caps = std::string(kKeycaps) + std::string(kShiftedKeycaps);
  size_t pos = 0;
  for (char letter : letters) {
    const char32_t cap = hangul::DecodeUtf8(caps, &pos);
    Jamo expected[2], typed;
    ASSERT_EQ(hangul::JamoOf(cap, expected), 1u) << letter;
    ASSERT_TRUE(hangul::KeyJamo(letter, &typed)) << letter;
    EXPECT_EQ(typed, expected[0]) << letter;
    EXPECT_EQ(hangul::KeyOf(typed), letter);
  }
  // Capitals without a shifted jamo type their small letter's.
  Jamo upper, lower;
  ASSERT_TRUE(hangul::KeyJamo('K', &upper) && hangul::KeyJamo('k', &lower));
  EXPECT_EQ(upper, lower);
  EXPECT_FALSE(hangul::KeyJamo('1', &upper));
}

TEST(TwoSetTest, WordsCompoundsClustersAndSplits) {
  const struct {
    std::string_view keys, hangul;
  } kCases[] = {
      // Words.
      {"tkfkdgo", "사랑해"},
      {"dkssudgktpdy", "안녕하세요"},
      {"qlalfqjsgh", "비밀번호"},
      {"rkatkgkqslek", "감사합니다"},
      {"eogksalsrnr", "대한민국"},
      {"zjavbxj", "컴퓨터"},
      // Shifted keys: the double consonants, ㅒ and ㅖ.
      {"Tkd", "쌍"},
      {"Qkd", "빵"},
      {"Wkwkd", "짜장"},
      {"Ejr", "떡"},
      {"Rna", "꿈"},
      {"dOrl", "얘기"},
      {"dP", "예"},
      // Every compound vowel.
      {"dhk", "와"},
      {"dho", "왜"},
      {"dhl", "외"},
      {"dnj", "워"},
      {"dnp", "웨"},
      {"dnl", "위"},
      {"dml", "의"},
      // Every final cluster.
      {"sjrt", "넋"},
      {"dksw", "앉"},
      {"dksg", "않"},
      {"dlfr", "읽"},
      {"tkfa", "삶"},
      {"sjfq", "넓"},
      {"rhft", "곬"},
      {"gkfx", "핥"},
      {"dmfv", "읊"},
      {"dlfg", "잃"},
      {"djqt", "없"},
      // A final moves to the next syllable when a vowel follows it; of a
      // cluster, its second consonant does.
      {"rks", "간"},
      {"rksk", "가나"},
      {"ekfr", "닭"},
      {"ekfrk", "달가"},
      {"rkqtdl", "값이"},
      {"dkswdk", "앉아"},
      {"dkswk", "안자"},
      {"dksxdk", ""},
      // Jamo that stay alone do not compose.
      {"kk", ""},
      {"tt", ""},
      {"tkk", ""},
      {"sjrtt", ""},
      {"Qkdq", ""},
      {"rhkk", ""},
  };
  for (const auto &c : kCases) {
    EXPECT_EQ(Typed(c.keys), c.hangul) << c.keys;
  }
}

TEST(HangulTest, ComposesJamoAndRomanises) {
  // Conjoining jamo, as the Korean word list stores them, and
  // compatibility jamo typed one by one.
  EXPECT_EQ(hangul::ComposeText("\u1109\u1161\u1105\u1161\u11BC/10"), "사랑/10");
  EXPECT_EQ(hangul::ComposeText("\u1103\u1161\u11B0"), "닭");
  EXPECT_EQ(hangul::ComposeText("ㅅㅏㄹㅏㅇ abc"), "사랑 abc");
  EXPECT_EQ(hangul::ComposeText("ㅏㅏ"), "ㅏㅏ");
  EXPECT_EQ(hangul::ComposeText("\xff\xe1\x84"), "\xff\xe1\x84");

  const struct {
    std::u32string_view word;
    std::string_view roman, plain;
  } kWords[] = {
      {U"사랑해", "saranghae", "saranghae"},
      {U"안녕", "annyeong", "annyeong"},
      {U"감사합니다", "gamsahamnida", "gamsahapnida"},
      {U"한국어", "hangugeo", "hangukeo"},
      {U"신라", "silla", "sinra"},
      {U"종로", "jongno", "jongro"},
      {U"좋다", "jota", "jotda"},
      {U"대한민국", "daehanminguk", "daehanminguk"},
      {U"읽어", "ilgeo", "ikeo"},
  };
  for (const auto &w : kWords) {
    EXPECT_EQ(hangul::Romanise(w.word, false), w.roman);
    EXPECT_EQ(hangul::Romanise(w.word, true), w.plain);
  }
}

TEST(HangulTest, DecodesOnlyValidUtf8) {
  EXPECT_TRUE(hangul::ValidUtf8("café 사랑"));
  for (std::string_view bad :
       {"\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe1\x84", "\x80"}) {
    EXPECT_FALSE(hangul::ValidUtf8(bad)) << bad.size();
  }
}

// The words a search looks up, and the English of the step list of the
// first candidate that is the given word.
struct Looked {
  std::vector<std::string> words;
  std::string explained;
};

Looked Look(std::string_view password, std::string_view found) {
  KoreanSearch search(password, true);
  Looked out;
  KoreanHit hit;
  search.Run(
      [&](const char *word) {
        out.words.emplace_back(word);
        return false;
      },
      &hit);
  if (search.Run([&](const char *word) { return found == word; }, &hit)) {
    Explanation e;
    search.Explain(hit, CaseChangeStep(password), &e);
    ShortText text;
    FormatSteps(e.steps.items(), &text);
    out.explained = std::string(text.text());
  }
  return out;
}

TEST(KoreanSearchTest, ReadsWhatPeopleAddAroundAWord) {
  const struct {
    std::string_view password, word, explained;
  } kCases[] = {
      {"tkfkdgo", "사랑해", "the Korean word 사랑해 typed on a Latin keyboard"},
      {"Tkfkdgo2024", "사랑해",
       "capitalised, the Korean word 사랑해 typed on a Latin keyboard, year 2024 cut from the end"},
      {"Tkd", "", ""},  // one syllable
      {"tkfkdtkfkd!", "사랑",
       "the Korean word 사랑 typed on a Latin keyboard, written twice, '!' cut from the end"},
      {"TKFKDGO", "사랑해", "upper-cased, the Korean word 사랑해 typed on a Latin keyboard"},
      {"Tkd-tkfkd", "", ""},  // letters on both sides of a symbol
      {"사랑해123", "사랑해", "digits 123 cut from the end"},
      {"사랑사랑", "사랑", "written twice"},
      {"비밀번호사랑", "비밀번호", "inside the password (0 before, 2 after)"},
      {"비밀번호ㄱ", "", ""},
      {"ㅅㅏㄹㅏㅇ", "사랑", "as given"},
  };
  for (const auto &c : kCases) {
    const Looked looked = Look(c.password, c.word);
    EXPECT_EQ(looked.explained, c.explained) << c.password;
    if (c.word.empty()) {
      EXPECT_TRUE(looked.words.empty()) << c.password;
    }
  }
  // A word makes at least half of the password.
  EXPECT_TRUE(Look("tkfk12345", "").words.empty());
  // Letters far beyond a word's length make no reading, and invalid UTF-8
  // none either.
  EXPECT_TRUE(Look(std::string(200, 'k'), "").words.empty());
  EXPECT_TRUE(Look("\xea\xb0\xff", "").words.empty());
}

TEST(FoldTest, LowersAndFoldsLatinLetters) {
  const struct {
    std::string_view text, folded;
  } kCases[] = {
      {"Café", "cafe"},   {"ÉLAN", "elan"},     {"Straße", "strasse"},    {"Œuvre", "oeuvre"},
      {"Ærø", "aero"},    {"Ĳssel", "ijssel"},  {"Łódź", "lodz"},         {"ÀÁÂÃÄÅ", "aaaaaa"},
      {"çÑñÿŸ", "cnnyy"}, {"Þór", "thor"},      {"Ğış", "gis"},           {"×÷", "×÷"},
      {"사랑É", "사랑e"}, {"ABC12!", "abc12!"}, {"\xff\xc3", "\xff\xc3"}, {"\xc3\x89\x80", "e\x80"},
  };
  for (const auto &c : kCases) {
    std::string out(c.text);
    bool folded = false;
    out.resize(FoldText(c.text, out.data(), &folded));
    EXPECT_EQ(out, c.folded) << c.text;
    EXPECT_EQ(folded, c.text != "ABC12!" && c.text != "×÷" && c.text[0] != '\xff') << c.text;
  }
}

// An affix file in hunspell's format; its words and rules are conjoining
// jamo, as in ko.aff. Flag 1 conjugates verbs in 하다, flag 3 other verbs,
// flag 2 adds particles to nouns; alias 1 is flag 1, alias 2 flags 1 and 2,
// alias 3 flag 3.
constexpr std::string_view kAffixes =
    "# comment\nSET UTF-8\nFLAG num\nAF 3\nAF 1\nAF 2,1,2\nAF 3\n"
    "SFX 1 Y 6\n"
    "SFX 1 \u1161\u1103\u1161 \u1162 \u1112\u1161\u1103\u1161\n"                // 해
    "SFX 1 \u1161\u1103\u1161 \u1162\u110B\u116D/7 \u1161\u1103\u1161\n"        // 해요
    "SFX 1 \u1161\u1103\u1161 \u1161\u11B8\u1102\u1175\u1103\u1161 .\n"         // 합니다
    "SFX 1 \u1161\u1103\u1161 \u1161\u1100\u1169 [\u1161\u1165]\u1103\u1161\n"  // 하고
    "SFX 1 \u1103\u1161 \u11AB\u1103\u1161 [\u1161\u1165]\u1103\u1161\n"        // 한다
    "SFX 1 \u1161\u1103\u1161 \u1162\u11BB\u1100\u1166\u11BB\u1109\u1173\u11B8"
    "\u1102\u1175\u1103\u1161 \u1161\u1103\u1161\n"  // 했겠습니다
    "SFX 3 Y 2\n"
    "SFX 3 \u1103\u1161 \u110B\u1165 .\n"  // 어
    "SFX 3 \u1103\u1161 \u110C\u1175 .\n"  // 지
    "SFX 2 Y 3\n"
    "SFX 2 0 \u110B\u1175 [^\u1161\u1169]\n"  // 이
    "SFX 2 0 \u1100\u1161 [\u1161\u1169]\n"   // 가
    "SFX 2 0 \u110B\u116D [\n";               // unclosed
constexpr std::string_view kSarangHada = "\u1109\u1161\u1105\u1161\u11BC\u1112\u1161\u1103\u1161";
constexpr std::string_view kBimil = "\u1107\u1175\u1106\u1175\u11AF";
constexpr std::string_view kNamu = "\u1102\u1161\u1106\u116E";
constexpr std::string_view kMeokda = "\u1106\u1165\u11A8\u1103\u1161";

std::u32string CodePoints(std::string_view text) {
  std::u32string out;
  for (size_t pos = 0; pos < text.size();) out.push_back(hangul::DecodeUtf8(text, &pos));
  return out;
}

// The forms of each word, worked out by hand from the rules above.
TEST(AffixFileTest, ExpandsOneSuffixAsTheRulesSay) {
  TempDir dir(/*chdir_into=*/true);
  WriteFile("ko.aff", kAffixes);
  AffixFile affixes;
  ASSERT_TRUE(affixes.Read("ko.aff"));
  EXPECT_EQ(affixes.rule_count(), 10u);  // the unclosed condition is refused
  const struct {
    std::string_view word, flags;
    std::set<std::string> forms;
  } kCases[] = {
      {kSarangHada,
       "1",
       {"사랑해", "사랑해요", "사랑합니다", "사랑하고", "사랑한다", "사랑했겠습니다"}},
      {kSarangHada,
       "2\t# a comment",
       {"사랑해", "사랑해요", "사랑합니다", "사랑하고", "사랑한다", "사랑했겠습니다",
        "사랑하다가"}},
      {kBimil, "2", {"비밀이"}},
      {kNamu, "2", {"나무이"}},
      {kBimil, "9", {}},  // no such alias
      {kBimil, "", {}},
  };
  for (const auto &c : kCases) {
    std::set<std::string> forms;
    affixes.Expand(CodePoints(c.word), c.flags, [&](const std::u32string &form) {
      std::string text;
      for (char32_t ch : form) hangul::AppendUtf8(ch, &text);
      forms.insert(hangul::ComposeText(text));
    });
    EXPECT_EQ(forms, c.forms) << hangul::ComposeText(c.word) << " /" << c.flags;
  }
  // Only numeric flags are read.
  WriteFile("long.aff", "FLAG long\nSFX AB Y 1\nSFX AB 0 x .\n");
  EXPECT_FALSE(affixes.Read("long.aff"));
  EXPECT_EQ(affixes.rule_count(), 0u);
  EXPECT_FALSE(affixes.Read("missing.aff"));
}

// The Korean dictionary keeps each word and the forms people type: shorter
// than the word, or one syllable longer at most and ending a sentence.
TEST(AffixFileTest, TheKoreanDictionaryKeepsTheCommonForms) {
  TempDir dir(/*chdir_into=*/true);
  WriteFile("ko.aff", kAffixes);
  WriteFile("ko.dic", "4\n" + std::string(kSarangHada) + "/1\n" + std::string(kBimil) + "/2\n" +
                          std::string(kNamu) + "\n" + std::string(kMeokda) + "/3\n");
  char error[256] = "";
  ASSERT_EQ(
      quarvel_build_language(nullptr, "ko", "ko", "ko.dic", nullptr, nullptr, error, sizeof(error)),
      0)
      << error;
  std::set<std::string> words;
  PackedDict *dict = PWOpen("ko", "r");
  ASSERT_NE(dict, nullptr);
  for (uint32_t i = 0; i < dict->header.word_count; i++) words.insert(GetPW(dict, i));
  PWClose(dict);
  EXPECT_EQ(words, (std::set<std::string>{"사랑하다", "사랑해", "사랑해요", "사랑합니다",
                                          "사랑한다", "비밀", "나무", "먹다", "먹어"}));
}

// A root with the extended profile and the language dictionaries built from
// lists in their Debian formats; the same root without [QUARVEL_LANG] is
// the model of what the languages must leave alone.
class LanguageRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir("conf", 0700), 0);
    ASSERT_EQ(mkdir("dicts", 0700), 0);
    MakeDictionary("dicts/default_dict", {"dragon", "password", "monkey"});
    WriteFile("ko.dic",
              "3\n\u1109\u1161\u1105\u1161\u11BC/10\n\u1107\u1175\u1106\u1175\u11AF/10\n"
              "a/32\n");
    WriteFile("de.txt", "Straße\nKäse\n");
    char error[256] = "";
    ASSERT_EQ(quarvel_build_language(nullptr, "ko", "dicts/ko", "ko.dic", nullptr, nullptr, error,
                                     sizeof(error)),
              0)
        << error;
    ASSERT_EQ(quarvel_build_language(nullptr, "de", "dicts/de", "de.txt", nullptr, nullptr, error,
                                     sizeof(error)),
              0)
        << error;
  }

  // Checks password with a configuration of these lines.
  static quarvel_result Check(const std::string &config, std::string_view password) {
    WriteFile("conf/quarvel.ini", config);
    quarvel_result r;
    std::memset(&r, 0, sizeof(r));
    QUARVEL_RESULT_INIT(&r);
    char error[256] = "";
    quarvel_env *env = quarvel_open(".", error, sizeof(error));
    EXPECT_NE(env, nullptr) << error;
    if (env == nullptr) return r;
    quarvel_check(env, password.data(), password.size(), &r);
    quarvel_close(env);
    return r;
  }

  static constexpr std::string_view kLanguages =
      "[QUARVEL_LANG]\nlang.ko=dicts/ko\nlang.ko.romanised=dicts/ko_roman\nlang.de=dicts/de\n"
      "lang.fr=dicts/fr\n";
  static constexpr std::string_view kExtended = "[QUARVEL_SEARCH]\nquarvel_search.extended=1\n";

  TempDir dir_{/*chdir_into=*/true};
};

TEST_F(LanguageRootTest, FoundWithTheExtendedProfileOnly) {
  const std::string languages(kLanguages), extended(kExtended);
  const struct {
    std::string_view password, word, prefix;
    int first_step;
  } kFound[] = {
      {"Tkfkd2024", "사랑", "dicts/ko", QUARVEL_STEP_CAPITALISED},
      {"qlalf!", "비밀", "dicts/ko", QUARVEL_STEP_TYPED_LATIN},
      {"사랑123", "사랑", "dicts/ko", QUARVEL_STEP_CUT_END},
      {"sarang77", "sarang", "dicts/ko_roman", QUARVEL_STEP_CUT_END},
      {"Käse2024", "kase", "dicts/de", QUARVEL_STEP_ACCENTS_FOLDED},
      {"strasse", "strasse", "dicts/de", 0},
  };
  for (const auto &f : kFound) {
    const quarvel_result r = Check(languages + extended, f.password);
    EXPECT_EQ(r.match.kind, QUARVEL_MATCH_DICTIONARY) << f.password;
    EXPECT_STREQ(r.match.word, std::string(f.word).c_str()) << f.password;
    EXPECT_STREQ(r.match.prefix, std::string(f.prefix).c_str()) << f.password;
    EXPECT_EQ(r.step_count > 0 ? r.match_steps[0].code : 0, f.first_step) << f.password;
    EXPECT_LE(r.level, 2) << f.password;
    // The estimate reads the word from the same dictionary (slot -1, at
    // its word count, unranked), and is lower than without the languages.
    const auto piece = std::find_if(r.pieces, r.pieces + r.piece_count, [&](const auto &p) {
      return p.kind == QUARVEL_GUESS_DICTIONARY && std::string_view(p.word) == f.word;
    });
    EXPECT_NE(piece, r.pieces + r.piece_count) << f.password;
    if (piece != r.pieces + r.piece_count) {
      EXPECT_EQ(piece->slot, -1) << f.password;
    }
    EXPECT_LT(r.guesses_log10, Check(extended, f.password).guesses_log10) << f.password;
    // The standard profile answers as without the languages.
    EXPECT_STREQ(Check(languages, f.password).answer, Check("", f.password).answer);
  }
  // Without the keyboard reading, Hangul is still found.
  const std::string no_keys = languages + "lang.ko.keyboard=0\n" + extended;
  EXPECT_EQ(Check(no_keys, "tkfkd1").match.kind, QUARVEL_MATCH_NONE);
  EXPECT_EQ(Check(no_keys, "사랑").match.kind, QUARVEL_MATCH_DICTIONARY);
  // Characters with the extended profile, bytes without.
  EXPECT_EQ(Check(extended, "사랑해요").pw_len, 4);
  EXPECT_EQ(Check("", "사랑해요").pw_len, 12);
  EXPECT_EQ(Check(extended, "\xea\xb0\xff").pw_len, 3);
}

TEST_F(LanguageRootTest, ADamagedLanguageDictionaryFailsTheLoad) {
  WriteFile("dicts/fr.pwd", "x");
  WriteFile("conf/quarvel.ini", std::string(kLanguages));
  char error[256] = "";
  EXPECT_EQ(quarvel_open(".", error, sizeof(error)), nullptr);
  EXPECT_NE(std::strstr(error, "lang.fr"), nullptr) << error;
  EXPECT_NE(std::strstr(error, "(1003)"), nullptr) << error;
}

}  // namespace
}  // namespace quarvel::engine
