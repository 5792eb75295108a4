// Characters written for letters ("p@55w0rd"), and the readings of a piece
// of a password as letters: each character that can stand for letters is
// read as each of them in turn, most common reading first, digits also as
// themselves, and other symbols inside the piece dropped ("i-love-you").
// The readings are enumerated with the fewest departures from the most
// common reading first, and only up to a bound: a password full of such
// characters makes no more work than one with a few.
#ifndef QUARVEL_SRC_SEARCH_LEET_H_
#define QUARVEL_SRC_SEARCH_LEET_H_

#include <cstddef>
#include <span>
#include <string_view>

#include "search/candidates.h"

namespace quarvel::engine {

// The letters c may stand for, most common first; "" for none (letters
// themselves, and symbols that stand for no letter).
std::string_view LeetLetters(char c);

// True when c has a reading: a letter, a character that stands for
// letters, or a separator (read as nothing).
bool HasReading(char c);

// One character of a reading that differs from the password: from was read
// as to ('\0' when it was dropped).
struct Substitution {
  char from;
  char to;
};

inline constexpr size_t kMaxSubstitutions = 6;

// A reading handed to the caller: NUL-terminated text of 1 to kMaxCandidate
// characters and the distinct substitutions that made it (the first
// kMaxSubstitutions of them).
struct Reading {
  const char *text;
  size_t length;
  std::span<const Substitution> substitutions;
};

// Receives readings; answers false to stop the enumeration.
class ReadingSink {
 public:
  virtual bool Take(const Reading &reading) = 0;

 protected:
  ~ReadingSink() = default;
};

// Hands sink at most limit readings of piece (lower case, at most kMaxPiece
// characters; longer pieces have none), in order of departures from the
// first reading, at most three departures each. Readings shorter than
// min_length or longer than kMaxCandidate are skipped and not counted. The
// first reading reads digits as letters when the piece holds a letter, and
// as themselves when it holds none.
inline constexpr size_t kMaxPiece = 40;
void ReadAsLetters(std::string_view piece, size_t limit, size_t min_length, ReadingSink &sink);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_SEARCH_LEET_H_
