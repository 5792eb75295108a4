// SHA-1 keys of candidates, through OpenSSL's libcrypto.

#include "search/breach.h"

#if QUARVEL_HAVE_SHA1
// The one-shot SHA1() of OpenSSL 3 fetches the algorithm at every call,
// about 290 ns for a short password; the SHA1_Init family, deprecated but
// kept in OpenSSL 3, takes about 55 ns, and a check hashes hundreds of
// candidates.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>
#endif

#include "base/secure_wipe.h"

namespace quarvel::engine {

#if QUARVEL_HAVE_SHA1

bool BreachListsSupported() { return true; }

uint64_t Sha1Key(const void *bytes, size_t size) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA_CTX context;
  SHA1_Init(&context);
  SHA1_Update(&context, bytes, size);
  SHA1_Final(digest, &context);
  const uint64_t key = HashKeyOfDigest(digest);
  // The digest of a password is as good as the password against a list,
  // and the context holds the password's last block.
  SecureWipe(digest, sizeof(digest));
  SecureWipe(&context, sizeof(context));
  return key;
}

#else

bool BreachListsSupported() { return false; }

uint64_t Sha1Key(const void *, size_t) { return 0; }

#endif

}  // namespace quarvel::engine
