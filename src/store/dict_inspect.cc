// Inspecting a dictionary on disk: decodes what the writers produce, with the
// codecs of format/dict_layout.h (where the layout is documented, as in
// docs/file-format.md), without PWOpen and without any process-wide state, so
// any number of threads may inspect dictionaries at once. Every read is
// bounded by the size of its file.

#include "store/dict_inspect.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "base/secure_wipe.h"
#include "format/coding.h"
#include "format/dict_layout.h"
#include "format/file_identity.h"
#include "format/file_io.h"
#include "format/rank_layout.h"
#include "quarvel/dictmanger.h"
#include "store/rank_file.h"

namespace quarvel {
namespace {

constexpr int kCodeCannotOpen = 1001;
// Index entries and data bytes are read through windows of this size.
constexpr size_t kWindowBytes = 1 << 20;

// A file opened for reading; closed on destruction.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string &path) : fd_(OpenForReading(path)) {
    struct stat status;
    if (fd_ >= 0 && fstat(fd_, &status) == 0 && S_ISREG(status.st_mode)) {
      size_ = static_cast<uint64_t>(status.st_size);
      regular_ = true;
    } else if (fd_ >= 0) {
      errno = EISDIR;
    }
  }
  ~ReadOnlyFile() {
    if (fd_ >= 0) close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile &) = delete;
  ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;

  bool ok() const { return fd_ >= 0 && regular_; }
  uint64_t size() const { return size_; }
  int fd() const { return fd_; }

  // Reads exactly out.size() bytes at offset; false when the file is shorter
  // or a read fails.
  bool ReadAt(uint64_t offset, std::span<unsigned char> out) const {
    if (offset > size_ || out.size() > size_ - offset) return false;
    return ReadAtFd(fd_, offset, out) == out.size();
  }

 private:
  int fd_;
  uint64_t size_ = 0;
  bool regular_ = false;
};

// Sequential reads of a file in large windows: Get answers a view of the
// bytes [offset, offset + length), which must lie inside the file.
class Window {
 public:
  explicit Window(const ReadOnlyFile &file) : file_(file) {}

  std::span<const unsigned char> Get(uint64_t offset, size_t length) {
    if (offset >= file_.size() || length > file_.size() - offset) return {};
    if (offset < start_ || offset + length > start_ + bytes_.size()) {
      const size_t want = static_cast<size_t>(
          std::min<uint64_t>(std::max(kWindowBytes, length), file_.size() - offset));
      bytes_.resize(want);
      if (!file_.ReadAt(offset, bytes_)) {
        bytes_.clear();
        return {};
      }
      start_ = offset;
    }
    if (length > bytes_.size()) return {};
    return std::span(bytes_.data() + (offset - start_), length);
  }

 private:
  const ReadOnlyFile &file_;
  std::vector<unsigned char> bytes_;
  uint64_t start_ = 0;
};

// Holds the first problem found; later ones are ignored.
class Problem {
 public:
  explicit Problem(quarvel_dict_info *info) : info_(info) {}

  __attribute__((format(printf, 2, 3))) void Report(const char *format, ...) {
    if (info_->problem[0] != '\0') return;
    va_list args;
    va_start(args, format);
    vsnprintf(info_->problem, sizeof(info_->problem), format, args);
    va_end(args);
  }
  bool found() const { return info_->problem[0] != '\0'; }

 private:
  quarvel_dict_info *info_;
};

// The header fields both layouts share, decoded.
struct Header {
  bool wide = false;
  uint64_t word_count = 0;
  uint16_t block_length = 0;
  uint64_t entries_offset = 0;  // where the block offsets begin
  uint64_t entry_bytes = 0;
};

// The bytes of one block inside the data file, walked to find where the block
// ends: the words themselves come from DecodeBlock, this only checks that
// each slot is well formed and reports the length the slots take.
struct BlockShape {
  size_t length = 0;
  const char *fault = nullptr;
};

