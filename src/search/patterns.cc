// Keyboard walks, sequences, runs, dates and affixes.

#include "search/patterns.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "base/secure_wipe.h"

namespace quarvel::engine {
namespace {

// A US keyboard, unshifted and shifted, row by row. Each row starts a
// little to the right of the one above: key i of rows 2 and 3 lies under
// keys i and i + 1 of the row above; key i of row 1 under keys i + 1 and
// i + 2 of row 0 (the "1" key sits above and left of "q").
constexpr std::string_view kRows[4][2] = {
    {"`1234567890-=", "~!@#$%^&*()_+"},
    {"qwertyuiop[]\\", "QWERTYUIOP{}|"},
    {"asdfghjkl;'", "ASDFGHJKL:\""},
    {"zxcvbnm,./", "ZXCVBNM<>?"},
};

constexpr std::array<KeyPlace, 256> MakeKeyPlaces() {
  std::array<KeyPlace, 256> places{};
  for (int row = 0; row < 4; ++row) {
    for (int shifted = 0; shifted < 2; ++shifted) {
      const std::string_view keys = kRows[row][shifted];
      for (size_t column = 0; column < keys.size(); ++column) {
        places[static_cast<unsigned char>(keys[column])] = {
            static_cast<int8_t>(row), static_cast<int8_t>(column), shifted != 0};
      }
    }
  }
  return places;
}

constexpr std::array<KeyPlace, 256> kKeyPlaces = MakeKeyPlaces();

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return c >= 'a' && c <= 'z'; }

// The value of text's decimal digits (at most 4 of them).
int Number(std::string_view digits) {
  int value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// Writes "YYYY-MM-DD" into iso (11 bytes).
void WriteIso(int year, int month, int day, char *iso) {
  const int fields[3][2] = {{year, 4}, {month, 2}, {day, 2}};
  char *out = iso;
  for (const auto &[value, width] : fields) {
    if (out != iso) *out++ = '-';
    for (int k = width - 1, v = value; k >= 0; --k, v /= 10)
      out[k] = static_cast<char>('0' + v % 10);
    out += width;
  }
  *out = '\0';
}

bool SetDate(int day, int month, int year, int year_digits, char *iso) {
  if (day < 1 || day > 31 || month < 1 || month > 12) return false;
  if (year_digits == 4 && (year < 1900 || year > 2099)) return false;
  if (year_digits == 2) year += year < 30 ? 2000 : 1900;
  if (iso != nullptr) WriteIso(year, month, day, iso);
  return true;
}

// 6 or 8 digits: day first, month first, or year first.
bool ReadDigitDate(std::string_view d, char *out) {
  if (d.size() == 8) {
    const int head = Number(d.substr(0, 4)), tail = Number(d.substr(4, 4));
    return SetDate(Number(d.substr(0, 2)), Number(d.substr(2, 2)), tail, 4, out) ||
           SetDate(Number(d.substr(2, 2)), Number(d.substr(0, 2)), tail, 4, out) ||
           SetDate(Number(d.substr(6, 2)), Number(d.substr(4, 2)), head, 4, out);
  }
  if (d.size() == 6) {
    const int tail = Number(d.substr(4, 2));
    return SetDate(Number(d.substr(0, 2)), Number(d.substr(2, 2)), tail, 2, out) ||
           SetDate(Number(d.substr(2, 2)), Number(d.substr(0, 2)), tail, 2, out) ||
           SetDate(Number(d.substr(4, 2)), Number(d.substr(2, 2)), Number(d.substr(0, 2)), 2, out);
  }
  return false;
}

// One group of digits of an affix, as a step of code.
bool ReadDigits(std::string_view d, int code, Steps *out) {
  if (d.size() == 4 && (d.starts_with("19") || d.starts_with("20"))) {
    out->Add(code, QUARVEL_PIECE_YEAR, 0, 0, d);
    return true;
  }
  if (d.size() <= 4) {
    out->Add(code, QUARVEL_PIECE_DIGITS, 0, 0, d);
    return true;
  }
  char iso[11];
  if (ReadDigitDate(d, iso)) {
    out->Add(code, QUARVEL_PIECE_DATE, 0, 0, iso);
    return true;
  }
  if (SequenceLength(d) == d.size() || RunLength(d) == d.size() || WalkLength(d) == d.size()) {
    out->Add(code, QUARVEL_PIECE_DIGITS, 0, 0, d);
    return true;
  }
  return false;
}

// One group of symbols of an affix, as a step of code.
bool ReadSymbols(std::string_view s, int code, Steps *out) {
  if (s.size() > 3 && RunLength(s) != s.size() && WalkLength(s) != s.size()) return false;
  out->Add(code, QUARVEL_PIECE_SYMBOLS, 0, 0, s);
  return true;
}

// Pieces of a pattern, found by a search of at most three pieces.
struct Piece {
  enum Kind { kWalk, kSequence, kRun, kDate, kDigits, kSymbols } kind;
  size_t start, length;
};

class PatternCover {
 public:
  explicit PatternCover(std::string_view text) : text_(text) {}

  bool Find() { return Cover(0, 0, 0); }
  std::span<const Piece> pieces() const { return {pieces_, count_}; }

 private:
  static constexpr size_t kMaxPieces = 3;

  bool Try(Piece::Kind kind, size_t at, size_t length, size_t structured) {
    if (length == 0 || at + length > text_.size()) return false;
    pieces_[count_++] = {kind, at, length};
    const bool counted = kind != Piece::kDigits && kind != Piece::kSymbols;
    if (Cover(at + length, count_, structured + (counted ? length : 0))) return true;
    --count_;
    return false;
  }

  bool Cover(size_t at, size_t used, size_t structured) {
    if (at == text_.size()) {
      return structured >= 4 && 2 * structured >= text_.size();
    }
    if (used == kMaxPieces) return false;
    const std::string_view rest = text_.substr(at);
    // Walks, sequences and runs: the longest, and up to two characters
    // shorter, so that the next piece can start a little earlier.
    const size_t longest[] = {SequenceLength(rest), WalkLength(rest), RunLength(rest)};
    const Piece::Kind kinds[] = {Piece::kSequence, Piece::kWalk, Piece::kRun};
    for (size_t k = 0; k < std::size(kinds); ++k) {
      for (size_t cut = 0; cut < 3 && longest[k] >= cut + 3; ++cut) {
        if (Try(kinds[k], at, longest[k] - cut, structured)) return true;
      }
    }
    // Every date starts with a digit.
    for (size_t length = IsDigit(rest[0]) ? std::min<size_t>(10, rest.size()) : 0; length >= 6;
         --length) {
      if (ReadDate(rest.substr(0, length), nullptr) && Try(Piece::kDate, at, length, structured)) {
        return true;
      }
    }
    size_t digits = 0, symbols = 0;
    while (digits < rest.size() && digits < 4 && IsDigit(rest[digits])) ++digits;
    while (symbols < rest.size() && symbols < 3 && !IsDigit(rest[symbols]) &&
           !IsLetter(rest[symbols])) {
      ++symbols;
    }
    for (size_t n = digits; n > 0; --n) {
      if (Try(Piece::kDigits, at, n, structured)) return true;
    }
    for (size_t n = symbols; n > 0; --n) {
      if (Try(Piece::kSymbols, at, n, structured)) return true;
    }
    return false;
  }

  std::string_view text_;
  Piece pieces_[kMaxPieces];
  size_t count_ = 0;
};

}  // namespace

KeyPlace KeyPlaceOf(char c) { return kKeyPlaces[static_cast<unsigned char>(c)]; }

bool KeysAdjacent(char a, char b) {
  const KeyPlace p = kKeyPlaces[static_cast<unsigned char>(a)];
  const KeyPlace q = kKeyPlaces[static_cast<unsigned char>(b)];
  if (p.row < 0 || q.row < 0) return false;
  if (p.row == q.row) return p.column - q.column == 1 || q.column - p.column == 1;
  const KeyPlace &upper = p.row < q.row ? p : q;
  const KeyPlace &lower = p.row < q.row ? q : p;
  if (lower.row - upper.row != 1) return false;
  const int shift = lower.row == 1 ? 1 : 0;
  const int offset = upper.column - lower.column - shift;
  return offset == 0 || offset == 1;
}

size_t WalkLength(std::string_view text) {
  if (text.empty()) return 0;
  size_t n = 1;
  while (n < text.size() && KeysAdjacent(text[n - 1], text[n])) ++n;
  return n;
}

size_t SequenceLength(std::string_view text) {
  if (text.size() < 2) return text.size();
  auto same_kind = [](char a, char b) {
    return (IsDigit(a) && IsDigit(b)) || (IsLetter(a) && IsLetter(b));
  };
  const int step = text[1] - text[0];
  if (!same_kind(text[0], text[1]) || step == 0 || step < -2 || step > 2) return 1;
  size_t n = 2;
  while (n < text.size() && same_kind(text[n - 1], text[n]) && text[n] - text[n - 1] == step) ++n;
  return n;
}

size_t RunLength(std::string_view text) {
  if (text.empty()) return 0;
  size_t n = 1;
  while (n < text.size() && text[n] == text[0]) ++n;
  return n;
}

bool ReadDate(std::string_view text, char *out) {
  if (text.size() < 6 || text.size() > 10) return false;
  if (AllDigits(text)) return ReadDigitDate(text, out);
  // Three groups of digits with the same separator between them.
  const size_t first = text.find_first_of("/-.");
  if (first == std::string_view::npos) return false;
  const char separator = text[first];
  const size_t second = text.find(separator, first + 1);
  if (second == std::string_view::npos) return false;
  const std::string_view a = text.substr(0, first);
  const std::string_view b = text.substr(first + 1, second - first - 1);
  const std::string_view c = text.substr(second + 1);
  if (!AllDigits(a) || !AllDigits(b) || !AllDigits(c)) return false;
  if (b.size() > 2) return false;
  if (a.size() == 4 && c.size() <= 2) return SetDate(Number(c), Number(b), Number(a), 4, out);
  if (a.size() > 2 || (c.size() != 2 && c.size() != 4)) return false;
  const int year_digits = static_cast<int>(c.size());
  return SetDate(Number(a), Number(b), Number(c), year_digits, out) ||
         SetDate(Number(b), Number(a), Number(c), year_digits, out);
}

bool ReadAffix(std::string_view text, int code, Steps *out) {
  if (text.empty() || text.size() > kMaxAffix) return false;
  for (char c : text) {
    if (IsLetter(c) || (c >= 'A' && c <= 'Z')) return false;
  }
  char iso[11];
  if (ReadDate(text, iso)) {
    if (out != nullptr) out->Add(code, QUARVEL_PIECE_DATE, 0, 0, iso);
    return true;
  }
  // At most two groups: digits then symbols, or symbols then digits.
  size_t split = 1;
  while (split < text.size() && IsDigit(text[split]) == IsDigit(text[0])) ++split;
  const std::string_view first = text.substr(0, split), second = text.substr(split);
  for (char c : second) {
    if (IsDigit(c) == IsDigit(text[0])) return false;
  }
  Steps pieces;
  auto read = [&pieces, code](std::string_view group) {
    return IsDigit(group[0]) ? ReadDigits(group, code, &pieces) : ReadSymbols(group, code, &pieces);
  };
  if (!read(first)) return false;
  if (!second.empty() && !read(second)) return false;
  if (out != nullptr) out->Append(pieces);
  return true;
}

bool ReadPattern(std::string_view text, Steps *out) {
  if (text.size() < 4) return false;
  PatternCover cover(text);
  if (!cover.Find()) return false;
  if (out == nullptr) return true;
  for (const Piece &piece : cover.pieces()) {
    const std::string_view part = text.substr(piece.start, piece.length);
    char iso[11] = {};
    switch (piece.kind) {
      case Piece::kWalk:
        out->Add(QUARVEL_STEP_PATTERN, QUARVEL_PIECE_KEYBOARD_WALK, 0, 0, part);
        break;
      case Piece::kSequence:
        out->Add(QUARVEL_STEP_PATTERN, QUARVEL_PIECE_SEQUENCE, 0, 0, part);
        break;
      case Piece::kRun:
        out->Add(QUARVEL_STEP_PATTERN, QUARVEL_PIECE_RUN, 0, 0, part);
        break;
      case Piece::kDate:
        ReadDate(part, iso);
        out->Add(QUARVEL_STEP_PATTERN, QUARVEL_PIECE_DATE, 0, 0, iso);
        break;
      case Piece::kDigits:
        out->Add(QUARVEL_STEP_PATTERN, QUARVEL_PIECE_DIGITS, 0, 0, part);
        break;
      case Piece::kSymbols:
        out->Add(QUARVEL_STEP_PATTERN, QUARVEL_PIECE_SYMBOLS, 0, 0, part);
        break;
    }
  }
  return true;
}

}  // namespace quarvel::engine
