// SHA-1 keys of candidates, through OpenSSL's libcrypto.

#include "engine/breach.h"

#if QUARVEL_HAVE_SHA1
#include <openssl/sha.h>
#endif

#include "wordstore/scratch.h"

namespace quarvel::engine {

#if QUARVEL_HAVE_SHA1

bool BreachListsSupported() { return true; }

uint64_t Sha1Key(const void *bytes, size_t size) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(static_cast<const unsigned char *>(bytes), size, digest);
  const uint64_t key = HashKeyOfDigest(digest);
  // The digest of a password is as good as the password against a list.
  SecureWipe(digest, sizeof(digest));
  return key;
}

#else

bool BreachListsSupported() { return false; }

uint64_t Sha1Key(const void *, size_t) { return 0; }

#endif

}  // namespace quarvel::engine
