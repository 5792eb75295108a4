// Environments of the engine.

#include "engine/environment.h"

#include "engine/snapshot_loader.h"

#include <time.h>

#include <cstdlib>
#include <filesystem>

#include "quarvel/gconfig.h"

namespace quarvel::engine {
namespace {

int64_t MonotonicNanoseconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return Nanoseconds(t);
}

struct ConfigCloser {
  void operator()(gcfg *cfg) const { gcfg_destroy(cfg); }
};

}  // namespace

void Environment::HashedListRebuilt(const std::string &path) {
  const std::string file = Resolve(path) + kHashDictSuffix;
  std::lock_guard lock(update_mutex_);
  auto renewed = std::make_shared<Snapshot>(*current_.load());
  bool changed = false;
  for (BreachSlot &slot : renewed->breaches) {
    if (slot.path != file) continue;
    std::string why;
    std::shared_ptr<const HashDict> list = HashDict::Open(file, &why);
    if (list == nullptr) continue;  // keeps the list it had
    slot.list = std::move(list);
    changed = true;
  }
  if (changed) PublishLocked(std::move(renewed));
}

std::unique_ptr<Environment> Environment::Open(std::string_view root, int *code,
                                               std::string *error) {
  std::unique_ptr<Environment> env(new Environment);
  env->root_ = root.empty() ? "." : std::string(root);
  std::shared_ptr<const Snapshot> snapshot = env->Load(code, error);
  if (snapshot == nullptr) return nullptr;
  env->PublishLocked(std::move(snapshot));
  return env;
}

std::unique_ptr<Environment> Environment::Published(std::shared_ptr<const Snapshot> snapshot) {
  std::unique_ptr<Environment> env(new Environment);
  env->PublishLocked(std::move(snapshot));
  return env;
}

int Environment::Reload(std::string *error) {
  // Loaded and published under the update lock: a build that renames a
  // dictionary into place while this load reads the old files publishes its
  // replacement after this snapshot, and into it, never before it (where
  // this snapshot would undo the replacement).
  std::lock_guard lock(update_mutex_);
  int code = 0;
  std::shared_ptr<const Snapshot> snapshot = Load(&code, error);
  if (snapshot == nullptr) return code;
  PublishLocked(std::move(snapshot));
  return 0;
}

std::string Environment::Resolve(std::string_view prefix) const {
  return ResolveUnder(root_, prefix);
}

std::shared_ptr<const Snapshot> Environment::Load(int *code, std::string *error) const {
  const std::string config_path = Resolve(kConfigFile);
  std::unique_ptr<gcfg, ConfigCloser> cfg(gcfg_create(5, 3));
  if (cfg == nullptr || gcfg_load(cfg.get(), config_path.c_str()) != 0) {
    *code = 1001;
    *error = config_path + ": cannot read the configuration (1001)";
    return nullptr;
  }
  LoadOutcome loaded = LoadSnapshot(*cfg, root_);
  if (loaded.code != 0) {
    *code = loaded.code;
    *error = std::move(loaded.error);
    return nullptr;
  }
  return std::move(loaded.snapshot);
}

void Environment::Publish(std::shared_ptr<const Snapshot> snapshot) const {
  std::lock_guard lock(update_mutex_);
  PublishLocked(std::move(snapshot));
}

void Environment::PublishLocked(std::shared_ptr<const Snapshot> snapshot) const {
  current_.store(std::move(snapshot));
  version_.fetch_add(1, std::memory_order_acq_rel);
  next_check_ns_.store(MonotonicNanoseconds() + kRevalidateNanoseconds, std::memory_order_relaxed);
  ForgetSnapshots(id_, /*wait=*/false);
}

Environment::~Environment() { ForgetSnapshots(id_, /*wait=*/true); }

SnapshotRef::~SnapshotRef() {
  if (cache_ != nullptr) {
    --cache_->depth;
    cache_->mutex.unlock();
  }
}

