// Copying text into a fixed array of a record: cut to fit, always
// NUL-terminated.
#ifndef QUARVEL_SRC_BASE_COPY_TEXT_H_
#define QUARVEL_SRC_BASE_COPY_TEXT_H_

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace quarvel {

template <size_t N>
void CopyText(char (&out)[N], std::string_view text) {
  const size_t n = std::min(text.size(), N - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace quarvel

#endif  // QUARVEL_SRC_BASE_COPY_TEXT_H_
