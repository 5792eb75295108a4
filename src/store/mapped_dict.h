// A packed dictionary served from read-only memory maps of its files:
// nothing is decoded at open and nothing is copied to the heap; a search
// decodes only the blocks it touches. Every read is checked against the
// mapped sizes, so that hostile or truncated files answer as the file
// reader (GetPW, FindPW) answers them, never with an out-of-bounds access.
// Pages that another process cuts off the files while they are mapped read
// as zeros (format/map_faults.h); faulted() tells when that happened.
// Immutable once mapped: any number of threads may search one at once.
#ifndef QUARVEL_SRC_STORE_MAPPED_DICT_H_
#define QUARVEL_SRC_STORE_MAPPED_DICT_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "format/dict_layout.h"
#include "format/file_io.h"

namespace quarvel {

class MappedDict {
 public:
  // Maps the dictionary whose index and data files are open as index_fd and
  // data_fd, regular files of the given sizes, and whose layout was read.
  // nullptr, with *why set, when a file cannot be mapped (in a 32-bit
  // process, when the address space runs out).
  static std::unique_ptr<MappedDict> Map(int index_fd, uint64_t index_bytes, int data_fd,
                                         uint64_t data_bytes, const DictLayout &layout,
                                         std::string *why);

  const DictLayout &layout() const { return layout_; }
  uint32_t word_count() const { return layout_.header.word_count; }
  // The slots a search can reach: below the word count, in blocks the
  // index holds.
  uint64_t reachable_slots() const;

  // True once a read met a page that the files no longer hold (another
  // process shrank them): answers given since may be wrong.
  bool faulted() const { return index_->faulted() || data_->faulted(); }

  // The index of word as FindPW answers it: word_count() when absent.
  uint32_t Find(const char *word) const;

  // True when the words are in order, every slot below the word count has
  // its block, and the marks (when in use) are those the writer computes:
  // then a word is found exactly when it is stored, and Contains may search
  // block by block. Reads every block, giving their pages back as it goes.
  bool InOrder() const;

  // For a dictionary InOrder() approved: whether word is stored, found by
  // the first words of the blocks (read from the map without decoding) and
  // one decoded block. Answers as Find(word) != word_count() does there.
  bool Contains(const char *word) const;

  // Hands every word a search can reach (slots below the word count that
  // decode) to emit, in index order; a word equal to the one before it is
  // handed once. The pages read on the way are given back as it goes, so
  // that a pass over a large dictionary does not stay resident.
  void ForEachWord(const std::function<void(std::string_view)> &emit) const;

  // Hands every slot a search can reach that decodes to a word, with its
  // index, to emit in index order; slots whose block the files do not hold
  // are skipped. Gives pages back as ForEachWord does.
  void ForEachSlot(const std::function<void(uint64_t, std::string_view)> &emit) const;

  // The block cursor of one search: decodes block after block on demand.
  class Cursor {
   public:
    explicit Cursor(const MappedDict &dict) : dict_(dict) {}
    ~Cursor();
    Cursor(const Cursor &) = delete;
    Cursor &operator=(const Cursor &) = delete;
    // Slot n as GetPW decodes it, or nullptr where the files hold no block
    // for it.
    const char *Word(uint64_t n);

   private:
    const MappedDict &dict_;
    uint64_t block_ = UINT64_MAX;
    char words_[PACKED_DICT_BLOCK_WORDS][PACKED_DICT_MAX_WORD + 1];
  };

 private:
  MappedDict() = default;
  // The first word of block b as its block decodes it, into out; false
  // when the files hold no such block.
  bool FirstWord(uint64_t block, char (&out)[PACKED_DICT_MAX_WORD + 1]) const;
  // In a pass over the words, at slot n: gives back the pages read before.
  void ReleaseBefore(uint64_t n) const;
  // The bytes of block b, or an empty span.
  std::span<const unsigned char> Block(uint64_t block) const;

  DictLayout layout_;
  std::unique_ptr<FileMap> index_, data_;
};

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_MAPPED_DICT_H_
