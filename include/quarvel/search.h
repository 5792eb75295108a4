/* Dictionary search: is a word, or one of its variants, in a dictionary?
 *
 * Variants are derived in four passes: a fixed table of mangling rules
 * (trimmed ends, punctuation and symbols removed, leet-speak substitutions
 * undone), the same rules over the reversed word, the word followed by a
 * number, and a number followed by the word. The first hit ends the search.
 * Thread-safe: the search keeps its candidates on the caller's stack and
 * reads the dictionary from memory; the switches below are process-wide.
 */
#ifndef QUARVEL_SEARCH_H_
#define QUARVEL_SEARCH_H_

#include "quarvel/export.h"

QUARVEL_BEGIN_DECLS

/* Searches word (its first 256 characters) and its variants in the dictionary
 * named by prefix. Answers "0001" on a hit, "1001" when the dictionary cannot
 * be opened, or NULL when no variant is found. The dictionary is closed
 * before it returns. Traces its passes on standard output. */
QUARVEL_EXPORT const char *DictFindPW(const char *word, const char *prefix) QUARVEL_NOEXCEPT;

/* Numeric-suffix search: selector 1 tries the numbers 0 to 9, 2 tries 00 to
 * 99, anything else switches it off. */
QUARVEL_EXPORT void SetPostFixCnt(int selector) QUARVEL_NOEXCEPT;

/* Numeric-prefix search, same selectors. */
QUARVEL_EXPORT void SetPreFixCnt(int selector) QUARVEL_NOEXCEPT;

/* Reversed-word passes: any non-zero value switches them on. */
QUARVEL_EXPORT void SetUseReverse(int on) QUARVEL_NOEXCEPT;

QUARVEL_END_DECLS

#endif /* QUARVEL_SEARCH_H_ */
