// The trace of the specified functions: each line written to standard output
// with one call, so that lines of concurrent calls never mix.
#ifndef QUARVEL_SRC_VERIFY_STDOUT_TRACE_H_
#define QUARVEL_SRC_VERIFY_STDOUT_TRACE_H_

#include <cstdio>

#include "engine/trace_line.h"

namespace quarvel::verify {

inline engine::TraceSink StdoutTrace() {
  engine::TraceSink sink;
  sink.write = [](void *, const char *line, size_t length) { fwrite(line, 1, length + 1, stdout); };
  return sink;
}

}  // namespace quarvel::verify

#endif  // QUARVEL_SRC_VERIFY_STDOUT_TRACE_H_