SnapshotRef Environment::Use() const {
  Revalidate();
  SnapshotRef ref;
  ThreadSnapshots &cache = ThisThreadsSnapshots();
  if (cache.depth > 0) {
    // A check inside a check (from a trace sink): the cache is in use.
    ref.owned_ = current_.load();
    ref.snapshot_ = ref.owned_.get();
    return ref;
  }
  cache.mutex.lock();
  ++cache.depth;
  ref.cache_ = &cache;
  ThreadSnapshots::Entry &entry = cache.EntryFor(id_);
  entry.last_used = ++cache.clock;
  // The version is read before the snapshot: a publication in between only
  // makes the next check take the snapshot again.
  const uint64_t version = version_.load(std::memory_order_acquire);
  if (entry.version != version || entry.snapshot == nullptr) {
    entry.snapshot = current_.load();
    entry.version = version;
  }
  ref.snapshot_ = entry.snapshot.get();
  return ref;
}

std::shared_ptr<const Snapshot> Environment::Acquire() const {
  Revalidate();
  return current_.load();
}

void Environment::Revalidate() const {
  const int64_t now = MonotonicNanoseconds();
  // Dictionary files written by this process are looked at at once.
  const uint64_t generation = DictionaryWriteGeneration();
  if (now < next_check_ns_.load(std::memory_order_relaxed) &&
      generation == seen_generation_.load(std::memory_order_relaxed)) {
    return;
  }
  std::unique_lock lock(update_mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return;  // another check is looking
  const std::shared_ptr<const Snapshot> snapshot = current_.load();
  next_check_ns_.store(now + kRevalidateNanoseconds, std::memory_order_relaxed);
  seen_generation_.store(generation, std::memory_order_relaxed);

  std::shared_ptr<Snapshot> renewed;
  // The cache looks at the files; a dictionary it hands back that is not the
  // one held was replaced.
  auto renew = [&](DictSlot &slot) { slot.dict = RevalidatedDictionary(slot.path, slot.dict); };
  auto replaced = [&](const DictSlot &slot) {
    return RevalidatedDictionary(slot.path, slot.dict) != slot.dict;
  };
  bool stale = false;
  for (const DictSlot &slot : snapshot->slots) stale |= replaced(slot);
  if (snapshot->profile) stale |= replaced(*snapshot->profile);
  if (!stale) return;
  renewed = std::make_shared<Snapshot>(*snapshot);
  for (DictSlot &slot : renewed->slots) renew(slot);
  if (renewed->profile) renew(*renewed->profile);
  PublishLocked(std::move(renewed));
}

void Environment::DictionaryRebuilt(const std::string &path) {
  const std::string resolved = Resolve(path);
  std::lock_guard lock(update_mutex_);
  auto renewed = std::make_shared<Snapshot>(*current_.load());
  std::shared_ptr<const Dictionary> dict = DictionaryWritten(resolved);
  for (DictSlot &slot : renewed->slots) {
    if (slot.path == resolved) slot.dict = dict;
  }
  const std::string personal = Resolve(kPersonalDictionary);
  if (resolved == personal) {
    if (dict->ok()) {
      DictSlot profile;
      profile.slot = -1;
      profile.configured = kPersonalDictionary;
      profile.path = personal;
      profile.dict = dict;
      renewed->profile = std::move(profile);
    } else {
      renewed->profile.reset();
    }
  }
  PublishLocked(std::move(renewed));
}

void Environment::SetTrace(void (*sink)(void *, const char *), void *context) {
  user_sink_ = sink;
  user_context_ = context;
  if (sink == nullptr) {
    trace_ = TraceSink{};
    return;
  }
  trace_.context = this;
  trace_.write = [](void *self, const char *line, size_t length) {
    auto *env = static_cast<Environment *>(self);
    // The sink gets the line without its line feed: the line is the
    // trace's own buffer, where the feed's place can take the NUL.
    const_cast<char *>(line)[length] = '\0';
    env->user_sink_(env->user_context_, line);
  };
}

}  // namespace quarvel::engine
