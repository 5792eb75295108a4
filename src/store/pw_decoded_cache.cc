// The cache of decoded dictionaries behind PWOpen.

#include "store/pw_decoded_cache.h"

#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include "store/dictmanger_internal.h"

namespace quarvel {
namespace {

constexpr size_t kCacheEntries = 16;

struct CacheEntry {
  std::string prefix;
  Identities files;
  std::shared_ptr<const MemoryDict> dict;  // NULL: read this one from its files
  bool refused = false;                    // these files cannot be decoded: do not try again
  uint64_t last_used = 0;
};

// The cache's state; PWOpen's callers serialise, so no lock.
struct Cache {
  std::vector<CacheEntry> entries;
  uint64_t clock = 0;
  bool enabled = true;
  int64_t racy_nanoseconds = kDefaultRacyNanoseconds;

  CacheEntry *Find(std::string_view prefix) {
    for (CacheEntry &entry : entries) {
      if (entry.prefix == prefix) return &entry;
    }
    return nullptr;
  }

  void Remember(std::string_view prefix, const Identities &files,
                std::shared_ptr<const MemoryDict> dict, bool refused) {
    CacheEntry *entry = Find(prefix);
    if (entry == nullptr) {
      if (entries.size() < kCacheEntries) {
        entry = &entries.emplace_back();
      } else {
        entry = &*std::min_element(
            entries.begin(), entries.end(),
            [](const CacheEntry &a, const CacheEntry &b) { return a.last_used < b.last_used; });
      }
      entry->prefix.assign(prefix);
    }
    entry->files = files;
    entry->dict = std::move(dict);
    entry->refused = refused;
    entry->last_used = ++clock;
  }
};

Cache g_cache;

}  // namespace

std::shared_ptr<const MemoryDict> DecodedDictionary(std::string_view prefix,
                                                    const Identities &files, int index_fd,
                                                    int data_fd, const DictLayout &layout) {
  CacheEntry *cached = g_cache.Find(prefix);
  if (cached != nullptr && (cached->dict != nullptr || cached->refused) && cached->files == files) {
    cached->last_used = ++g_cache.clock;
    return cached->dict;
  }
  timespec read_at;
  clock_gettime(CLOCK_REALTIME, &read_at);
  std::shared_ptr<const MemoryDict> dict;
  bool refused = false;
  if (g_cache.enabled && files[0].regular && files[1].regular &&
      (!files[2].exists || files[2].regular) &&
      !ChangedJustBefore(files, read_at, g_cache.racy_nanoseconds)) {
    dict = MemoryDict::Decode(index_fd, static_cast<uint64_t>(files[1].size), data_fd,
                              static_cast<uint64_t>(files[0].size), layout);
    // Too large: the verdict holds for as long as the
    // files stay the same, and they are not read whole again at every open.
    refused = dict == nullptr;
  }
  g_cache.Remember(prefix, files, dict, refused);
  return dict;
}

void ForgetDecoded(const FileIdentity &data, const FileIdentity &index) {
  std::erase_if(g_cache.entries, [&](const CacheEntry &entry) {
    return entry.files[0].SameFile(data) || entry.files[1].SameFile(index) ||
           entry.files[0].SameFile(index) || entry.files[1].SameFile(data);
  });
}

void SetDictionaryCache(bool enabled, int64_t racy_nanoseconds) {
  g_cache.enabled = enabled;
  g_cache.racy_nanoseconds = racy_nanoseconds;
  g_cache.entries.clear();
}

}  // namespace quarvel
