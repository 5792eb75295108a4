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
// P.pwi, wide layout (written by DictWriter, src/wordstore/dict_writer.cc,
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
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "quarvel/dictmanger.h"
#include "wordstore/coding.h"
#include "wordstore/dictmanger_internal.h"
#include "wordstore/scratch.h"

extern "C" {
PackedDict pdesc;
PackedDict64 pdesc64;
}

namespace {

using quarvel::DecodeBlock;
using quarvel::DecodeFixed16;
using quarvel::DecodeFixed32;
using quarvel::DecodeFixed64;
using quarvel::EncodeFixed16;
using quarvel::EncodeFixed32;

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

// Marks are trusted only when they make sense for this dictionary: entries
// never decrease and none lies beyond the last word. Otherwise the search
// covers the whole list, which is always correct.
bool MarksAreSane(const PackedDict &pd) {
  uint32_t previous = 0;
  for (uint32_t mark : pd.marks) {
    if (mark < previous || mark >= pd.header.word_count) return false;
    previous = mark;
  }
  return true;
}

void LoadMarks(PackedDict *pwp, bool wide) {
  if (pwp->mark_file == nullptr) return;
  bool loaded = false;
  if (wide) {
    std::array<unsigned char, kWideMarkBytes> raw;
    if (ReadAt(pwp->mark_file, 0, raw) == raw.size()) {
      for (int c = 0; c < 256; ++c) {
        pdesc64.marks[c] = DecodeFixed64(raw.data() + 8 * c);
        pwp->marks[c] = static_cast<uint32_t>(pdesc64.marks[c]);
      }
      loaded = true;
    }
  } else {
    std::array<unsigned char, kMarkBytes> raw;
    if (ReadAt(pwp->mark_file, 0, raw) == raw.size()) {
      for (int c = 0; c < 256; ++c) pwp->marks[c] = DecodeFixed32(raw.data() + 4 * c);
      loaded = true;
    }
  }
  if (loaded && MarksAreSane(*pwp)) {
    pwp->flags |= PACKED_DICT_USE_MARKS;
  } else {
    pwp->flags &= ~PACKED_DICT_USE_MARKS;
    std::fill(std::begin(pwp->marks), std::end(pwp->marks), 0u);
  }
}

PackedDict *OpenForReading(PackedDict *pwp, const char *prefix) {
  unsigned char raw[kWideHeaderBytes];
  if (ReadAt(pwp->index_file, 0, std::span(raw, kHeaderBytes)) != kHeaderBytes) {
    return FailOpen(pwp, prefix, "error reading header");
  }
  pwp->header.magic = DecodeFixed32(raw);
  pwp->header.word_count = DecodeFixed32(raw + 4);
  pwp->header.block_length = DecodeFixed16(raw + 8);
  pwp->header.pad = DecodeFixed16(raw + 10);

  bool wide = false;
  if (pwp->header.magic == 0 || pwp->header.word_count == 0) {
    // A zero half may be the upper half of a 64-bit field: try the wide layout.
    if (ReadAt(pwp->index_file, 0, raw) != kWideHeaderBytes || DecodeFixed64(raw) != kMagic) {
      return FailOpen(pwp, prefix, "error reading header");
    }
    pdesc64.magic = DecodeFixed64(raw);
    pdesc64.word_count = DecodeFixed64(raw + 8);
    pdesc64.block_length = DecodeFixed16(raw + 16);
    pdesc64.pad = DecodeFixed16(raw + 18);
    pwp->header.magic = static_cast<uint32_t>(pdesc64.magic);
    pwp->header.word_count = static_cast<uint32_t>(pdesc64.word_count);
    pwp->header.block_length = pdesc64.block_length;
    pwp->header.pad = pdesc64.pad;
    wide = true;
  }

  if (pwp->header.magic != kMagic) return FailOpen(pwp, prefix, "magic mismatch");
  if (pwp->header.word_count == 0) return FailOpen(pwp, prefix, "invalid word count");
  if (pwp->header.block_length != kBlockWords) return FailOpen(pwp, prefix, "size mismatch");

  LoadMarks(pwp, wide);
  return pwp;
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

// ---------------------------------------------------------------------------
// Serving dictionaries from memory.
//
// From its files, every probe of a binary search costs a layout test, a seek
// and a read of the index, and a seek and a read of the data. A dictionary
// opened for reading is therefore decoded once into memory and kept in a
// small process-wide cache, keyed by its prefix and revalidated at every open
// against the identity of its three files (device, inode, size, modification
// and change times), so that a dictionary rebuilt on disk, by this process or
// another, is never served stale. Served from memory, every operation answers
// exactly what it answers from the files: each block is decoded by the same
// decoder from the same bytes that reading it from the file returns.

struct FileIdentity {
  bool exists = false;
  bool regular = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified = {};
  timespec changed = {};

  bool operator==(const FileIdentity &o) const {
    return exists == o.exists && regular == o.regular && device == o.device && inode == o.inode &&
           size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
};

FileIdentity IdentityOf(const struct stat &status) {
  FileIdentity id;
  id.exists = true;
  id.regular = S_ISREG(status.st_mode);
  id.device = status.st_dev;
  id.inode = status.st_ino;
  id.size = status.st_size;
  id.modified = status.st_mtim;
  id.changed = status.st_ctim;
  return id;
}

FileIdentity IdentityOfPath(const std::string &path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? IdentityOf(status) : FileIdentity{};
}

FileIdentity IdentityOfFile(FILE *file) {
  struct stat status;
  return file != nullptr && fstat(fileno(file), &status) == 0 ? IdentityOf(status) : FileIdentity{};
}

// Data, index and mark file, in that order.
using Identities = std::array<FileIdentity, 3>;

// Dictionaries larger than this are read from their files.
constexpr uint64_t kMaxCachedFileBytes = 256u << 20;
constexpr uint64_t kMaxCachedSlots = 16u << 20;
constexpr size_t kCacheEntries = 16;

// Reads a whole regular file of at most limit bytes from its start.
bool ReadWhole(FILE *file, uint64_t size, std::vector<unsigned char> &out) {
  if (size > kMaxCachedFileBytes) return false;
  out.resize(static_cast<size_t>(size));
  const size_t got = ReadAt(file, 0, out);
  out.resize(got);
  return true;
}

uint32_t HashWord(std::string_view word) {
  uint32_t h = 2166136261u;
  for (char c : word) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h;
}

// One dictionary, decoded.
class MemoryDict {
 public:
  // Decodes the dictionary whose files pwp has open and whose header and
  // marks it has loaded; NULL when it is too large to keep in memory.
  static std::unique_ptr<MemoryDict> Decode(const PackedDict &pd, bool wide) {
    std::vector<unsigned char> index, data;
    const FileIdentity index_id = IdentityOfFile(pd.index_file);
    const FileIdentity data_id = IdentityOfFile(pd.data_file);
    if (!ReadWhole(pd.index_file, static_cast<uint64_t>(index_id.size), index) ||
        !ReadWhole(pd.data_file, static_cast<uint64_t>(data_id.size), data)) {
      return nullptr;
    }
    auto dict = std::make_unique<MemoryDict>();
    dict->header_ = pd.header;
    dict->flags_ = pd.flags & PACKED_DICT_USE_MARKS;
    std::copy(std::begin(pd.marks), std::end(pd.marks), std::begin(dict->marks_));
    dict->wide_ = pdesc64;

    const size_t header_size = wide ? kWideHeaderBytes : kHeaderBytes;
    const size_t entry_size = wide ? 8 : 4;
    dict->block_entries_ =
        index.size() > header_size ? (index.size() - header_size) / entry_size : 0;
    const uint64_t blocks_needed = (static_cast<uint64_t>(pd.header.word_count) + 15) / 16;
    const uint64_t blocks = std::min<uint64_t>(dict->block_entries_, blocks_needed);
    if (blocks * 16 > kMaxCachedSlots) return nullptr;

    dict->pool_.push_back('\0');  // offset 0: the empty word
    dict->slots_.reserve(static_cast<size_t>(blocks) * 16);
    char words[kBlockWords][kSlotBytes];
    for (uint64_t b = 0; b < blocks; ++b) {
      const unsigned char *entry = index.data() + header_size + b * entry_size;
      const uint64_t offset = wide ? DecodeFixed64(entry) : DecodeFixed32(entry);
      if (offset >= data.size()) {
        dict->slots_.insert(dict->slots_.end(), 16, kUnreadable);
        continue;
      }
      const size_t length = std::min<size_t>(kMaxBlockBytes, data.size() - offset);
      DecodeBlock(std::span(data.data() + offset, length), words);
      for (const char *word : words) {
        const size_t n = strnlen(word, kSlotBytes - 1);
        if (n == 0) {
          dict->slots_.push_back(0);
        } else {
          dict->slots_.push_back(static_cast<uint32_t>(dict->pool_.size()));
          dict->pool_.append(word, n);
          dict->pool_.push_back('\0');
        }
      }
      if (dict->pool_.size() > kMaxCachedFileBytes) return nullptr;
    }
    dict->BuildTable();
    return dict;
  }

  // Puts the descriptor in the state in which reading its files left it.
  void Restore(PackedDict *pwp) const {
    pwp->header = header_;
    pwp->flags = flags_;
    std::copy(std::begin(marks_), std::end(marks_), std::begin(pwp->marks));
    pdesc64 = wide_;
  }

  // Word n as GetPW decodes it, or NULL where GetPW fails.
  const char *Word(uint64_t n) const {
    if (n >= header_.word_count || n >= slots_.size() || slots_[n] == kUnreadable) return nullptr;
    return pool_.data() + slots_[n];
  }

  // The 16 words of the block that holds word n, as GetPW decodes them.
  bool CopyBlock(uint64_t n, char (&out)[kBlockWords][kSlotBytes]) const {
    if (Word(n) == nullptr) return false;
    const uint64_t first = n & ~uint64_t{15};
    for (int s = 0; s < kBlockWords; ++s) {
      std::strncpy(out[s], pool_.data() + slots_[first + s], kSlotBytes);
    }
    return true;
  }

  // False only when no word that a search can reach equals word: a search
  // can answer a hit only for a word equal to one it fetched.
  bool MayContain(const char *word) const {
    const size_t n = strnlen(word, kSlotBytes);
    if (n >= kSlotBytes) return false;
    const std::string_view key(word, n);
    for (size_t i = HashWord(key) & mask_;; i = (i + 1) & mask_) {
      const uint32_t entry = table_[i];
      if (entry == 0) return false;
      if (key == pool_.data() + slots_[entry - 1]) return true;
    }
  }

  uint64_t block_entries() const { return block_entries_; }

 private:
  static constexpr uint32_t kUnreadable = UINT32_MAX;

  // An open-addressing set of the words a search can reach: indexes (plus
  // one) into slots_, each distinct text once.
  void BuildTable() {
    const size_t reachable = std::min<size_t>(slots_.size(), header_.word_count);
    size_t capacity = 16;
    while (capacity < 2 * reachable) capacity *= 2;
    table_.assign(capacity, 0);
    mask_ = capacity - 1;
    for (size_t n = 0; n < reachable; ++n) {
      if (slots_[n] == kUnreadable) continue;
      const std::string_view key(pool_.data() + slots_[n]);
      for (size_t i = HashWord(key) & mask_;; i = (i + 1) & mask_) {
        const uint32_t entry = table_[i];
        if (entry == 0) {
          table_[i] = static_cast<uint32_t>(n + 1);
          break;
        }
        if (key == pool_.data() + slots_[entry - 1]) break;
      }
    }
  }

  PackedDictHeader header_ = {};
  uint32_t flags_ = 0;
  uint32_t marks_[256] = {};
  PackedDict64 wide_ = {};
  uint64_t block_entries_ = 0;
  std::vector<uint32_t> slots_;  // per word: offset in pool_, or kUnreadable
  std::string pool_;             // the words' texts, each ended by a NUL
  std::vector<uint32_t> table_;
  size_t mask_ = 0;
};

struct CacheEntry {
  std::string prefix;
  Identities files;
  std::shared_ptr<const MemoryDict> dict;  // NULL: read this one from its files
  uint64_t last_used = 0;
};

std::vector<CacheEntry> g_cache;
uint64_t g_cache_clock = 0;
bool g_cache_enabled = true;
int64_t g_racy_nanoseconds = quarvel::kDefaultRacyNanoseconds;

int64_t Nanoseconds(const timespec &t) {
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

bool ChangedJustBefore(const Identities &files, const timespec &read_at) {
  for (const FileIdentity &file : files) {
    if (!file.exists) continue;
    const int64_t latest = std::max(Nanoseconds(file.modified), Nanoseconds(file.changed));
    // Whole seconds: a file system that keeps times to the second (or two).
    const bool coarse = file.modified.tv_nsec == 0 && file.changed.tv_nsec == 0;
    const int64_t quiet = coarse && g_racy_nanoseconds > 0
                              ? std::max<int64_t>(g_racy_nanoseconds, 2'000'000'000)
                              : g_racy_nanoseconds;
    if (latest > Nanoseconds(read_at) - quiet) return true;
  }
  return false;
}

// The dictionary that the open descriptor is served from, or NULL.
std::shared_ptr<const MemoryDict> g_active;

CacheEntry *FindCached(std::string_view prefix) {
  for (CacheEntry &entry : g_cache) {
    if (entry.prefix == prefix) return &entry;
  }
  return nullptr;
}

void RememberDictionary(std::string_view prefix, const Identities &files,
                        std::shared_ptr<const MemoryDict> dict) {
  CacheEntry *entry = FindCached(prefix);
  if (entry == nullptr) {
    if (g_cache.size() < kCacheEntries) {
      entry = &g_cache.emplace_back();
    } else {
      entry = &*std::min_element(
          g_cache.begin(), g_cache.end(),
          [](const CacheEntry &a, const CacheEntry &b) { return a.last_used < b.last_used; });
    }
    entry->prefix.assign(prefix);
  }
  entry->files = files;
  entry->dict = std::move(dict);
  entry->last_used = ++g_cache_clock;
}

// Forgets every dictionary held in the files that a writer just opened, under
// whatever prefix it was read.
void ForgetFiles(const FileIdentity &data, const FileIdentity &index) {
  std::erase_if(g_cache, [&](const CacheEntry &entry) {
    auto same = [](const FileIdentity &a, const FileIdentity &b) {
      return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
    };
    return same(entry.files[0], data) || same(entry.files[1], index) ||
           same(entry.files[0], index) || same(entry.files[1], data);
  });
}

bool ServedFromMemory(const PackedDict *pwp) {
  return g_active != nullptr && pwp == &pdesc && IsOpen(pwp) &&
         (pwp->flags & PACKED_DICT_WRITE) == 0;
}

}  // namespace

void quarvel::SetDictionaryCache(bool enabled, int64_t racy_nanoseconds) {
  g_cache_enabled = enabled;
  g_racy_nanoseconds = racy_nanoseconds;
  g_cache.clear();
}

bool quarvel::DictionaryServedFromMemory() { return ServedFromMemory(&pdesc); }

void quarvel::WipeDictResultArea() { SecureWipe(g_block_words, sizeof(g_block_words)); }

uint64_t quarvel::ReadableBlockCount(PackedDict *pwp) {
  if (ServedFromMemory(pwp)) return g_active->block_entries();
  if (!IsOpenForReading(pwp)) return 0;
  struct stat status;
  if (fstat(fileno(pwp->index_file), &status) != 0) return 0;
  const bool wide = _PWIsBroken64(pwp->index_file) != 0;
  const uint64_t header = wide ? kWideHeaderBytes : kHeaderBytes;
  const uint64_t size = static_cast<uint64_t>(status.st_size);
  return size > header ? (size - header) / (wide ? 8 : 4) : 0;
}

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
    const std::string data_name = std::string(prefix) + ".pwd";
    const std::string index_name = std::string(prefix) + ".pwi";
    const std::string mark_name = std::string(prefix) + ".hwm";
    const bool writing = mode[0] == 'w';

    Identities files;
    if (!writing) {
      files = {IdentityOfPath(data_name), IdentityOfPath(index_name), IdentityOfPath(mark_name)};
      CacheEntry *cached = FindCached(prefix);
      if (cached != nullptr && cached->dict != nullptr && cached->files == files) {
        cached->last_used = ++g_cache_clock;
        g_active = cached->dict;
        g_active->Restore(pwp);
        return pwp;
      }
    }

    pwp->data_file = fopen(data_name.c_str(), mode);
    if (pwp->data_file == nullptr) return nullptr;
    pwp->index_file = fopen(index_name.c_str(), mode);
    if (pwp->index_file == nullptr) {
      fclose(pwp->data_file);
      pwp->data_file = nullptr;
      perror(index_name.c_str());
      return nullptr;
    }
    pwp->mark_file = fopen(mark_name.c_str(), mode);
    if (pwp->mark_file != nullptr) pwp->flags |= PACKED_DICT_USE_MARKS;

    if (writing) {
      // What was read from these files before is about to change.
      ForgetFiles(IdentityOfFile(pwp->data_file), IdentityOfFile(pwp->index_file));
      pwp->flags |= PACKED_DICT_WRITE;
      pwp->header = {kMagic, 0, kBlockWords, 0};
      unsigned char raw[kHeaderBytes];
      EncodeHeader(pwp->header, raw);
      if (!WriteAll(pwp->index_file, raw)) pwp->flags |= PACKED_DICT_FAILED;
      return pwp;
    }

    pwp->flags &= ~PACKED_DICT_WRITE;
    if (OpenForReading(pwp, prefix) == nullptr) return nullptr;

    // Identities of the files actually opened, taken before their content is
    // read, so that any later change shows at the next open.
    files = {IdentityOfFile(pwp->data_file), IdentityOfFile(pwp->index_file),
             IdentityOfFile(pwp->mark_file)};
    timespec read_at;
    clock_gettime(CLOCK_REALTIME, &read_at);
    std::shared_ptr<const MemoryDict> dict;
    // Files that changed just now are read from disk this time; they are
    // decoded at a later open, once they have been quiet for a while.
    if (g_cache_enabled && files[0].regular && files[1].regular &&
        (!files[2].exists || files[2].regular) && !ChangedJustBefore(files, read_at)) {
      dict = MemoryDict::Decode(*pwp, pdesc64.magic == kMagic);
    }
    RememberDictionary(prefix, files, dict);
    g_active = std::move(dict);
    return pwp;
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
  pwp->header.magic = 0;
  if (pwp == &pdesc) g_active.reset();
  return ok ? 0 : -1;
}

extern "C" char *GetPW(PackedDict *pwp, uint32_t number) noexcept {
  if (ServedFromMemory(pwp)) {
    return g_active->CopyBlock(number, g_block_words) ? g_block_words[number & 15] : nullptr;
  }
  if (!IsOpenForReading(pwp) || number >= pwp->header.word_count) return nullptr;
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
  const int32_t not_found = static_cast<int32_t>(count);
  const MemoryDict *memory = ServedFromMemory(pwp) ? g_active.get() : nullptr;
  if ((memory == nullptr && !IsOpenForReading(pwp)) || word == nullptr || count == 0) {
    return not_found;
  }
  if (memory != nullptr && !memory->MayContain(word)) return not_found;

  // The range runs from just after lo up to and including hi; lo is the last
  // index of an earlier first byte. Signed 64-bit arithmetic cannot overflow
  // whatever the header says.
  int64_t lo = 0;
  int64_t hi = static_cast<int64_t>(count) - 1;
  if ((pwp->flags & PACKED_DICT_USE_MARKS) != 0) {
    const unsigned char c = static_cast<unsigned char>(word[0]);
    const uint32_t mark_lo = c != 0 ? pwp->marks[c - 1] : 0;
    const uint32_t mark_hi = pwp->marks[c];
    if (mark_hi >= mark_lo && mark_hi < count) {
      lo = mark_lo;
      hi = mark_hi;
    }
  }
  if (lo == 0) lo = -1;  // index 0 itself belongs to the range

  for (;;) {
    const int64_t mid = lo + ((hi - lo + 1) >> 1);
    const char *candidate = memory != nullptr ? memory->Word(static_cast<uint64_t>(mid))
                                              : GetPW(pwp, static_cast<uint32_t>(mid));
    if (candidate == nullptr) return not_found;
    const int cmp = std::strcmp(word, candidate);
    if (cmp == 0) return static_cast<int32_t>(mid);
    if (mid == hi) return not_found;
    if (cmp < 0) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
}
