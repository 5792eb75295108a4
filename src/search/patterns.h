// Patterns people build passwords from without a dictionary: keyboard walks
// ("qwerty", "1qaz2wsx"), sequences ("abcd", "97531"), runs of one
// character, dates ("14061987", "6/14/87"), and the short affixes put
// around a word: a few digits, a year, a date, a tail of symbols. All work
// on lower-case text (the searched form of a password) and keep nothing.
#ifndef QUARVEL_SRC_SEARCH_PATTERNS_H_
#define QUARVEL_SRC_SEARCH_PATTERNS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "search/explanation.h"

namespace quarvel::engine {

// True when a and b are neighbouring keys of a US keyboard (shifted symbols
// count as their keys: '!' is '1').
bool KeysAdjacent(char a, char b);

// Where c is on a US keyboard: its row (0 for the digits, 3 for "zxcv"),
// its column in that row, and whether it needs the shift key; row -1 for a
// character of no key.
struct KeyPlace {
  int8_t row = -1;
  int8_t column = -1;
  bool shifted = false;
};
KeyPlace KeyPlaceOf(char c);

// Lengths of the longest piece at the start of text of each kind.
size_t WalkLength(std::string_view text);      // keyboard neighbours
size_t SequenceLength(std::string_view text);  // letters or digits by a step of 1 or 2
size_t RunLength(std::string_view text);       // one character repeated

// True when text is a whole date: 6 or 8 digits (ddmmyy[yy], mmddyy[yy],
// yyyymmdd, yymmdd), or day, month and year with '/', '-' or '.' between
// them. Years of four digits lie in 1900..2099; two digits below 30 are
// read as 20yy, others as 19yy. Writes the date as "YYYY-MM-DD" and a NUL
// into iso (11 bytes; when not null).
bool ReadDate(std::string_view text, char *iso);

// True when text (digits and symbols only, at most kMaxAffix characters)
// is what people add around a word: up to four digits, a year, a date, a
// run or sequence of digits ("123456"), up to three symbols or a walk of
// them ("!@#$"), or one group of digits and one of symbols in either order.
// Appends its pieces to out (when not null) as steps of code (
// QUARVEL_STEP_CUT_START or QUARVEL_STEP_CUT_END), one per group: a date,
// a year, digits, symbols.
inline constexpr size_t kMaxAffix = 10;
bool ReadAffix(std::string_view text, int code, Steps *out);

// True when the whole of text is made of at most three pieces that are
// walks, sequences, runs, dates, or short digit and symbol affixes, with
// walks, sequences, runs and dates covering at least half of it and at
// least four characters. Appends the pieces to out (when not null) as
// QUARVEL_STEP_PATTERN steps.
bool ReadPattern(std::string_view text, Steps *out);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_SEARCH_PATTERNS_H_
