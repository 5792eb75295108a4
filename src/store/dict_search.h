// The binary search of a packed dictionary, over any source of its words.
#ifndef QUARVEL_SRC_STORE_DICT_SEARCH_H_
#define QUARVEL_SRC_STORE_DICT_SEARCH_H_

#include <cstdint>
#include <cstring>

namespace quarvel {

// The index of word among count words sorted in strcmp order, or count when
// it is absent. word_at(n) gives word n, or nullptr when it cannot be read
// (then the search answers absent). With marks in use, the search starts
// from the range of words that share word's first byte: just after the last
// word of an earlier first byte, up to and including the last word of this
// one. Signed 64-bit arithmetic cannot overflow whatever the header says.
template <typename WordAt>
uint32_t SearchSorted(uint32_t count, bool use_marks, const uint32_t (&marks)[256],
                      const char *word, WordAt &&word_at) {
  if (word == nullptr || count == 0) return count;
  int64_t lo = 0;
  int64_t hi = static_cast<int64_t>(count) - 1;
  if (use_marks) {
    const unsigned char c = static_cast<unsigned char>(word[0]);
    const uint32_t mark_lo = c != 0 ? marks[c - 1] : 0;
    const uint32_t mark_hi = marks[c];
    if (mark_hi >= mark_lo && mark_hi < count) {
      lo = mark_lo;
      hi = mark_hi;
    }
  }
  if (lo == 0) lo = -1;  // index 0 itself belongs to the range

  for (;;) {
    const int64_t mid = lo + ((hi - lo + 1) >> 1);
    const char *candidate = word_at(static_cast<uint64_t>(mid));
    if (candidate == nullptr) return count;
    const int cmp = std::strcmp(word, candidate);
    if (cmp == 0) return static_cast<uint32_t>(mid);
    if (mid == hi) return count;
    if (cmp < 0) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
}

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_DICT_SEARCH_H_
