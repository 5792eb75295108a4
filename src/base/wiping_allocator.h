// Containers for secrets: an allocator that wipes every block before it
// frees it, so that a vector that grows leaves no copy of its old contents
// in freed memory.
#ifndef QUARVEL_SRC_BASE_WIPING_ALLOCATOR_H_
#define QUARVEL_SRC_BASE_WIPING_ALLOCATOR_H_

#include <cstddef>
#include <memory>
#include <vector>

#include "base/secure_wipe.h"

namespace quarvel {

// Frees nothing it has not wiped.
template <typename T>
struct WipingAllocator {
  using value_type = T;
  WipingAllocator() = default;
  template <typename U>
  WipingAllocator(const WipingAllocator<U> &) {}
  T *allocate(size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T *p, size_t n) {
    SecureWipe(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }
  template <typename U>
  bool operator==(const WipingAllocator<U> &) const {
    return true;
  }
};

template <typename T>
using WipedVector = std::vector<T, WipingAllocator<T>>;

}  // namespace quarvel

#endif  // QUARVEL_SRC_BASE_WIPING_ALLOCATOR_H_
