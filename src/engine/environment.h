// An environment of the engine: a root folder, and the current snapshot of
// the settings and dictionaries read from it, published atomically.
#ifndef QUARVEL_SRC_ENGINE_ENVIRONMENT_H_
#define QUARVEL_SRC_ENGINE_ENVIRONMENT_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/snapshot.h"
#include "engine/snapshot_cache.h"
#include "quarvel/engine.h"
#include "store/dictionary_cache.h"

namespace quarvel::engine {

// The snapshot a check runs on, held for the check's length: by the calling
// thread's cache of snapshots (whose lock it holds), or owned.
class SnapshotRef {
 public:
  SnapshotRef(SnapshotRef &&other) noexcept
      : snapshot_(other.snapshot_), owned_(std::move(other.owned_)), cache_(other.cache_) {
    other.cache_ = nullptr;
  }
  SnapshotRef &operator=(SnapshotRef &&) = delete;
  ~SnapshotRef();
  const Snapshot &operator*() const { return *snapshot_; }
  const Snapshot *operator->() const { return snapshot_; }

 private:
  friend class Environment;
  SnapshotRef() = default;
  const Snapshot *snapshot_ = nullptr;
  std::shared_ptr<const Snapshot> owned_;
  ThreadSnapshots *cache_ = nullptr;
};

// The snapshot that checks start on. A reader copies the pointer under a
// mutex of its own that nothing holds for longer than such a copy or a swap
// of pointers; the snapshot a store replaces is released after the mutex.
// Checks copy it only when a publication made their thread's copy stale
// (see Environment::Use), so the mutex is off their usual path.
class CurrentSnapshot {
 public:
  std::shared_ptr<const Snapshot> load() const {
    std::lock_guard lock(mutex_);
    return snapshot_;
  }
  void store(std::shared_ptr<const Snapshot> snapshot) {
    std::lock_guard lock(mutex_);
    snapshot_.swap(snapshot);
  }  // the replaced snapshot goes here, the mutex released before

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const Snapshot> snapshot_;
};

class Environment {
 public:
  ~Environment();
  // Opens root (empty: the current folder); nullptr with *code and *error set
  // on failure.
  static std::unique_ptr<Environment> Open(std::string_view root, int *code, std::string *error);

  // An environment that publishes only what it is given (Publish): the
  // specified functions' settings and dictionaries, loaded by
  // LoadConfigFile. Its root is the working folder.
  static std::unique_ptr<Environment> Published(std::shared_ptr<const Snapshot> snapshot);

  // Reads everything again and publishes it; 0 or the failure code.
  int Reload(std::string *error);

  // Publishes snapshot: checks that start from now on use it.
  void Publish(std::shared_ptr<const Snapshot> snapshot) const;

  // The current snapshot, after replacing any dictionary whose files have
  // changed when the last look at them is older than the revalidation delay.
  std::shared_ptr<const Snapshot> Acquire() const;

  // The same for a check, from the calling thread's cache.
  SnapshotRef Use() const;

  // The path prefix names under the root.
  std::string Resolve(std::string_view prefix) const;

  // The dictionary at path was rebuilt: its slots (and the personal
  // dictionary, which is searched from now on when it opens) are replaced.
  void DictionaryRebuilt(const std::string &path);

  // The hashed list at path (its prefix) was rebuilt: its slots reopen it.
  void HashedListRebuilt(const std::string &path);

  void SetTrace(void (*sink)(void *, const char *), void *context);
  const TraceSink &trace() const { return trace_; }

 private:
  Environment() = default;
  std::shared_ptr<const Snapshot> Load(int *code, std::string *error) const;
  void PublishLocked(std::shared_ptr<const Snapshot> snapshot) const;  // update_mutex_ held

  // Looks at the dictionaries' files when that is due, and publishes a new
  // snapshot when they changed.
  void Revalidate() const;

  const uint64_t id_ = NewEnvironmentId();
  mutable std::atomic<uint64_t> version_{1};
  std::string root_;
  mutable CurrentSnapshot current_;
  mutable std::atomic<int64_t> next_check_ns_{0};
  mutable std::atomic<uint64_t> seen_generation_{0};
  mutable std::mutex update_mutex_;  // one thread renews the snapshot at a time
  TraceSink trace_;
  void (*user_sink_)(void *, const char *) = nullptr;
  void *user_context_ = nullptr;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_ENVIRONMENT_H_
