// The word pool of a dictionary build, and its sort: a most-significant-
// byte-first radix sort of the entries' heads (an in-place "American flag"
// distribution per byte), whose small parts are finished by insertion, and
// whose words sharing all eight head bytes are compared from their ninth.

#include "build/word_pool.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "base/secure_wipe.h"

namespace quarvel::engine {
namespace {

using Entry = WordPool::Entry;

constexpr size_t kAlign = 16;
constexpr size_t kFirstArea = size_t{1} << 20;
constexpr size_t kInsertionBelow = 24;
// Pools of at least this many words are sorted on two threads.
constexpr size_t kParallelFrom = size_t{1} << 20;

uint64_t HeadOf(std::string_view word) {
  uint64_t head = 0;
  const size_t n = std::min<size_t>(word.size(), 8);
  for (size_t i = 0; i < n; ++i) {
    head |= uint64_t{static_cast<unsigned char>(word[i])} << (56 - 8 * i);
  }
  return head;
}

// Orders entries as strcmp orders their words. Equal heads with a zero last
// byte belong to equal words of fewer than eight bytes.
struct Less {
  const char *text;
  bool operator()(const Entry &a, const Entry &b) const {
    if (a.head != b.head) return a.head < b.head;
    if ((a.head & 0xff) == 0) return false;
    return std::strcmp(text + a.offset + 8, text + b.offset + 8) < 0;
  }
};

bool Same(const char *text, const Entry &a, const Entry &b) {
  return a.head == b.head &&
         ((a.head & 0xff) == 0 || std::strcmp(text + a.offset + 8, text + b.offset + 8) == 0);
}

void InsertionSort(Entry *e, size_t n, const Less &less) {
  for (size_t i = 1; i < n; ++i) {
    const Entry x = e[i];
    size_t j = i;
    for (; j > 0 && less(x, e[j - 1]); --j) e[j] = e[j - 1];
    e[j] = x;
  }
}

inline unsigned ByteAt(const Entry &e, int depth) {
  return static_cast<unsigned>(e.head >> (56 - 8 * depth)) & 0xff;
}

// Distributes e[0, n) by head byte depth, in place; bounds[b] and
// bounds[b + 1] delimit the entries of byte b afterwards.
void Distribute(Entry *e, size_t n, int depth, size_t (&bounds)[257]) {
  size_t count[256] = {};
  for (size_t i = 0; i < n; ++i) ++count[ByteAt(e[i], depth)];
  size_t next[256];
  bounds[0] = 0;
  for (int b = 0; b < 256; ++b) {
    next[b] = bounds[b];
    bounds[b + 1] = bounds[b] + count[b];
  }
  for (unsigned b = 0; b < 256; ++b) {
    while (next[b] < bounds[b + 1]) {
      Entry x = e[next[b]];
      unsigned xb = ByteAt(x, depth);
      while (xb != b) {
        std::swap(x, e[next[xb]++]);
        xb = ByteAt(x, depth);
      }
      e[next[b]++] = x;
    }
  }
}

// Sorts e[0, n), whose heads agree on the bytes before depth.
void SortFrom(Entry *e, size_t n, int depth, const Less &less) {
  while (n >= kInsertionBelow && depth < 8) {
    size_t bounds[257];
    Distribute(e, n, depth, bounds);
    // Byte 0: the words ended before this byte, and are equal.
    size_t largest = 1;
    for (unsigned b = 1; b < 256; ++b) {
      if (bounds[b + 1] - bounds[b] > bounds[largest + 1] - bounds[largest]) largest = b;
    }
    for (unsigned b = 1; b < 256; ++b) {
      if (b != largest) SortFrom(e + bounds[b], bounds[b + 1] - bounds[b], depth + 1, less);
    }
    e += bounds[largest];
    n = bounds[largest + 1] - bounds[largest];
    ++depth;
  }
  if (n < kInsertionBelow) {
    InsertionSort(e, n, less);
  } else {
    std::sort(e, e + n, less);  // equal heads: the rest of the words decides
  }
}

// The first byte's parts shared between two threads, largest first.
void SortInParallel(Entry *e, size_t n, const Less &less) {
  size_t bounds[257];
  Distribute(e, n, 0, bounds);
  unsigned order[255];
  for (unsigned b = 1; b < 256; ++b) order[b - 1] = b;
  std::sort(order, order + 255, [&bounds](unsigned x, unsigned y) {
    return bounds[x + 1] - bounds[x] > bounds[y + 1] - bounds[y];
  });
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t k; (k = next.fetch_add(1)) < 255;) {
      const unsigned b = order[k];
      SortFrom(e + bounds[b], bounds[b + 1] - bounds[b], 1, less);
    }
  };
  std::thread helper;
  try {
    helper = std::thread(work);
  } catch (const std::system_error &) {
    // No second thread: this one does it all.
  }
  work();
  if (helper.joinable()) helper.join();
}

}  // namespace

