// Wiping of the word store's process-wide result areas. Verification calls
// these before it returns, so that no password, or variant of one, stays in
// the library's memory.
#ifndef QUARVEL_SRC_WORDSTORE_SCRATCH_H_
#define QUARVEL_SRC_WORDSTORE_SCRATCH_H_

#include <string.h>

#include <cstddef>

namespace quarvel {

// A wipe the compiler cannot drop as a dead store.
inline void SecureWipe(void *area, size_t size) { explicit_bzero(area, size); }

// Clears the result areas of the text transformations and of Mangle.
void WipeRuleAreas();

// Clears the area into which GetPW decodes blocks.
void WipeDictResultArea();

}  // namespace quarvel

#endif  // QUARVEL_SRC_WORDSTORE_SCRATCH_H_
