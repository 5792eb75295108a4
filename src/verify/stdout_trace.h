// The trace of the specified functions on standard output. A call's lines
// are gathered and written with one call when it ends, so that lines of
// concurrent calls never mix, and concurrent calls do not take standard
// output's lock once per line.
#ifndef QUARVEL_SRC_VERIFY_STDOUT_TRACE_H_
#define QUARVEL_SRC_VERIFY_STDOUT_TRACE_H_

#include <cstdio>
#include <cstring>

#include "search/trace_line.h"

namespace quarvel::verify {

class StdoutTrace {
 public:
  StdoutTrace() {
    sink_.write = [](void *self, const char *line, size_t length) {
      static_cast<StdoutTrace *>(self)->Add(line, length + 1);  // with its line feed
    };
    sink_.context = this;
  }
  ~StdoutTrace() { Flush(); }
  StdoutTrace(const StdoutTrace &) = delete;
  StdoutTrace &operator=(const StdoutTrace &) = delete;

  const engine::TraceSink &sink() const { return sink_; }

 private:
  void Add(const char *text, size_t length) {
    if (length > sizeof(buffer_) - used_) Flush();
    if (length > sizeof(buffer_)) {
      fwrite(text, 1, length, stdout);
      return;
    }
    std::memcpy(buffer_ + used_, text, length);
    used_ += length;
  }

  void Flush() {
    if (used_ > 0) fwrite(buffer_, 1, used_, stdout);
    used_ = 0;
  }

  engine::TraceSink sink_;
  char buffer_[8192];
  size_t used_ = 0;
};

}  // namespace quarvel::verify

#endif  // QUARVEL_SRC_VERIFY_STDOUT_TRACE_H_