WordPool::WordPool(uint64_t budget, bool ranked)
    : limit_(static_cast<size_t>(std::min<uint64_t>(budget, SIZE_MAX / 4)) & ~(kAlign - 1)),
      rank_bytes_(ranked ? sizeof(uint32_t) : 0) {}

WordPool::~WordPool() { Release(); }

bool WordPool::Grow(size_t needed) {
  if (needed > limit_ && count_ > 0) return false;
  size_t capacity = std::max({needed, std::min(limit_, std::max(2 * capacity_, kFirstArea))});
  capacity = (capacity + kAlign - 1) & ~(kAlign - 1);
  char *area = static_cast<char *>(std::aligned_alloc(kAlign, capacity));
  if (area == nullptr) throw std::bad_alloc();
  if (area_ != nullptr) {
    const size_t entry_bytes = count_ * sizeof(Entry);
    std::memcpy(area, area_, text_);
    std::memcpy(area + capacity - entry_bytes, first_, entry_bytes);
    SecureWipe(area_, text_);
    SecureWipe(first_, entry_bytes);
    std::free(area_);
  }
  area_ = area;
  capacity_ = capacity;
  first_ = reinterpret_cast<Entry *>(end()) - count_;
  return true;
}

uint32_t WordPool::RankAt(size_t offset) const {
  uint32_t rank;
  std::memcpy(&rank, area_ + offset - sizeof(rank), sizeof(rank));
  return rank;
}

void WordPool::SetRankAt(size_t offset, uint32_t rank) {
  std::memcpy(area_ + offset - sizeof(rank), &rank, sizeof(rank));
}

bool WordPool::Add(std::string_view word, uint32_t rank) {
  const size_t needed = text_ + rank_bytes_ + word.size() + 1 + (count_ + 1) * sizeof(Entry);
  if (needed > capacity_ && !Grow(needed)) return false;
  Entry *entry = first_ - 1;
  entry->head = HeadOf(word);
  entry->offset = text_ + rank_bytes_;
  if (ranked()) SetRankAt(entry->offset, rank);
  std::memcpy(area_ + entry->offset, word.data(), word.size());
  area_[entry->offset + word.size()] = '\0';
  text_ = entry->offset + word.size() + 1;
  first_ = entry;
  ++count_;
  return true;
}

void WordPool::ReserveAll() {
  if (sizeof(void *) < 8 || capacity_ >= limit_) return;
  Grow(limit_);
}

void WordPool::Sort(bool unique) {
  const Less less{area_};
  if (count_ >= kParallelFrom && std::thread::hardware_concurrency() > 1) {
    SortInParallel(first_, count_, less);
  } else {
    SortFrom(first_, count_, 0, less);
  }
  if (!unique || count_ == 0) return;
  size_t kept = 1;
  for (size_t i = 1; i < count_; ++i) {
    if (!Same(area_, first_[kept - 1], first_[i])) {
      first_[kept++] = first_[i];
    } else if (ranked()) {
      const size_t at = first_[kept - 1].offset;
      SetRankAt(at, std::min(RankAt(at), RankAt(first_[i].offset)));
    }
  }
  count_ = kept;
}

void WordPool::Clear() {
  if (area_ == nullptr) return;
  SecureWipe(area_, text_);
  SecureWipe(first_, static_cast<size_t>(end() - reinterpret_cast<char *>(first_)));
  text_ = 0;
  count_ = 0;
  first_ = reinterpret_cast<Entry *>(end());
}

void WordPool::Release() {
  Clear();
  std::free(area_);
  area_ = nullptr;
  capacity_ = 0;
  first_ = nullptr;
}

}  // namespace quarvel::engine
