// Reading the header and marks of a packed dictionary: decodes what the
// writer in dictmanger.cc produces, and checks everything.

#include "format/dict_layout.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>

#include "format/coding.h"

namespace quarvel {

size_t ReadAtFd(int fd, uint64_t offset, std::span<unsigned char> out) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
  size_t got = 0;
  while (got < out.size()) {
    const ssize_t n =
        pread(fd, out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

bool WriteAllFd(int fd, std::span<const unsigned char> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return true;
}

bool MarksAreSane(const uint32_t (&marks)[256], uint32_t word_count) {
  uint32_t previous = 0;
  for (uint32_t mark : marks) {
    if (mark < previous || mark >= word_count) return false;
    previous = mark;
  }
  return true;
}

namespace {

void ReadMarks(int mark_fd, DictLayout &layout) {
  bool loaded = false;
  if (layout.is_wide) {
    std::array<unsigned char, 256 * 8> raw;
    if (ReadAtFd(mark_fd, 0, raw) == raw.size()) {
      for (int c = 0; c < 256; ++c) {
        layout.wide.marks[c] = DecodeFixed64(raw.data() + 8 * c);
        layout.marks[c] = static_cast<uint32_t>(layout.wide.marks[c]);
      }
      loaded = true;
    }
  } else {
    std::array<unsigned char, 256 * 4> raw;
    if (ReadAtFd(mark_fd, 0, raw) == raw.size()) {
      for (int c = 0; c < 256; ++c) layout.marks[c] = DecodeFixed32(raw.data() + 4 * c);
      loaded = true;
    }
  }
  layout.use_marks = loaded && MarksAreSane(layout.marks, layout.header.word_count);
  if (!layout.use_marks) std::fill(std::begin(layout.marks), std::end(layout.marks), 0u);
}

}  // namespace

const char *ReadLayout(int index_fd, int mark_fd, DictLayout &layout) {
  layout = DictLayout{};
  unsigned char raw[kWideIndexHeaderBytes];
  if (ReadAtFd(index_fd, 0, std::span(raw, kIndexHeaderBytes)) != kIndexHeaderBytes) {
    return "error reading header";
  }
  layout.header.magic = DecodeFixed32(raw);
  layout.header.word_count = DecodeFixed32(raw + 4);
  layout.header.block_length = DecodeFixed16(raw + 8);
  layout.header.pad = DecodeFixed16(raw + 10);

  if (layout.header.magic == 0 || layout.header.word_count == 0) {
    // A zero half may be the upper half of a 64-bit field: try the wide layout.
    if (ReadAtFd(index_fd, 0, raw) != kWideIndexHeaderBytes ||
        DecodeFixed64(raw) != PACKED_DICT_MAGIC) {
      return "error reading header";
    }
    layout.wide.magic = DecodeFixed64(raw);
    layout.wide.word_count = DecodeFixed64(raw + 8);
    layout.wide.block_length = DecodeFixed16(raw + 16);
    layout.wide.pad = DecodeFixed16(raw + 18);
    layout.header.magic = static_cast<uint32_t>(layout.wide.magic);
    layout.header.word_count = static_cast<uint32_t>(layout.wide.word_count);
    layout.header.block_length = layout.wide.block_length;
    layout.header.pad = layout.wide.pad;
    layout.is_wide = true;
  }

  if (layout.header.magic != PACKED_DICT_MAGIC) return "magic mismatch";
  if (layout.header.word_count == 0) return "invalid word count";
  if (layout.header.block_length != PACKED_DICT_BLOCK_WORDS) return "size mismatch";
  if (mark_fd >= 0) ReadMarks(mark_fd, layout);
  return nullptr;
}

uint64_t IndexEntries(const DictLayout &layout, uint64_t index_bytes) {
  const uint64_t header = layout.is_wide ? kWideIndexHeaderBytes : kIndexHeaderBytes;
  return index_bytes > header ? (index_bytes - header) / layout.EntrySize() : 0;
}

}  // namespace quarvel
