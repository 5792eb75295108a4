// The words a dictionary build gathers in memory, within a budget, and
// their sort in byte order.
//
// One area of the budget's size holds them: the texts, each followed by a
// NUL, fill it from its start, and an entry per word fills it from its end.
// The pool is full when the two meet, so the budget holds as many words as
// their lengths allow. An entry is the word's first eight bytes read as a
// big-endian number, and where its text starts: sorting moves entries only,
// and most comparisons end within those eight bytes, without reading the
// text.
//
// A ranked pool also keeps a 32-bit rank per word, in the 4 bytes before its
// text; a sort that keeps each word once keeps the smallest rank of its
// copies.
//
// Word lists may be personal: the parts of the area that held words are
// wiped before the area is reused or freed.
#ifndef QUARVEL_SRC_BUILD_WORD_POOL_H_
#define QUARVEL_SRC_BUILD_WORD_POOL_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quarvel::engine {

class WordPool {
 public:
  struct Entry {
    uint64_t head;  // the first eight bytes, big-endian, zero after the end
    size_t offset;  // where the text starts in the area
  };

  explicit WordPool(uint64_t budget, bool ranked = false);
  ~WordPool();
  WordPool(const WordPool &) = delete;
  WordPool &operator=(const WordPool &) = delete;

  // False when the word does not fit the budget (never for an empty pool).
  // Words go into a pool that was not sorted since it was last cleared. A
  // ranked pool keeps rank with the word; others ignore it.
  bool Add(std::string_view word, uint32_t rank = 0);

  bool ranked() const { return rank_bytes_ != 0; }
  bool empty() const { return count_ == 0; }
  size_t size() const { return count_; }
  std::string_view at(size_t i) const { return area_ + first_[i].offset; }
  // The rank of word i of a ranked pool (0 in others).
  uint32_t rank_at(size_t i) const { return ranked() ? RankAt(first_[i].offset) : 0; }

  // Takes the whole budget's address space at once, for input known to
  // fill it: growing a full area geometrically would hold the old and the
  // new one together. Pages count only once written. A 32-bit process
  // keeps growing as it goes.
  void ReserveAll();

  // Sorts the words in byte order (that of strcmp); with unique, keeps each
  // once (in a ranked pool, with the smallest rank of its copies). Large
  // pools are sorted on two threads where two cores run.
  void Sort(bool unique = true);

  // Forgets the words (wiped); the area stays for the next ones.
  void Clear();
  // Gives the area back, wiped.
  void Release();

 private:
  bool Grow(size_t needed);
  char *end() const { return area_ + capacity_; }
  uint32_t RankAt(size_t offset) const;
  void SetRankAt(size_t offset, uint32_t rank);

  size_t limit_;
  size_t rank_bytes_;  // before each text: 4 in a ranked pool, else 0
  char *area_ = nullptr;
  size_t capacity_ = 0;
  size_t text_ = 0;  // bytes of text from the area's start
  // The entries are [first_, first_ + count_); a sort that keeps each word
  // once leaves the ones it dropped after them, up to the area's end.
  Entry *first_ = nullptr;
  size_t count_ = 0;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_BUILD_WORD_POOL_H_
