// The rank file's layout, defined once (docs/file-format.md has the same
// table for users). PREFIX.pwr, beside a dictionary built ranked, all
// integers little-endian:
//
//   OFFSET  SIZE  MEANING
//   0       4     magic 0x72775051 (bytes 51 50 77 72, "QPwr")
//   4       4     version, 1
//   8       8     size of the data file it belongs to
//   16      8     size of the index file
//   24      8     modification time of the data file, nanoseconds since 1970
//   32      8     modification time of the index file
//   40      8     FNV-1a (64 bits) of the index file's first 20 bytes
//   48      8     content sum of the data file's bytes followed by the index
//                 file's (ContentSum below)
//   56      4     N, the number of ranks: the dictionary's word count
//   60      4     flags, 0 (a reader refuses others)
//   64      4*N   rank of word i, for i = 0 .. N-1 in index order: its
//                 1-based position among the non-empty words of the lists
//                 it was built from, the first time it was seen; positions
//                 beyond 2^32 - 1 are stored as 2^32 - 1. 0 is never written.
//
// Bytes 8 to 48 are the stamp of the filter file (filter_layout.h). A reader
// takes the rank file when the sizes and the index checksum match the files
// beside it and either both modification times match, or the content sum of
// the files does: a copy that kept the bytes but not the times (an installed
// package, cp without -p) keeps its ranks, at the cost of reading the files
// once at open.
#ifndef QUARVEL_SRC_FORMAT_RANK_LAYOUT_H_
#define QUARVEL_SRC_FORMAT_RANK_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <span>

#include "format/coding.h"
#include "format/filter_layout.h"

namespace quarvel {

inline constexpr char kRankExtension[] = ".pwr";
inline constexpr uint32_t kRankMagic = 0x72775051;
inline constexpr uint32_t kRankVersion = 1;
inline constexpr size_t kRankHeaderBytes = 64;
inline constexpr size_t kRankBytes = 4;
// Positions beyond this are stored as it.
inline constexpr uint32_t kMaxRank = UINT32_MAX;

// What a rank file's header says.
struct RankHeader {
  FilterStamp stamp;         // of the data and index files it belongs to
  uint64_t content_sum = 0;  // ContentSum of the data file, then the index file
  uint32_t word_count = 0;

  bool operator==(const RankHeader &) const = default;
};

// The size of a rank file of word_count ranks.
inline uint64_t RankFileBytes(uint32_t word_count) {
  return kRankHeaderBytes + uint64_t{kRankBytes} * word_count;
}

inline void EncodeRankHeader(const RankHeader &header,
                             std::span<unsigned char, kRankHeaderBytes> out) {
  unsigned char *h = out.data();
  EncodeFixed32(h, kRankMagic);
  EncodeFixed32(h + 4, kRankVersion);
  EncodeFixed64(h + 8, header.stamp.data_bytes);
  EncodeFixed64(h + 16, header.stamp.index_bytes);
  EncodeFixed64(h + 24, static_cast<uint64_t>(header.stamp.data_modified_ns));
  EncodeFixed64(h + 32, static_cast<uint64_t>(header.stamp.index_modified_ns));
  EncodeFixed64(h + 40, header.stamp.header_sum);
  EncodeFixed64(h + 48, header.content_sum);
  EncodeFixed32(h + 56, header.word_count);
  EncodeFixed32(h + 60, 0);
}

// Decodes the header at the start of bytes; nullptr, or why it is not one
// (too short, bad magic, unknown version or flags). The rest is checked by
// the reader against the dictionary.
inline const char *DecodeRankHeader(std::span<const unsigned char> bytes, RankHeader *header) {
  if (bytes.size() < kRankHeaderBytes) return "shorter than its header";
  const unsigned char *h = bytes.data();
  if (DecodeFixed32(h) != kRankMagic) return "not a rank file (bad magic)";
  if (DecodeFixed32(h + 4) != kRankVersion) return "unknown rank file version";
  if (DecodeFixed32(h + 60) != 0) return "unknown rank file flags";
  header->stamp.data_bytes = DecodeFixed64(h + 8);
  header->stamp.index_bytes = DecodeFixed64(h + 16);
  header->stamp.data_modified_ns = static_cast<int64_t>(DecodeFixed64(h + 24));
  header->stamp.index_modified_ns = static_cast<int64_t>(DecodeFixed64(h + 32));
  header->stamp.header_sum = DecodeFixed64(h + 40);
  header->content_sum = DecodeFixed64(h + 48);
  header->word_count = DecodeFixed32(h + 56);
  return nullptr;
}

// The content sum: the bytes fed in, taken as little-endian groups of 8 (the
// last one completed with zero bytes), h = 0x9e3779b97f4a7c15, then
// h = mix(h xor g) for each group g, and finally mix(h xor number of bytes).
// mix is the bijection of the filter keys (docs/file-format.md). It tells a
// changed dictionary from the one a rank file was written for; it is no
// defence against files made to collide.
class ContentSum {
 public:
  void Update(std::span<const unsigned char> bytes) {
    size_t i = 0;
    while (i < bytes.size() && (count_ & 7) != 0) Byte(bytes[i++]);
    for (; bytes.size() - i >= 8; i += 8) {
      h_ = Mix(h_ ^ DecodeFixed64(bytes.data() + i));
      count_ += 8;
    }
    while (i < bytes.size()) Byte(bytes[i++]);
  }

  uint64_t Finish() const {
    const uint64_t h = (count_ & 7) != 0 ? Mix(h_ ^ group_) : h_;
    return Mix(h ^ count_);
  }

  static uint64_t Mix(uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9;
    x ^= x >> 27;
    x *= 0x94d049bb133111eb;
    return x ^ (x >> 31);
  }

 private:
  void Byte(unsigned char byte) {
    group_ |= uint64_t{byte} << (8 * (count_ & 7));
    if ((++count_ & 7) == 0) {
      h_ = Mix(h_ ^ group_);
      group_ = 0;
    }
  }

  uint64_t h_ = 0x9e3779b97f4a7c15;
  uint64_t group_ = 0;
  uint64_t count_ = 0;
};

}  // namespace quarvel

#endif  // QUARVEL_SRC_FORMAT_RANK_LAYOUT_H_
