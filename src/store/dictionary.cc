// Dictionaries opened for the engine.

#include "store/dictionary.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <shared_mutex>

#include "base/secure_wipe.h"
#include "format/coding.h"
#include "format/file_io.h"
#include "store/dict_search.h"
#include "store/file_set_lock.h"
#include "store/write_generation.h"

namespace quarvel::engine {
namespace {

std::atomic<uint64_t> g_decoded_data_bytes{kDecodedDataBytes};

// One block of a dictionary read from its files, decoded for the search.
class BlockReader {
 public:
  BlockReader(int index_fd, int data_fd, const DictLayout &layout)
      : index_fd_(index_fd), data_fd_(data_fd), layout_(layout) {}
  // A personal dictionary's words are the person's.
  ~BlockReader() { SecureWipe(words_, sizeof(words_)); }
  BlockReader(const BlockReader &) = delete;
  BlockReader &operator=(const BlockReader &) = delete;

  // Word n as GetPW reads it from the files, or nullptr.
  const char *Word(uint64_t n) {
    const uint64_t block = n >> 4;
    if (block != block_) {
      block_ = UINT64_MAX;
      unsigned char entry[8];
      const size_t size = layout_.EntrySize();
      if (ReadAtFd(index_fd_, layout_.EntryOffset(block), std::span(entry, size)) != size) {
        return nullptr;
      }
      std::array<unsigned char, kMaxBlockBytes> bytes;
      const uint64_t offset = DecodeIndexEntry(layout_.is_wide, entry);
      const size_t got = ReadAtFd(data_fd_, offset, bytes);
      if (got == 0) return nullptr;
      DecodeBlock(std::span(bytes.data(), got), words_);
      SecureWipe(bytes.data(), got);
      block_ = block;
    }
    return words_[n & 15];
  }

