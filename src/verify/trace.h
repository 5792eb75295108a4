// Formatting of the verification's trace lines and answer fields without
// printf: verification writes a dozen of them per password, and printf's
// format parsing was a large share of its cost.
#ifndef QUARVEL_SRC_VERIFY_TRACE_H_
#define QUARVEL_SRC_VERIFY_TRACE_H_

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>

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

// One line of trace on standard output, assembled piece by piece and written
// when the object goes (a piece that does not fit is written through).
class Trace {
 public:
  Trace() = default;
  ~Trace() { Flush(); }
  Trace(const Trace &) = delete;
  Trace &operator=(const Trace &) = delete;

  Trace &operator<<(std::string_view text) {
    if (text.size() > sizeof(buffer_) - length_) {
      Flush();
      if (text.size() > sizeof(buffer_)) {
        fwrite(text.data(), 1, text.size(), stdout);
        return *this;
      }
    }
    std::memcpy(buffer_ + length_, text.data(), text.size());
    length_ += text.size();
    return *this;
  }

  Trace &operator<<(const char *text) { return *this << std::string_view(text); }

  Trace &operator<<(int value) {
    char digits[12];
    return *this << std::string_view(digits, FormatInt(digits, value));
  }

 private:
  void Flush() {
    if (length_ > 0) fwrite(buffer_, 1, length_, stdout);
    length_ = 0;
  }

  char buffer_[256];
  size_t length_ = 0;
};

}  // namespace quarvel

#endif  // QUARVEL_SRC_VERIFY_TRACE_H_
