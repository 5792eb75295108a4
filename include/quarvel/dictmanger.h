/* Packed dictionary files.
 *
 * A packed dictionary is a sorted word list stored in three files named after
 * a prefix (a path without extension): "<prefix>.pwd" holds the words,
 * front-compressed in blocks of 16; "<prefix>.pwi" holds a header and the
 * data-file offset of every block; "<prefix>.hwm" holds, for each first byte,
 * the index of the last word that begins with it. docs/file-format.md gives
 * the exact bytes.
 *
 * One dictionary is open in the whole process at a time, in the single
 * descriptor that PWOpen returns. Not thread-safe: callers serialise.
 */
#ifndef QUARVEL_DICTMANGER_H_
#define QUARVEL_DICTMANGER_H_

#include <stdint.h>
#include <stdio.h>

#include "quarvel/export.h"

QUARVEL_BEGIN_DECLS

/* Magic number of an index file (bytes 31 56 77 70). */
#define PACKED_DICT_MAGIC 0x70775631u
/* Words per block. */
#define PACKED_DICT_BLOCK_WORDS 16
/* Longest stored word in bytes; longer words are cut to this length. */
#define PACKED_DICT_MAX_WORD 31

/* Bits of PackedDict.flags. */
#define PACKED_DICT_WRITE 0x1u     /* opened for writing */
#define PACKED_DICT_FLUSH 0x2u     /* closing: write the last block */
#define PACKED_DICT_USE_MARKS 0x4u /* marks are valid (writing: write the mark file) */
#define PACKED_DICT_FAILED 0x8u    /* writing: a write failed; nothing more is written */

/* The 12-byte standard index header, as held in memory. */
typedef struct PackedDictHeader {
  uint32_t magic;        /* PACKED_DICT_MAGIC while the dictionary is open, else 0 */
  uint32_t word_count;   /* number of words */
  uint16_t block_length; /* always PACKED_DICT_BLOCK_WORDS */
  uint16_t pad;          /* always 0 */
} PackedDictHeader;

/* The descriptor of the open dictionary. Its layout is frozen: C callers may
 * read header.word_count (the value FindPW answers for an absent word). */
typedef struct PackedDict {
  FILE *index_file;        /* "<prefix>.pwi" */
  FILE *data_file;         /* "<prefix>.pwd" */
  FILE *mark_file;         /* "<prefix>.hwm", or NULL */
  uint32_t flags;          /* PACKED_DICT_* bits */
  uint32_t marks[256];     /* last word index per first byte */
  PackedDictHeader header; /* image of the standard index header */
  int pending_count;       /* words waiting in pending (writing) */
  char pending[16][32];    /* the block being filled (writing) */
} PackedDict;

/* Opens the dictionary named by prefix. A mode whose first character is 'w'
 * creates (or truncates) the three files for writing; any other mode, "rb" in
 * practice, opens them for reading. Returns the process-wide descriptor, or
 * NULL on failure (with a message on standard error for a damaged or missing
 * index file). Calling it while a dictionary is open closes that one, reports
 * it, and returns NULL. */
QUARVEL_EXPORT PackedDict *PWOpen(const char *prefix, const char *mode) QUARVEL_NOEXCEPT;

/* Appends a word to a dictionary open for writing. Words must arrive in
 * ascending byte order; a word longer than 31 bytes is cut to 31. Returns 0,
 * or -1 when the dictionary is not open for writing, the word is empty or
 * NULL, or a write failed (after which every further call answers -1). */
QUARVEL_EXPORT int PutPW(PackedDict *pwp, const char *word) QUARVEL_NOEXCEPT;

/* Closes the dictionary. For a dictionary open for writing, writes the last
 * block, the final header and the mark file first. Every file is closed and
 * the descriptor marked closed whatever happens; the result is 0, or -1 when
 * the descriptor was not open or any write of the build failed. */
QUARVEL_EXPORT int PWClose(PackedDict *pwp) QUARVEL_NOEXCEPT;

/* Returns the word with index number of a dictionary open for reading, or
 * NULL. The text lives in a library-owned area that the next GetPW call
 * overwrites. */
QUARVEL_EXPORT char *GetPW(PackedDict *pwp, uint32_t number) QUARVEL_NOEXCEPT;

/* Binary search: the index of word, or header.word_count when it is absent
 * (also for a NULL or empty word, or when a block cannot be read). Returns -1
 * for a NULL descriptor. */
QUARVEL_EXPORT int32_t FindPW(PackedDict *pwp, const char *word) QUARVEL_NOEXCEPT;

QUARVEL_END_DECLS

#endif /* QUARVEL_DICTMANGER_H_ */
