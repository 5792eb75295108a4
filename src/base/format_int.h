// The decimal form of an int without printf: checks write a dozen numbers
// into their answer and trace lines, and printf's format parsing was a large
// share of their cost.
#ifndef QUARVEL_SRC_BASE_FORMAT_INT_H_
#define QUARVEL_SRC_BASE_FORMAT_INT_H_

#include <cstddef>

namespace quarvel {

// Appends the decimal form of value to out (room for 11 characters needed);
// answers the number of characters written. Same text as "%d".
inline size_t FormatInt(char *out, int value) {
  char digits[12];
  size_t n = 0;
  // Work on the magnitude as unsigned, so that INT_MIN needs no special case.
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  size_t length = 0;
  if (value < 0) out[length++] = '-';
  while (n > 0) out[length++] = digits[--n];
  return length;
}

}  // namespace quarvel

#endif  // QUARVEL_SRC_BASE_FORMAT_INT_H_
