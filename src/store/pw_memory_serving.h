// Serving the descriptor of PWOpen from memory: while a dictionary opened
// for reading has a decoded copy (from the cache in pw_decoded_cache.h), GetPW and
// FindPW answer from it instead of reading the files.
#ifndef QUARVEL_SRC_STORE_PW_MEMORY_SERVING_H_
#define QUARVEL_SRC_STORE_PW_MEMORY_SERVING_H_

#include <cstdint>
#include <memory>

#include "format/dict_layout.h"
#include "quarvel/dictmanger.h"
#include "store/memory_dict.h"

namespace quarvel {

// Serves the open descriptor from dict (nullptr: from its files).
void ServeFromMemory(std::shared_ptr<const MemoryDict> dict);
void StopServingFromMemory();

// True while pwp, the process's descriptor, is open for reading and served
// from memory.
bool ServedFromMemory(const PackedDict *pwp);

// GetPW from memory: decodes the block of word number into area and answers
// its slot; nullptr when the decoded blocks do not hold it (it is then read
// from the files). Only while ServedFromMemory.
char *MemoryWord(uint32_t number, BlockSlots &area);

// FindPW from memory. Only while ServedFromMemory.
int32_t MemoryFind(const char *word);

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_PW_MEMORY_SERVING_H_
