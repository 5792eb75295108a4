// A packed dictionary opened for the engine: immutable once opened, searched
// by any number of threads at once. It is decoded into memory when it can
// be; a dictionary too large for that, or not made of regular files, is read
// from its files with pread, which needs no shared file position.
#ifndef QUARVEL_SRC_ENGINE_DICTIONARY_H_
#define QUARVEL_SRC_ENGINE_DICTIONARY_H_

#include <cstdint>
#include <memory>
#include <string>

#include "wordstore/dict_layout.h"
#include "wordstore/file_identity.h"
#include "wordstore/memory_dict.h"

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
  uint32_t word_count() const { return layout_.header.word_count; }

  // The index of word as FindPW answers it; word_count() when absent or
  // when the dictionary is not ok.
  uint32_t Find(const char *word) const;
  bool Contains(const char *word) const { return ok_ && Find(word) != word_count(); }

  // True when the files at prefix are no longer those that were read (or
  // were read while they might still change unseen, and have been quiet
  // since). Walks the three paths: callers rate-limit it.
  bool Stale(const timespec &now) const;

 private:
  Dictionary() = default;

  std::string prefix_;
  bool ok_ = false;
  std::string failure_;
  Identities files_;  // as opened
  timespec read_at_ = {};
  bool racy_ = false;  // changed just before it was read
  DictLayout layout_;
  std::unique_ptr<const MemoryDict> memory_;
  int index_fd_ = -1;  // open only when served from the files
  int data_fd_ = -1;
};

// How long files changed before they were read stay suspect.
inline constexpr int64_t kQuietNanoseconds = 100'000'000;

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_DICTIONARY_H_
