// A packed dictionary opened for the engine: immutable once opened, searched
// by any number of threads at once. A small one is decoded into memory (a
// hash set answers most lookups at once, and a rewrite of its files in place
// cannot touch it); a larger one is served from read-only maps of its files
// with its membership filter (PREFIX.pwf), so that opening it costs the same
// whatever its size. A dictionary that cannot be mapped (not made of regular
// files, or beyond a 32-bit address space) is read from its files with
// pread, which needs no shared file position.
//
// A dictionary built ranked has its rank file beside it (PREFIX.pwr,
// store/rank_file.h), read from a map whatever way the words are served:
// Rank answers each word's position in the lists it was built from. An
// unranked dictionary ranks every word at its word count.
#ifndef QUARVEL_SRC_STORE_DICTIONARY_H_
#define QUARVEL_SRC_STORE_DICTIONARY_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "format/dict_layout.h"
#include "format/file_identity.h"
#include "store/dict_filter.h"
#include "store/mapped_dict.h"
#include "store/memory_dict.h"
#include "store/rank_file.h"

namespace quarvel::engine {

class Dictionary {
 public:
  // Opens the dictionary named by prefix. Never null: a dictionary that
  // cannot be opened says why in failure(), the lines that opening it with
  // PWOpen writes on standard error (possibly none).
  // A trusted dictionary was just written by this process: its files are
  // not suspected of changing unseen within their clock tick.
  static std::shared_ptr<const Dictionary> Open(const std::string &prefix, bool trusted = false);

  ~Dictionary();
  Dictionary(const Dictionary &) = delete;
  Dictionary &operator=(const Dictionary &) = delete;

  bool ok() const { return ok_; }
  const std::string &prefix() const { return prefix_; }
  const std::string &failure() const { return failure_; }
  // How the words are served, and why when it is not the usual way (a
  // dictionary read with pread says why it could not be mapped), and why a
  // rank file beside it is ignored: one line each, joined by '\n'.
  const std::string &note() const { return note_; }
  bool decoded() const { return memory_ != nullptr; }
  bool mapped() const { return mapped_ != nullptr; }
  const DictFilter *filter() const { return filter_.get(); }
  uint32_t word_count() const { return layout_.header.word_count; }

  // The index of word as FindPW answers it; word_count() when absent or
  // when the dictionary is not ok.
  uint32_t Find(const char *word) const;
  // Whether word is stored, as Find(word) != word_count() answers it.
  bool Contains(const char *word) const;

  // Whether a rank file was read with the dictionary: present, whole, and
  // stamped for these files.
  bool ranked() const { return ranks_ != nullptr; }
  // The rank of the word Find answers index for: its 1-based position in
  // the lists the dictionary was built from (how many words an attacker
  // trying the lists in order tries until it, itself included).
  // word_count() for an unranked dictionary, and for an index at or beyond
  // word_count().
  uint32_t Rank(uint32_t index) const {
    return ranks_ != nullptr ? ranks_->Rank(index) : word_count();
  }

  // Hands every stored word to emit with its index, in index order: the
  // slots below word_count() that decode to a word (in a damaged
  // dictionary, slots whose block cannot be read, or that decode to no
  // word, are left out). Nothing for a dictionary that is not ok. The same
  // whether the words are decoded, mapped or read with pread; a pass over a
  // mapped one gives its pages back as it goes.
  void ForEachWord(const std::function<void(uint32_t index, std::string_view word)> &emit) const;

  // Lookups in batches, for a dictionary served with its filter: a search
  // makes the key of each candidate it may try (WordKey) and prefetches its
  // filter bytes, all before the first lookup, so that the memory latencies
  // of the filter overlap instead of adding up; then it asks ContainsKeyed,
  // which answers as Contains.
  bool batched() const { return ok_ && memory_ == nullptr && filter_ != nullptr; }
  void PrefetchKey(uint64_t key) const {
    if (batched()) filter_->PrefetchKey(key);
  }
  bool ContainsKeyed(const char *word, uint64_t key) const;

  // Data a higher layer derives from the words (the guess estimate's index
  // of them), made by make on first use, at most once, and freed with the
  // dictionary. Thread-safe.
  class Derived {
   public:
    virtual ~Derived() = default;
  };
  const Derived *Derive(std::unique_ptr<Derived> (*make)(const Dictionary &)) const;

  // True when the files at prefix are no longer those that were read (or
  // were read while they might still change unseen, and have been quiet
  // since), the rank file included (one more stat), or when it Faulted().
  // Walks the four paths: callers rate-limit it.
  bool Stale(const timespec &now) const;

  // True once a search of its maps met a page that its files no longer hold
  // (another process shrank or rewrote them in place): answers given since
  // may be wrong, so the caller counts the dictionary as unreadable for the
  // search it just made. The first caller to see it moves the write
  // generation, so that every cache looks at the files again.
  bool Faulted() const;

 private:
  Dictionary() = default;
  // The index of word, without asking the filter.
  uint32_t Search(const char *word) const;
  // Reads the rank file beside the files open as data_fd and index_fd.
  void OpenRanks(int data_fd, int index_fd, bool trusted);

  std::string prefix_;
  bool ok_ = false;
  std::string failure_;
  Identities files_;        // as opened
  FileIdentity rank_file_;  // as opened; not existing when there was none
  timespec read_at_ = {};
  bool racy_ = false;  // changed just before it was read
  bool rank_racy_ = false;
  mutable std::atomic<bool> fault_noted_{false};
  DictLayout layout_;
  std::string note_;
  std::unique_ptr<const MemoryDict> memory_;
  std::unique_ptr<const MappedDict> mapped_;
  std::unique_ptr<const DictFilter> filter_;  // with mapped_ or the files, when built
  std::unique_ptr<const RankFile> ranks_;     // when ranked
  mutable std::once_flag derived_once_;
  mutable std::unique_ptr<const Derived> derived_;
  int index_fd_ = -1;  // open only when served from the files
  int data_fd_ = -1;
};

// Dictionaries whose data file is at most this large are decoded into
// memory: measured, a decoded default dictionary (430 KiB) checks about 10 %
// faster than mapped with its filter, and a rewrite of its files in place
// cannot reach a decoded copy. Tests set another limit (0: map every one).
inline constexpr uint64_t kDecodedDataBytes = uint64_t{4} << 20;
void SetDecodedDataBytes(uint64_t bytes);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_STORE_DICTIONARY_H_
