// The rank side file of a dictionary, PREFIX.pwr (format/rank_layout.h):
// for each word, in index order, its position in the lists a ranked build
// read. Written beside the dictionary files by quarvel_build with ranked set
// and renamed into place with them; read, bounds-checked, by the engine's
// dictionaries. A rank file that is missing, short, inconsistent, or whose
// stamp does not match the dictionary files beside it is ignored: the
// dictionary is then unranked.
#ifndef QUARVEL_SRC_STORE_RANK_FILE_H_
#define QUARVEL_SRC_STORE_RANK_FILE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "format/file_identity.h"
#include "format/file_io.h"
#include "format/rank_layout.h"
#include "store/dict_writer.h"

namespace quarvel {

// The stamp and content sum of the dictionary files open as data_fd and
// index_fd, whose identities are data and index (word_count left 0); false
// when a file cannot be read whole.
bool StampRanks(int data_fd, const FileIdentity &data, int index_fd, const FileIdentity &index,
                RankHeader *header);

class RankFile {
 public:
  // Views bytes, a rank file's image, as the ranks of a dictionary of
  // word_count words with the given stamp. content_sum is asked (at most
  // once) when the sizes and the index checksum match but the modification
  // times do not; it answers the dictionary files' content sum, or nothing
  // when they cannot be read. The rank file refers to bytes, which must
  // outlive it. nullptr, with *why set, when the image is refused.
  static std::unique_ptr<RankFile> View(std::span<const unsigned char> bytes,
                                        uint32_t word_count, const FilterStamp &stamp,
                                        const std::function<std::optional<uint64_t>()> &content_sum,
                                        std::string *why);

  // Opens PREFIX.pwr for the dictionary of word_count words whose data and
  // index files are open as data_fd and index_fd, with identities data and
  // index. *identity receives the rank file's identity (not existing when
  // there is none). nullptr with *why empty when there is no rank file;
  // nullptr with *why set, in one phrase, when it is refused.
  static std::unique_ptr<RankFile> Open(const std::string &prefix, uint32_t word_count,
                                        int data_fd, const FileIdentity &data, int index_fd,
                                        const FileIdentity &index, FileIdentity *identity,
                                        std::string *why);

  RankFile(const RankFile &) = delete;
  RankFile &operator=(const RankFile &) = delete;

  uint32_t word_count() const { return word_count_; }

  // The rank of word index as stored; word_count() for an index at or
  // beyond it, and for a stored 0 (which no build writes).
  uint32_t Rank(uint32_t index) const {
    if (index >= word_count_) return word_count_;
    const uint32_t rank = DecodeFixed32(ranks_.data() + size_t{kRankBytes} * index);
    return rank == 0 ? word_count_ : rank;
  }

 private:
  RankFile() = default;
  std::unique_ptr<FileMap> map_;  // when opened from a file
  std::span<const unsigned char> ranks_;
  uint32_t word_count_ = 0;
};

// Writes a rank file: the ranks in index order, then, once the dictionary
// files are finished, the header stamped with them.
class RankWriter {
 public:
  // Takes the file, empty and open for writing.
  explicit RankWriter(UniqueFile file);
  RankWriter(const RankWriter &) = delete;
  RankWriter &operator=(const RankWriter &) = delete;

  // Appends the rank of the next word; false once a write has failed.
  bool Add(uint32_t rank);

  // Writes the header for the finished dictionary files at data_path and
  // index_path (the staged files: renaming keeps what the stamp records),
  // and closes the file. True when every write succeeded and the files
  // could be read to stamp it.
  bool Finish(const std::string &data_path, const std::string &index_path);

  uint64_t ranks() const { return ranks_; }

 private:
  UniqueFile file_;
  uint64_t ranks_ = 0;
  bool failed_ = false;
};

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_RANK_FILE_H_