 private:
  int index_fd_, data_fd_;
  const DictLayout &layout_;
  uint64_t block_ = UINT64_MAX;
  BlockSlots words_;
};

}  // namespace

std::shared_ptr<const Dictionary> Dictionary::Open(const std::string &prefix, bool trusted) {
  std::shared_ptr<Dictionary> d(new Dictionary);
  d->prefix_ = prefix;
  clock_gettime(CLOCK_REALTIME, &d->read_at_);
  const std::string data_name = prefix + ".pwd";
  const std::string index_name = prefix + ".pwi";
  const std::string mark_name = prefix + ".hwm";
  int data_fd = -1, index_fd = -1, mark_fd = -1, index_errno = 0;
  {
    // The three files of one version of the dictionary.
    std::shared_lock files(file_set_lock);
    data_fd = OpenForReading(data_name);
    if (data_fd >= 0) index_fd = OpenForReading(index_name);
    if (data_fd >= 0 && index_fd < 0) index_errno = errno;
    if (index_fd >= 0) mark_fd = OpenForReading(mark_name);
  }
  if (data_fd < 0) return d;
  if (index_fd < 0) {
    d->failure_ = index_name + ": " + std::strerror(index_errno) + "\n";
    close(data_fd);
    return d;
  }
  d->files_ = {IdentityOfFd(data_fd), IdentityOfFd(index_fd), IdentityOfFd(mark_fd)};
  if (const char *failure = ReadLayout(index_fd, mark_fd, d->layout_)) {
    d->failure_ = prefix + ": " + failure + "\n";
  } else {
    d->ok_ = true;
    d->racy_ = !trusted && ChangedJustBefore(d->files_, d->read_at_, kQuietNanoseconds);
    const bool regular =
        d->files_[0].regular && d->files_[1].regular && (mark_fd < 0 || d->files_[2].regular);
    const uint64_t data_bytes = static_cast<uint64_t>(d->files_[0].size);
    const uint64_t index_bytes = static_cast<uint64_t>(d->files_[1].size);
    if (regular && data_bytes <= g_decoded_data_bytes.load(std::memory_order_relaxed)) {
      d->memory_ = MemoryDict::Decode(index_fd, index_bytes, data_fd, data_bytes, d->layout_);
    }
    if (regular && d->memory_ == nullptr) {
      std::string why;
      d->mapped_ = MappedDict::Map(index_fd, index_bytes, data_fd, data_bytes, d->layout_, &why);
      if (d->mapped_ == nullptr) {
        d->note_ = prefix + ": served with pread: " + why;
      } else if (!d->racy_) {
        // Files that may still change unseen get no filter: the dictionary
        // is opened again once they have been quiet.
        const FilterStamp stamp = StampOf(d->files_[0], d->files_[1], index_fd);
        d->filter_ = DictFilter::Load(prefix, stamp);
        if (d->filter_ == nullptr) {
          std::unique_ptr<DictFilter> built = DictFilter::Build(*d->mapped_);
          // Kept in memory when the folder takes no new file; not written
          // when the files shrank while it was built.
          if (built != nullptr && !d->mapped_->faulted() && !built->Write(prefix, stamp)) {
            d->note_ = prefix + ": filter kept in memory";
          }
          d->filter_ = std::move(built);
        }
      }
    } else if (!regular) {
      d->note_ = prefix + ": served with pread: not regular files";
    }
  }
  if (d->ok_) d->OpenRanks(data_fd, index_fd, trusted);
  if (mark_fd >= 0) close(mark_fd);
  if (d->ok_ && d->memory_ == nullptr && d->mapped_ == nullptr) {
    d->index_fd_ = index_fd;
    d->data_fd_ = data_fd;
  } else {
    close(index_fd);
    close(data_fd);
  }
  return d;
}

void Dictionary::OpenRanks(int data_fd, int index_fd, bool trusted) {
  std::string why;
  try {
    ranks_ = RankFile::Open(prefix_, word_count(), data_fd, files_[0], index_fd, files_[1],
                            &rank_file_, &why);
  } catch (const std::bad_alloc &) {
    why = "out of memory";
  }
  if (!why.empty()) {
    if (!note_.empty()) note_ += "\n";
    note_ += prefix_ + ": rank file ignored: " + why;
  }
  rank_racy_ = !trusted && ChangedJustBefore({rank_file_, {}, {}}, read_at_, kQuietNanoseconds);
}

Dictionary::~Dictionary() {
  if (index_fd_ >= 0) close(index_fd_);
  if (data_fd_ >= 0) close(data_fd_);
}

uint32_t Dictionary::Find(const char *word) const {
  if (!ok_) return word_count();
  if (memory_ != nullptr) return memory_->Find(word);
  if (word == nullptr || (filter_ != nullptr && !filter_->MayContain(word))) return word_count();
  return Search(word);
}

uint32_t Dictionary::Search(const char *word) const {
  if (mapped_ != nullptr) return mapped_->Find(word);
  BlockReader reader(index_fd_, data_fd_, layout_);
  return SearchSorted(word_count(), layout_.use_marks, layout_.marks, word,
                      [&reader](uint64_t n) { return reader.Word(n); });
}

const Dictionary::Derived *Dictionary::Derive(
    std::unique_ptr<Derived> (*make)(const Dictionary &)) const {
  std::call_once(derived_once_, [&] { derived_ = make(*this); });
  return derived_.get();
}

void SetDecodedDataBytes(uint64_t bytes) {
  g_decoded_data_bytes.store(bytes, std::memory_order_relaxed);
}

bool Dictionary::Contains(const char *word) const {
  if (batched() && word != nullptr) return ContainsKeyed(word, WordKey(word));
  return ok_ && Find(word) != word_count();
}

bool Dictionary::ContainsKeyed(const char *word, uint64_t key) const {
  if (!batched() || word == nullptr) return Contains(word);
  if (!filter_->MayContainKey(key)) return false;
  // A mapped dictionary found in order is searched block by block; no block
  // holds a word of more than 31 bytes.
  if (mapped_ != nullptr && filter_->in_order()) {
    return strnlen(word, PACKED_DICT_MAX_WORD + 1) <= PACKED_DICT_MAX_WORD &&
           mapped_->Contains(word);
  }
  return Search(word) != word_count();
}

bool Dictionary::Stale(const timespec &now) const {
  if (Faulted() || FilesStale(files_, read_at_, racy_ || rank_racy_, IdentitiesOfPrefix(prefix_),
                              now, kQuietNanoseconds)) {
    return true;
  }
  // Only an ok dictionary looked at its rank file.
  return ok_ && IdentityOfPath(prefix_ + kRankExtension) != rank_file_;
}

bool Dictionary::Faulted() const {
  const bool faulted =
      (mapped_ != nullptr && mapped_->faulted()) || (filter_ != nullptr && filter_->faulted());
  if (faulted && !fault_noted_.exchange(true, std::memory_order_relaxed)) NoteDictionaryWrite();
  return faulted;
}

void Dictionary::ForEachWord(
    const std::function<void(uint32_t index, std::string_view word)> &emit) const {
  if (!ok_) return;
  auto hand_on = [&emit](uint64_t n, const char *word) {
    if (word != nullptr && word[0] != '\0') emit(static_cast<uint32_t>(n), word);
  };
  // The header's word count is only what the file says: no more slots are
  // walked than the index holds blocks for.
  if (memory_ != nullptr) {
    const uint64_t slots = std::min<uint64_t>(word_count(), memory_->slot_count());
    for (uint64_t n = 0; n < slots; ++n) hand_on(n, memory_->Word(n));
  } else if (mapped_ != nullptr) {
    mapped_->ForEachSlot([&](uint64_t n, std::string_view word) {
      if (n < word_count() && !word.empty()) emit(static_cast<uint32_t>(n), word);
    });
  } else {
    BlockReader reader(index_fd_, data_fd_, layout_);
    const uint64_t slots = std::min<uint64_t>(
        word_count(), IndexEntries(layout_, static_cast<uint64_t>(files_[1].size)) * 16);
    for (uint64_t n = 0; n < slots; ++n) {
      const char *word = reader.Word(n);
      if (word == nullptr) {
        n |= 15;  // the block cannot be read: its other slots neither
        continue;
      }
      hand_on(n, word);
    }
  }
}

}  // namespace quarvel::engine
