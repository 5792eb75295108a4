/* In-place text helpers of the configuration store.
 *
 * A blank is exactly one of space, tab, carriage return and line feed;
 * vertical tab, form feed and every other byte are not blanks. Texts are
 * NUL-terminated and modified in place. Not thread-safe on a shared buffer.
 */
#ifndef QUARVEL_GSTRING_H_
#define QUARVEL_GSTRING_H_

#include <stdint.h>

#include "quarvel/export.h"

QUARVEL_BEGIN_DECLS

/* Removes the leading blanks of text by moving the rest, terminator included,
 * to the start of the buffer. Returns text; NULL and "" come back unchanged. */
QUARVEL_EXPORT char *gltrim(char *text) QUARVEL_NOEXCEPT;

/* Overwrites every trailing blank of text with a NUL byte. Returns text; NULL
 * and "" come back unchanged. */
QUARVEL_EXPORT char *grtrim(char *text) QUARVEL_NOEXCEPT;

/* grtrim, then gltrim. Blanks inside the text stay. Returns text. */
QUARVEL_EXPORT char *gtrim(char *text) QUARVEL_NOEXCEPT;

/* Replaces the first occurrence of pattern in text by replacement, provided
 * that the occurrence lies wholly within the first len bytes of text. The
 * result is copied back into the buffer bounded by len bytes: a shorter
 * result is padded with NUL bytes up to len bytes; a result of len bytes or
 * more is cut to len bytes and gets no terminator. The buffer must hold at
 * least len bytes. Returns text.
 *
 * Nothing is changed, not even the bytes after the terminator, when text is
 * NULL, len is zero or negative, pattern is NULL or empty, replacement is
 * NULL, the pattern does not occur within the bound, or memory runs out.
 * replacement may point into text. */
QUARVEL_EXPORT char *greplace(char *text, int32_t len, const char *pattern,
                              const char *replacement) QUARVEL_NOEXCEPT;

/* greplace with value written in decimal ("%d") as the replacement. */
QUARVEL_EXPORT char *greplaceInt(char *text, int32_t len, const char *pattern,
                                 int32_t value) QUARVEL_NOEXCEPT;

/* Copies at most n bytes of src to dst without splitting a two-byte
 * character: a byte of 0x80 or above is the first byte of a character made of
 * it and the byte after it. Where only such a first byte would still fit, a
 * space is written in its place and copying stops. Copying also stops at the
 * terminator of src, which is copied only when it is the second byte of a
 * two-byte character. No terminator is added and dst bytes after the copied
 * ones stay as they were. Returns dst; nothing is written when n <= 0 or
 * either pointer is NULL. */
QUARVEL_EXPORT char *gstrlcpy(char *dst, const char *src, int32_t n) QUARVEL_NOEXCEPT;

QUARVEL_END_DECLS

#endif /* QUARVEL_GSTRING_H_ */
