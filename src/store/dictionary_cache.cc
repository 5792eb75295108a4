// The one cache of the dictionaries opened for searching.

#include "store/dictionary_cache.h"

#include <sys/inotify.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "format/file_identity.h"

namespace quarvel {
namespace {

using engine::Dictionary;

constexpr size_t kEntries = 32;
constexpr size_t kThreadEntries = 16;

int64_t MonotonicNanoseconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return Nanoseconds(t);
}

// A dictionary as last looked at.
struct Entry {
  std::string prefix;
  std::shared_ptr<const Dictionary> dict;
  int64_t next_check_ns = 0;
  uint64_t generation = 0;  // the write generation it was last looked at in
  uint64_t last_used = 0;

  // Serves without a look at the files.
  bool Fresh(int64_t now, uint64_t current_generation) const {
    return now < next_check_ns && current_generation == generation;
  }
};

// Changes to the cached dictionaries' files, from any process, noticed
// through inotify: each dictionary's folder is watched for files written,
// replaced, removed or changed in their permissions. One non-blocking read
// per verification tells whether anything happened; it walks no path.
// Without inotify (no kernel support, or no watches left), the files are
// looked at on the revalidation delay alone.
#ifdef __EMSCRIPTEN__
// WebAssembly hosts have no inotify: the revalidation delay alone.
int OpenWatch() { return -1; }
void AddWatch(int, const char *, uint32_t) {}
#else
int OpenWatch() { return inotify_init1(IN_NONBLOCK | IN_CLOEXEC); }
void AddWatch(int fd, const char *folder, uint32_t mask) { inotify_add_watch(fd, folder, mask); }
#endif

class ChangeWatch {
 public:
  ChangeWatch() : fd_(OpenWatch()) {}
  ~ChangeWatch() {
    if (fd_ >= 0) close(fd_);
  }
  ChangeWatch(const ChangeWatch &) = delete;
  ChangeWatch &operator=(const ChangeWatch &) = delete;

  // Watches the folder that holds the files of prefix.
  void Watch(std::string_view prefix) {
    if (fd_ < 0) return;
    const std::string path(prefix);
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    AddWatch(fd_, folder.c_str(),
             IN_ATTRIB | IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_TO |
                 IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF);
  }

  // True when anything changed since the last call (from any thread).
  bool Changed() {
    if (fd_ < 0) return false;
    alignas(inotify_event) char events[4096];
    bool changed = false;
    while (read(fd_, events, sizeof(events)) > 0) changed = true;
    return changed;
  }

 private:
  int fd_;
};

// The process-wide entries, behind a lock; the files are looked at and
// opened outside it, so that other threads go on with what they have.
class SharedEntries {
 public:
  // The entry's dictionary when it may serve without a look (always, when
  // look_now is false and it is fresh); else sets *known to what it holds.
  std::shared_ptr<const Dictionary> Fresh(std::string_view prefix, int64_t now, uint64_t generation,
                                          bool look_now, std::shared_ptr<const Dictionary> *known) {
    std::lock_guard lock(mutex_);
    Entry *entry = Find(prefix);
    if (entry == nullptr) return nullptr;
    entry->last_used = ++clock_;
    if (!look_now && entry->Fresh(now, generation)) return entry->dict;
    *known = entry->dict;
    return nullptr;
  }

  void Put(std::string_view prefix, std::shared_ptr<const Dictionary> dict, int64_t now,
           uint64_t generation) {
    std::lock_guard lock(mutex_);
    Entry *entry = Find(prefix);
    if (entry == nullptr) {
      if (entries_.size() < kEntries) {
        entry = &entries_.emplace_back();
      } else {
        entry = &*std::min_element(
            entries_.begin(), entries_.end(),
            [](const Entry &a, const Entry &b) { return a.last_used < b.last_used; });
      }
      entry->prefix.assign(prefix);
      watch_.Watch(prefix);
    }
    entry->dict = std::move(dict);
    entry->next_check_ns = now + kRevalidateNanoseconds;
    entry->generation = generation;
    entry->last_used = ++clock_;
  }

