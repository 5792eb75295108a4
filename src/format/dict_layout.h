// The header and marks of a packed dictionary open for reading, read without
// any process-wide state, so that any thread may open dictionaries.
#ifndef QUARVEL_SRC_FORMAT_DICT_LAYOUT_H_
#define QUARVEL_SRC_FORMAT_DICT_LAYOUT_H_

#include <cstdint>
#include <span>

#include "quarvel/dictmanger.h"
#include "store/dictmanger_internal.h"

namespace quarvel {

inline constexpr size_t kIndexHeaderBytes = 12;
inline constexpr size_t kWideIndexHeaderBytes = 20;

// Reads up to out.size() bytes at offset of the open file fd; answers how
// many arrived (0 at the end, on an error or for an offset beyond 2^63).
size_t ReadAtFd(int fd, uint64_t offset, std::span<unsigned char> out);

// Writes every byte of bytes at the current position of the open file fd,
// through short writes and interruptions; false on an error (errno says
// which).
bool WriteAllFd(int fd, std::span<const unsigned char> bytes);

// What the index and mark files say about a dictionary.
struct DictLayout {
  PackedDictHeader header = {};  // the standard header, or the low halves of the wide one
  PackedDict64 wide = {};        // the wide header and marks, all 0 for the standard layout
  bool is_wide = false;
  uint32_t marks[256] = {};  // 0 unless use_marks
  bool use_marks = false;    // the mark file was read whole and makes sense

  // Offset of the index entry of block b, and its size.
  uint64_t EntryOffset(uint64_t block) const {
    return is_wide ? kWideIndexHeaderBytes + 8 * block : kIndexHeaderBytes + 4 * block;
  }
  size_t EntrySize() const { return is_wide ? 8 : 4; }
};

// Reads the index header from index_fd and, when mark_fd is not -1, the
// marks. Answers nullptr, or the reason the dictionary cannot be read:
// "error reading header", "magic mismatch", "invalid word count" or
// "size mismatch".
const char *ReadLayout(int index_fd, int mark_fd, DictLayout &layout);

// Number of block entries an index file of index_bytes bytes holds.
uint64_t IndexEntries(const DictLayout &layout, uint64_t index_bytes);

// Marks are trusted only when they make sense for this dictionary: entries
// never decrease and none lies beyond the last word. Otherwise a search
// covers the whole list, which is always correct.
bool MarksAreSane(const uint32_t (&marks)[256], uint32_t word_count);

}  // namespace quarvel

#endif  // QUARVEL_SRC_FORMAT_DICT_LAYOUT_H_
