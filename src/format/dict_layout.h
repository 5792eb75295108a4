// The packed dictionary's layouts, defined once: the standard and wide index
// files, the mark file and the data file's blocks (docs/file-format.md has
// the same tables for users). The codecs here encode and decode every header,
// entry, mark and block; the layout reader reads a dictionary's header and
// marks without any process-wide state, so that any thread may open one.
//
// P.pwi, the index file, standard layout:
//   OFFSET   SIZE  MEANING
//   0        4     magic 0x70775631 (bytes 31 56 77 70)
//   4        4     word count N
//   8        2     block length, always 16
//   10       2     pad, 0
//   12+4*b   4     data-file offset of block b, for b = 0 .. floor(N/16)
// A finished dictionary always ends with one block written at close that
// holds the remaining N mod 16 words (empty when N is a multiple of 16).
//
// P.pwi, wide layout (written by DictWriter once a block's offset no longer
// fits 32 bits; recognised when the first 8 bytes, as one number, equal the
// magic):
//   0        8     magic 0x70775631
//   8        8     word count N (only the low 32 bits are used)
//   16       2     block length, always 16
//   18       2     pad, 0
//   20+8*b   8     data-file offset of block b
//
// P.hwm, the mark file: 256 entries of 4 bytes (8 next to a wide index, of
// which the low 32 bits are used); entry c is the index of the last word
// whose first byte is c, or the entry before it when no word begins with c
// (0 below the smallest first byte). Optional: a reader without it searches
// the whole list.
//
// P.pwd, the data file: blocks of 16 slots. Slot 0 is its word and a NUL.
// Slots 1..15 are, for a word, one byte L (bytes shared with the previous
// slot's word), the word's bytes from L on, and a NUL; an empty slot is a
// single NUL. Only the final block has empty slots. A block is at most
// 32 + 15 * 33 = 527 bytes.
#ifndef QUARVEL_SRC_FORMAT_DICT_LAYOUT_H_
#define QUARVEL_SRC_FORMAT_DICT_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "quarvel/dictmanger.h"

namespace quarvel {

inline constexpr uint32_t kDictMagic = PACKED_DICT_MAGIC;
inline constexpr int kBlockWords = PACKED_DICT_BLOCK_WORDS;
// A slot: a word of at most 31 bytes and its NUL.
inline constexpr size_t kSlotBytes = PACKED_DICT_MAX_WORD + 1;
inline constexpr size_t kIndexHeaderBytes = 12;
inline constexpr size_t kWideIndexHeaderBytes = 20;
inline constexpr size_t kIndexEntryBytes = 4;
inline constexpr size_t kWideIndexEntryBytes = 8;
inline constexpr size_t kMarkBytes = 256 * 4;
inline constexpr size_t kWideMarkBytes = 256 * 8;
// Longest block in the data file: a first word of 31 bytes and its NUL, then
// 15 slots of a shared count, 31 bytes and a NUL.
inline constexpr size_t kMaxBlockBytes = 527;
static_assert(kMaxBlockBytes == kSlotBytes + (kBlockWords - 1) * (kSlotBytes + 1));

using BlockSlots = char[PACKED_DICT_BLOCK_WORDS][PACKED_DICT_MAX_WORD + 1];

// --- Index header ----------------------------------------------------------

// An index header as decoded, standard or wide.
struct IndexHeader {
  bool wide = false;
  uint32_t magic = 0;       // the low 32 bits for the wide layout
  uint64_t word_count = 0;  // all 64 bits for the wide layout
  uint16_t block_length = 0;
  uint16_t pad = 0;
};

// Decodes the header from the first bytes of an index file (up to
// kWideIndexHeaderBytes of them). nullopt when fewer than
// kIndexHeaderBytes arrived. The header is wide when its standard magic or
// count is 0 and the first 8 bytes, as one number, equal the magic; else it
// is decoded as standard, whatever its magic.
std::optional<IndexHeader> DecodeIndexHeader(std::span<const unsigned char> first);

void EncodeIndexHeader(const PackedDictHeader &header,
                       std::span<unsigned char, kIndexHeaderBytes> out);
void EncodeWideIndexHeader(uint64_t word_count,
                           std::span<unsigned char, kWideIndexHeaderBytes> out);

// Where the index entry of block b lies, and its size.
inline uint64_t IndexEntryOffset(bool wide, uint64_t block) {
  return wide ? kWideIndexHeaderBytes + kWideIndexEntryBytes * block
              : kIndexHeaderBytes + kIndexEntryBytes * block;
}
inline size_t IndexEntrySize(bool wide) { return wide ? kWideIndexEntryBytes : kIndexEntryBytes; }
// Decodes an entry of IndexEntrySize(wide) bytes.
uint64_t DecodeIndexEntry(bool wide, const unsigned char *entry);

// --- Marks -----------------------------------------------------------------

// Encodes the 256 marks in the standard layout, or the wide one (8-byte
// entries), into out; answers the bytes used (kMarkBytes or kWideMarkBytes).
size_t EncodeMarks(std::span<const uint32_t, 256> marks, bool wide,
                   std::span<unsigned char, kWideMarkBytes> out);

// Marks are trusted only when they make sense for this dictionary: entries
// never decrease and none lies beyond the last word. Otherwise a search
// covers the whole list, which is always correct.
bool MarksAreSane(const uint32_t (&marks)[256], uint32_t word_count);

// --- Blocks ----------------------------------------------------------------

// Encodes 16 slots (words of at most 31 bytes, NUL-terminated; empty slots
// only after the filled ones) as one block of the data file and answers its
// length.
size_t EncodeBlock(const BlockSlots &slots, std::span<unsigned char, kMaxBlockBytes> out);

// Decodes the 16 slots of one block from the bytes read; bytes past the end
// count as NUL. Corrupt input (a shared count beyond the previous word, a
// missing NUL) still yields words of at most 31 bytes and never reads or
// writes out of bounds.
void DecodeBlock(std::span<const unsigned char> bytes, BlockSlots &out);
// The same, with the length of each slot's word.
using BlockLengths = uint8_t[PACKED_DICT_BLOCK_WORDS];
void DecodeBlock(std::span<const unsigned char> bytes, BlockSlots &out, BlockLengths &lengths);

// --- The layout reader -----------------------------------------------------

// What the index and mark files say about a dictionary.
struct DictLayout {
  PackedDictHeader header = {};  // the standard header, or the low halves of the wide one
  bool is_wide = false;
  uint32_t marks[256] = {};  // 0 unless use_marks
  bool use_marks = false;    // the mark file was read whole and makes sense

  // Offset of the index entry of block b, and its size.
  uint64_t EntryOffset(uint64_t block) const { return IndexEntryOffset(is_wide, block); }
  size_t EntrySize() const { return IndexEntrySize(is_wide); }
};

// Reads the index header from index_fd and, when mark_fd is not -1, the
// marks. Answers nullptr, or the reason the dictionary cannot be read:
// "error reading header", "magic mismatch", "invalid word count" or
// "size mismatch".
const char *ReadLayout(int index_fd, int mark_fd, DictLayout &layout);

// Number of block entries an index file of index_bytes bytes holds.
uint64_t IndexEntries(const DictLayout &layout, uint64_t index_bytes);
uint64_t IndexEntries(bool wide, uint64_t index_bytes);

}  // namespace quarvel

#endif  // QUARVEL_SRC_FORMAT_DICT_LAYOUT_H_
