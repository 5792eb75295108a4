// The dictionaries searched by VerifyPW and DictFindPW.

#include "verify/legacy_dictionaries.h"

#include <sys/inotify.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "engine/environment.h"
#include "store/dictmanger_internal.h"

namespace quarvel::verify {
namespace {

constexpr size_t kEntries = 32;

struct Entry {
  std::string prefix;
  std::shared_ptr<const engine::Dictionary> dict;
  int64_t next_check_ns = 0;
  uint64_t generation = 0;  // the write generation it was last looked at in
  uint64_t last_used = 0;
};

int64_t MonotonicNanoseconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return Nanoseconds(t);
}

// Changes to the searched dictionaries' files, from any process, noticed
// through inotify: each dictionary's folder is watched for files written,
// replaced, removed or changed in their permissions. One non-blocking read
// per verification tells whether anything happened; it walks no path.
// Without inotify (no kernel support, or no watches left), the files are
// looked at on the revalidation delay alone.
class ChangeWatch {
 public:
  ChangeWatch() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
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
    inotify_add_watch(fd_, folder.c_str(),
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

// The process-wide set of searched dictionaries.
class Dictionaries {
 public:
  std::shared_ptr<const engine::Dictionary> Get(std::string_view prefix, bool look_now) {
    const int64_t now = MonotonicNanoseconds();
    if (look_now) NoticeChanges();
    const uint64_t generation = DictionaryWriteGeneration();
    std::shared_ptr<const engine::Dictionary> known;
    {
      std::lock_guard lock(mutex_);
      if (Entry *entry = Find(prefix)) {
        entry->last_used = ++clock_;
        if (!look_now && now < entry->next_check_ns && generation == entry->generation) {
          return entry->dict;
        }
        known = entry->dict;
      }
    }
    // Looked at outside the lock: other threads go on with what they have.
    timespec wall;
    clock_gettime(CLOCK_REALTIME, &wall);
    if (known != nullptr && !known->Stale(wall)) {
      Put(prefix, known, now, generation);
      return known;
    }
    std::shared_ptr<const engine::Dictionary> fresh = engine::Dictionary::Open(std::string(prefix));
    Put(prefix, fresh, now, generation);
    return fresh;
  }

  // Reads what the watch saw; anything moves the write generation.
  void NoticeChanges() {
    if (watch_.Changed()) NoteDictionaryWrite();
  }

  void Put(std::string_view prefix, std::shared_ptr<const engine::Dictionary> dict, int64_t now,
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
    entry->next_check_ns = now + engine::kRevalidateNanoseconds;
    entry->generation = generation;
    entry->last_used = ++clock_;
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
Dictionaries g_dictionaries;

Dictionaries &Instance() { return g_dictionaries; }

}  // namespace

// Each thread keeps the dictionaries it searched, so that verifications on
// several cores take no lock: an entry serves while the write generation has
// not moved and its last look is younger than the revalidation delay.
struct ThreadEntry {
  std::string prefix;
  std::shared_ptr<const engine::Dictionary> dict;
  int64_t next_check_ns = 0;
  uint64_t generation = 0;
};
constexpr size_t kThreadEntries = 16;
thread_local std::vector<ThreadEntry> t_entries;

std::shared_ptr<const engine::Dictionary> SearchedDictionary(std::string_view prefix,
                                                             bool look_now) {
  const int64_t now = MonotonicNanoseconds();
  const uint64_t generation = DictionaryWriteGeneration();
  ThreadEntry *entry = nullptr;
  for (ThreadEntry &e : t_entries) {
    if (e.prefix == prefix) entry = &e;
  }
  if (entry != nullptr && !look_now && now < entry->next_check_ns &&
      generation == entry->generation) {
    return entry->dict;
  }
  std::shared_ptr<const engine::Dictionary> dict = Instance().Get(prefix, look_now);
  if (entry == nullptr) {
    if (t_entries.size() >= kThreadEntries) t_entries.erase(t_entries.begin());
    entry = &t_entries.emplace_back();
    entry->prefix.assign(prefix);
  }
  entry->dict = dict;
  entry->next_check_ns = now + engine::kRevalidateNanoseconds;
  entry->generation = generation;
  return dict;
}

void NoticeDictionaryChanges() { Instance().NoticeChanges(); }

void DictionaryWritten(std::string_view prefix) {
  NoteDictionaryWrite();
  const uint64_t generation = DictionaryWriteGeneration();
  Instance().Put(prefix, engine::Dictionary::Open(std::string(prefix), /*trusted=*/true),
                 MonotonicNanoseconds(), generation);
}

void ReportUnreadable(const engine::Dictionary &dict) {
  if (!dict.failure().empty()) fputs(dict.failure().c_str(), stderr);
}

}  // namespace quarvel::verify
