/* Small in-place string utilities used by the word store and its callers. */
#ifndef QUARVEL_STRINGUTIL_H_
#define QUARVEL_STRINGUTIL_H_

#include "quarvel/export.h"

QUARVEL_BEGIN_DECLS

/* Removes the last character of string in place and returns it; returns '\0'
 * and changes nothing for an empty (or NULL) string. */
QUARVEL_EXPORT char Chop(char *string) QUARVEL_NOEXCEPT;

/* Removes trailing white space (blank, \t, \n, \v, \f, \r) in place and
 * returns a pointer to the new terminating NUL (NULL for a NULL string). */
QUARVEL_EXPORT char *Trim(char *string) QUARVEL_NOEXCEPT;

/* Returns a heap copy of string that the caller releases with free(), or NULL
 * when memory runs out or string is NULL. */
QUARVEL_EXPORT char *Clone(const char *string) QUARVEL_NOEXCEPT;

QUARVEL_END_DECLS

#endif /* QUARVEL_STRINGUTIL_H_ */
