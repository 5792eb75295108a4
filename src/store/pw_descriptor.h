// The process-wide descriptor behind PWOpen and its kin, and the handling of
// its three files that reading and writing share. Not thread-safe: PWOpen's
// callers serialise.
#ifndef QUARVEL_SRC_STORE_PW_DESCRIPTOR_H_
#define QUARVEL_SRC_STORE_PW_DESCRIPTOR_H_

#include <string>

#include "format/dict_layout.h"
#include "quarvel/dictmanger.h"

// The one descriptor of the process; PWOpen hands out nothing else.
extern "C" PackedDict pdesc;

namespace quarvel {

inline bool IsOpen(const PackedDict *pwp) {
  return pwp != nullptr && pwp->header.magic == kDictMagic;
}

inline bool IsOpenForReading(const PackedDict *pwp) {
  return IsOpen(pwp) && (pwp->flags & PACKED_DICT_WRITE) == 0 && pwp->index_file != nullptr &&
         pwp->data_file != nullptr;
}

struct DictionaryNames {
  explicit DictionaryNames(const char *prefix)
      : data(std::string(prefix) + ".pwd"),
        index(std::string(prefix) + ".pwi"),
        mark(std::string(prefix) + ".hwm") {}
  std::string data, index, mark;
};

// Opens the three files in mode; false (with the index file's error
// reported) when the data or the index file does not open.
bool OpenFiles(PackedDict *pwp, const DictionaryNames &names, const char *mode);

// Closes every file of the descriptor; false when a close reported an error
// (for a file open for writing, the last buffered bytes may be lost).
bool CloseFiles(PackedDict *pwp);

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_PW_DESCRIPTOR_H_
