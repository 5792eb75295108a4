// The write generation.

#include "store/write_generation.h"

#include <atomic>

namespace quarvel {
namespace {
constinit std::atomic<uint64_t> g_write_generation{0};
}  // namespace

uint64_t DictionaryWriteGeneration() { return g_write_generation.load(std::memory_order_acquire); }

void NoteDictionaryWrite() { g_write_generation.fetch_add(1, std::memory_order_acq_rel); }

}  // namespace quarvel
