// Environments of the engine.

#include "engine/environment.h"

#include <time.h>

#include <cstdlib>
#include <filesystem>

#include "quarvel/gconfig.h"
#include "search/breach.h"
#include "store/dictionary_cache.h"

namespace quarvel::engine {
namespace {

constexpr char kConfigFile[] = "conf/quarvel.ini";
constexpr char kDefaultDictionary[] = "dicts/default_dict";
constexpr char kPersonalDictionary[] = "dicts/profile";
constexpr int kDictSlots = 8;
constexpr int kBreachSlots = 8;

int64_t MonotonicNanoseconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return Nanoseconds(t);
}

struct ConfigCloser {
  void operator()(gcfg *cfg) const { gcfg_destroy(cfg); }
};

// Numbers of tries of an affix selector: 1 ten, 2 a hundred, else none.
int AffixNumbers(int selector) { return selector == 1 ? 10 : selector == 2 ? 100 : 0; }

std::string Reason(const std::string &what, const std::string &failure, int code) {
  std::string reason = what;
  if (!failure.empty()) {
    reason += ": ";
    reason += failure.substr(0, failure.find('\n'));
  }
  return reason + " (" + std::to_string(code) + ")";
}

}  // namespace

bool Environment::LoadBreachLists(gcfg &cfg, Snapshot &snapshot, int *code,
                                  std::string *error) const {
  for (int n = 1; n <= kBreachSlots; ++n) {
    const std::string key = "breach.file.prefix." + std::to_string(n);
    const char *value = gcfg_get(&cfg, "QUARVEL_BREACH", key.c_str(), "");
    if (value == nullptr || value[0] == '\0') continue;
    BreachSlot slot;
    slot.number = n;
    slot.configured = value;
    slot.path = Resolve(value) + kHashDictSuffix;
    std::string why = "this library was built without SHA-1 (OpenSSL)";
    if (BreachListsSupported()) slot.list = HashDict::Open(slot.path, &why);
    if (slot.list == nullptr) {
      *code = 1003;
      *error = Reason(slot.path + ": cannot open the hashed list of " + key, why, 1003);
      return false;
    }
    snapshot.breaches.push_back(std::move(slot));
  }
  const char *min_count = gcfg_get(&cfg, "QUARVEL_BREACH", "breach.min_count", "1");
  char *end = nullptr;
  const unsigned long long value = strtoull(min_count != nullptr ? min_count : "1", &end, 10);
  snapshot.breach_min_count = end != min_count && value > 0 ? value : 1;
  return true;
}

void Environment::HashedListRebuilt(const std::string &path) {
  const std::string file = Resolve(path) + kHashDictSuffix;
  std::lock_guard lock(update_mutex_);
  auto renewed = std::make_shared<Snapshot>(*current_.load(std::memory_order_acquire));
  bool changed = false;
  for (BreachSlot &slot : renewed->breaches) {
    if (slot.path != file) continue;
    std::string why;
    std::shared_ptr<const HashDict> list = HashDict::Open(file, &why);
    if (list == nullptr) continue;  // keeps the list it had
    slot.list = std::move(list);
    changed = true;
  }
  if (changed) Publish(std::move(renewed));
}

std::unique_ptr<Environment> Environment::Open(std::string_view root, int *code,
                                               std::string *error) {
  std::unique_ptr<Environment> env(new Environment);
  env->root_ = root.empty() ? "." : std::string(root);
  std::shared_ptr<const Snapshot> snapshot = env->Load(code, error);
  if (snapshot == nullptr) return nullptr;
  env->Publish(std::move(snapshot));
  return env;
}

int Environment::Reload(std::string *error) {
  int code = 0;
  std::shared_ptr<const Snapshot> snapshot = Load(&code, error);
  if (snapshot == nullptr) return code;
  std::lock_guard lock(update_mutex_);
  Publish(std::move(snapshot));
  return 0;
}

std::string Environment::Resolve(std::string_view prefix) const {
  namespace fs = std::filesystem;
  const fs::path path(prefix);
  return (path.is_absolute() ? path : fs::path(root_) / path).lexically_normal().string();
}

