// The dictionary filter file's layout, defined once (docs/file-format.md has
// the same table for users). PREFIX.pwf, all integers little-endian:
//
//   OFFSET  SIZE  MEANING
//   0       4     magic 0x66777051 (bytes 51 70 77 66, "Qpwf")
//   4       4     version, 1
//   8       8     size of the data file it was built from
//   16      8     size of the index file
//   24      8     modification time of the data file, nanoseconds since 1970
//   32      8     modification time of the index file
//   40      8     checksum (FNV-1a, 64 bits) of the index file's first 20 bytes
//   48      4     flags: bit 0 set when the words were found in order, every
//                 block readable and the marks exact (MappedDict::InOrder)
//   52      4     pad, 0
//   56      ...   the key filter image (key_filter.cc) of WordKey of every
//                 word a search can reach
//
// Renaming keeps a file's size and modification time, so a filter built
// for staged files stays valid once they are moved into place; any rewrite
// of the dictionary changes its times and makes the filter stale.
#ifndef QUARVEL_SRC_FORMAT_FILTER_LAYOUT_H_
#define QUARVEL_SRC_FORMAT_FILTER_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <span>

#include "format/coding.h"

namespace quarvel {

inline constexpr char kFilterExtension[] = ".pwf";
inline constexpr uint32_t kFilterMagic = 0x66777051;
inline constexpr uint32_t kFilterVersion = 1;
// The stamp: magic to checksum, compared whole against the dictionary's.
inline constexpr size_t kFilterStampBytes = 48;
inline constexpr size_t kFilterHeaderBytes = 56;
inline constexpr uint32_t kFilterInOrder = 1;  // flags bit 0

// What a filter file says about the dictionary files it was built from.
struct FilterStamp {
  uint64_t data_bytes = 0;
  uint64_t index_bytes = 0;
  int64_t data_modified_ns = 0;
  int64_t index_modified_ns = 0;
  uint64_t header_sum = 0;  // of the index file's first 20 bytes (or fewer)

  bool operator==(const FilterStamp &) const = default;
};

inline void EncodeFilterHeader(const FilterStamp &stamp, bool in_order,
                               std::span<unsigned char, kFilterHeaderBytes> out) {
  unsigned char *h = out.data();
  EncodeFixed32(h, kFilterMagic);
  EncodeFixed32(h + 4, kFilterVersion);
  EncodeFixed64(h + 8, stamp.data_bytes);
  EncodeFixed64(h + 16, stamp.index_bytes);
  EncodeFixed64(h + 24, static_cast<uint64_t>(stamp.data_modified_ns));
  EncodeFixed64(h + 32, static_cast<uint64_t>(stamp.index_modified_ns));
  EncodeFixed64(h + 40, stamp.header_sum);
  EncodeFixed32(h + 48, in_order ? kFilterInOrder : 0);
  EncodeFixed32(h + 52, 0);
}

// The flags of a header of kFilterHeaderBytes.
inline uint32_t DecodeFilterFlags(std::span<const unsigned char, kFilterHeaderBytes> header) {
  return DecodeFixed32(header.data() + 48);
}

}  // namespace quarvel

#endif  // QUARVEL_SRC_FORMAT_FILTER_LAYOUT_H_
