// The files of a dictionary change as one set. Renaming a rebuilt
// dictionary's files into place (StagedDictionary::Commit) and removing a
// dictionary's files (DeleteDict) take this lock exclusively; opening them
// for searching (Dictionary::Open) takes it shared, so that an open in this
// process never meets some files of a dictionary replaced and others not.
// Only the renames, the removals and the open calls themselves run under
// it: never a read, a decode or a search, so that a build waits for the
// opens of that moment only, and checks never wait for a build's writing.
#ifndef QUARVEL_SRC_STORE_FILE_SET_LOCK_H_
#define QUARVEL_SRC_STORE_FILE_SET_LOCK_H_

#include "base/writer_first_lock.h"

namespace quarvel {

inline constinit WriterFirstLock file_set_lock;

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_FILE_SET_LOCK_H_