  // Reads what the watch saw; anything moves the write generation.
  void NoticeChanges() {
    if (watch_.Changed()) NoteDictionaryWrite();
  }

 private:
  Entry *Find(std::string_view prefix) {
    for (Entry &entry : entries_) {
      if (entry.prefix == prefix) return &entry;
    }
    return nullptr;
  }

  ChangeWatch watch_;
  std::mutex mutex_;
  std::vector<Entry> entries_;
  uint64_t clock_ = 0;
};

// Made when the library loads, so that its inotify descriptor is there
// from the start, like the standard streams.
SharedEntries g_shared;

// Each thread keeps the dictionaries it used: an entry serves while the
// write generation has not moved and its last look is younger than the
// revalidation delay.
thread_local std::vector<Entry> t_entries;

// The dictionary at prefix from the shared entries, looked at on its files
// when that is due (or look_now); known stands for the shared entry when
// there is none.
std::shared_ptr<const Dictionary> SharedDictionary(std::string_view prefix, bool look_now,
                                                   std::shared_ptr<const Dictionary> known) {
  const int64_t now = MonotonicNanoseconds();
  if (look_now) g_shared.NoticeChanges();
  const uint64_t generation = DictionaryWriteGeneration();
  if (auto fresh = g_shared.Fresh(prefix, now, generation, look_now, &known)) return fresh;
  timespec wall;
  clock_gettime(CLOCK_REALTIME, &wall);
  if (known != nullptr && !known->Stale(wall)) {
    g_shared.Put(prefix, known, now, generation);
    return known;
  }
  std::shared_ptr<const Dictionary> opened = Dictionary::Open(std::string(prefix));
  g_shared.Put(prefix, opened, now, generation);
  return opened;
}

}  // namespace

std::shared_ptr<const Dictionary> CachedDictionary(std::string_view prefix, bool look_now) {
  const int64_t now = MonotonicNanoseconds();
  const uint64_t generation = DictionaryWriteGeneration();
  Entry *entry = nullptr;
  for (Entry &e : t_entries) {
    if (e.prefix == prefix) entry = &e;
  }
  if (entry != nullptr && !look_now && entry->Fresh(now, generation)) return entry->dict;
  std::shared_ptr<const Dictionary> dict = SharedDictionary(prefix, look_now, nullptr);
  if (entry == nullptr) {
    if (t_entries.size() >= kThreadEntries) t_entries.erase(t_entries.begin());
    entry = &t_entries.emplace_back();
    entry->prefix.assign(prefix);
  }
  entry->dict = dict;
  entry->next_check_ns = now + kRevalidateNanoseconds;
  entry->generation = generation;
  return dict;
}

std::shared_ptr<const Dictionary> ReopenedDictionary(std::string_view prefix) {
  const uint64_t generation = DictionaryWriteGeneration();
  std::shared_ptr<const Dictionary> dict = Dictionary::Open(std::string(prefix));
  g_shared.Put(prefix, dict, MonotonicNanoseconds(), generation);
  return dict;
}

std::shared_ptr<const Dictionary> RevalidatedDictionary(std::string_view prefix,
                                                        std::shared_ptr<const Dictionary> known) {
  return SharedDictionary(prefix, /*look_now=*/true, std::move(known));
}

std::shared_ptr<const Dictionary> DictionaryWritten(std::string_view prefix) {
  NoteDictionaryWrite();
  const uint64_t generation = DictionaryWriteGeneration();
  std::shared_ptr<const Dictionary> dict = Dictionary::Open(std::string(prefix), /*trusted=*/true);
  g_shared.Put(prefix, dict, MonotonicNanoseconds(), generation);
  return dict;
}

void NoticeDictionaryChanges() { g_shared.NoticeChanges(); }

void ReportUnreadable(const Dictionary &dict) {
  if (!dict.failure().empty()) fputs(dict.failure().c_str(), stderr);
}

}  // namespace quarvel
