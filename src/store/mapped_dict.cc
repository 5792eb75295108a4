// Dictionaries served from read-only maps: decodes what the writer in
// pw_writer.cc (and DictWriter) produces, with the same checks as GetPW.

#include "store/mapped_dict.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/secure_wipe.h"
#include "format/coding.h"
#include "store/dict_search.h"

namespace quarvel {

std::unique_ptr<MappedDict> MappedDict::Map(int index_fd, uint64_t index_bytes, int data_fd,
                                            uint64_t data_bytes, const DictLayout &layout,
                                            std::string *why) {
  std::unique_ptr<MappedDict> dict(new MappedDict);
  dict->layout_ = layout;
  dict->index_ = FileMap::Map(index_fd, index_bytes, why);
  if (dict->index_ == nullptr) return nullptr;
  dict->data_ = FileMap::Map(data_fd, data_bytes, why);
  if (dict->data_ == nullptr) return nullptr;
  // A search touches one index entry and one block per step, far apart.
  dict->index_->AdviseRandom();
  dict->data_->AdviseRandom();
  return dict;
}

MappedDict::Cursor::~Cursor() { SecureWipe(words_, sizeof(words_)); }

std::span<const unsigned char> MappedDict::Block(uint64_t block) const {
  const std::span<const unsigned char> index = index_->bytes();
  const std::span<const unsigned char> data = data_->bytes();
  // The entry must lie whole within the index file, as a read of it must.
  const uint64_t at = layout_.EntryOffset(block);
  if (at > index.size() || index.size() - at < layout_.EntrySize()) return {};
  const unsigned char *entry = index.data() + at;
  const uint64_t offset = DecodeIndexEntry(layout_.is_wide, entry);
  if (offset >= data.size()) return {};
  const size_t length =
      static_cast<size_t>(std::min<uint64_t>(kMaxBlockBytes, data.size() - offset));
  return data.subspan(static_cast<size_t>(offset), length);
}

const char *MappedDict::Cursor::Word(uint64_t n) {
  const uint64_t block = n >> 4;
  if (block != block_) {
    block_ = UINT64_MAX;
    const std::span<const unsigned char> bytes = dict_.Block(block);
    if (bytes.empty()) return nullptr;
    DecodeBlock(bytes, words_);
    block_ = block;
  }
  return words_[n & 15];
}

bool MappedDict::FirstWord(uint64_t block, char (&out)[PACKED_DICT_MAX_WORD + 1]) const {
  const std::span<const unsigned char> bytes = Block(block);
  if (bytes.empty()) return false;
  // Slot 0 is stored whole: its bytes up to a NUL (or the end), at most 31.
  size_t n = 0;
  while (n < bytes.size() && n < PACKED_DICT_MAX_WORD && bytes[n] != 0) {
    out[n] = static_cast<char>(bytes[n]);
    ++n;
  }
  out[n] = '\0';
  return true;
}

bool MappedDict::InOrder() const {
  Cursor cursor(*this);
  char previous[PACKED_DICT_MAX_WORD + 1] = {};
  uint32_t marks[256] = {};
  for (uint64_t n = 0; n < word_count(); ++n) {
    ReleaseBefore(n);
    const char *word = cursor.Word(n);
    if (word == nullptr || (n > 0 && std::strcmp(previous, word) > 0)) return false;
    marks[static_cast<unsigned char>(word[0])] = static_cast<uint32_t>(n);
    std::strcpy(previous, word);
  }
  SecureWipe(previous, sizeof(previous));
  if (!layout_.use_marks) return true;
  for (int c = 1; c < 256; ++c) {
    if (marks[c] == 0) marks[c] = marks[c - 1];
  }
  return std::equal(std::begin(marks), std::end(marks), std::begin(layout_.marks));
}

bool MappedDict::Contains(const char *word) const {
  if (word == nullptr || word_count() == 0) return false;
  // The last block whose first word is not above word.
  const uint64_t blocks = (uint64_t{word_count()} + 15) / 16;
  char first[PACKED_DICT_MAX_WORD + 1];
  uint64_t lo = 0, hi = blocks;  // the block is in [lo, hi)
  while (hi - lo > 1) {
    const uint64_t mid = lo + (hi - lo) / 2;
    if (!FirstWord(mid, first)) return false;
    if (std::strcmp(first, word) <= 0) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  Cursor cursor(*this);
  bool found = false;
  for (uint64_t n = lo * 16; n < lo * 16 + 16 && n < word_count() && !found; ++n) {
    const char *candidate = cursor.Word(n);
    found = candidate != nullptr && std::strcmp(candidate, word) == 0;
  }
  SecureWipe(first, sizeof(first));
  return found;
}

uint32_t MappedDict::Find(const char *word) const {
  Cursor cursor(*this);
  return SearchSorted(word_count(), layout_.use_marks, layout_.marks, word,
                      [&cursor](uint64_t n) { return cursor.Word(n); });
}

void MappedDict::ReleaseBefore(uint64_t n) const {
  // Every 2^18 slots. Blocks are written in order, so the data read so far
  // ends about where the current block starts.
  if (n == 0 || n % (uint64_t{1} << 18) != 0) return;
  const std::span<const unsigned char> block = Block(n >> 4);
  if (!block.empty()) data_->Release(static_cast<uint64_t>(block.data() - data_->bytes().data()));
  index_->Release(layout_.EntryOffset(n >> 4));
}

uint64_t MappedDict::reachable_slots() const {
  return std::min<uint64_t>(word_count(), IndexEntries(layout_, index_->bytes().size()) * 16);
}

void MappedDict::ForEachSlot(const std::function<void(uint64_t, std::string_view)> &emit) const {
  Cursor cursor(*this);
  for (uint64_t n = 0; n < reachable_slots(); ++n) {
    ReleaseBefore(n);
    const char *word = cursor.Word(n);
    if (word == nullptr) {
      // No block for this slot: skip the rest of the block.
      n |= 15;
      continue;
    }
    emit(n, word);
  }
}

void MappedDict::ForEachWord(const std::function<void(std::string_view)> &emit) const {
  char previous[PACKED_DICT_MAX_WORD + 1] = {};
  bool any = false;
  ForEachSlot([&](uint64_t, std::string_view word) {
    if (any && word == previous) return;
    emit(word);
    // A decoded word is at most 31 bytes.
    const size_t n = std::min(word.size(), sizeof(previous) - 1);
    std::memcpy(previous, word.data(), n);
    previous[n] = '\0';
    any = true;
  });
  SecureWipe(previous, sizeof(previous));
}

}  // namespace quarvel
