// The growable pointer list.
#include "quarvel/glist.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t RoundUp(size_t n, size_t align) { return (n + align - 1) / align * align; }

// C callers read the record directly, so its layout is part of the interface.
static_assert(offsetof(glist, elems) == 0);
static_assert(offsetof(glist, length) == sizeof(void **));
static_assert(offsetof(glist, capacity) == sizeof(void **) + 4);
static_assert(offsetof(glist, grow_by) == sizeof(void **) + 8);
static_assert(sizeof(glist) == RoundUp(sizeof(void **) + 12, alignof(void **)));

// Slot arrays beyond this many slots cannot be addressed: the byte count
// would overflow size_t on 32-bit targets.
constexpr int64_t kMaxSlots = static_cast<int64_t>(SIZE_MAX / sizeof(void *)) < INT32_MAX
                                  ? static_cast<int64_t>(SIZE_MAX / sizeof(void *))
                                  : INT32_MAX;

}  // namespace

glist *glist_create(int32_t capacity, int32_t grow_by) noexcept {
  if (capacity < 0 || grow_by < 0 || capacity > kMaxSlots) return nullptr;
  auto *list = static_cast<glist *>(std::malloc(sizeof(glist)));
  if (list == nullptr) return nullptr;
  list->elems = nullptr;
  if (capacity > 0) {
    list->elems = static_cast<void **>(std::malloc(static_cast<size_t>(capacity) * sizeof(void *)));
    if (list->elems == nullptr) {
      std::free(list);
      return nullptr;
    }
  }
  list->length = 0;
  list->capacity = capacity;
  list->grow_by = grow_by;
  return list;
}

void glist_destroy(glist *list) noexcept {
  if (list == nullptr) return;
  std::free(list->elems);
  std::free(list);
}

namespace {

// The growth rule; false when the slot array could not be resized, in which
// case the list is exactly as it was (its old slot array is still valid).
bool EnsureCapacity(glist *list, int32_t n) {
  // 64-bit arithmetic: length + n and capacity + step may exceed int32.
  if (static_cast<int64_t>(list->length) + n < list->capacity) return true;
  const int64_t step = list->grow_by > n ? list->grow_by : n;
  if (step == 0) return true;
  const int64_t wanted = static_cast<int64_t>(list->capacity) + step;
  void **grown = nullptr;
  if (wanted <= kMaxSlots) {
    grown = static_cast<void **>(
        std::realloc(list->elems, static_cast<size_t>(wanted) * sizeof(void *)));
  }
  if (grown == nullptr) {
    std::fprintf(stderr, "realloc failure in %s()\n", "glist_check_capacity");
    return false;
  }
  list->elems = grown;
  list->capacity = static_cast<int32_t>(wanted);
  return true;
}

}  // namespace

void glist_check_capacity(glist *list, int32_t n) noexcept {
  if (list != nullptr) EnsureCapacity(list, n);
}

int32_t glist_put(glist *list, void *elem) noexcept {
  // A failed growth refuses the element even when a last free slot remains,
  // so that a failure always leaves the list unchanged.
  if (list == nullptr || !EnsureCapacity(list, 1)) return -1;
  list->elems[list->length] = elem;
  return list->length++;
}

void *glist_get(const glist *list, int32_t index) noexcept {
  if (list == nullptr || list->elems == nullptr || index < 0 || index >= list->length) {
    return nullptr;
  }
  return list->elems[index];
}

void *glist_remove(glist *list, int32_t index) noexcept {
  if (list == nullptr || list->elems == nullptr || index < 0 || index >= list->length) {
    return nullptr;
  }
  void *elem = list->elems[index];
  std::memmove(list->elems + index, list->elems + index + 1,
               static_cast<size_t>(list->length - index - 1) * sizeof(void *));
  --list->length;
  return elem;
}

int32_t glist_size(const glist *list) noexcept { return list == nullptr ? -1 : list->length; }
