#include "quarvel/rules.h"

#include <clocale>
#include <cstring>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include "testing/test_util.h"

namespace {

using quarvel::testing::CaptureFd;

constexpr std::size_t kMax = 1023;

// Mangle's answer, with a rejection shown as "<rejected>".
std::string Show(const char *result) { return result == nullptr ? "<rejected>" : result; }

struct MangleCase {
  const char *word;
  const char *rule;
  const char *expected;  // nullptr: rejected
};

// Applies each row and checks that neither a result nor a failed test writes
// anything to standard error.
void ExpectQuietRows(std::initializer_list<MangleCase> rows) {
  for (const MangleCase &row : rows) {
    SCOPED_TRACE(std::string("word '") + row.word + "', rule '" + row.rule + "'");
    CaptureFd err(2);
    EXPECT_EQ(Show(Mangle(row.word, row.rule)), Show(row.expected));
    EXPECT_EQ(err.Take(), "");
  }
}

TEST(RulesMangleTest, TransformingCommands) {
  ExpectQuietRows({
      {"hello", ":", "hello"},
      {"", ":", nullptr},
      {"abc", "r", "cba"},
      {"aBc1", "u", "ABC1"},
      {"AbC1", "l", "abc1"},
      {"hELLO", "c", "Hello"},
      {"church", "p", "churches"},
      {"abc", "f", "abccba"},
      {"abc", "d", "abcabc"},
      {"abc", "]", "ab"},
      {"abc", "[", "bc"},
      {"abc", "[[[", nullptr},
      {"ab", "[[$x", "x"},
      {"", "[]$x", "x"},
      {"abc", "^x", "xabc"},
      {"abc", "$x", "abcx"},
      // Positions and lengths are base 36, either case.
      {"hello", "x13", "ell"},
      {"hello", "x9z", nullptr},
      {"hello", "x3z", "lo"},
      {"abcdefghijkl", "xa2", "kl"},
      {"abcdefghijkl", "xA2", "kl"},
      {"hello", "o0J", "Jello"},
      {"hello", "o4!", "hell!"},
      {"hello", "o5!", "hello"},
      {"hello", "i0!", "!hello"},
      {"hello", "i4!", "hell!o"},
      {"hello", "i5!", "hello!"},
      {"hello", "i9!", "hello!"},
      {"a.b,c", "@.", "ab,c"},
      {"a.b,c!d", "@?p", "abcd"},
      {"a1b2", "@?D", "12"},
      {"...", "@.", nullptr},
      {"a$b$", "s$s", "asbs"},
      {"a1b2", "s?dx", "axbx"},
      {"a?b", "s?\?!", "a!b"},
      {"p@$$w0rd", "/$s$s/0s0o", "p@ssword"},
  });
}

TEST(RulesMangleTest, TestingCommands) {
  ExpectQuietRows({
      {"abc", ">2", "abc"},
      {"abc", ">3", nullptr},
      {"abc", "<4", "abc"},
      {"abc", "<3", nullptr},
      // A weird limit counts as larger than any length.
      {"abc", ">#", nullptr},
      {"abc", "<#", "abc"},
      {"abc", "/b", "abc"},
      {"abc", "/$s$s", nullptr},
      {"a.b", "/?p", "a.b"},
      {"ab", "/?p", nullptr},
      {"abc", "!z", "abc"},
      {"abc", "!b", nullptr},
      {"ab1", "!?d", nullptr},
      {"ab", "!?d", "ab"},
      {"abc", "=1b", "abc"},
      {"abc", "=1c", nullptr},
      {"abe", "=2?v", "abe"},
      {"abc", "=2?v", nullptr},
      {"abc", "(a", "abc"},
      {"abc", "(b", nullptr},
      {"abc", ")c", "abc"},
      {"abc", "(a)c", "abc"},
      {"1bc", "(?a", nullptr},
      {"abc", ")?d", nullptr},
      {"abc", "r(c", "cba"},
      // No character stands at or past the end, not even one of a complement.
      {"abc", "=3?A", nullptr},
      {"abc", "=9c", nullptr},
      {"", "(?A$x", nullptr},
      {"", ")?A$x", nullptr},
      // A failed test ends the rule before its malformed rest is read.
      {"abc", "(zq", nullptr},
      {"abc", "!ax", nullptr},
  });
}

TEST(RulesMangleTest, MalformedRuleWritesItsMessageAndRejects) {
  const struct {
    const char *rule;
    const char *message;
  } rows[] = {
      {">", "Mangle: '>' missing argument in '>'\n"},
      {":<", "Mangle: '<' missing argument in ':<'\n"},
      {"^", "Mangle: prepend missing argument in '^'\n"},
      {"r$", "Mangle: append missing argument in 'r$'\n"},
      {"x1", "Mangle: extract missing argument in 'x1'\n"},
      {"x#", "Mangle: extract missing argument in 'x#'\n"},
      {"x#1", "Mangle: extract: weird argument in 'x#1'\n"},
      {"x1#", "Mangle: extract: weird argument in 'x1#'\n"},
      {"o1", "Mangle: overstrike missing argument in 'o1'\n"},
      {"o#a", "Mangle: overstrike weird argument in 'o#a'\n"},
      {"i1", "Mangle: insert missing argument in 'i1'\n"},
      {"$zi-x", "Mangle: insert weird argument in '$zi-x'\n"},
      {"@", "Mangle: delete missing arguments in '@'\n"},
      {"@?", "Mangle: delete missing arguments in '@?'\n"},
      {"sa", "Mangle: subst missing argument in 'sa'\n"},
      {"s?", "Mangle: subst missing argument in 's?'\n"},
      {"s?a", "Mangle: subst missing argument in 's?a'\n"},
      {"/", "Mangle: '/' missing argument in '/'\n"},
      {"/?", "Mangle: '/' missing argument in '/?'\n"},
      {"!?", "Mangle: '!' missing argument in '!?'\n"},
      {"=1", "Mangle: '=' missing argument in '=1'\n"},
      {"=1?", "Mangle: '=' missing argument in '=1?'\n"},
      {"=#", "Mangle: '=' missing argument in '=#'\n"},
      {"=#a", "Mangle: '=' weird argument in '=#a'\n"},
      {"(?", "Mangle: '(' missing argument in '(?'\n"},
      {")", "Mangle: ')' missing argument in ')'\n"},
      {" ", "Mangle: unknown command   in  \n"},
      {"z", "Mangle: unknown command z in z\n"},
      {"$xz:", "Mangle: unknown command z in $xz:\n"},
      {"\xe9", "Mangle: unknown command \xe9 in \xe9\n"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.rule);
    CaptureFd err(2);
    EXPECT_EQ(Mangle("abc", row.rule), nullptr);
    EXPECT_EQ(err.Take(), row.message);
  }
}

TEST(RulesMangleTest, UnknownClassComplainsForEveryTestedCharacter) {
  CaptureFd err(2);
  EXPECT_EQ(Mangle("abc", "/?z"), nullptr);
  EXPECT_EQ(Show(Mangle("ab", "@?Z")), "ab");
  EXPECT_EQ(Mangle("abc", "=1?b"), nullptr);
  EXPECT_EQ(err.Take(),
            "MatchClass: unknown class z\nMatchClass: unknown class z\n"
            "MatchClass: unknown class z\nMatchClass: unknown class Z\n"
            "MatchClass: unknown class Z\nMatchClass: unknown class b\n");
}

// The characters from first to last inclusive.
std::string Span(char first, char last) {
  std::string text;
  for (char c = first; c <= last; ++c) text += c;
  return text;
}

TEST(RulesMatchClassTest, ClassesHoldExactlyTheirAsciiMembers) {
  const std::string lower = Span('a', 'z'), upper = Span('A', 'Z'), digits = Span('0', '9');
  const struct {
    char name;
    std::string members;
  } classes[] = {
      {'a', lower + upper}, {'c', "bcdfghjklmnpqrstvwxyzBCDFGHJKLMNPQRSTVWXYZ"},
      {'d', digits},        {'l', lower},
      {'p', ".`,:;'!?\""},  {'s', "$%^&*()-_+=|\\[]{}#@/~"},
      {'u', upper},         {'v', "aeiouAEIOU"},
      {'w', " \t"},         {'x', lower + upper + digits},
  };
  for (const auto &clazz : classes) {
    const char complement = static_cast<char>(clazz.name - 'a' + 'A');
    for (int byte = 1; byte < 256; ++byte) {
      const char c = static_cast<char>(byte);
      const int member = clazz.members.find(c) != std::string::npos;
      SCOPED_TRACE(testing::Message() << "class " << clazz.name << ", byte " << byte);
      EXPECT_EQ(MatchClass(clazz.name, c), member);
      EXPECT_EQ(MatchClass(complement, c), 1 - member);
    }
    // NUL is in no class, so in every complement.
    EXPECT_EQ(MatchClass(clazz.name, '\0'), 0);
    EXPECT_EQ(MatchClass(complement, '\0'), 1);
  }
  EXPECT_EQ(MatchClass('?', '?'), 1);
  EXPECT_EQ(MatchClass('?', '.'), 0);
  EXPECT_EQ(MatchClass('?', '\0'), 0);
}

TEST(RulesMatchClassTest, UnknownClassNeverMatches) {
  CaptureFd err(2);
  EXPECT_EQ(MatchClass('z', 'a'), 0);
  EXPECT_EQ(MatchClass('Z', 'a'), 0);
  EXPECT_EQ(err.Take(), "MatchClass: unknown class z\nMatchClass: unknown class Z\n");
}

TEST(RulesClassFunctionsTest, WalkTheWord) {
  const char *word = "ab.c!";
  EXPECT_EQ(PolyStrchr(word, 'p'), word + 2);
  EXPECT_EQ(PolyStrchr(word, 'd'), nullptr);
  EXPECT_EQ(PolyStrchr("", 'A'), nullptr);
  EXPECT_EQ(PolyStrchr(nullptr, 'A'), nullptr);
  EXPECT_STREQ(PolySubst("a1b2", 'd', '#'), "a#b#");
  EXPECT_STREQ(PolySubst("a1b2", 'D', '#'), "#1#2");
  EXPECT_STREQ(PolyPurge("a.b!c?", 'p'), "abc");
  EXPECT_STREQ(PolyPurge("a b\tc", 'W'), " \t");
  EXPECT_EQ(PMatch("ld", "a1"), 1);
  EXPECT_EQ(PMatch("LD", "1a"), 1);
  EXPECT_EQ(PMatch("ld", "1a"), 0);
  EXPECT_EQ(PMatch("ld", "a"), 0);
  EXPECT_EQ(PMatch("ld", "a12"), 0);
  EXPECT_EQ(PMatch("?v", "?e"), 1);
  EXPECT_EQ(PMatch("", ""), 1);
}

TEST(RulesChar2IntTest, DecodesBase36InEitherCase) {
  const std::string digits = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int byte = 0; byte < 256; ++byte) {
    char c = static_cast<char>(byte);
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    const std::size_t at = c == '\0' ? std::string::npos : digits.find(c);
    EXPECT_EQ(Char2Int(static_cast<char>(byte)),
              at == std::string::npos ? -1 : static_cast<int>(at))
        << byte;
  }
}

