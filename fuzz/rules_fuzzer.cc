// Fuzz target: word-mangling rules and the text transformations.
//
// The input is a word, a separator (the first NUL or line feed), and a rule;
// the rule ends at the next NUL. Mangle applies the rule to the word; its
// result, when there is one, must be a non-empty text of at most 1023 bytes,
// and a leading no-op (":") or double reversal ("rr") must not change it.
// Each single transformation runs on the word as well, with arguments taken
// from the rule's first bytes, and is checked against the documented effect
// computed here; none of their results may change when Mangle runs later.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "quarvel/rules.h"

namespace {

using quarvel::fuzz::Printable;

constexpr size_t kMaxLength = 1023;

bool InRange(char c, char low, char high) { return c >= low && c <= high; }

// Membership of c in the class named by letter, from the class table of the
// rule language; -1 for an unknown class letter.
int ClassMember(char letter, char c) {
  const bool complement = InRange(letter, 'A', 'Z');
  const char name = complement ? static_cast<char>(letter + 32) : letter;
  const bool alpha = InRange(c, 'a', 'z') || InRange(c, 'A', 'Z');
  bool member;
  switch (name) {
    case '?':
      return c == '?' ? 1 : 0;
    case 'a':
      member = alpha;
      break;
    case 'c':
      member = c != '\0' && std::strchr("bcdfghjklmnpqrstvwxyzBCDFGHJKLMNPQRSTVWXYZ", c);
      break;
    case 'd':
      member = InRange(c, '0', '9');
      break;
    case 'l':
      member = InRange(c, 'a', 'z');
      break;
    case 'p':
      member = c != '\0' && std::strchr(".`,:;'!?\"", c);
      break;
    case 's':
      member = c != '\0' && std::strchr("$%^&*()-_+=|\\[]{}#@/~", c);
      break;
    case 'u':
      member = InRange(c, 'A', 'Z');
      break;
    case 'v':
      member = c != '\0' && std::strchr("aeiouAEIOU", c);
      break;
    case 'w':
      member = c == ' ' || c == '\t';
      break;
    case 'x':
      member = alpha || InRange(c, '0', '9');
      break;
    default:
      return -1;
  }
  return member != complement ? 1 : 0;
}

bool Matches(char letter, char c) { return ClassMember(letter, c) == 1; }

std::string Expected(std::string_view w, char (*map)(char)) {
  std::string out(w);
  for (char &c : out) c = map(c);
  return out;
}

char Upper(char c) { return InRange(c, 'a', 'z') ? static_cast<char>(c - 32) : c; }
char Lower(char c) { return InRange(c, 'A', 'Z') ? static_cast<char>(c + 32) : c; }

std::string ExpectedPlural(std::string_view w) {
  auto ends_beyond = [w](std::string_view tail) {
    return w.size() > tail.size() && w.substr(w.size() - tail.size()) == tail;
  };
  std::string out(w);
  if (ends_beyond("ch") || ends_beyond("ex") || ends_beyond("ix") || ends_beyond("sh") ||
      ends_beyond("ss")) {
    out += "es";
  } else if (w.size() > 2 && w.back() == 'y') {
    if (std::string_view("aeiou").find(w[w.size() - 2]) != std::string_view::npos) {
      out += "s";
    } else {
      out.pop_back();
      out += "ies";
    }
  } else if (!w.empty() && w.back() == 's') {
    out += "es";
  } else {
    out += "s";
  }
  return out.substr(0, kMaxLength);
}

void Expect(const char *got, const std::string &want, const char *what, std::string_view word) {
  FUZZ_CHECK(got != nullptr && want == got, std::string(what) + "(" + Printable(word) +
                                                ") = " + Printable(got ? got : "(none)") +
                                                ", expected " + Printable(want));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  // Malformed rules and unknown classes write a message each.
  quarvel::fuzz::Setup(argc, argv, quarvel::fuzz::kQuietStderr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view input(reinterpret_cast<const char *>(data), size);
  const size_t cut = input.find_first_of(std::string_view("\0\n", 2));
  const std::string word(input.substr(0, cut));
  std::string rule(cut == std::string_view::npos ? "" : input.substr(cut + 1));
  rule = rule.substr(0, rule.find('\0'));
  const std::string_view w = std::string_view(word).substr(0, kMaxLength);
  const char a = rule.size() > 0 ? rule[0] : 'a';
  const char b = rule.size() > 1 ? rule[1] : 'b';

  // The single transformations, each checked against its documented effect.
  const char *reversed = Reverse(word.c_str());
  Expect(reversed, std::string(w.rbegin(), w.rend()), "Reverse", w);
  Expect(Reverse(reversed), std::string(w), "Reverse twice", w);
  const char *upper = Uppercase(word.c_str());
  Expect(upper, Expected(w, Upper), "Uppercase", w);
  const char *lower = Lowercase(word.c_str());
  Expect(lower, Expected(w, Lower), "Lowercase", w);
  std::string capital = Expected(w, Lower);
  if (!capital.empty()) capital[0] = Upper(capital[0]);
  const char *capitalised = Capitalise(word.c_str());
  Expect(capitalised, capital, "Capitalise", w);
  const char *plural = Pluralise(word.c_str());
  Expect(plural, ExpectedPlural(w), "Pluralise", w);

  std::string substituted(w), purged, poly_substituted(w), poly_purged;
  for (char &c : substituted) c = c == a ? b : c;
  for (char c : w) {
    if (c != a) purged.push_back(c);
    if (!Matches(a, c)) poly_purged.push_back(c);
  }
  for (char &c : poly_substituted) c = Matches(a, c) ? b : c;
  const char *substitute = Substitute(word.c_str(), a, b);
  Expect(substitute, substituted, "Substitute", w);
  const char *purge = Purge(word.c_str(), a);
  Expect(purge, purged, "Purge", w);
  const char *poly_subst = PolySubst(word.c_str(), a, b);
  Expect(poly_subst, poly_substituted, "PolySubst", w);
  const char *poly_purge = PolyPurge(word.c_str(), a);
  Expect(poly_purge, poly_purged, "PolyPurge", w);

  size_t first_in_class = std::string_view::npos;
  for (size_t i = 0; i < word.size() && first_in_class == std::string_view::npos; ++i) {
    if (Matches(a, word[i])) first_in_class = i;
  }
  const char *found = PolyStrchr(word.c_str(), a);
  FUZZ_CHECK(found ==
             (first_in_class == std::string_view::npos ? nullptr : word.c_str() + first_in_class));
  for (char c : {a, b, w.empty() ? 'x' : w[0]}) {
    FUZZ_CHECK(MatchClass(a, c) == (Matches(a, c) ? 1 : 0));
  }
  bool pattern_matches = rule.size() == word.size();
  for (size_t i = 0; pattern_matches && i < word.size(); ++i) {
    pattern_matches = Matches(rule[i], word[i]);
  }
  FUZZ_CHECK(PMatch(rule.c_str(), word.c_str()) == (pattern_matches ? 1 : 0));
  const int number = InRange(a, '0', '9')   ? a - '0'
                     : InRange(a, 'a', 'z') ? a - 'a' + 10
                     : InRange(a, 'A', 'Z') ? a - 'A' + 10
                                            : -1;
  FUZZ_CHECK(Char2Int(a) == number);

  // Copies of every result, to see that Mangle leaves them alone.
  const char *results[] = {reversed,   upper, lower,      capitalised, plural,
                           substitute, purge, poly_subst, poly_purge};
  std::string kept[std::size(results)];
  for (size_t i = 0; i < std::size(results); ++i) kept[i] = results[i];

  const char *mangled = Mangle(word.c_str(), rule.c_str());
  std::string result;
  if (mangled != nullptr) {
    result = mangled;
    FUZZ_CHECK(!result.empty() && result.size() <= kMaxLength,
               "Mangle gave " + std::to_string(result.size()) + " bytes");
    // Mangle's own last result serves as its input.
    const char *again = Mangle(mangled, ":");
    FUZZ_CHECK(again != nullptr && result == again);
  }
  for (size_t i = 0; i < std::size(results); ++i) {
    FUZZ_CHECK(kept[i] == results[i], "Mangle changed result " + std::to_string(i));
  }

  // Rules that begin with a no-op give the same answer.
  for (const char *head : {":", "rr"}) {
    const char *same = Mangle(word.c_str(), (head + rule).c_str());
    FUZZ_CHECK((same == nullptr) == (mangled == nullptr) && (same == nullptr || result == same),
               "rule " + Printable(head + rule) + " on " + Printable(word) + " gave " +
                   Printable(same ? same : "(none)") + ", without " + Printable(head) + ": " +
                   Printable(mangled ? result : "(none)"));
  }
  return 0;
}