std::shared_ptr<const Snapshot> Environment::Load(int *code, std::string *error) const {
  auto snapshot = std::make_shared<Snapshot>();
  const std::string config_path = Resolve(kConfigFile);
  std::unique_ptr<gcfg, ConfigCloser> cfg(gcfg_create(5, 3));
  if (cfg == nullptr || gcfg_load(cfg.get(), config_path.c_str()) != 0) {
    *code = 1001;
    *error = Reason(config_path + ": cannot read the configuration", "", 1001);
    return nullptr;
  }

  auto open_slot = [&](int slot, const std::string &configured) {
    DictSlot s;
    s.slot = slot;
    s.configured = configured;
    s.path = Resolve(configured);
    s.dict = ReopenedDictionary(s.path);
    return s;
  };
  DictSlot first = open_slot(0, std::string("./") + kDefaultDictionary);
  if (!first.dict->ok()) {
    *code = 1002;
    *error =
        Reason(first.path + ": cannot open the default dictionary", first.dict->failure(), 1002);
    return nullptr;
  }
  snapshot->slots.push_back(std::move(first));
  for (int n = 1; n < kDictSlots; ++n) {
    const std::string key = "dict.file.prefix." + std::to_string(n);
    const char *value = gcfg_get(cfg.get(), "QUARVEL_DICT", key.c_str(), "");
    if (value == nullptr || value[0] == '\0') continue;
    DictSlot s = open_slot(n, value);
    if (!s.dict->ok()) {
      *code = 1003;
      *error = Reason(s.path + ": cannot open the dictionary of " + key, s.dict->failure(), 1003);
      return nullptr;
    }
    snapshot->slots.push_back(std::move(s));
  }

  if (!LoadBreachLists(*cfg, *snapshot, code, error)) return nullptr;

  auto read_int = [&](const char *section, const char *key, int fallback) {
    return gcfg_getInt(cfg.get(), section, key, fallback);
  };
  ScoringSettings &scoring = snapshot->scoring;
  snapshot->min_len = read_int("QUARVEL_RULE", "quarvel_rule.min_len", 6);
  scoring.min_diff = read_int("QUARVEL_RULE", "quarvel_rule.min_diff", 4);
  scoring.min_step = read_int("QUARVEL_RULE", "quarvel_rule.min_step", 3);
  const int postfix = read_int("QUARVEL_RULE", "quarvel_rule.postfix_num", 1);
  const int prefix = read_int("QUARVEL_RULE", "quarvel_rule.prefix_num", 0);
  scoring.min_rept = read_int("QUARVEL_RULE", "quarvel_rule.min_rept", 0);
  const int use_postfix = read_int("QUARVEL_SEARCH", "quarvel_search.pw_postfix_num", 1);
  const int use_prefix = read_int("QUARVEL_SEARCH", "quarvel_search.pw_prefix_num", 0);
  const int reverse = read_int("QUARVEL_SEARCH", "quarvel_search.pw_reverse", 0);
  scoring.use_min_rept = read_int("QUARVEL_SEARCH", "quarvel_search.pw_min_rept", 0);
  if (scoring.use_min_rept == 0) scoring.min_rept = 0;
  // A switch of 0 leaves the search's part off.
  scoring.search.suffix_numbers = use_postfix != 0 ? AffixNumbers(postfix) : 0;
  scoring.search.prefix_numbers = use_prefix != 0 ? AffixNumbers(prefix) : 0;
  scoring.search.reverse = reverse != 0 ? 1 : 0;
  scoring.extended = read_int("QUARVEL_SEARCH", "quarvel_search.extended", 0) != 0 ? 1 : 0;

  snapshot->nist.min_length = read_int("nist", "min_length", 15);
  std::string bad;
  if (!ParseBlocklist(gcfg_get(cfg.get(), "nist", "blocklist", "all"), &snapshot->nist, &bad)) {
    *code = 1001;
    *error = Reason(
        config_path + ": [nist] blocklist: not a slot, \"breach\", \"all\" or \"none\": " + bad, "",
        1001);
    return nullptr;
  }

  // The personal dictionary is searched exactly when it can be opened.
  DictSlot profile = open_slot(-1, std::string("./") + kPersonalDictionary);
  if (profile.dict->ok()) snapshot->profile = std::move(profile);
  return snapshot;
}

void Environment::Publish(std::shared_ptr<const Snapshot> snapshot) const {
  current_.store(std::move(snapshot), std::memory_order_release);
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
    ref.owned_ = current_.load(std::memory_order_acquire);
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
    entry.snapshot = current_.load(std::memory_order_acquire);
    entry.version = version;
  }
  ref.snapshot_ = entry.snapshot.get();
  return ref;
}

std::shared_ptr<const Snapshot> Environment::Acquire() const {
  Revalidate();
  return current_.load(std::memory_order_acquire);
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
  const std::shared_ptr<const Snapshot> snapshot = current_.load(std::memory_order_acquire);
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
  Publish(std::move(renewed));
}

void Environment::DictionaryRebuilt(const std::string &path) {
  const std::string resolved = Resolve(path);
  std::lock_guard lock(update_mutex_);
  auto renewed = std::make_shared<Snapshot>(*current_.load(std::memory_order_acquire));
  std::shared_ptr<const Dictionary> dict = DictionaryWritten(resolved);
  for (DictSlot &slot : renewed->slots) {
    if (slot.path == resolved) slot.dict = dict;
  }
  const std::string personal = Resolve(kPersonalDictionary);
  if (resolved == personal) {
    if (dict->ok()) {
      DictSlot profile;
      profile.slot = -1;
      profile.configured = std::string("./") + kPersonalDictionary;
      profile.path = personal;
      profile.dict = dict;
      renewed->profile = std::move(profile);
    } else {
      renewed->profile.reset();
    }
  }
  Publish(std::move(renewed));
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
