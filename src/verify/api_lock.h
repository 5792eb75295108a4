// The one process-wide lock of the library's top-level operations.
//
// The library keeps its state in process-wide variables (the settings, the
// one open dictionary, the result areas), so it serves one caller at a time.
// LoadConfigFile, VerifyPW, DictFindPW, CreateDict, DeleteDict, Dict2Data and
// the Java native methods hold this lock for their whole run. It is
// recursive, because the operations call one another (VerifyPW searches
// with DictFindPW). The lower-level functions (dictionary files, rules,
// configuration store) take no lock and stay single-threaded.
#ifndef QUARVEL_SRC_VERIFY_API_LOCK_H_
#define QUARVEL_SRC_VERIFY_API_LOCK_H_

#include <pthread.h>

namespace quarvel {

// Holds the lock from construction to destruction. Built on a statically
// initialised pthread mutex: usable from any thread at any time, and it
// never throws.
class ApiLock {
 public:
  ApiLock() { pthread_mutex_lock(&mutex_); }
  ~ApiLock() { pthread_mutex_unlock(&mutex_); }
  ApiLock(const ApiLock &) = delete;
  ApiLock &operator=(const ApiLock &) = delete;

 private:
  static pthread_mutex_t mutex_;
};

}  // namespace quarvel

#endif  // QUARVEL_SRC_VERIFY_API_LOCK_H_
