// Little-endian integer encoding and decoding, byte by byte. Every integer in
// the dictionary files goes through these helpers, never through a struct or
// an in-memory int image.
#ifndef QUARVEL_SRC_FORMAT_CODING_H_
#define QUARVEL_SRC_FORMAT_CODING_H_

#include <cstddef>
#include <cstdint>

namespace quarvel {

inline void EncodeFixed16(unsigned char *dst, uint16_t value) {
  dst[0] = static_cast<unsigned char>(value);
  dst[1] = static_cast<unsigned char>(value >> 8);
}

inline void EncodeFixed32(unsigned char *dst, uint32_t value) {
  for (int i = 0; i < 4; ++i) dst[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void EncodeFixed64(unsigned char *dst, uint64_t value) {
  for (int i = 0; i < 8; ++i) dst[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline uint16_t DecodeFixed16(const unsigned char *src) {
  return static_cast<uint16_t>(src[0] | (src[1] << 8));
}

inline uint32_t DecodeFixed32(const unsigned char *src) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | src[i];
  return value;
}

inline uint64_t DecodeFixed64(const unsigned char *src) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | src[i];
  return value;
}

}  // namespace quarvel

#endif  // QUARVEL_SRC_FORMAT_CODING_H_
