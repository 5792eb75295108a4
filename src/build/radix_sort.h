// Sorting words in byte order with a three-way radix quicksort: it
// partitions by one byte at a time, so no comparison starts again from a
// word's first byte, and it sorts in place.
#ifndef QUARVEL_SRC_BUILD_RADIX_SORT_H_
#define QUARVEL_SRC_BUILD_RADIX_SORT_H_

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace quarvel {

// Sorts n items, each the start of a NUL-terminated word in text, in the
// order of strcmp, looking at bytes from depth on. Equal words are equal
// texts, so the order among them does not show. Nesting stays logarithmic
// whatever the words: the smaller parts go by recursion, the largest by the
// loop.
template <typename Index>
void RadixQuicksort(const char *text, Index *items, size_t n, size_t depth) {
  constexpr size_t kSmall = 16;
  auto byte = [text](Index item, size_t d) {
    return static_cast<unsigned char>(text[static_cast<size_t>(item) + d]);
  };
  while (n > kSmall) {
    // Median of three bytes as the pivot.
    unsigned char a = byte(items[0], depth), b = byte(items[n / 2], depth),
                  c = byte(items[n - 1], depth);
    if (a > b) std::swap(a, b);
    if (b > c) std::swap(b, c);
    if (a > b) std::swap(a, b);
    const unsigned char pivot = b;
    // items[0, lt) < pivot, [lt, i) == pivot, [gt, n) > pivot.
    size_t lt = 0, i = 0, gt = n;
    while (i < gt) {
      const unsigned char x = byte(items[i], depth);
      if (x < pivot) {
        std::swap(items[lt++], items[i++]);
      } else if (x > pivot) {
        std::swap(items[i], items[--gt]);
      } else {
        ++i;
      }
    }
    // The equal part goes on with the next byte; with pivot NUL it holds
    // equal words, and is done.
    struct Part {
      Index *items;
      size_t n, depth;
    };
    Part parts[3] = {{items, lt, depth},
                     {items + lt, pivot == 0 ? 0 : gt - lt, depth + 1},
                     {items + gt, n - gt, depth}};
    Part *largest =
        std::max_element(parts, parts + 3, [](const Part &x, const Part &y) { return x.n < y.n; });
    for (Part &part : parts) {
      if (&part != largest) RadixQuicksort(text, part.items, part.n, part.depth);
    }
    items = largest->items;
    n = largest->n;
    depth = largest->depth;
  }
  for (size_t i = 1; i < n; ++i) {
    const Index item = items[i];
    size_t j = i;
    while (j > 0 && std::strcmp(text + static_cast<size_t>(items[j - 1]) + depth,
                                text + static_cast<size_t>(item) + depth) > 0) {
      items[j] = items[j - 1];
      --j;
    }
    items[j] = item;
  }
}

}  // namespace quarvel

#endif  // QUARVEL_SRC_BUILD_RADIX_SORT_H_
