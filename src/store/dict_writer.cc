// The reentrant dictionary writer. The bytes are those of the layouts in
// format/dict_layout.h, the same as the process-wide writer (PWOpen, PutPW,
// PWClose in pw_writer.cc) writes; the wide layout (8-byte words count,
// offsets and marks) is written by this writer alone. Blocks are written as they
// fill, so the layout is known only once a block starts at wide_threshold or
// beyond: the standard entries written until then are widened in place, from
// the last to the first, since entry b only ever moves to a later position.

#include "store/dict_writer.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "base/secure_wipe.h"
#include "format/coding.h"
#include "format/dict_layout.h"

namespace quarvel {
namespace {

constexpr size_t kMaxWord = PACKED_DICT_MAX_WORD;
// Entries widened per read and write when switching layouts.
constexpr uint64_t kWidenChunk = 4096;

bool WriteAll(FILE *file, std::span<const unsigned char> bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

bool SeekTo(FILE *file, uint64_t offset) {
  return offset <= static_cast<uint64_t>(INT64_MAX) &&
         fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

}  // namespace

DictWriter::DictWriter(UniqueFile data, UniqueFile index, UniqueFile mark, uint64_t wide_threshold)
    : data_(std::move(data)),
      index_(std::move(index)),
      mark_(std::move(mark)),
      wide_threshold_(wide_threshold) {
  if (data_ == nullptr || index_ == nullptr) {
    failed_ = true;
    return;
  }
  // The header's place; its final content is written by Finish.
  unsigned char header[kIndexHeaderBytes];
  EncodeIndexHeader({kDictMagic, 0, kBlockWords, 0}, header);
  if (!WriteAll(index_.get(), header)) failed_ = true;
}

DictWriter::~DictWriter() { SecureWipe(pending_, sizeof(pending_)); }

bool DictWriter::Add(std::string_view word) {
  if (failed_) return false;
  word = word.substr(0, std::min(word.find('\0'), kMaxWord));
  if (word.empty()) return false;
  if (word_count_ >= UINT32_MAX) {
    failed_ = true;
    return false;
  }
  char *slot = pending_[pending_count_];
  std::memcpy(slot, word.data(), word.size());
  std::memset(slot + word.size(), 0, sizeof(pending_[0]) - word.size());
  marks_[static_cast<unsigned char>(word[0])] = static_cast<uint32_t>(word_count_);
  ++pending_count_;
  ++word_count_;
  if (pending_count_ == PACKED_DICT_BLOCK_WORDS && !WriteBlock()) failed_ = true;
  return !failed_;
}

bool DictWriter::WriteBlock() {
  if (!wide_ && data_offset_ >= wide_threshold_ && !SwitchToWide()) return false;
  unsigned char entry[8];
  EncodeFixed64(entry, data_offset_);
  if (!WriteAll(index_.get(), std::span(entry, IndexEntrySize(wide_)))) return false;

  std::array<unsigned char, kMaxBlockBytes> block;
  const size_t length = EncodeBlock(pending_, block);
  const bool ok = WriteAll(data_.get(), std::span(block.data(), length));
  SecureWipe(block.data(), block.size());
  SecureWipe(pending_, sizeof(pending_));
  pending_count_ = 0;
  if (!ok) return false;
  data_offset_ += length;
  ++blocks_;
  return true;
}

bool DictWriter::SwitchToWide() {
  if (std::fflush(index_.get()) != 0) return false;
  std::vector<unsigned char> narrow(4 * kWidenChunk), widened(8 * kWidenChunk);
  for (uint64_t end = blocks_; end > 0;) {
    const uint64_t begin = end - std::min(end, kWidenChunk);
    const size_t n = static_cast<size_t>(end - begin);
    if (!SeekTo(index_.get(), IndexEntryOffset(/*wide=*/false, begin)) ||
        std::fread(narrow.data(), 1, 4 * n, index_.get()) != 4 * n) {
      return false;
    }
    for (size_t i = 0; i < n; ++i) EncodeFixed64(&widened[8 * i], DecodeFixed32(&narrow[4 * i]));
    if (!SeekTo(index_.get(), IndexEntryOffset(/*wide=*/true, begin)) ||
        !WriteAll(index_.get(), std::span(widened.data(), 8 * n))) {
      return false;
    }
    end = begin;
  }
  wide_ = true;
  return SeekTo(index_.get(), IndexEntryOffset(/*wide=*/true, blocks_));
}

bool DictWriter::WriteHeader() {
  unsigned char header[kWideIndexHeaderBytes];
  size_t size;
  if (wide_) {
    EncodeWideIndexHeader(word_count_, header);
    size = kWideIndexHeaderBytes;
  } else {
    EncodeIndexHeader({kDictMagic, static_cast<uint32_t>(word_count_), kBlockWords, 0},
                      std::span(header).first<kIndexHeaderBytes>());
    size = kIndexHeaderBytes;
  }
  return SeekTo(index_.get(), 0) && WriteAll(index_.get(), std::span(header, size));
}

bool DictWriter::WriteMarks() {
  // A byte that begins no word takes the entry before it, as PWClose does.
  for (size_t c = 1; c < marks_.size(); ++c) {
    if (marks_[c] == 0) marks_[c] = marks_[c - 1];
  }
  std::array<unsigned char, kWideMarkBytes> raw;
  const size_t size = EncodeMarks(marks_, wide_, raw);
  return WriteAll(mark_.get(), std::span(raw.data(), size));
}

bool DictWriter::Finish() {
  bool ok = !failed_ && WriteBlock() && WriteHeader() && (mark_ == nullptr || WriteMarks());
  // A failure to write the last buffered bytes shows only at the close.
  for (UniqueFile *file : {&data_, &index_, &mark_}) {
    if (*file != nullptr && std::fclose(file->release()) != 0) ok = false;
  }
  if (!ok) failed_ = true;
  return ok;
}

}  // namespace quarvel
