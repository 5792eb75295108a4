// Serving the descriptor of PWOpen from memory.

#include "store/pw_memory_serving.h"

#include <cstring>

#include "store/pw_descriptor.h"

namespace quarvel {
namespace {

// The decoded dictionary that the open descriptor is served from, or NULL.
std::shared_ptr<const MemoryDict> g_active;

}  // namespace

void ServeFromMemory(std::shared_ptr<const MemoryDict> dict) { g_active = std::move(dict); }

void StopServingFromMemory() { g_active.reset(); }

bool ServedFromMemory(const PackedDict *pwp) {
  return g_active != nullptr && pwp == &pdesc && IsOpen(pwp) &&
         (pwp->flags & PACKED_DICT_WRITE) == 0;
}

char *MemoryWord(uint32_t number, BlockSlots &area) {
  const uint64_t first = number & ~uint32_t{15};
  if (g_active->Word(first) == nullptr) return nullptr;
  for (int s = 0; s < kBlockWords; ++s) {
    std::strncpy(area[s], g_active->Word(first + s), kSlotBytes);
  }
  return area[number & 15];
}

int32_t MemoryFind(const char *word) { return static_cast<int32_t>(g_active->Find(word)); }

}  // namespace quarvel
