// Internal view of the packed dictionary layer, for the library's own code
// and white-box tests. Nothing here is exported.
#ifndef QUARVEL_SRC_STORE_DICTMANGER_INTERNAL_H_
#define QUARVEL_SRC_STORE_DICTMANGER_INTERNAL_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

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

// Longest block in the data file: a first word of 31 bytes and its NUL, then
// 15 slots of a shared count, 31 bytes and a NUL.
inline constexpr size_t kMaxBlockBytes = 527;

// Encodes 16 slots (words of at most 31 bytes, NUL-terminated; empty slots
// only after the filled ones) as one block of the data file and answers its
// length.
size_t EncodeBlock(const char (&slots)[PACKED_DICT_BLOCK_WORDS][PACKED_DICT_MAX_WORD + 1],
                   std::span<unsigned char, kMaxBlockBytes> out);

// Decodes the 16 slots of one block from the bytes read; bytes past the end
// count as NUL. Corrupt input (a shared count beyond the previous word, a
// missing NUL) still yields words of at most 31 bytes and never reads or
// writes out of bounds.
void DecodeBlock(std::span<const unsigned char> bytes,
                 char (&out)[PACKED_DICT_BLOCK_WORDS][PACKED_DICT_MAX_WORD + 1]);

// Number of block entries that the index file of a dictionary open for
// reading actually holds (0 when it is not open for reading).
uint64_t ReadableBlockCount(PackedDict *pwp);

// File times advance in clock ticks of a few milliseconds, so a file
// rewritten within the tick in which it was read can keep its size and its
// times. A dictionary whose files changed less than this long before they are
// read is read from its files, and decoded into memory only at a later open,
// once its files have been quiet for longer.
inline constexpr int64_t kDefaultRacyNanoseconds = 100'000'000;

// Dictionaries opened for reading are served from memory, decoded once and
// revalidated against their files at every open. Switching this off reads
// every dictionary from its files. Tests use it to compare both ways, and to
// shorten the quiet time; either way the cache is emptied.
void SetDictionaryCache(bool enabled, int64_t racy_nanoseconds = kDefaultRacyNanoseconds);

// A counter that moves whenever this process writes or removes dictionary
// files: PWOpen for writing, PWClose of a writer, builds and deletions.
// Readers that keep dictionaries look at their files again when it moved.
uint64_t DictionaryWriteGeneration();
void NoteDictionaryWrite();

// True while the open dictionary is served from memory.
bool DictionaryServedFromMemory();

// Clears the area into which GetPW decodes blocks.
void WipeDictResultArea();

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_DICTMANGER_INTERNAL_H_
