// The write generation: a counter that moves whenever this process writes or
// removes dictionary files (PWOpen for writing, PWClose of a writer, builds
// and deletions), or the dictionary cache's change watch saw another process
// do so. Readers that keep dictionaries look at their files again when it
// moved. Any thread may read or move it.
#ifndef QUARVEL_SRC_STORE_WRITE_GENERATION_H_
#define QUARVEL_SRC_STORE_WRITE_GENERATION_H_

#include <cstdint>

namespace quarvel {

uint64_t DictionaryWriteGeneration();
void NoteDictionaryWrite();

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_WRITE_GENERATION_H_