BlockShape MeasureBlock(std::span<const unsigned char> bytes) {
  BlockShape shape;
  size_t pos = 0;
  size_t previous_length = 0;
  // Consumes a word's tail up to its NUL; answers the tail's length, or
  // SIZE_MAX when the block ends first.
  auto tail = [&]() -> size_t {
    const size_t start = pos;
    while (pos < bytes.size() && bytes[pos] != 0) ++pos;
    if (pos == bytes.size()) return SIZE_MAX;
    return pos++ - start;
  };
  for (int s = 0; s < kBlockWords; ++s) {
    size_t length = 0;
    if (s == 0) {
      length = tail();
    } else if (previous_length == 0) {
      if (pos == bytes.size())
        length = SIZE_MAX;
      else if (bytes[pos++] != 0)
        shape.fault = "a word follows an empty slot";
    } else {
      if (pos == bytes.size()) {
        length = SIZE_MAX;
      } else if (bytes[pos] == 0 && (pos + 1 == bytes.size() || bytes[pos + 1] == 0)) {
        // An empty slot is a single NUL: a word never has an empty tail
        // after a shared count of 0.
        ++pos;
      } else {
        const size_t shared = bytes[pos++];
        if (shared > previous_length) {
          shape.fault = "a shared count exceeds the previous word";
          return shape;
        }
        const size_t rest = tail();
        length = rest == SIZE_MAX ? SIZE_MAX : shared + rest;
      }
    }
    if (length == SIZE_MAX) {
      shape.fault = "a block ends inside a word";
    } else if (length > kSlotBytes - 1) {
      shape.fault = "a word longer than 31 bytes";
    }
    if (shape.fault != nullptr) return shape;
    previous_length = length;
  }
  shape.length = pos;
  return shape;
}

// Marks as the words say they should be (see the mark file's layout).
std::array<uint64_t, 256> ExpectedMarks(const std::array<int64_t, 256> &last_index) {
  std::array<uint64_t, 256> marks{};
  uint64_t previous = 0;
  for (int c = 0; c < 256; ++c) {
    if (last_index[c] >= 0) previous = static_cast<uint64_t>(last_index[c]);
    marks[c] = previous;
  }
  return marks;
}

// The rank file beside the dictionary, read as the engine reads it: ranked,
// or why a rank file present is ignored (not counted as damage).
void InspectRanks(const std::string &base, uint64_t word_count, const ReadOnlyFile &data,
                  const ReadOnlyFile &index, quarvel_dict_info *info) {
  FileIdentity identity;
  std::string why;
  if (word_count > UINT32_MAX) {
    identity = IdentityOfPath(base + kRankExtension);
    if (identity.exists) why = "the word count does not fit in 32 bits";
  } else {
    info->ranked =
        RankFile::Open(base, static_cast<uint32_t>(word_count), data.fd(), IdentityOfFd(data.fd()),
                       index.fd(), IdentityOfFd(index.fd()), &identity, &why) != nullptr
            ? 1
            : 0;
  }
  snprintf(info->rank_problem, sizeof(info->rank_problem), "%s", why.c_str());
}

}  // namespace