TEST(RulesSuffixTest, NeedsALongerWord) {
  EXPECT_EQ(Suffix("church", "ch"), 0);
  EXPECT_EQ(Suffix("abc", ""), 0);
  EXPECT_EQ(Suffix("ch", "ch"), -1);
  EXPECT_EQ(Suffix("h", "ch"), -1);
  EXPECT_GT(Suffix("abur", "ch"), 0);
  EXPECT_LT(Suffix("abca", "ch"), 0);
}

TEST(RulesTransformTest, CaseAndOrder) {
  EXPECT_STREQ(Reverse("abc1"), "1cba");
  EXPECT_STREQ(Uppercase("aZ1-q"), "AZ1-Q");
  EXPECT_STREQ(Lowercase("aZ1-Q"), "az1-q");
  EXPECT_STREQ(Capitalise("hELLO"), "Hello");
  EXPECT_STREQ(Capitalise("1ABC"), "1abc");
  EXPECT_STREQ(Substitute("a$b$", '$', 's'), "asbs");
  EXPECT_STREQ(Purge("a.b.c", '.'), "abc");
}

TEST(RulesTransformTest, Pluralise) {
  const struct {
    const char *word, *plural;
  } rows[] = {
      {"box", "boxs"},      {"church", "churches"}, {"wish", "wishes"}, {"boss", "bosses"},
      {"index", "indexes"}, {"matrix", "matrixes"}, {"day", "days"},    {"fly", "flies"},
      {"kEy", "kEies"},     {"DAY", "DAYs"},        {"by", "bys"},      {"bus", "buses"},
      {"ch", "chs"},        {"ss", "sses"},         {"s", "ses"},       {"", "s"},
  };
  for (const auto &row : rows) EXPECT_STREQ(Pluralise(row.word), row.plural) << row.word;
}

