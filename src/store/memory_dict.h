// A packed dictionary decoded into memory: every block decoded once by the
// same decoder that reading it from the files uses, so that every search
// answers exactly what it answers from the files. Immutable once decoded:
// any number of threads may search one at the same time.
#ifndef QUARVEL_SRC_STORE_MEMORY_DICT_H_
#define QUARVEL_SRC_STORE_MEMORY_DICT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/wiping_allocator.h"
#include "format/dict_layout.h"

namespace quarvel {

// Dictionaries larger than these are not decoded into memory.
inline constexpr uint64_t kMaxDecodedFileBytes = 256u << 20;
inline constexpr uint64_t kMaxDecodedSlots = 16u << 20;

class MemoryDict {
 public:
  // Decodes the dictionary whose index and data files are open as index_fd
  // and data_fd (regular files of the given sizes) and whose layout was
  // read; nullptr when it is too large to keep in memory. Throws
  // std::bad_alloc when memory runs out (PWOpen then fails; see its catch).
  static std::unique_ptr<MemoryDict> Decode(int index_fd, uint64_t index_bytes, int data_fd,
                                            uint64_t data_bytes, const DictLayout &layout);

  ~MemoryDict();
  MemoryDict(const MemoryDict &) = delete;
  MemoryDict &operator=(const MemoryDict &) = delete;

  const DictLayout &layout() const { return layout_; }
  uint32_t word_count() const { return layout_.header.word_count; }
  uint64_t block_entries() const { return block_entries_; }
  // The slots decoded: at most 16 for each block the index holds.
  uint64_t slot_count() const { return slots_.size(); }

  // Slot n as GetPW decodes it, or nullptr where the decoded blocks hold no
  // such slot or its block cannot be read.
  const char *Word(uint64_t n) const {
    if (n >= slots_.size() || slots_[n] == kUnreadable) return nullptr;
    return pool_.data() + slots_[n];
  }

  // The index of word as FindPW answers it: word_count() when absent.
  uint32_t Find(const char *word) const;

  // False only when no word that a search can reach equals word: a search
  // can answer a hit only for a word equal to one it fetched.
  bool MayContain(const char *word) const;

 private:
  MemoryDict() = default;
  static constexpr uint32_t kUnreadable = UINT32_MAX;
  void SizeTable(size_t words);
  // Enters word, the text of slot n whose hash is h, unless its text is in
  // already.
  void Enter(size_t n, std::string_view word, uint32_t h);
  void Prefetch(uint32_t hash) const;

  DictLayout layout_;
  uint64_t block_entries_ = 0;
  std::vector<uint32_t> slots_;  // per slot: offset in pool_, or kUnreadable
  // The words' texts, each ended by a NUL. A personal dictionary's words
  // are the person's: the pool leaves no copy behind as it grows.
  WipedVector<char> pool_;
  std::vector<uint32_t> table_;  // open addressing: hash tag | slot index + 1, 0 empty
  size_t mask_ = 0;
};

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_MEMORY_DICT_H_
