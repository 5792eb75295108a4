// Internal view of the packed dictionary layer, for the library's own code
// and white-box tests. Nothing here is exported.
#ifndef QUARVEL_SRC_WORDSTORE_DICTMANGER_INTERNAL_H_
#define QUARVEL_SRC_WORDSTORE_DICTMANGER_INTERNAL_H_

#include <cstdint>
#include <cstdio>

#include "quarvel/dictmanger.h"

extern "C" {

// Scratch space for reading the wide index layout: the 20-byte wide header
// (decoded) and the 256 64-bit mark entries.
struct PackedDict64 {
  uint64_t magic;
  uint64_t word_count;
  uint16_t block_length;
  uint16_t pad;
  uint64_t marks[256];
};

// The one descriptor of the process; PWOpen hands out nothing else.
extern PackedDict pdesc;
extern PackedDict64 pdesc64;

// 1 when the open index file has the wide layout (its first 8 bytes read as
// one little-endian 64-bit number equal the magic), else 0. Leaves the file
// position after the first 20 bytes.
int _PWIsBroken64(FILE *ifp);

}  // extern "C"

namespace quarvel {

// Number of block entries that the index file of a dictionary open for
// reading actually holds (0 when it is not open for reading).
uint64_t ReadableBlockCount(PackedDict *pwp);

}  // namespace quarvel

#endif  // QUARVEL_SRC_WORDSTORE_DICTMANGER_INTERNAL_H_