TEST(RulesTransformTest, NullReadsAsEmpty) {
  for (const char *result :
       {Reverse(nullptr), Uppercase(nullptr), Lowercase(nullptr), Capitalise(nullptr),
        Substitute(nullptr, 'a', 'b'), Purge(nullptr, 'a'), PolySubst(nullptr, 'A', 'b'),
        PolyPurge(nullptr, 'a')}) {
    EXPECT_STREQ(result, "");
  }
  EXPECT_STREQ(Pluralise(nullptr), "s");
  EXPECT_EQ(Mangle(nullptr, ":"), nullptr);
  EXPECT_EQ(Mangle("abc", nullptr), nullptr);
  EXPECT_EQ(PMatch(nullptr, ""), 1);
  EXPECT_EQ(Suffix(nullptr, "a"), -1);
  EXPECT_EQ(Suffix("a", nullptr), 0);
}

// A word of n characters that differ from their neighbours.
std::string Varied(std::size_t n) {
  std::string word(n, ' ');
  for (std::size_t i = 0; i < n; ++i) word[i] = static_cast<char>('b' + i % 23);
  return word;
}

TEST(RulesBoundsTest, GrowingCommandsCutAt1023) {
  const std::string w = Varied(kMax);
  EXPECT_EQ(Show(Mangle(w.c_str(), "d")), w);
  EXPECT_EQ(Show(Mangle(w.c_str(), "f")), w);
  EXPECT_EQ(Show(Mangle(w.c_str(), "$x")), w);
  EXPECT_EQ(Show(Mangle(w.c_str(), "^x")), "x" + w.substr(0, kMax - 1));
  EXPECT_EQ(Show(Mangle(w.c_str(), "i5x")), w.substr(0, 5) + "x" + w.substr(5, kMax - 6));
  EXPECT_EQ(Show(Mangle(w.c_str(), "]d")), w.substr(0, kMax - 1) + w[0]);
  EXPECT_EQ(Show(Mangle(w.c_str(), "]]f")), w.substr(0, kMax - 2) + w[kMax - 3] + w[kMax - 4]);
  EXPECT_EQ(Show(Mangle(w.c_str(), "p")), w);
  EXPECT_EQ(Show(Mangle(w.c_str(), "]$yp")), w.substr(0, kMax - 1) + "i");
  EXPECT_EQ(Show(Mangle(w.c_str(), "oZx=ZxxZ1")), "x");
}

