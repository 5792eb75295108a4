// Writing a dictionary through the descriptor of PWOpen: the standard layout
// of format/dict_layout.h, a block at a time. (DictWriter, dict_writer.h,
// writes the same bytes with state of its own, and the wide layout.)
#ifndef QUARVEL_SRC_STORE_PW_WRITER_H_
#define QUARVEL_SRC_STORE_PW_WRITER_H_

#include "quarvel/dictmanger.h"

namespace quarvel {

// Creates (or truncates) the files at prefix and writes a provisional
// header; nullptr when the data or index file does not open.
PackedDict *OpenForWriting(PackedDict *pwp, const char *prefix);

// PutPW.
int PutWord(PackedDict *pwp, const char *word);

// Writes the last block, the final header and the marks, then closes every
// file; false when any write of the build failed.
bool CloseWriting(PackedDict *pwp);

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_PW_WRITER_H_
