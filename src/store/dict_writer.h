// A writer of packed dictionary files with state of its own: any number of
// writers, and the process-wide descriptor of PWOpen, may be in use at once.
#ifndef QUARVEL_SRC_STORE_DICT_WRITER_H_
#define QUARVEL_SRC_STORE_DICT_WRITER_H_

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#include "quarvel/dictmanger.h"

namespace quarvel {

// The first data-file offset that does not fit the standard index layout's
// 32-bit entries. A block that starts there or later makes the writer switch
// to the wide layout.
inline constexpr uint64_t kWideOffsetThreshold = uint64_t{1} << 32;

struct FileCloser {
  void operator()(FILE *file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

// Writes the words handed to Add, in ascending byte order, as the three files
// of a packed dictionary. The files are byte for byte those that PWOpen(prefix,
// "wb"), PutPW and PWClose write for the same words, as long as every block
// starts below wide_threshold; from the first block that starts at or beyond
// it, the index and mark files take the wide layout (docs/file-format.md).
class DictWriter {
 public:
  // Takes the three files, empty and open for writing; the index file must
  // also be readable (mode "w+b"), since switching layouts rereads it. The
  // mark file may be NULL: then no mark file is written.
  DictWriter(UniqueFile data, UniqueFile index, UniqueFile mark,
             uint64_t wide_threshold = kWideOffsetThreshold);
  // Closes whatever is still open, without finishing the dictionary.
  ~DictWriter();
  DictWriter(const DictWriter &) = delete;
  DictWriter &operator=(const DictWriter &) = delete;

  // Appends word, cut to 31 bytes (and at a NUL byte). False for an empty
  // word (nothing is written), and once a write has failed or the index
  // holds 2^32 - 1 words (then every later call fails too).
  bool Add(std::string_view word);

  // Writes the last block, the final header and the mark file, and closes
  // the files. True when every write of the dictionary succeeded.
  bool Finish();

  uint64_t words() const { return word_count_; }
  bool wide() const { return wide_; }
  bool failed() const { return failed_; }

 private:
  bool WriteBlock();
  bool SwitchToWide();
  bool WriteHeader();
  bool WriteMarks();

  UniqueFile data_, index_, mark_;
  uint64_t wide_threshold_;
  bool wide_ = false;
  bool failed_ = false;
  uint64_t word_count_ = 0;
  uint64_t data_offset_ = 0;  // where the next block starts
  uint64_t blocks_ = 0;       // index entries written
  int pending_count_ = 0;
  char pending_[PACKED_DICT_BLOCK_WORDS][PACKED_DICT_MAX_WORD + 1] = {};
  std::array<uint32_t, 256> marks_ = {};
};

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_DICT_WRITER_H_
