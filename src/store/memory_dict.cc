// Dictionaries decoded into memory.

#include "store/memory_dict.h"

#include <algorithm>
#include <cstring>

#include "base/secure_wipe.h"
#include "format/coding.h"
#include "format/file_io.h"
#include "store/dict_search.h"

namespace quarvel {
namespace {

constexpr uint32_t kHashStart = 2166136261u;
uint32_t HashStep(uint32_t h, char c) { return (h ^ static_cast<unsigned char>(c)) * 16777619u; }

// An entry of the table: the slot's index + 1 in the low bits (0: empty),
// and the top bits of its word's hash above them, which tell most other
// words apart without comparing texts.
constexpr uint32_t kIndexBits = 25;
static_assert(kMaxDecodedSlots < (uint64_t{1} << kIndexBits));
constexpr uint32_t kIndexMask = (uint32_t{1} << kIndexBits) - 1;
constexpr uint32_t TagOf(uint32_t hash) { return hash & ~kIndexMask; }

uint32_t HashWord(std::string_view word) {
  uint32_t h = kHashStart;
  for (char c : word) h = HashStep(h, c);
  return h;
}

// Reads a whole file of size bytes from its start.
bool ReadWhole(int fd, uint64_t size, WipedVector<unsigned char> &out) {
  if (size > kMaxDecodedFileBytes) return false;
  out.resize(static_cast<size_t>(size));
  out.resize(ReadAtFd(fd, 0, out));
  return true;
}

}  // namespace

std::unique_ptr<MemoryDict> MemoryDict::Decode(int index_fd, uint64_t index_bytes, int data_fd,
                                               uint64_t data_bytes, const DictLayout &layout) {
  // Refused before anything is read when the files say it is too large.
  const uint64_t word_count = layout.header.word_count;
  if (std::min(IndexEntries(layout, index_bytes), (word_count + 15) / 16) * 16 > kMaxDecodedSlots) {
    return nullptr;
  }
  // The data file holds the words: it is wiped once decoded.
  WipedVector<unsigned char> index, data;
  if (!ReadWhole(index_fd, index_bytes, index) || !ReadWhole(data_fd, data_bytes, data)) {
    return nullptr;
  }
  std::unique_ptr<MemoryDict> dict(new MemoryDict);
  dict->layout_ = layout;

  dict->block_entries_ = IndexEntries(layout, index.size());
  const uint64_t blocks_needed = (static_cast<uint64_t>(layout.header.word_count) + 15) / 16;
  const uint64_t blocks = std::min<uint64_t>(dict->block_entries_, blocks_needed);
  if (blocks * 16 > kMaxDecodedSlots) return nullptr;

  dict->pool_.push_back('\0');  // offset 0: the empty word
  dict->slots_.reserve(static_cast<size_t>(blocks) * 16);
  // Each word is entered in the table as it is decoded, while its text is
  // at hand.
  const size_t reachable = std::min<size_t>(blocks * 16, layout.header.word_count);
  dict->SizeTable(reachable);
  BlockSlots words;
  BlockLengths lengths;
  for (uint64_t b = 0; b < blocks; ++b) {
    const unsigned char *entry = index.data() + layout.EntryOffset(b);
    const uint64_t offset = DecodeIndexEntry(layout.is_wide, entry);
    if (offset >= data.size()) {
      dict->slots_.insert(dict->slots_.end(), 16, kUnreadable);
      continue;
    }
    const size_t length = std::min<size_t>(kMaxBlockBytes, data.size() - offset);
    DecodeBlock(std::span(data.data() + offset, length), words, lengths);
    // The block's words, each ended by its NUL, grow the pool in one step.
    size_t at = dict->pool_.size(), grown = 0;
    for (const uint8_t n : lengths) grown += n == 0 ? 0 : n + size_t{1};
    dict->pool_.resize(at + grown);
    // The table is read at random: the block's places in it are fetched
    // from memory together, before any is needed.
    uint32_t hashes[kBlockWords];
    for (int s = 0; s < kBlockWords; ++s) {
      hashes[s] = HashWord(std::string_view(words[s], lengths[s]));
      dict->Prefetch(hashes[s]);
    }
    for (int s = 0; s < kBlockWords; ++s) {
      const size_t n = lengths[s];
      const uint32_t slot = n == 0 ? 0 : static_cast<uint32_t>(at);
      if (n != 0) {
        std::memcpy(dict->pool_.data() + at, words[s], n + 1);
        at += n + 1;
      }
      const size_t index_of_slot = dict->slots_.size();
      dict->slots_.push_back(slot);
      if (index_of_slot < reachable) {
        dict->Enter(index_of_slot, std::string_view(dict->pool_.data() + slot, n), hashes[s]);
      }
    }
    if (dict->pool_.size() > kMaxDecodedFileBytes) return nullptr;
  }
  SecureWipe(words, sizeof(words));
  return dict;
}

MemoryDict::~MemoryDict() = default;

uint32_t MemoryDict::Find(const char *word) const {
  const uint32_t count = word_count();
  if (word == nullptr || !MayContain(word)) return count;
  return SearchSorted(count, layout_.use_marks, layout_.marks, word,
                      [this](uint64_t n) { return Word(n); });
}

bool MemoryDict::MayContain(const char *word) const {
  if (table_.empty()) return false;
  // Hashed and measured in one pass: no slot holds kSlotBytes characters.
  uint32_t h = kHashStart;
  for (size_t n = 0; word[n] != '\0'; ++n) {
    if (n == kSlotBytes - 1) return false;
    h = HashStep(h, word[n]);
  }
  for (size_t i = h & mask_;; i = (i + 1) & mask_) {
    const uint32_t entry = table_[i];
    if (entry == 0) return false;
    if (TagOf(entry) == TagOf(h) &&
        std::strcmp(word, pool_.data() + slots_[(entry & kIndexMask) - 1]) == 0) {
      return true;
    }
  }
}

// An open-addressing set of the words a search can reach, each distinct
// text once: room for words, at most half full.
void MemoryDict::SizeTable(size_t words) {
  size_t capacity = 16;
  while (capacity < 2 * words) capacity *= 2;
  table_.assign(capacity, 0);
  mask_ = capacity - 1;
}

void MemoryDict::Prefetch(uint32_t hash) const { __builtin_prefetch(&table_[hash & mask_]); }

void MemoryDict::Enter(size_t n, std::string_view word, uint32_t h) {
  for (size_t i = h & mask_;; i = (i + 1) & mask_) {
    const uint32_t entry = table_[i];
    if (entry == 0) {
      table_[i] = static_cast<uint32_t>(n + 1) | TagOf(h);
      return;
    }
    if (TagOf(entry) == TagOf(h) && word == pool_.data() + slots_[(entry & kIndexMask) - 1]) return;
  }
}

}  // namespace quarvel
