// Trace lines of a check, assembled piece by piece into one buffer and handed
// whole to a sink, so that lines of concurrent checks never mix. With no sink
// nothing is formatted.
#ifndef QUARVEL_SRC_SEARCH_TRACE_LINE_H_
#define QUARVEL_SRC_SEARCH_TRACE_LINE_H_

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "base/format_int.h"

namespace quarvel::engine {

// Where the lines go: called once per line with its length, not counting its
// line feed; line[length] is the line feed and line[length + 1] a NUL.
struct TraceSink {
  void (*write)(void *context, const char *line, size_t length) = nullptr;
  void *context = nullptr;
  bool enabled() const { return write != nullptr; }
};

class TraceLine {
 public:
  explicit TraceLine(const TraceSink &sink) : sink_(sink) {}
  ~TraceLine() {
    if (!sink_.enabled()) return;
    buffer_[length_] = '\n';
    buffer_[length_ + 1] = '\0';
    sink_.write(sink_.context, buffer_, length_);
  }
  TraceLine(const TraceLine &) = delete;
  TraceLine &operator=(const TraceLine &) = delete;

  TraceLine &operator<<(std::string_view text) {
    if (!sink_.enabled()) return *this;
    // A prefix can be as long as a configuration value: such a line is cut.
    const size_t n = std::min(text.size(), kLineLimit - length_);
    std::memcpy(buffer_ + length_, text.data(), n);
    length_ += n;
    return *this;
  }
  TraceLine &operator<<(const char *text) { return *this << std::string_view(text); }
  TraceLine &operator<<(int value) {
    if (!sink_.enabled()) return *this;
    char digits[12];
    return *this << std::string_view(digits, FormatInt(digits, value));
  }

 private:
  const TraceSink &sink_;
  // Room for any path the system opens and the text around it.
  static constexpr size_t kLineLimit = 4224;
  char buffer_[kLineLimit + 2];
  size_t length_ = 0;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_SEARCH_TRACE_LINE_H_
