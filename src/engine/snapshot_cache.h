// Each thread's cache of the snapshots it checks with. A check takes its
// snapshot from the calling thread's own cache, so that checks on several
// cores write no shared memory: no reference count, no lock word. A new
// snapshot is published with a new version number; a thread whose cached
// version is older takes the new snapshot at its next check. Publishing
// drops the old snapshot from every thread that is not checking at that
// moment, and closing an environment drops it from every thread, so an idle
// thread keeps no snapshot alive.
#ifndef QUARVEL_SRC_ENGINE_SNAPSHOT_CACHE_H_
#define QUARVEL_SRC_ENGINE_SNAPSHOT_CACHE_H_

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

namespace quarvel::engine {

struct Snapshot;

struct ThreadSnapshots {
  struct Entry {
    uint64_t env_id = 0;  // 0: free
    uint64_t version = 0;
    std::shared_ptr<const Snapshot> snapshot;
    uint64_t last_used = 0;
  };
  // Held by the owning thread for the length of a check; taken by others
  // only to drop entries.
  std::mutex mutex;
  int depth = 0;  // checks of this thread in progress (a trace sink may check)
  uint64_t clock = 0;
  std::array<Entry, 4> entries;

  // The entry of env_id, or the least recently used one, emptied, for it.
  Entry &EntryFor(uint64_t env_id);
};

// The calling thread's cache, made and registered at its first check.
ThreadSnapshots &ThisThreadsSnapshots();

// Drops the snapshots of env_id from every thread's cache. With wait, waits
// for threads in the middle of a check; without, skips them.
void ForgetSnapshots(uint64_t env_id, bool wait);

// A number no other environment of the process has had.
uint64_t NewEnvironmentId();

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_SNAPSHOT_CACHE_H_
