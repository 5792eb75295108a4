// The membership filter of a packed dictionary, in the optional file
// PREFIX.pwf beside it. The file records the size and modification time of
// the data and index files it was built from, and a checksum of the index
// header: a filter that does not match them is stale and is not used.
#ifndef QUARVEL_SRC_STORE_DICT_FILTER_H_
#define QUARVEL_SRC_STORE_DICT_FILTER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "format/file_identity.h"
#include "format/filter_layout.h"
#include "format/key_filter.h"
#include "store/mapped_dict.h"

namespace quarvel {

// The stamp of the dictionary whose data and index files have identities
// data and index, the index being open as index_fd.
FilterStamp StampOf(const FileIdentity &data, const FileIdentity &index, int index_fd);

// A dictionary's filter: its key filter, over a map of its file or over an
// image of its own.
class DictFilter {
 public:
  // Reads PREFIX.pwf when it exists, is whole and matches stamp; nullptr
  // otherwise.
  static std::unique_ptr<DictFilter> Load(const std::string &prefix, const FilterStamp &stamp);

  // Builds the filter of every word the dictionary's searches can reach,
  // using at most about memory_budget bytes besides the image.
  static std::unique_ptr<DictFilter> Build(const MappedDict &dict,
                                           uint64_t memory_budget = KeyFilter::kDefaultBuildBudget);

  // Builds the filter of a dictionary written in order (as builders write
  // them) from the keys (WordKey) of its words that keys streams, without
  // reading the dictionary back.
  static std::unique_ptr<DictFilter> FromKeys(uint64_t words, const KeyFilter::KeySource &keys,
                                              uint64_t memory_budget);

  // Writes the filter, stamped, as PREFIX.pwf (through a temporary file
  // renamed over it), with the mode of the data file. False when it cannot
  // be written; then nothing is left behind.
  bool Write(const std::string &prefix, const FilterStamp &stamp) const;

  // False only when no search of the dictionary can find word.
  bool MayContain(std::string_view word) const { return filter_->MayContain(WordKey(word)); }
  // The same for a word whose WordKey is key; PrefetchKey starts loading
  // the bytes that MayContainKey(key) reads.
  bool MayContainKey(uint64_t key) const { return filter_->MayContain(key); }
  void PrefetchKey(uint64_t key) const { filter_->Prefetch(key); }

  // The dictionary was found in order when the filter was built: its
  // searches may go block by block (MappedDict::Contains).
  bool in_order() const { return in_order_; }

  const KeyFilter &filter() const { return *filter_; }
  bool mapped() const { return map_ != nullptr; }
  // True once a read of the mapped file met a page it no longer holds.
  bool faulted() const { return map_ != nullptr && map_->faulted(); }

 private:
  DictFilter() = default;
  std::unique_ptr<FileMap> map_;
  std::unique_ptr<KeyFilter> filter_;
  bool in_order_ = false;
};

// Builds and writes the filter of the dictionary at prefix, as builders do
// once its files are in place. False when the dictionary cannot be read or
// the filter cannot be built or written (a dictionary works without it).
bool WriteDictionaryFilter(const std::string &prefix,
                           uint64_t memory_budget = KeyFilter::kDefaultBuildBudget);

// Writes filter as the filter of the dictionary at prefix, stamped with its
// files as they are now. False when it cannot be written.
bool WriteDictionaryFilter(const std::string &prefix, const DictFilter &filter);

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_DICT_FILTER_H_
