// Reading a dictionary through the descriptor of PWOpen: opening it (served
// from memory when the cache of decoded dictionaries allows), and GetPW and
// FindPW from its files.
#ifndef QUARVEL_SRC_STORE_PW_READER_H_
#define QUARVEL_SRC_STORE_PW_READER_H_

#include <cstdint>
#include <cstdio>

#include "quarvel/dictmanger.h"

namespace quarvel {

// Opens the files at prefix into pwp and reads the header and marks;
// nullptr (with the reason on standard error) when it cannot be read.
PackedDict *OpenForReading(PackedDict *pwp, const char *prefix);

// Closes a descriptor open for reading.
void CloseReading(PackedDict *pwp);

// GetPW and FindPW.
char *ReadWord(PackedDict *pwp, uint32_t number);
int32_t FindWord(PackedDict *pwp, const char *word);

// True when the open index file has the wide layout (its first 8 bytes read
// as one little-endian 64-bit number equal the magic). Leaves the file
// position after the first 20 bytes.
bool IsWideIndex(FILE *index_file);

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_PW_READER_H_
