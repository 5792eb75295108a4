// A reader-writer lock that lets a waiting writer in before any reader that
// asks after it: a writer waits for the readers holding the lock when it
// asks, never for later ones, however many threads keep taking it shared.
// (A lock that lets new readers join a read phase while a writer waits can
// keep a writer out for as long as readers overlap.) It is glibc's
// pthread_rwlock of the writer-preferring kind, statically initialised, so
// usable from any thread at any time; ThreadSanitizer follows it. It meets
// the SharedMutex requirements, for std::shared_lock and std::unique_lock.
//
// Not recursive on the reading side: a thread that holds it shared must not
// ask for it shared again, since a writer queued in between would wait for
// that thread, and the thread for the writer.
#ifndef QUARVEL_SRC_BASE_WRITER_FIRST_LOCK_H_
#define QUARVEL_SRC_BASE_WRITER_FIRST_LOCK_H_

#include <pthread.h>

namespace quarvel {

class WriterFirstLock {
 public:
  constexpr WriterFirstLock() = default;
  WriterFirstLock(const WriterFirstLock &) = delete;
  WriterFirstLock &operator=(const WriterFirstLock &) = delete;

  void lock() { pthread_rwlock_wrlock(&lock_); }
  bool try_lock() { return pthread_rwlock_trywrlock(&lock_) == 0; }
  void unlock() { pthread_rwlock_unlock(&lock_); }
  void lock_shared() { pthread_rwlock_rdlock(&lock_); }
  // Fails while a writer holds the lock or waits for it.
  bool try_lock_shared() { return pthread_rwlock_tryrdlock(&lock_) == 0; }
  void unlock_shared() { pthread_rwlock_unlock(&lock_); }

 private:
#ifdef PTHREAD_RWLOCK_WRITER_NONRECURSIVE_INITIALIZER_NP
  pthread_rwlock_t lock_ = PTHREAD_RWLOCK_WRITER_NONRECURSIVE_INITIALIZER_NP;
#else
  // Emscripten's musl, in a WebAssembly module without threads: no kind of
  // lock to choose, and no other thread to let in first.
  pthread_rwlock_t lock_ = PTHREAD_RWLOCK_INITIALIZER;
#endif
};

}  // namespace quarvel

#endif  // QUARVEL_SRC_BASE_WRITER_FIRST_LOCK_H_
