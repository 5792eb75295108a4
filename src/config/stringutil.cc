// In-place helpers for lines read from word lists and for passwords.

#include "quarvel/stringutil.h"

#include <cstdlib>
#include <cstring>

namespace quarvel {
namespace {

// The "C" locale's white space, fixed so that a host process's locale cannot
// make Trim eat bytes of a multi-byte character (0x85 and 0xA0 are blanks in
// some single-byte locales).
constexpr bool IsTrimmable(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace
}  // namespace quarvel

char Chop(char *string) noexcept {
  if (string == nullptr) return '\0';
  const std::size_t length = std::strlen(string);
  if (length == 0) return '\0';
  const char last = string[length - 1];
  string[length - 1] = '\0';
  return last;
}

char *Trim(char *string) noexcept {
  if (string == nullptr) return nullptr;
  char *end = string + std::strlen(string);
  while (end > string && quarvel::IsTrimmable(end[-1])) --end;
  *end = '\0';
  return end;
}

char *Clone(const char *string) noexcept {
  if (string == nullptr) return nullptr;
  const std::size_t size = std::strlen(string) + 1;
  auto *copy = static_cast<char *>(std::malloc(size));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, string, size);
  return copy;
}
