// Wiping memory that held a password or a variant of one.
#ifndef QUARVEL_SRC_BASE_SECURE_WIPE_H_
#define QUARVEL_SRC_BASE_SECURE_WIPE_H_

#include <string.h>

#include <cstddef>

namespace quarvel {

// A wipe the compiler cannot drop as a dead store.
inline void SecureWipe(void *area, size_t size) { explicit_bzero(area, size); }

}  // namespace quarvel

#endif  // QUARVEL_SRC_BASE_SECURE_WIPE_H_
