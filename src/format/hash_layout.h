// The hashed dictionary's layout, defined once (docs/file-format.md has the
// same table for users). One file, <prefix>.hsh, all integers little-endian:
//
//   OFFSET  SIZE  MEANING
//   0       4     magic, the bytes "QVHS"
//   4       4     version, 1
//   8       8     n, the number of keys
//   16      4     b, index bits (0 to 26)
//   20      4     reserved, 0
//   24      8     the minimum count the build kept
//   32      8     F, bytes of the filter image (0: no filter)
//   40      8     the file's size
//   48      16    reserved, 0
//   64      8n    the keys, strictly ascending: the first 8 bytes of each
//                 SHA-1 digest read big-endian, stored little-endian
//   ...     4n    the counts, in the keys' order (padded with zero bytes to
//                 a multiple of 8)
//   ...     8(2^b + 1)  the index: entry i is the number of keys whose top
//                 b bits are below i; entry 0 is 0, the last is n
//   ...     F     the key filter's image (key_filter.cc)
#ifndef QUARVEL_SRC_FORMAT_HASH_LAYOUT_H_
#define QUARVEL_SRC_FORMAT_HASH_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <span>

#include "format/coding.h"

namespace quarvel {

inline constexpr uint32_t kHashDictMagic = 0x53485651;  // the bytes "QVHS"
inline constexpr uint32_t kHashDictVersion = 1;
inline constexpr size_t kHashDictHeaderSize = 64;
inline constexpr char kHashDictSuffix[] = ".hsh";
inline constexpr int kHashDictMaxIndexBits = 26;
// Counts are stored up to this value; larger ones are stored as it.
inline constexpr uint64_t kHashDictMaxCount = 0xFFFFFFFFu;

// The header's fields (magic and version aside).
struct HashDictHeader {
  uint64_t key_count = 0;
  uint32_t index_bits = 0;
  uint64_t min_count = 0;
  uint64_t filter_bytes = 0;
  uint64_t file_size = 0;
};

inline void EncodeHashDictHeader(const HashDictHeader &header,
                                 std::span<unsigned char, kHashDictHeaderSize> out) {
  unsigned char *h = out.data();
  for (unsigned char &byte : out) byte = 0;
  EncodeFixed32(h, kHashDictMagic);
  EncodeFixed32(h + 4, kHashDictVersion);
  EncodeFixed64(h + 8, header.key_count);
  EncodeFixed32(h + 16, header.index_bits);
  EncodeFixed64(h + 24, header.min_count);
  EncodeFixed64(h + 32, header.filter_bytes);
  EncodeFixed64(h + 40, header.file_size);
}

// Decodes the header at the start of bytes; nullptr, or why it is not one
// (too short, bad magic, unknown version). The sections are checked by the
// reader against the file.
inline const char *DecodeHashDictHeader(std::span<const unsigned char> bytes,
                                        HashDictHeader *header) {
  if (bytes.size() < kHashDictHeaderSize) return "too short for a hashed dictionary";
  const unsigned char *h = bytes.data();
  if (DecodeFixed32(h) != kHashDictMagic) return "not a hashed dictionary (bad magic)";
  if (DecodeFixed32(h + 4) != kHashDictVersion) return "unknown hashed dictionary version";
  header->key_count = DecodeFixed64(h + 8);
  header->index_bits = DecodeFixed32(h + 16);
  header->min_count = DecodeFixed64(h + 24);
  header->filter_bytes = DecodeFixed64(h + 32);
  header->file_size = DecodeFixed64(h + 40);
  return nullptr;
}

// Where the sections begin for n keys and b index bits.
inline uint64_t HashDictCountsAt(uint64_t n) { return kHashDictHeaderSize + 8 * n; }
inline uint64_t HashDictIndexAt(uint64_t n) { return (HashDictCountsAt(n) + 4 * n + 7) & ~uint64_t{7}; }
inline uint64_t HashDictIndexBytes(uint32_t bits) { return 8 * ((uint64_t{1} << bits) + 1); }

}  // namespace quarvel

#endif  // QUARVEL_SRC_FORMAT_HASH_LAYOUT_H_
