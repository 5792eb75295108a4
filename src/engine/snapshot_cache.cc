// Each thread's cache of snapshots.

#include "engine/snapshot_cache.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "engine/environment.h"

namespace quarvel::engine {
namespace {

// Every thread's cache, for publishers and closers to drop entries from.
struct Registry {
  std::mutex mutex;
  std::vector<std::weak_ptr<ThreadSnapshots>> threads;
};

Registry &TheRegistry() {
  static Registry *registry = new Registry;  // outlives every thread's cache
  return *registry;
}

thread_local std::shared_ptr<ThreadSnapshots> t_snapshots;

std::atomic<uint64_t> g_next_environment_id{1};

}  // namespace

ThreadSnapshots::Entry &ThreadSnapshots::EntryFor(uint64_t env_id) {
  Entry *oldest = &entries[0];
  for (Entry &entry : entries) {
    if (entry.env_id == env_id) return entry;
    if (entry.last_used < oldest->last_used) oldest = &entry;
  }
  oldest->env_id = env_id;
  oldest->version = 0;
  oldest->snapshot.reset();
  return *oldest;
}

ThreadSnapshots &ThisThreadsSnapshots() {
  if (t_snapshots == nullptr) {
    t_snapshots = std::make_shared<ThreadSnapshots>();
    Registry &registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    std::erase_if(registry.threads, [](const auto &weak) { return weak.expired(); });
    registry.threads.push_back(t_snapshots);
  }
  return *t_snapshots;
}

void ForgetSnapshots(uint64_t env_id, bool wait) {
  std::vector<std::shared_ptr<ThreadSnapshots>> threads;
  {
    Registry &registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (const auto &weak : registry.threads) {
      if (auto thread = weak.lock()) threads.push_back(std::move(thread));
    }
  }
  for (const auto &thread : threads) {
    // The calling thread may be inside a check of its own (a trace sink
    // that reloads): its cache is then left alone.
    if (thread == t_snapshots && thread->depth > 0) continue;
    std::unique_lock lock(thread->mutex, std::defer_lock);
    if (wait) {
      lock.lock();
    } else if (!lock.try_lock()) {
      continue;  // checking now: its entry goes at its next check
    }
    for (ThreadSnapshots::Entry &entry : thread->entries) {
      if (entry.env_id == env_id) entry = ThreadSnapshots::Entry{};
    }
  }
}

uint64_t NewEnvironmentId() { return g_next_environment_id.fetch_add(1); }

}  // namespace quarvel::engine
