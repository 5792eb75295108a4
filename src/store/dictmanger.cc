// Packed dictionary files: writer, reader and binary search.
//
// A dictionary named by a prefix P is three files. All integers are unsigned
// little-endian. Words are sorted in byte order (strcmp) and indexed from 0.
//
// P.pwi, the index file (standard layout, the one written here):
//   OFFSET   SIZE  MEANING
//   0        4     magic 0x70775631 (bytes 31 56 77 70)
//   4        4     word count N
//   8        2     block length, always 16
//   10       2     pad, 0
//   12+4*b   4     data-file offset of block b, for b = 0 .. floor(N/16)
// A finished dictionary always ends with one block written at close that
// holds the remaining N mod 16 words (empty when N is a multiple of 16).
//
// P.pwi, wide layout (written by DictWriter, src/store/dict_writer.cc,
// once a block's offset no longer fits 32 bits): magic (8), word count (8),
// block length (2), pad (2), then 8-byte offsets at 20+8*b. Of the count only
// the low 32 bits are used.
//
// P.hwm, the mark file: 256 entries of 4 bytes (8 in the wide layout, of
// which the low 32 bits are used); entry c is the index of the last word whose
// first byte is c, or the entry before it when no word begins with c (0 below
// the smallest first byte). Optional: a reader without it searches the whole
// list.
//
// P.pwd, the data file: blocks of 16 slots. Slot 0 is its word and a NUL.
// Slots 1..15 are, for a word, one byte L (bytes shared with the previous
// slot's word), the word's bytes from L on, and a NUL; an empty slot is a
// single NUL. Only the final block has empty slots. A block is at most
// 32 + 15 * 33 = 527 bytes.
//
// docs/file-format.md describes the same bytes for users.

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/secure_wipe.h"
#include "format/coding.h"
#include "format/dict_layout.h"
#include "format/file_identity.h"
#include "quarvel/dictmanger.h"
#include "store/dict_cache.h"
#include "store/dict_search.h"
#include "store/dictmanger_internal.h"
#include "store/memory_dict.h"

extern "C" {
PackedDict pdesc;
PackedDict64 pdesc64;
}

namespace {

using quarvel::DecodeBlock;
using quarvel::DecodedDictionary;
using quarvel::DecodeFixed16;
using quarvel::DecodeFixed32;
using quarvel::DecodeFixed64;
using quarvel::DictLayout;
using quarvel::EncodeFixed16;
using quarvel::EncodeFixed32;
using quarvel::ForgetDecoded;
using quarvel::Identities;
using quarvel::IdentityOfFd;
using quarvel::MemoryDict;
using quarvel::ReadLayout;
using quarvel::SearchSorted;

constexpr uint32_t kMagic = PACKED_DICT_MAGIC;
constexpr int kBlockWords = PACKED_DICT_BLOCK_WORDS;
constexpr size_t kSlotBytes = PACKED_DICT_MAX_WORD + 1;
constexpr size_t kHeaderBytes = 12;
constexpr size_t kWideHeaderBytes = 20;
constexpr size_t kMarkBytes = 256 * 4;
constexpr size_t kWideMarkBytes = 256 * 8;
using quarvel::kMaxBlockBytes;
static_assert(kMaxBlockBytes == kSlotBytes + (kBlockWords - 1) * (kSlotBytes + 1));

// The descriptor's layout is part of the C interface.
static_assert(sizeof(PackedDictHeader) == 12);
static_assert(offsetof(PackedDictHeader, word_count) == 4);
static_assert(offsetof(PackedDictHeader, block_length) == 8);
static_assert(offsetof(PackedDictHeader, pad) == 10);
static_assert(offsetof(PackedDict, index_file) == 0);
static_assert(offsetof(PackedDict, data_file) == sizeof(FILE *));
static_assert(offsetof(PackedDict, mark_file) == 2 * sizeof(FILE *));
static_assert(offsetof(PackedDict, flags) == 3 * sizeof(FILE *));
static_assert(offsetof(PackedDict, marks) == 3 * sizeof(FILE *) + 4);
static_assert(offsetof(PackedDict, header) == 3 * sizeof(FILE *) + 4 + 1024);
static_assert(offsetof(PackedDict, pending_count) == 3 * sizeof(FILE *) + 4 + 1024 + 12);
static_assert(offsetof(PackedDict, pending) == 3 * sizeof(FILE *) + 4 + 1024 + 16);
static_assert(sizeof(PackedDict) ==
              (offsetof(PackedDict, pending) + 16 * 32 + alignof(FILE *) - 1) / alignof(FILE *) *
                  alignof(FILE *));

// GetPW decodes a whole block into this area and returns a slot of it.
char g_block_words[kBlockWords][kSlotBytes];

bool IsOpen(const PackedDict *pwp) { return pwp != nullptr && pwp->header.magic == kMagic; }

bool IsOpenForReading(const PackedDict *pwp) {
  return IsOpen(pwp) && (pwp->flags & PACKED_DICT_WRITE) == 0 && pwp->index_file != nullptr &&
         pwp->data_file != nullptr;
}

// Reads up to out.size() bytes at offset; answers how many arrived, 0 when
// the seek fails.
size_t ReadAt(FILE *file, uint64_t offset, std::span<unsigned char> out) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
  if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
  return fread(out.data(), 1, out.size(), file);
}

