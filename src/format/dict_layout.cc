// The packed dictionary's codecs and layout reader: decodes what the writers
// (src/store/pw_writer.cc and src/store/dict_writer.cc) produce, and checks
// everything.

#include "format/dict_layout.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "format/coding.h"
#include "format/file_io.h"

namespace quarvel {

std::optional<IndexHeader> DecodeIndexHeader(std::span<const unsigned char> first) {
  if (first.size() < kIndexHeaderBytes) return std::nullopt;
  IndexHeader header;
  header.magic = DecodeFixed32(first.data());
  header.word_count = DecodeFixed32(first.data() + 4);
  header.block_length = DecodeFixed16(first.data() + 8);
  header.pad = DecodeFixed16(first.data() + 10);
  // A zero half may be the upper half of a 64-bit field: the wide layout.
  if ((header.magic == 0 || header.word_count == 0) && first.size() >= kWideIndexHeaderBytes &&
      DecodeFixed64(first.data()) == kDictMagic) {
    header.wide = true;
    header.magic = static_cast<uint32_t>(DecodeFixed64(first.data()));
    header.word_count = DecodeFixed64(first.data() + 8);
    header.block_length = DecodeFixed16(first.data() + 16);
    header.pad = DecodeFixed16(first.data() + 18);
  }
  return header;
}

void EncodeIndexHeader(const PackedDictHeader &header,
                       std::span<unsigned char, kIndexHeaderBytes> out) {
  EncodeFixed32(out.data(), header.magic);
  EncodeFixed32(out.data() + 4, header.word_count);
  EncodeFixed16(out.data() + 8, header.block_length);
  EncodeFixed16(out.data() + 10, header.pad);
}

void EncodeWideIndexHeader(uint64_t word_count,
                           std::span<unsigned char, kWideIndexHeaderBytes> out) {
  EncodeFixed64(out.data(), kDictMagic);
  EncodeFixed64(out.data() + 8, word_count);
  EncodeFixed16(out.data() + 16, PACKED_DICT_BLOCK_WORDS);
  EncodeFixed16(out.data() + 18, 0);
}

uint64_t DecodeIndexEntry(bool wide, const unsigned char *entry) {
  return wide ? DecodeFixed64(entry) : DecodeFixed32(entry);
}

size_t EncodeMarks(std::span<const uint32_t, 256> marks, bool wide,
                   std::span<unsigned char, kWideMarkBytes> out) {
  for (size_t c = 0; c < 256; ++c) {
    if (wide) {
      EncodeFixed64(out.data() + 8 * c, marks[c]);
    } else {
      EncodeFixed32(out.data() + 4 * c, marks[c]);
    }
  }
  return wide ? kWideMarkBytes : kMarkBytes;
}

bool MarksAreSane(const uint32_t (&marks)[256], uint32_t word_count) {
  uint32_t previous = 0;
  for (uint32_t mark : marks) {
    if (mark < previous || mark >= word_count) return false;
    previous = mark;
  }
  return true;
}

size_t EncodeBlock(const BlockSlots &slots, std::span<unsigned char, kMaxBlockBytes> out) {
  size_t n = 0;
  std::string_view previous(slots[0], strnlen(slots[0], kSlotBytes - 1));
  std::memcpy(out.data(), previous.data(), previous.size());
  n += previous.size();
  out[n++] = 0;
  for (int s = 1; s < kBlockWords; ++s) {
    std::string_view word(slots[s], strnlen(slots[s], kSlotBytes - 1));
    if (!word.empty()) {
      size_t shared = 0;
      while (shared < word.size() && shared < previous.size() && word[shared] == previous[shared]) {
        ++shared;
      }
      out[n++] = static_cast<unsigned char>(shared);
      std::memcpy(out.data() + n, word.data() + shared, word.size() - shared);
      n += word.size() - shared;
    }
    out[n++] = 0;
    previous = word;
  }
  return n;
}

void DecodeBlock(std::span<const unsigned char> bytes, BlockSlots &out, BlockLengths &lengths) {
  size_t pos = 0;
  auto at = [&](size_t i) -> unsigned char { return i < bytes.size() ? bytes[i] : 0; };
  // Appends bytes up to the next NUL to slot s (keeping at most 31),
  // consumes the NUL, and answers the word's length.
  auto take_tail = [&](int s, size_t length) {
    while (at(pos) != 0) {
      if (length < kSlotBytes - 1) out[s][length++] = static_cast<char>(at(pos));
      ++pos;
    }
    ++pos;
    out[s][length] = '\0';
    return static_cast<uint8_t>(length);
  };

  lengths[0] = take_tail(0, 0);
  for (int s = 1; s < kBlockWords; ++s) {
    const size_t previous_length = lengths[s - 1];
    if (previous_length == 0) {
      out[s][0] = '\0';
      lengths[s] = 0;
      continue;
    }
    size_t shared = std::min<size_t>(at(pos++), previous_length);
    std::memcpy(out[s], out[s - 1], shared);
    lengths[s] = take_tail(s, shared);
  }
}

void DecodeBlock(std::span<const unsigned char> bytes, BlockSlots &out) {
  BlockLengths lengths;
  DecodeBlock(bytes, out, lengths);
}

namespace {

void ReadMarks(int mark_fd, DictLayout &layout) {
  bool loaded = false;
  std::array<unsigned char, kWideMarkBytes> raw;
  const size_t size = layout.is_wide ? kWideMarkBytes : kMarkBytes;
  const size_t entry = layout.is_wide ? 8 : 4;
  if (ReadAtFd(mark_fd, 0, std::span(raw.data(), size)) == size) {
    // Of a wide entry, the low 32 bits are used.
    for (int c = 0; c < 256; ++c) layout.marks[c] = DecodeFixed32(raw.data() + entry * c);
    loaded = true;
  }
  layout.use_marks = loaded && MarksAreSane(layout.marks, layout.header.word_count);
  if (!layout.use_marks) std::fill(std::begin(layout.marks), std::end(layout.marks), 0u);
}

}  // namespace

const char *ReadLayout(int index_fd, int mark_fd, DictLayout &layout) {
  layout = DictLayout{};
  unsigned char raw[kWideIndexHeaderBytes];
  const std::optional<IndexHeader> header =
      DecodeIndexHeader(std::span(raw, ReadAtFd(index_fd, 0, raw)));
  if (!header) return "error reading header";
  // A standard header with a zero half that is not a wide one either.
  if (!header->wide && (header->magic == 0 || header->word_count == 0)) {
    return "error reading header";
  }
  layout.is_wide = header->wide;
  layout.header.magic = header->magic;
  layout.header.word_count = static_cast<uint32_t>(header->word_count);
  layout.header.block_length = header->block_length;
  layout.header.pad = header->pad;

  if (layout.header.magic != kDictMagic) return "magic mismatch";
  if (layout.header.word_count == 0) return "invalid word count";
  if (layout.header.block_length != PACKED_DICT_BLOCK_WORDS) return "size mismatch";
  if (mark_fd >= 0) ReadMarks(mark_fd, layout);
  return nullptr;
}

uint64_t IndexEntries(bool wide, uint64_t index_bytes) {
  const uint64_t header = wide ? kWideIndexHeaderBytes : kIndexHeaderBytes;
  return index_bytes > header ? (index_bytes - header) / IndexEntrySize(wide) : 0;
}

uint64_t IndexEntries(const DictLayout &layout, uint64_t index_bytes) {
  return IndexEntries(layout.is_wide, index_bytes);
}

}  // namespace quarvel
