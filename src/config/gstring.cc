// Trimming, bounded replacement and the two-byte-safe copy.
#include "quarvel/gstring.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "config/blank.h"

using quarvel::config::IsBlank;

char *gltrim(char *text) noexcept {
  if (text == nullptr || *text == '\0') return text;
  char *start = text;
  while (IsBlank(*start)) ++start;
  if (start != text) std::memmove(text, start, std::strlen(start) + 1);
  return text;
}

char *grtrim(char *text) noexcept {
  if (text == nullptr || *text == '\0') return text;
  for (size_t n = std::strlen(text); n > 0 && IsBlank(text[n - 1]); --n) text[n - 1] = '\0';
  return text;
}

char *gtrim(char *text) noexcept { return gltrim(grtrim(text)); }

char *greplace(char *text, int32_t len, const char *pattern, const char *replacement) noexcept {
  if (text == nullptr || len <= 0 || pattern == nullptr || *pattern == '\0' ||
      replacement == nullptr) {
    return text;
  }
  const char *hit = std::strstr(text, pattern);
  if (hit == nullptr) return text;
  const size_t offset = static_cast<size_t>(hit - text);
  const size_t pattern_len = std::strlen(pattern);
  const size_t bound = static_cast<size_t>(len);
  if (offset + pattern_len > bound) return text;

  // The result is assembled apart from the buffer because the replacement may
  // itself point into it.
  std::string result;
  try {
    result.assign(text, offset);
    result.append(replacement);
    result.append(hit + pattern_len);
  } catch (const std::bad_alloc &) {
    return text;
  }
  if (result.size() >= bound) {
    std::memcpy(text, result.data(), bound);
  } else {
    std::memcpy(text, result.data(), result.size());
    std::memset(text + result.size(), 0, bound - result.size());
  }
  return text;
}

char *greplaceInt(char *text, int32_t len, const char *pattern, int32_t value) noexcept {
  char digits[128];
  std::snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
  return greplace(text, len, pattern, digits);
}

char *gstrlcpy(char *dst, const char *src, int32_t n) noexcept {
  if (dst == nullptr || src == nullptr) return dst;
  char *out = dst;
  while (*src != '\0' && n > 0) {
    const bool lead_byte = (static_cast<unsigned char>(*src) & 0x80) != 0;
    if (lead_byte && n == 1) {
      // Half a character would corrupt the text; a space keeps the width.
      *out = ' ';
      break;
    }
    if (lead_byte) {
      *out++ = *src++;
      *out++ = *src;
      n -= 2;
      if (*src == '\0') break;
      ++src;
    } else {
      *out++ = *src++;
      --n;
    }
  }
  return dst;
}