int InspectDictionary(const char *prefix, quarvel_dict_info *info, std::string *error) {
  const std::string base(prefix);
  const ReadOnlyFile index(base + ".pwi");
  if (!index.ok()) {
    *error = base + ".pwi: " + strerror(errno) + " (1001)";
    return kCodeCannotOpen;
  }
  const ReadOnlyFile data(base + ".pwd");
  if (!data.ok()) {
    *error = base + ".pwd: " + strerror(errno) + " (1001)";
    return kCodeCannotOpen;
  }
  const ReadOnlyFile marks_file(base + ".hwm");

  // The header: standard, or wide when the first 8 bytes hold the magic.
  std::array<unsigned char, kWideIndexHeaderBytes> raw{};
  const size_t header_bytes =
      static_cast<size_t>(std::min<uint64_t>(index.size(), kWideIndexHeaderBytes));
  std::optional<IndexHeader> decoded;
  if (header_bytes >= kIndexHeaderBytes && index.ReadAt(0, std::span(raw.data(), header_bytes))) {
    decoded = DecodeIndexHeader(std::span(raw.data(), header_bytes));
  }
  if (!decoded) {
    *error = base + ".pwi: shorter than its header (1001)";
    return kCodeCannotOpen;
  }
  // A standard header with the magic may count 0 words: a dictionary of none.
  if (decoded->magic != kDictMagic) {
    *error = base + ".pwi: not a dictionary index (wrong magic) (1001)";
    return kCodeCannotOpen;
  }
  Header header;
  header.wide = decoded->wide;
  header.word_count = decoded->word_count;
  header.block_length = decoded->block_length;
  header.entries_offset = IndexEntryOffset(header.wide, 0);
  header.entry_bytes = IndexEntrySize(header.wide);

  info->wide = header.wide ? 1 : 0;
  info->word_count = header.word_count;
  info->index_bytes = index.size();
  info->data_bytes = data.size();
  info->mark_bytes = marks_file.ok() ? marks_file.size() : 0;

  Problem problem(info);
  const uint64_t entry_space = index.size() - header.entries_offset;
  const uint64_t entries = entry_space / header.entry_bytes;
  const uint64_t entries_needed = header.word_count / kBlockWords + 1;
  if (header.block_length != kBlockWords) {
    problem.Report("block length %u in the index header, expected %d", header.block_length,
                   kBlockWords);
  } else if (header.word_count == 0) {
    problem.Report("no words: the dictionary cannot be searched");
  } else if (header.word_count > UINT32_MAX) {
    problem.Report("word count %llu does not fit in 32 bits",
                   static_cast<unsigned long long>(header.word_count));
  } else if (entry_space % header.entry_bytes != 0) {
    problem.Report("the index file ends inside a block offset");
  } else if (entries != entries_needed) {
    problem.Report("the index holds %llu block offsets, %llu words need %llu",
                   static_cast<unsigned long long>(entries),
                   static_cast<unsigned long long>(header.word_count),
                   static_cast<unsigned long long>(entries_needed));
  }

  // Every block: offsets inside the data file, contiguous from 0, each block
  // well formed, full but for the last, words in strcmp order.
  std::array<int64_t, 256> last_index;
  last_index.fill(-1);
  bool words_scanned = false;
  if (!problem.found()) {
    Window offsets(index);
    Window bytes(data);
    char words[kBlockWords][kSlotBytes];
    char previous[kSlotBytes] = {};
    uint64_t word_number = 0;
    auto offset_of = [&](uint64_t b) -> int64_t {
      auto entry = offsets.Get(header.entries_offset + b * header.entry_bytes,
                               static_cast<size_t>(header.entry_bytes));
      if (entry.empty()) return -1;
      // The wide layout uses only the low 32 bits of each offset.
      return DecodeFixed32(entry.data());
    };
    // First the offsets alone: from 0, increasing, inside the data file.
    for (uint64_t b = 0; b < entries && !problem.found(); ++b) {
      const int64_t at = offset_of(b);
      const int64_t before = b == 0 ? -1 : offset_of(b - 1);
      if (b == 0 && at != 0) {
        problem.Report("block 0 begins at %lld, not at 0", static_cast<long long>(at));
      } else if (at < 0 || static_cast<uint64_t>(at) >= data.size()) {
        problem.Report("block %llu begins at %lld, beyond the data file (%llu bytes)",
                       static_cast<unsigned long long>(b), static_cast<long long>(at),
                       static_cast<unsigned long long>(data.size()));
      } else if (b > 0 && at <= before) {
        problem.Report("block %llu begins at %lld, not after block %llu at %lld",
                       static_cast<unsigned long long>(b), static_cast<long long>(at),
                       static_cast<unsigned long long>(b - 1), static_cast<long long>(before));
      }
    }
    int64_t offset = 0;
    for (uint64_t b = 0; b < entries && !problem.found(); ++b) {
      const bool last = b + 1 == entries;
      const int64_t next = last ? static_cast<int64_t>(data.size()) : offset_of(b + 1);
      const uint64_t span_length = static_cast<uint64_t>(next - offset);
      if (static_cast<uint64_t>(next) > data.size() || span_length > kMaxBlockBytes) {
        problem.Report("block %llu at %lld is %llu bytes long, more than a block can be",
                       static_cast<unsigned long long>(b), static_cast<long long>(offset),
                       static_cast<unsigned long long>(span_length));
        break;
      }
      const auto block = bytes.Get(static_cast<uint64_t>(offset), static_cast<size_t>(span_length));
      if (block.size() != span_length) {
        problem.Report("block %llu cannot be read", static_cast<unsigned long long>(b));
        break;
      }
      const BlockShape shape = MeasureBlock(block);
      if (shape.fault != nullptr || shape.length != span_length) {
        problem.Report("block %llu at %lld is damaged: %s", static_cast<unsigned long long>(b),
                       static_cast<long long>(offset),
                       shape.fault != nullptr ? shape.fault : "its slots do not fill it");
        break;
      }
      DecodeBlock(block, words);
      ++info->blocks_checked;
      const uint64_t held = last ? header.word_count % kBlockWords : kBlockWords;
      for (uint64_t s = 0; s < kBlockWords && !problem.found(); ++s) {
        const bool empty = words[s][0] == '\0';
        if (s < held && empty) {
          problem.Report("block %llu holds %llu words, the word count says %llu",
                         static_cast<unsigned long long>(b), static_cast<unsigned long long>(s),
                         static_cast<unsigned long long>(held));
        } else if (s >= held && !empty) {
          problem.Report("the blocks hold more words than the word count %llu",
                         static_cast<unsigned long long>(header.word_count));
        } else if (!empty) {
          if (word_number > 0 && strcmp(previous, words[s]) >= 0) {
            problem.Report("word %llu is not after word %llu in byte order",
                           static_cast<unsigned long long>(word_number),
                           static_cast<unsigned long long>(word_number - 1));
          }
          last_index[static_cast<unsigned char>(words[s][0])] = static_cast<int64_t>(word_number);
          memcpy(previous, words[s], kSlotBytes);
          ++word_number;
        }
      }
      offset = next;
    }
    words_scanned = !problem.found();
    SecureWipe(words, sizeof(words));
    SecureWipe(previous, sizeof(previous));
  }

  // The marks: present, 256 entries, never decreasing, none beyond the last
  // word, and (when the words could be read) the ones the words give.
  const uint64_t mark_entry = header.wide ? 8 : 4;
  std::vector<unsigned char> mark_bytes(256 * mark_entry);
  bool marks_usable = marks_file.ok() && marks_file.ReadAt(0, mark_bytes);
  if (marks_file.ok() && !marks_usable) {
    problem.Report("the mark file holds %llu bytes, fewer than 256 entries",
                   static_cast<unsigned long long>(marks_file.size()));
  }
  if (marks_usable) {
    const std::array<uint64_t, 256> expected = ExpectedMarks(last_index);
    uint64_t previous = 0;
    for (int c = 0; c < 256 && marks_usable; ++c) {
      const uint64_t mark =
          header.wide ? DecodeFixed64(&mark_bytes[8 * c]) : DecodeFixed32(&mark_bytes[4 * c]);
      if (mark < previous || mark >= header.word_count) {
        problem.Report("mark 0x%02x (%llu) decreases or lies beyond the last word", c,
                       static_cast<unsigned long long>(mark));
        marks_usable = false;
      } else if (words_scanned && mark != expected[c]) {
        problem.Report("mark 0x%02x is %llu, the words give %llu", c,
                       static_cast<unsigned long long>(mark),
                       static_cast<unsigned long long>(expected[c]));
        marks_usable = false;
      }
      previous = mark;
    }
  }
  info->marks_usable = marks_usable ? 1 : 0;
  info->intact = problem.found() ? 0 : 1;
  InspectRanks(base, header.word_count, data, index, info);
  return 0;
}

}  // namespace quarvel
