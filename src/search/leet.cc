// Readings of a piece of a password as letters.

#include "search/leet.h"

#include <array>
#include <cstring>

#include "base/secure_wipe.h"

namespace quarvel::engine {
namespace {

// What each character other than a letter may stand for, most common first.
// Measured on mangled forms of English words and common passwords: '1' and
// '!' and '|' stand for both "i" and "l", '6' for "g" and "b", '4' for "a"
// (and "h" in a few), '7' mostly for "t".
struct LeetEntry {
  char from;
  std::string_view letters;
};
constexpr LeetEntry kLeet[] = {
    {'0', "o"},  {'1', "il"}, {'2', "z"}, {'3', "e"}, {'4', "ah"}, {'5', "s"},  {'6', "gb"},
    {'7', "tl"}, {'8', "b"},  {'9', "g"}, {'@', "a"}, {'$', "s"},  {'!', "il"}, {'|', "li"},
    {'+', "t"},  {'(', "c"},  {'<', "c"}, {'{', "c"}, {'[', "c"},  {'#', "h"},  {'%', "x"},
};

constexpr std::array<std::string_view, 256> MakeTable() {
  std::array<std::string_view, 256> table{};
  for (const LeetEntry &e : kLeet) table[static_cast<unsigned char>(e.from)] = e.letters;
  return table;
}
constexpr std::array<std::string_view, 256> kTable = MakeTable();

// Characters that separate words ("i-love-you", "mary.jane"): dropped.
// Any other symbol that stands for no letter ends every reading.
constexpr std::string_view kSeparators = " -_.,'&";

constexpr std::array<bool, 256> MakeReadable() {
  std::array<bool, 256> readable{};
  for (int c = 'a'; c <= 'z'; ++c) readable[static_cast<size_t>(c)] = true;
  for (const LeetEntry &e : kLeet) readable[static_cast<unsigned char>(e.from)] = true;
  for (char c : kSeparators) readable[static_cast<unsigned char>(c)] = true;
  return readable;
}
constexpr std::array<bool, 256> kReadable = MakeReadable();

constexpr size_t kMaxDepartures = 3;
// Readings looked at (made, then kept or skipped) per reading handed over:
// bounds the work of a piece whose readings are mostly too long or short.
constexpr size_t kLooksPerReading = 4;
constexpr char kDrop = '\0';

bool IsLetter(char c) { return c >= 'a' && c <= 'z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The enumeration's state: the choices of each character of the piece.
class Enumeration {
 public:
  Enumeration(std::string_view piece, size_t limit, size_t min_length, ReadingSink &sink)
      : piece_(piece), limit_(limit), min_length_(min_length), sink_(sink) {
    bool has_letter = false;
    for (char c : piece) has_letter |= IsLetter(c);
    for (size_t i = 0; i < piece.size(); ++i) {
      const char c = piece[i];
      Choices &ch = choices_[i];
      ch.count = 0;
      if (IsLetter(c)) {
        ch.option[ch.count++] = c;
        ++shortest_;
        continue;
      }
      const std::string_view letters = kTable[static_cast<unsigned char>(c)];
      if (IsDigit(c) && !has_letter) ch.option[ch.count++] = c;
      for (char l : letters) ch.option[ch.count++] = l;
      if (IsDigit(c) && has_letter) ch.option[ch.count++] = c;
      if (ch.count == 0 && kSeparators.find(c) != std::string_view::npos) {
        ch.option[ch.count++] = kDrop;
      }
      if (ch.count == 0) {
        done_ = true;  // no reading: a symbol that stands for nothing
        continue;
      }
      if (ch.option[0] != kDrop) ++shortest_;
      if (ch.count > 1) ambiguous_[ambiguous_count_++] = i;
    }
    // Only separators are dropped, and every other character yields one:
    // the length of every reading is known before any is made.
    if (shortest_ < min_length || shortest_ > kMaxCandidate) done_ = true;
    std::memset(chosen_, 0, piece.size());
  }

  ~Enumeration() {
    SecureWipe(text_, sizeof(text_));
    SecureWipe(choices_, piece_.size() * sizeof(Choices));
    SecureWipe(substitutions_, sizeof(substitutions_));
  }

  void Run() {
    for (size_t departures = 0; departures <= kMaxDepartures && !done_; ++departures) {
      if (departures > ambiguous_count_) break;
      Visit(0, departures);
    }
  }

 private:
  struct Choices {
    char option[4];
    size_t count;
  };

  void Visit(size_t k, size_t departures) {
    if (done_) return;
    if (ambiguous_count_ - k < departures) return;
    if (k == ambiguous_count_) {
      Emit();
      return;
    }
    const size_t at = ambiguous_[k];
    chosen_[at] = 0;
    Visit(k + 1, departures);
    if (departures == 0) return;
    for (size_t alt = 1; alt < choices_[at].count && !done_; ++alt) {
      chosen_[at] = alt;
      Visit(k + 1, departures - 1);
    }
    chosen_[at] = 0;
  }

  void Emit() {
    if (++looks_ == kLooksPerReading * limit_) done_ = true;
    size_t length = 0;
    size_t subs = 0;
    for (size_t i = 0; i < piece_.size(); ++i) {
      const char out = choices_[i].option[chosen_[i]];
      if (out != piece_[i]) {
        bool seen = false;
        for (size_t s = 0; s < subs; ++s) {
          seen |= substitutions_[s].from == piece_[i] && substitutions_[s].to == out;
        }
        if (!seen && subs < kMaxSubstitutions) substitutions_[subs++] = {piece_[i], out};
      }
      if (out == kDrop) continue;
      if (length == kMaxCandidate) return;  // too long to be stored
      text_[length++] = out;
    }
    if (length < min_length_ || length == 0) return;
    text_[length] = '\0';
    if (!sink_.Take({text_, length, std::span(substitutions_, subs)}) || ++emitted_ == limit_) {
      done_ = true;
    }
  }

  std::string_view piece_;
  size_t limit_, min_length_;
  ReadingSink &sink_;
  Choices choices_[kMaxPiece];
  uint8_t chosen_[kMaxPiece];
  size_t ambiguous_[kMaxPiece];
  size_t ambiguous_count_ = 0;
  Substitution substitutions_[kMaxSubstitutions];
  char text_[kMaxCandidate + 1];
  size_t emitted_ = 0;
  size_t looks_ = 0;
  size_t shortest_ = 0;  // length of the readings
  bool done_ = false;
};

}  // namespace

bool HasReading(char c) { return kReadable[static_cast<unsigned char>(c)]; }

std::string_view LeetLetters(char c) { return kTable[static_cast<unsigned char>(c)]; }

void ReadAsLetters(std::string_view piece, size_t limit, size_t min_length, ReadingSink &sink) {
  if (piece.empty() || piece.size() > kMaxPiece || limit == 0) return;
  Enumeration enumeration(piece, limit, min_length, sink);
  enumeration.Run();
}

}  // namespace quarvel::engine
