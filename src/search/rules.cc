// Word-mangling rules and the text transformations behind them.
//
// Every transformation copies its input into a fixed area of its own and then
// works on that copy in place, so no call allocates and none can write past
// its area. Mangle follows the same scheme with its own area: its commands
// edit the word where it lies instead of calling the exported functions, so a
// rule never overwrites another function's result (which the caller may still
// hold, or which may even be the rule text itself).

#include "quarvel/rules.h"
#include "base/secure_wipe.h"
#include "search/rules_internal.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string_view>

namespace quarvel {

// Writes a diagnostic to standard error. Every message is shown; the level is
// kept so that callers can grade their messages without changing this one.
void Debug(int level, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

void Debug([[maybe_unused]] int level, const char *fmt, ...) {
  std::va_list args;
  va_start(args, fmt);
  std::vfprintf(stderr, fmt, args);
  va_end(args);
}

namespace {

constexpr std::size_t kAreaSize = 1024;
constexpr std::size_t kMaxLength = kAreaSize - 1;

using Area = std::array<char, kAreaSize>;

// One area per transformation. Only ever written up to and including the
// terminator of a result of at most kMaxLength characters, so the last byte
// stays NUL and a string read from any position of an area ends inside it.
Area reverse_area;
Area uppercase_area;
Area lowercase_area;
Area capitalise_area;
Area pluralise_area;
Area substitute_area;
Area purge_area;
Area poly_subst_area;
Area poly_purge_area;
Area mangle_area;

// How many leading bytes of each area have been written since it was last
// wiped, so that wiping touches only those.
std::array<std::size_t, 10> area_used{};

std::size_t &UsedOf(const Area &area) {
  static const Area *const areas[] = {
      &reverse_area,    &uppercase_area, &lowercase_area,  &capitalise_area, &pluralise_area,
      &substitute_area, &purge_area,     &poly_subst_area, &poly_purge_area, &mangle_area};
  for (std::size_t i = 0; i + 1 < std::size(areas); ++i) {
    if (areas[i] == &area) return area_used[i];
  }
  return area_used.back();
}

// Character traits are fixed ASCII tables rather than <cctype>, whose answers
// follow the host process's locale: a word must mangle the same way whatever
// locale the application embedding the library has chosen.
enum Trait : std::uint16_t {
  kAlpha = 1 << 0,
  kConsonant = 1 << 1,
  kDigit = 1 << 2,
  kLower = 1 << 3,
  kPunctuation = 1 << 4,
  kSymbol = 1 << 5,
  kUpper = 1 << 6,
  kVowel = 1 << 7,
  kBlank = 1 << 8,
  kAlnum = 1 << 9,
  kQuestionMark = 1 << 10,
};

constexpr std::array<std::uint16_t, 256> MakeTraits() {
  std::array<std::uint16_t, 256> traits{};
  auto mark = [&traits](std::string_view members, std::uint16_t trait) {
    for (char c : members) traits[static_cast<unsigned char>(c)] |= trait;
  };
  for (int c = 'a'; c <= 'z'; ++c) traits[c] |= kAlpha | kAlnum | kLower;
  for (int c = 'A'; c <= 'Z'; ++c) traits[c] |= kAlpha | kAlnum | kUpper;
  for (int c = '0'; c <= '9'; ++c) traits[c] |= kDigit | kAlnum;
  // Vowels and consonants ignore case.
  mark("aeiouAEIOU", kVowel);
  mark("bcdfghjklmnpqrstvwxyzBCDFGHJKLMNPQRSTVWXYZ", kConsonant);
  mark(".`,:;'!?\"", kPunctuation);
  mark("$%^&*()-_+=|\\[]{}#@/~", kSymbol);
  mark(" \t", kBlank);
  mark("?", kQuestionMark);
  return traits;
}

constexpr std::array<std::uint16_t, 256> kTraits = MakeTraits();

constexpr bool Has(char c, std::uint16_t trait) {
  return (kTraits[static_cast<unsigned char>(c)] & trait) != 0;
}

constexpr char ToUpper(char c) { return Has(c, kLower) ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char ToLower(char c) { return Has(c, kUpper) ? static_cast<char>(c - 'A' + 'a') : c; }

// A class name resolved once, so that testing a whole word against it costs
// one table look-up per character.
struct CharClass {
  char name;
  std::uint16_t trait;  // 0 for an unknown name
  bool complement;

  bool Matches(char c) const {
    if (trait == 0) {
      Debug(1, "MatchClass: unknown class %c\n", name);
      return false;
    }
    return Has(c, trait) != complement;
  }
};

constexpr std::uint16_t TraitOfClass(char lower_name) {
  switch (lower_name) {
    case 'a':
      return kAlpha;
    case 'c':
      return kConsonant;
    case 'd':
      return kDigit;
    case 'l':
      return kLower;
    case 'p':
      return kPunctuation;
    case 's':
      return kSymbol;
    case 'u':
      return kUpper;
    case 'v':
      return kVowel;
    case 'w':
      return kBlank;
    case 'x':
      return kAlnum;
    default:
      return 0;
  }
}

constexpr CharClass ResolveClass(char name) {
  if (name == '?') return {name, kQuestionMark, false};
  if (Has(name, kUpper)) return {name, TraitOfClass(ToLower(name)), true};
  return {name, TraitOfClass(name), false};
}

constexpr int DecodeNumber(char c) {
  if (Has(c, kDigit)) return c - '0';
  if (Has(c, kLower)) return c - 'a' + 10;
  if (Has(c, kUpper)) return c - 'A' + 10;
  return -1;
}

// NULL reads as the empty string; the view's data stays NUL-terminated.
std::string_view ViewOrEmpty(const char *text) { return text == nullptr ? "" : text; }

// The word being transformed, held in a result area. Every edit keeps it at
// most kMaxLength characters long (a longer result is cut at the end) and
// NUL-terminated.
class Word {
 public:
  // Copies text (NULL reads as empty), cut to kMaxLength, into area. The text
  // may lie inside the area, as when a function is fed its own last result.
  Word(Area &area, const char *text) : Word(area, UsedOf(area), text) {}

  // Works in an area of the caller's, which counts its own written bytes.
  Word(Area &area, std::size_t &used, const char *text) : area_(area), used_(used) {
    size_ = text == nullptr ? 0 : strnlen(text, kMaxLength);
    std::memmove(area_.data(), text == nullptr ? "" : text, size_);
    Terminate();
  }

  ~Word() { used_ = std::max(used_, written_); }
  Word(const Word &) = delete;
  Word &operator=(const Word &) = delete;

  char *c_str() { return area_.data(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  char front() const { return area_[0]; }
  char back() const { return area_[size_ - 1]; }
  char operator[](std::size_t pos) const { return area_[pos]; }
  std::string_view view() const { return {area_.data(), size_}; }

  void Reverse() { std::reverse(begin(), end()); }
  void Uppercase() { std::transform(begin(), end(), begin(), ToUpper); }
  void Lowercase() { std::transform(begin(), end(), begin(), ToLower); }
  void Capitalise() {
    Lowercase();
    if (!empty()) area_[0] = ToUpper(area_[0]);
  }

  void Pluralise() {
    const std::string_view text = view();
    auto ends_beyond = [text](std::string_view tail) {
      return text.size() > tail.size() && text.ends_with(tail);
    };
    if (ends_beyond("ch") || ends_beyond("ex") || ends_beyond("ix") || ends_beyond("sh") ||
        ends_beyond("ss")) {
      Append("es");
    } else if (size_ > 2 && back() == 'y') {
      // Only a lower-case vowel keeps the 'y': "days" but "flies".
      if (std::string_view("aeiou").find(text[size_ - 2]) != std::string_view::npos) {
        Append("s");
      } else {
        --size_;
        Append("ies");
      }
    } else if (!empty() && back() == 's') {
      Append("es");
    } else {
      Append("s");
    }
  }

  template <typename Predicate>
  void ReplaceIf(Predicate matches, char replacement) {
    std::replace_if(begin(), end(), matches, replacement);
  }

  template <typename Predicate>
  void RemoveIf(Predicate matches) {
    size_ = static_cast<std::size_t>(std::remove_if(begin(), end(), matches) - begin());
    Terminate();
  }

  template <typename Predicate>
  char *FindIf(Predicate matches) {
    char *found = std::find_if(begin(), end(), matches);
    return found == end() ? nullptr : found;
  }

  void Append(std::string_view tail) {
    const std::size_t count = std::min(tail.size(), kMaxLength - size_);
    std::memcpy(end(), tail.data(), count);
    size_ += count;
    Terminate();
  }

  // Puts c before position pos, or at the end when pos is past it.
  void Insert(std::size_t pos, char c) {
    if (pos >= size_) {
      Append(std::string_view(&c, 1));
      return;
    }
    const std::size_t new_size = std::min(size_ + 1, kMaxLength);
    std::memmove(begin() + pos + 1, begin() + pos, new_size - pos - 1);
    area_[pos] = c;
    size_ = new_size;
    Terminate();
  }

  void Duplicate() {
    const std::size_t count = std::min(size_, kMaxLength - size_);
    std::memcpy(end(), begin(), count);
    size_ += count;
    Terminate();
  }

  // Appends the word reversed: "abc" becomes "abccba".
  void Reflect() {
    const std::size_t count = std::min(size_, kMaxLength - size_);
    std::reverse_copy(end() - count, end(), end());
    size_ += count;
    Terminate();
  }

  // Keeps at most count characters from position pos on.
  void Extract(std::size_t pos, std::size_t count) {
    if (pos >= size_) {
      size_ = 0;
    } else {
      size_ = std::min(count, size_ - pos);
      std::memmove(begin(), begin() + pos, size_);
    }
    Terminate();
  }

  void DropFirst() {
    if (!empty()) Extract(1, size_ - 1);
  }

  void DropLast() {
    if (!empty()) --size_;
    Terminate();
  }

  void Overstrike(std::size_t pos, char c) {
    if (pos < size_) area_[pos] = c;
  }

 private:
  char *begin() { return area_.data(); }
  char *end() { return area_.data() + size_; }
  void Terminate() {
    area_[size_] = '\0';
    written_ = std::max(written_, size_ + 1);
  }

  Area &area_;
  std::size_t &used_;
  std::size_t size_;
  std::size_t written_ = 0;  // every write lies below this
};

bool LiesIn(const char *text, const Area &area) {
  const std::less<const char *> before;
  return !before(text, area.data()) && before(text, area.data() + area.size());
}

// Mangle's commands and their diagnostics.
constexpr char kGreaterMissing[] = "Mangle: '>' missing argument in '%s'\n";
constexpr char kLessMissing[] = "Mangle: '<' missing argument in '%s'\n";
constexpr char kPrependMissing[] = "Mangle: prepend missing argument in '%s'\n";
constexpr char kAppendMissing[] = "Mangle: append missing argument in '%s'\n";
constexpr char kExtractMissing[] = "Mangle: extract missing argument in '%s'\n";
constexpr char kExtractWeird[] = "Mangle: extract: weird argument in '%s'\n";
constexpr char kOverstrikeMissing[] = "Mangle: overstrike missing argument in '%s'\n";
constexpr char kOverstrikeWeird[] = "Mangle: overstrike weird argument in '%s'\n";
constexpr char kInsertMissing[] = "Mangle: insert missing argument in '%s'\n";
constexpr char kInsertWeird[] = "Mangle: insert weird argument in '%s'\n";
constexpr char kDeleteMissing[] = "Mangle: delete missing arguments in '%s'\n";
constexpr char kSubstMissing[] = "Mangle: subst missing argument in '%s'\n";
constexpr char kContainsMissing[] = "Mangle: '/' missing argument in '%s'\n";
constexpr char kLacksMissing[] = "Mangle: '!' missing argument in '%s'\n";
constexpr char kPositionMissing[] = "Mangle: '=' missing argument in '%s'\n";
constexpr char kPositionWeird[] = "Mangle: '=' weird argument in '%s'\n";
constexpr char kFirstMissing[] = "Mangle: '(' missing argument in '%s'\n";
constexpr char kLastMissing[] = "Mangle: ')' missing argument in '%s'\n";
constexpr char kUnknownCommand[] = "Mangle: unknown command %c in %s\n";

// What a testing or deleting command looks for: one character, or any
// character of a class when the argument is written "?C".
struct Target {
  bool is_class;
  char literal;
  CharClass clazz;

  bool Matches(char c) const { return is_class ? clazz.Matches(c) : c == literal; }
};

// Walks a rule once from left to right, editing the word as it goes.
class RuleRunner {
 public:
  RuleRunner(Word &word, const char *rule) : word_(word), rule_text_(rule), rule_(rule) {}

  // True when the whole rule applied; false when it rejected the word or was
  // malformed (then with its message written).
  bool Run() {
    while (next_ < rule_.size()) {
      if (!Step(rule_[next_++])) return false;
    }
    return true;
  }

 private:
  std::size_t Left() const { return rule_.size() - next_; }
  char Take() { return rule_[next_++]; }

  bool Malformed(const char *message) {
    Debug(1, message, rule_text_);
    return false;
  }

  // A target can be read when a character is left and, if it is '?', the
  // class letter after it too.
  bool TargetFollows(std::size_t offset = 0) const {
    const std::size_t at = next_ + offset;
    return at < rule_.size() && (rule_[at] != '?' || at + 1 < rule_.size());
  }

  Target TakeTarget() {
    const char c = Take();
    if (c != '?') return {false, c, {}};
    return {true, '\0', ResolveClass(Take())};
  }

  bool Step(char command) {
    switch (command) {
      case ':':
        return true;
      case 'r':
        word_.Reverse();
        return true;
      case 'u':
        word_.Uppercase();
        return true;
      case 'l':
        word_.Lowercase();
        return true;
      case 'c':
        word_.Capitalise();
        return true;
      case 'p':
        word_.Pluralise();
        return true;
      case 'f':
        word_.Reflect();
        return true;
      case 'd':
        word_.Duplicate();
        return true;
      case '[':
        word_.DropFirst();
        return true;
      case ']':
        word_.DropLast();
        return true;
      case '>': {
        if (Left() < 1) return Malformed(kGreaterMissing);
        // A weird limit stands for "larger than any length".
        const int limit = DecodeNumber(Take());
        return limit >= 0 && word_.size() > static_cast<std::size_t>(limit);
      }
      case '<': {
        if (Left() < 1) return Malformed(kLessMissing);
        const int limit = DecodeNumber(Take());
        return limit < 0 || word_.size() < static_cast<std::size_t>(limit);
      }
      case '^':
        if (Left() < 1) return Malformed(kPrependMissing);
        word_.Insert(0, Take());
        return true;
      case '$': {
        if (Left() < 1) return Malformed(kAppendMissing);
        const char c = Take();
        word_.Append(std::string_view(&c, 1));
        return true;
      }
      case 'x': {
        if (Left() < 2) return Malformed(kExtractMissing);
        const int pos = DecodeNumber(Take());
        const int count = DecodeNumber(Take());
        if (pos < 0 || count < 0) return Malformed(kExtractWeird);
        word_.Extract(static_cast<std::size_t>(pos), static_cast<std::size_t>(count));
        return true;
      }
      case 'o': {
        if (Left() < 2) return Malformed(kOverstrikeMissing);
        const int pos = DecodeNumber(Take());
        const char c = Take();
        if (pos < 0) return Malformed(kOverstrikeWeird);
        word_.Overstrike(static_cast<std::size_t>(pos), c);
        return true;
      }
      case 'i': {
        if (Left() < 2) return Malformed(kInsertMissing);
        const int pos = DecodeNumber(Take());
        const char c = Take();
        if (pos < 0) return Malformed(kInsertWeird);
        word_.Insert(static_cast<std::size_t>(pos), c);
        return true;
      }
      case '@': {
        if (!TargetFollows()) return Malformed(kDeleteMissing);
        const Target target = TakeTarget();
        word_.RemoveIf([&target](char c) { return target.Matches(c); });
        return true;
      }
      case 's': {
        if (!TargetFollows() || Left() < (rule_[next_] == '?' ? 3u : 2u)) {
          return Malformed(kSubstMissing);
        }
        const Target target = TakeTarget();
        word_.ReplaceIf([&target](char c) { return target.Matches(c); }, Take());
        return true;
      }
      case '/': {
        if (!TargetFollows()) return Malformed(kContainsMissing);
        const Target target = TakeTarget();
        return word_.FindIf([&target](char c) { return target.Matches(c); }) != nullptr;
      }
      case '!': {
        if (!TargetFollows()) return Malformed(kLacksMissing);
        const Target target = TakeTarget();
        return word_.FindIf([&target](char c) { return target.Matches(c); }) == nullptr;
      }
      case '=': {
        if (Left() < 2 || !TargetFollows(1)) return Malformed(kPositionMissing);
        const int pos = DecodeNumber(Take());
        if (pos < 0) return Malformed(kPositionWeird);
        const Target target = TakeTarget();
        // There is no character at or past the end to test: reject.
        const auto at = static_cast<std::size_t>(pos);
        return at < word_.size() && target.Matches(word_[at]);
      }
      case '(': {
        if (!TargetFollows()) return Malformed(kFirstMissing);
        const Target target = TakeTarget();
        // An empty word has no first character, as it has no last one.
        return !word_.empty() && target.Matches(word_.front());
      }
      case ')': {
        if (!TargetFollows()) return Malformed(kLastMissing);
        const Target target = TakeTarget();
        return !word_.empty() && target.Matches(word_.back());
      }
      default:
        Debug(1, kUnknownCommand, command, rule_text_);
        return false;
    }
  }

  Word &word_;
  const char *rule_text_;  // whole rule, quoted in messages
  std::string_view rule_;
  std::size_t next_ = 0;  // next character of rule_ to read
};

}  // namespace

void WipeRuleAreas() {
  for (Area *area :
       {&reverse_area, &uppercase_area, &lowercase_area, &capitalise_area, &pluralise_area,
        &substitute_area, &purge_area, &poly_subst_area, &poly_purge_area, &mangle_area}) {
    std::size_t &used = UsedOf(*area);
    SecureWipe(area->data(), std::min(used, area->size()));
    used = 0;
  }
}

}  // namespace quarvel

char *Mangle(const char *input, const char *control) noexcept {
  if (input == nullptr || control == nullptr) return nullptr;
  // Loading the input overwrites the area; a rule kept there must move first.
  quarvel::Area rule_copy;
  if (quarvel::LiesIn(control, quarvel::mangle_area)) {
    const std::size_t length = strnlen(control, quarvel::kMaxLength);
    std::memcpy(rule_copy.data(), control, length);
    rule_copy[length] = '\0';
    control = rule_copy.data();
  }
  quarvel::Word word(quarvel::mangle_area, input);
  if (!quarvel::RuleRunner(word, control).Run() || word.empty()) return nullptr;
  return word.c_str();
}

char *quarvel::MangleInto(std::array<char, 1024> &area, std::size_t &used, const char *input,
                          const char *control) {
  if (input == nullptr || control == nullptr) return nullptr;
  quarvel::Word word(area, used, input);
  if (!quarvel::RuleRunner(word, control).Run() || word.empty()) return nullptr;
  return word.c_str();
}

int MatchClass(char clazz, char input) noexcept {
  return quarvel::ResolveClass(clazz).Matches(input);
}

char *PolyStrchr(const char *string, char clazz) noexcept {
  if (string == nullptr) return nullptr;
  const quarvel::CharClass target = quarvel::ResolveClass(clazz);
  for (; *string != '\0'; ++string) {
    if (target.Matches(*string)) return const_cast<char *>(string);
  }
  return nullptr;
}

char *PolySubst(const char *string, char clazz, char replacement) noexcept {
  quarvel::Word word(quarvel::poly_subst_area, string);
  const quarvel::CharClass target = quarvel::ResolveClass(clazz);
  word.ReplaceIf([&target](char c) { return target.Matches(c); }, replacement);
  return word.c_str();
}

char *PolyPurge(const char *string, char clazz) noexcept {
  quarvel::Word word(quarvel::poly_purge_area, string);
  const quarvel::CharClass target = quarvel::ResolveClass(clazz);
  word.RemoveIf([&target](char c) { return target.Matches(c); });
  return word.c_str();
}

int PMatch(const char *control, const char *string) noexcept {
  const std::string_view pattern = quarvel::ViewOrEmpty(control);
  const std::string_view text = quarvel::ViewOrEmpty(string);
  if (pattern.size() != text.size()) return 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!quarvel::ResolveClass(pattern[i]).Matches(text[i])) return 0;
  }
  return 1;
}

int Char2Int(char character) noexcept { return quarvel::DecodeNumber(character); }

int Suffix(const char *word, const char *suffix) noexcept {
  const std::string_view text = quarvel::ViewOrEmpty(word);
  const std::string_view tail = quarvel::ViewOrEmpty(suffix);
  if (text.size() <= tail.size()) return -1;
  return std::strcmp(text.data() + (text.size() - tail.size()), tail.data());
}

char *Reverse(const char *string) noexcept {
  quarvel::Word word(quarvel::reverse_area, string);
  word.Reverse();
  return word.c_str();
}

char *Uppercase(const char *string) noexcept {
  quarvel::Word word(quarvel::uppercase_area, string);
  word.Uppercase();
  return word.c_str();
}

char *Lowercase(const char *string) noexcept {
  quarvel::Word word(quarvel::lowercase_area, string);
  word.Lowercase();
  return word.c_str();
}

char *Capitalise(const char *string) noexcept {
  quarvel::Word word(quarvel::capitalise_area, string);
  word.Capitalise();
  return word.c_str();
}

char *Pluralise(const char *string) noexcept {
  quarvel::Word word(quarvel::pluralise_area, string);
  word.Pluralise();
  return word.c_str();
}

char *Substitute(const char *string, char old_char, char new_char) noexcept {
  quarvel::Word word(quarvel::substitute_area, string);
  word.ReplaceIf([old_char](char c) { return c == old_char; }, new_char);
  return word.c_str();
}

char *Purge(const char *string, char target) noexcept {
  quarvel::Word word(quarvel::purge_area, string);
  word.RemoveIf([target](char c) { return c == target; });
  return word.c_str();
}
