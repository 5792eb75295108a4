// The process-wide descriptor of PWOpen and its files.

#include "store/pw_descriptor.h"

#include <cstddef>
#include <cstdio>

extern "C" {
PackedDict pdesc;
}

namespace quarvel {

// The descriptor's layout is part of the C interface.
static_assert(sizeof(PackedDictHeader) == kIndexHeaderBytes);
static_assert(offsetof(PackedDictHeader, word_count) == 4);
static_assert(offsetof(PackedDictHeader, block_length) == 8);
static_assert(offsetof(PackedDictHeader, pad) == 10);
static_assert(offsetof(PackedDict, index_file) == 0);
static_assert(offsetof(PackedDict, data_file) == sizeof(FILE *));
static_assert(offsetof(PackedDict, mark_file) == 2 * sizeof(FILE *));
static_assert(offsetof(PackedDict, flags) == 3 * sizeof(FILE *));
static_assert(offsetof(PackedDict, marks) == 3 * sizeof(FILE *) + 4);
static_assert(offsetof(PackedDict, header) == 3 * sizeof(FILE *) + 4 + 1024);
static_assert(offsetof(PackedDict, pending_count) == 3 * sizeof(FILE *) + 4 + 1024 + 12);
static_assert(offsetof(PackedDict, pending) == 3 * sizeof(FILE *) + 4 + 1024 + 16);
static_assert(sizeof(PackedDict) ==
              (offsetof(PackedDict, pending) + 16 * 32 + alignof(FILE *) - 1) / alignof(FILE *) *
                  alignof(FILE *));

bool OpenFiles(PackedDict *pwp, const DictionaryNames &names, const char *mode) {
  pwp->data_file = fopen(names.data.c_str(), mode);
  if (pwp->data_file == nullptr) return false;
  pwp->index_file = fopen(names.index.c_str(), mode);
  if (pwp->index_file == nullptr) {
    fclose(pwp->data_file);
    pwp->data_file = nullptr;
    perror(names.index.c_str());
    return false;
  }
  pwp->mark_file = fopen(names.mark.c_str(), mode);
  if (pwp->mark_file != nullptr) pwp->flags |= PACKED_DICT_USE_MARKS;
  return true;
}

bool CloseFiles(PackedDict *pwp) {
  bool ok = true;
  // The data file first: a writer's index gets its word count from the last
  // flush, and another process that opens the files in between must not find
  // it counting blocks that the data file does not hold yet.
  for (FILE **file : {&pwp->data_file, &pwp->index_file, &pwp->mark_file}) {
    if (*file != nullptr && fclose(*file) != 0) ok = false;
    *file = nullptr;
  }
  return ok;
}

}  // namespace quarvel