TEST(RulesBoundsTest, LongInputIsCutTo1023First) {
  const std::string input = Varied(5000);
  const std::string head = input.substr(0, kMax);
  EXPECT_EQ(Show(Mangle(input.c_str(), ":")), head);
  EXPECT_EQ(Reverse(input.c_str()), std::string(head.rbegin(), head.rend()));
  EXPECT_EQ(Uppercase(input.c_str()), std::string(Uppercase(head.c_str())));
  EXPECT_EQ(Lowercase(input.c_str()), head);
  EXPECT_EQ(Capitalise(input.c_str()), std::string(Capitalise(head.c_str())));
  EXPECT_EQ(Pluralise(input.c_str()), head);
  EXPECT_EQ(Substitute(input.c_str(), '#', '!'), head);
  EXPECT_EQ(Purge(input.c_str(), '#'), head);
  EXPECT_EQ(PolySubst(input.c_str(), 'd', '!'), head);
  EXPECT_EQ(PolyPurge(input.c_str(), 'd'), head);
}

TEST(RulesAreaTest, EachFunctionKeepsItsOwnResult) {
  const char *results[] = {Reverse("r"),     Uppercase("u"),           Lowercase("L"),
                           Capitalise("c"),  Pluralise("p"),           Substitute("s", 'x', 'y'),
                           Purge("gx", 'x'), PolySubst("t", 'd', 'y'), PolyPurge("v1", 'd'),
                           Mangle("m", ":")};
  const char *expected[] = {"r", "U", "l", "C", "ps", "s", "g", "t", "v", "Cs"};
  // Mangle's commands leave the other functions' results alone; only its own
  // area (results[9]) takes the new word.
  EXPECT_STREQ(Mangle("abc", "rulcps?d1@?dsab@b"), "Cs");
  for (int i = 0; i < 10; ++i) EXPECT_STREQ(results[i], expected[i]) << i;
  EXPECT_EQ(Reverse("again"), results[0]);
  EXPECT_STREQ(results[0], "niaga");
}

