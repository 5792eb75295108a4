// Internal view of the packed dictionary layer behind PWOpen, for the
// library's own code and white-box tests. Nothing here is exported.
#ifndef QUARVEL_SRC_STORE_DICTMANGER_INTERNAL_H_
#define QUARVEL_SRC_STORE_DICTMANGER_INTERNAL_H_

#include <cstddef>
#include <cstdint>

#include "format/dict_layout.h"
#include "format/file_identity.h"
#include "quarvel/dictmanger.h"
#include "store/pw_descriptor.h"
#include "store/pw_reader.h"
#include "store/write_generation.h"

namespace quarvel {

// Number of block entries that the index file of a dictionary open for
// reading actually holds (0 when it is not open for reading).
uint64_t ReadableBlockCount(PackedDict *pwp);

// A dictionary whose files changed less than this long before they are
// read is read from its files, and decoded into memory only at a later open,
// once its files have been quiet for longer (ChangedJustBefore).
inline constexpr int64_t kDefaultRacyNanoseconds = kQuietNanoseconds;

// Dictionaries opened for reading are served from memory, decoded once and
// revalidated against their files at every open. Switching this off reads
// every dictionary from its files. Tests use it to compare both ways, and to
// shorten the quiet time; either way the cache is emptied.
void SetDictionaryCache(bool enabled, int64_t racy_nanoseconds = kDefaultRacyNanoseconds);

// True while the open dictionary is served from memory.
bool DictionaryServedFromMemory();

// Clears the area into which GetPW decodes blocks.
void WipeDictResultArea();

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_DICTMANGER_INTERNAL_H_
