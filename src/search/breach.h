// Looking candidates up in hashed leaked-password lists: each candidate is
// hashed with SHA-1 and its key looked up (store/hash_dict.h).
#ifndef QUARVEL_SRC_SEARCH_BREACH_H_
#define QUARVEL_SRC_SEARCH_BREACH_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "store/hash_dict.h"

namespace quarvel::engine {

// A hashed list searched by a check.
struct BreachRef {
  const char *prefix = "";  // as configured: traced and explained
  int number = 1;           // n of breach.file.prefix.n
  const HashDict *list = nullptr;
};

// False when this build has no SHA-1 (configured lists then fail to load).
bool BreachListsSupported();

// The stored key of the SHA-1 of bytes[0..size).
uint64_t Sha1Key(const void *bytes, size_t size);

// Answers whether a candidate's hash is in one list at least min_count
// times, keeping the count of the last hit.
class BreachLookup {
 public:
  BreachLookup(const HashDict &list, uint64_t min_count) : list_(list), min_count_(min_count) {}

  bool Has(const void *bytes, size_t size) {
    const uint64_t count = list_.CountOf(Sha1Key(bytes, size));
    if (count == 0 || count < min_count_) return false;
    count_ = count;
    return true;
  }
  bool operator()(const char *candidate) { return Has(candidate, std::strlen(candidate)); }

  uint64_t count() const { return count_; }

 private:
  const HashDict &list_;
  uint64_t min_count_;
  uint64_t count_ = 0;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_SEARCH_BREACH_H_