TEST(RulesAreaTest, InputMayBeAResultArea) {
  EXPECT_STREQ(Mangle(Reverse("olleh"), "r"), "olleh");
  EXPECT_STREQ(Mangle(Mangle("abc", "d"), "r"), "cbacba");
  EXPECT_STREQ(Mangle(Mangle("abc", ":") + 1, "$x"), "bcx");
  // The rule itself may lie in Mangle's area.
  EXPECT_STREQ(Mangle("abc", Mangle("$z", ":")), "abcz");
  EXPECT_STREQ(Mangle("abc", Reverse("z$r")), "cbaz");
  EXPECT_STREQ(Reverse(Reverse("abc")), "abc");
  EXPECT_STREQ(Pluralise(Pluralise("fly")), "flieses");
  EXPECT_STREQ(Purge(Purge("a.b,c", '.') + 1, ','), "bc");
  EXPECT_STREQ(Substitute(Substitute("aab", 'a', 'b'), 'b', 'c'), "ccc");
  const std::string w = Varied(kMax);
  EXPECT_EQ(Show(Mangle(Mangle(w.c_str(), ":"), "r")), std::string(w.rbegin(), w.rend()));
}

// Restores the "C" locale however the test ends.
struct CLocaleGuard {
  ~CLocaleGuard() { std::setlocale(LC_ALL, "C"); }
};

TEST(RulesLocaleTest, HostLocaleChangesNothing) {
  CLocaleGuard guard;
  const char *chosen = nullptr;
  // A single-byte locale classifies the high bytes as letters; prefer one.
  for (const char *name : {"en_US.ISO-8859-1", "de_DE.ISO-8859-1", "fr_FR.ISO-8859-1",
                           "en_US.UTF-8", "C.UTF-8", "C.utf8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  if (chosen == nullptr) GTEST_SKIP() << "no locale besides C is installed";
  SCOPED_TRACE(chosen);
  std::string high;
  for (int byte = 0x80; byte < 0x100; ++byte) high += static_cast<char>(byte);
  EXPECT_EQ(Uppercase(high.c_str()), high);
  EXPECT_EQ(Lowercase(high.c_str()), high);
  EXPECT_EQ(Capitalise(("\xe9T\xc9" + high).c_str()), "\xe9t\xc9" + high);
  EXPECT_EQ(Show(Mangle(("AB" + high).c_str(), "l")), "ab" + high);
  for (char clazz : std::string("acdlpsuvwx")) {
    EXPECT_EQ(PolyStrchr(high.c_str(), clazz), nullptr) << clazz;
    EXPECT_STREQ(PolyPurge(high.c_str(), static_cast<char>(clazz - 'a' + 'A')), "") << clazz;
  }
  for (char c : high) EXPECT_EQ(Char2Int(c), -1);
}

}  // namespace