bool WriteAll(FILE *file, std::span<const unsigned char> bytes) {
  return fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

// Closes every file of the descriptor; false when a close reported an error
// (for a file open for writing, the last buffered bytes may be lost).
bool CloseFiles(PackedDict *pwp) {
  bool ok = true;
  for (FILE **file : {&pwp->index_file, &pwp->data_file, &pwp->mark_file}) {
    if (*file != nullptr && fclose(*file) != 0) ok = false;
    *file = nullptr;
  }
  return ok;
}

void EncodeHeader(const PackedDictHeader &header, unsigned char (&out)[kHeaderBytes]) {
  EncodeFixed32(out, header.magic);
  EncodeFixed32(out + 4, header.word_count);
  EncodeFixed16(out + 8, header.block_length);
  EncodeFixed16(out + 10, header.pad);
}

// Reading-side failure after the files opened: report, close, answer NULL.
PackedDict *FailOpen(PackedDict *pwp, const char *prefix, const char *what) {
  fprintf(stderr, "%s: %s\n", prefix, what);
  pwp->header.magic = 0;
  CloseFiles(pwp);
  return nullptr;
}

// Appends the block's index entry and writes the pending block to the data
// file. On failure the words stay pending and the caller marks the build
// failed, so nothing more is written.
bool WriteBlock(PackedDict *pwp) {
  off_t position = ftello(pwp->data_file);
  if (position < 0 || static_cast<uint64_t>(position) > UINT32_MAX) return false;
  unsigned char entry[4];
  EncodeFixed32(entry, static_cast<uint32_t>(position));
  if (!WriteAll(pwp->index_file, entry)) return false;

  std::array<unsigned char, kMaxBlockBytes> block;
  size_t length = quarvel::EncodeBlock(pwp->pending, block);
  if (!WriteAll(pwp->data_file, std::span(block.data(), length))) return false;

  std::memset(pwp->pending, 0, sizeof(pwp->pending));
  pwp->pending_count = 0;
  return true;
}

}  // namespace

