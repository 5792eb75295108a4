// The process-wide lock of the operations that change the specified
// functions' state: LoadConfigFile, CreateDict, DeleteDict, Dict2Data and the
// Java native methods that load or build hold it for their whole run, so
// that they run one at a time. It is recursive, because they call one
// another. VerifyPW and DictFindPW never take it: they read the settings as
// atomics, the slots' texts (which are never freed) and the snapshot the
// last load published, so a load or a build never waits for checks, and
// checks never wait for a load. The lower-level functions (dictionary files,
// rules, configuration store) take no lock and stay single-threaded.
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