// Encodes 16 slots as one block (see the layout above) into out and answers
// its length.
size_t quarvel::EncodeBlock(const char (&slots)[PACKED_DICT_BLOCK_WORDS][PACKED_DICT_MAX_WORD + 1],
                            std::span<unsigned char, kMaxBlockBytes> out) {
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

// Decodes the 16 slots of one block (the writer's layout above) from the
// bytes read; bytes past the end count as NUL. Corrupt input (a shared count
// beyond the previous word, a missing NUL) still yields words of at most 31
// bytes and never reads or writes out of bounds.
void quarvel::DecodeBlock(std::span<const unsigned char> bytes,
                          char (&out)[PACKED_DICT_BLOCK_WORDS][PACKED_DICT_MAX_WORD + 1]) {
  size_t pos = 0;
  auto at = [&](size_t i) -> unsigned char { return i < bytes.size() ? bytes[i] : 0; };
  // Appends bytes up to the next NUL to slot s (keeping at most 31) and
  // consumes the NUL.
  auto take_tail = [&](int s, size_t length) {
    while (at(pos) != 0) {
      if (length < kSlotBytes - 1) out[s][length++] = static_cast<char>(at(pos));
      ++pos;
    }
    ++pos;
    out[s][length] = '\0';
  };

  take_tail(0, 0);
  for (int s = 1; s < kBlockWords; ++s) {
    size_t previous_length = strnlen(out[s - 1], kSlotBytes - 1);
    if (previous_length == 0) {
      out[s][0] = '\0';
      continue;
    }
    size_t shared = std::min<size_t>(at(pos++), previous_length);
    std::memcpy(out[s], out[s - 1], shared);
    take_tail(s, shared);
  }
}

namespace {

// The decoded dictionary that the open descriptor is served from, or NULL.
std::shared_ptr<const MemoryDict> g_active;

bool ServedFromMemory(const PackedDict *pwp) {
  return g_active != nullptr && pwp == &pdesc && IsOpen(pwp) &&
         (pwp->flags & PACKED_DICT_WRITE) == 0;
}

// Puts the layout read from the files into the descriptor.
void ApplyLayout(PackedDict *pwp, const DictLayout &layout) {
  pwp->header = layout.header;
  pdesc64 = layout.wide;
  std::copy(std::begin(layout.marks), std::end(layout.marks), std::begin(pwp->marks));
  if (layout.use_marks) {
    pwp->flags |= PACKED_DICT_USE_MARKS;
  } else {
    pwp->flags &= ~PACKED_DICT_USE_MARKS;
  }
}

struct DictionaryNames {
  explicit DictionaryNames(const char *prefix)
      : data(std::string(prefix) + ".pwd"),
        index(std::string(prefix) + ".pwi"),
        mark(std::string(prefix) + ".hwm") {}
  std::string data, index, mark;
};

// Opens the three files in mode; false (with the index file's error
// reported) when the data or the index file does not open.
bool OpenFiles(PackedDict *pwp, const DictionaryNames &names, const char *mode) {
  pwp->data_file = fopen(names.data.c_str(), mode);
  if (pwp->data_file == nullptr) return false;
  pwp->index_file = fopen(names.index.c_str(), mode);
  if (pwp->index_file == nullptr) {
    fclose(pwp->data_file);
    pwp->data_file = nullptr;
    perror(names.index.c_str());
    return false;
  }
  pwp->mark_file = fopen(names.mark.c_str(), mode);
  if (pwp->mark_file != nullptr) pwp->flags |= PACKED_DICT_USE_MARKS;
  return true;
}

// Creates (or truncates) the files and writes a provisional header.
PackedDict *OpenForWriting(PackedDict *pwp, const char *prefix) {
  const DictionaryNames names(prefix);
  if (!OpenFiles(pwp, names, "wb")) return nullptr;
  // What was read from these files before is about to change.
  quarvel::NoteDictionaryWrite();
  ForgetDecoded(IdentityOfFd(fileno(pwp->data_file)), IdentityOfFd(fileno(pwp->index_file)));
  pwp->flags |= PACKED_DICT_WRITE;
  pwp->header = {kMagic, 0, kBlockWords, 0};
  unsigned char raw[kHeaderBytes];
  EncodeHeader(pwp->header, raw);
  if (!WriteAll(pwp->index_file, raw)) pwp->flags |= PACKED_DICT_FAILED;
  return pwp;
}

// Opens the files and reads the header and marks. The words are served from
// memory when the dictionary was decoded before and its files have not
// changed since, or when it can be decoded now; else from the files.
PackedDict *OpenForReading(PackedDict *pwp, const char *prefix) {
  const DictionaryNames names(prefix);
  if (!OpenFiles(pwp, names, "rb")) return nullptr;
  pwp->flags &= ~PACKED_DICT_WRITE;

  const int mark_fd = pwp->mark_file != nullptr ? fileno(pwp->mark_file) : -1;
  DictLayout layout;
  if (const char *failure = ReadLayout(fileno(pwp->index_file), mark_fd, layout)) {
    return FailOpen(pwp, prefix, failure);
  }
  ApplyLayout(pwp, layout);
  // Identities of the files actually opened, taken before their content is
  // read, so that any later change shows at the next open.
  const Identities files = {IdentityOfFd(fileno(pwp->data_file)),
                            IdentityOfFd(fileno(pwp->index_file)), IdentityOfFd(mark_fd)};
  g_active =
      DecodedDictionary(prefix, files, fileno(pwp->index_file), fileno(pwp->data_file), layout);
  return pwp;
}

}  // namespace

uint64_t quarvel::ReadableBlockCount(PackedDict *pwp) {
  if (!IsOpenForReading(pwp)) return 0;
  struct stat status;
  if (fstat(fileno(pwp->index_file), &status) != 0) return 0;
  const bool wide = _PWIsBroken64(pwp->index_file) != 0;
  const uint64_t header = wide ? kWideHeaderBytes : kHeaderBytes;
  const uint64_t size = static_cast<uint64_t>(status.st_size);
  return size > header ? (size - header) / (wide ? 8 : 4) : 0;
}

namespace {
std::atomic<uint64_t> g_write_generation{0};
}  // namespace

uint64_t quarvel::DictionaryWriteGeneration() {
  return g_write_generation.load(std::memory_order_acquire);
}

void quarvel::NoteDictionaryWrite() { g_write_generation.fetch_add(1, std::memory_order_acq_rel); }

bool quarvel::DictionaryServedFromMemory() { return ServedFromMemory(&pdesc); }

void quarvel::WipeDictResultArea() { SecureWipe(g_block_words, sizeof(g_block_words)); }

extern "C" int _PWIsBroken64(FILE *ifp) {
  if (ifp == nullptr) return 0;
  rewind(ifp);
  unsigned char raw[kWideHeaderBytes];
  if (fread(raw, 1, sizeof(raw), ifp) != sizeof(raw)) return 0;
  return DecodeFixed64(raw) == kMagic ? 1 : 0;
}

extern "C" PackedDict *PWOpen(const char *prefix, const char *mode) noexcept {
  if (prefix == nullptr || mode == nullptr) return nullptr;
  PackedDict *pwp = &pdesc;
  if (IsOpen(pwp)) {
    fprintf(stderr, "%s: another dictionary already open, force closed \n", prefix);
    CloseFiles(pwp);
    pwp->header.magic = 0;
    g_active.reset();
    return nullptr;
  }
  std::memset(&pdesc, 0, sizeof(pdesc));
  std::memset(&pdesc64, 0, sizeof(pdesc64));
  g_active.reset();
  try {
    return mode[0] == 'w' ? OpenForWriting(pwp, prefix) : OpenForReading(pwp, prefix);
  } catch (...) {
    // Memory ran out: what is open is closed, and nothing is kept.
    CloseFiles(pwp);
    pwp->header.magic = 0;
    g_active.reset();
    return nullptr;
  }
}

extern "C" int PutPW(PackedDict *pwp, const char *word) noexcept {
  if (!IsOpen(pwp) || (pwp->flags & PACKED_DICT_WRITE) == 0) return -1;
  // After a failed write the build is lost: write nothing more.
  if ((pwp->flags & PACKED_DICT_FAILED) != 0) return -1;
  if (word != nullptr) {
    // An empty slot in mid-block would make every later word of the block
    // decode empty.
    if (word[0] == '\0') return -1;
    if (pwp->pending_count < 0 || pwp->pending_count >= kBlockWords ||
        pwp->header.word_count == UINT32_MAX) {
      pwp->flags |= PACKED_DICT_FAILED;
      return -1;
    }
    char *slot = pwp->pending[pwp->pending_count];
    size_t length = strnlen(word, kSlotBytes - 1);
    std::memcpy(slot, word, length);
    std::memset(slot + length, 0, kSlotBytes - length);
    pwp->marks[static_cast<unsigned char>(word[0])] = pwp->header.word_count;
    ++pwp->pending_count;
    ++pwp->header.word_count;
  } else if ((pwp->flags & PACKED_DICT_FLUSH) == 0) {
    return -1;
  }
  if ((pwp->flags & PACKED_DICT_FLUSH) != 0 || pwp->pending_count == kBlockWords) {
    if (!WriteBlock(pwp)) {
      pwp->flags |= PACKED_DICT_FAILED;
      return -1;
    }
  }
  return 0;
}

extern "C" int PWClose(PackedDict *pwp) noexcept {
  if (!IsOpen(pwp)) return -1;
  bool ok = true;
  const bool writing = (pwp->flags & PACKED_DICT_WRITE) != 0;
  if (writing) {
    pwp->flags |= PACKED_DICT_FLUSH;
    ok = PutPW(pwp, nullptr) == 0;
    if (ok) {
      unsigned char raw[kHeaderBytes];
      EncodeHeader(pwp->header, raw);
      ok = fseeko(pwp->index_file, 0, SEEK_SET) == 0 && WriteAll(pwp->index_file, raw);
    }
    if (ok && (pwp->flags & PACKED_DICT_USE_MARKS) != 0) {
      for (int c = 1; c < 256; ++c) {
        if (pwp->marks[c] == 0) pwp->marks[c] = pwp->marks[c - 1];
      }
      unsigned char raw[kMarkBytes];
      for (int c = 0; c < 256; ++c) EncodeFixed32(raw + 4 * c, pwp->marks[c]);
      ok = WriteAll(pwp->mark_file, raw);
    }
  }
  // Every file is closed and the descriptor marked closed, also after a
  // failure: a failed build never leaves a dictionary open.
  if (!CloseFiles(pwp) && writing) ok = false;
  if (writing) {
    // Words a failed build could not write are gone with it.
    quarvel::SecureWipe(pwp->pending, sizeof(pwp->pending));
    pwp->pending_count = 0;
    quarvel::NoteDictionaryWrite();
  }
  pwp->header.magic = 0;
  if (pwp == &pdesc) g_active.reset();
  return ok ? 0 : -1;
}

extern "C" char *GetPW(PackedDict *pwp, uint32_t number) noexcept {
  if (ServedFromMemory(pwp)) {
    // Slots beyond the decoded blocks are read from the files.
    const uint64_t first = number & ~uint32_t{15};
    if (g_active->Word(first) != nullptr) {
      for (int s = 0; s < kBlockWords; ++s) {
        std::strncpy(g_block_words[s], g_active->Word(first + s), kSlotBytes);
      }
      return g_block_words[number & 15];
    }
  }
  // Every slot of a block the files hold decodes, also beyond the word
  // count: the last block's empty slots decode as the empty word.
  if (!IsOpenForReading(pwp)) return nullptr;
  const uint64_t block = number >> 4;
  const int slot = static_cast<int>(number & 15);

  const bool wide = _PWIsBroken64(pwp->index_file) != 0;
  unsigned char entry[8];
  const size_t entry_size = wide ? 8 : 4;
  const uint64_t entry_offset = wide ? kWideHeaderBytes + 8 * block : kHeaderBytes + 4 * block;
  if (ReadAt(pwp->index_file, entry_offset, std::span(entry, entry_size)) != entry_size) {
    return nullptr;
  }
  const uint64_t offset = wide ? DecodeFixed64(entry) : DecodeFixed32(entry);

  std::array<unsigned char, kMaxBlockBytes> bytes;
  size_t got = ReadAt(pwp->data_file, offset, bytes);
  if (got == 0) return nullptr;
  DecodeBlock(std::span(bytes.data(), got), g_block_words);
  return g_block_words[slot];
}

extern "C" int32_t FindPW(PackedDict *pwp, const char *word) noexcept {
  if (pwp == nullptr) return -1;
  const uint32_t count = pwp->header.word_count;
  if (ServedFromMemory(pwp)) return static_cast<int32_t>(g_active->Find(word));
  if (!IsOpenForReading(pwp)) return static_cast<int32_t>(count);
  const bool use_marks = (pwp->flags & PACKED_DICT_USE_MARKS) != 0;
  return static_cast<int32_t>(SearchSorted(count, use_marks, pwp->marks, word, [pwp](uint64_t n) {
    return static_cast<const char *>(GetPW(pwp, static_cast<uint32_t>(n)));
  }));
}
