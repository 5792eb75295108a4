// The SIGBUS handler of the read-only maps, and their table.

#include "format/map_faults.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace quarvel {
namespace {

// Maps alive at once: the cached dictionaries (index, data, filter) and the
// hashed lists, and the dictionaries that snapshots still hold.
constexpr size_t kSlots = 1024;

// Read by the handler, so lock-free: a slot is free while begin is 0.
// Registration writes end, then begin; the handler reads begin, then end.
struct Slot {
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> end{0};  // rounded up to a whole page
  std::atomic<uint32_t> faulted{0};
};
static_assert(std::atomic<uintptr_t>::is_always_lock_free);
static_assert(std::atomic<uint32_t>::is_always_lock_free);

Slot g_slots[kSlots];
std::atomic<size_t> g_used{0};  // slots below this may be in use
std::atomic<uint32_t> g_faults{0};
uintptr_t g_page = 4096;

// Written once, before the handler is installed, and only read after
// (g_installed orders the two for every thread).
struct sigaction g_previous;
std::atomic<bool> g_installed{false};
std::mutex g_mutex;  // registration

// Replaces [from, to) with zero pages. A raw system call: the sanitizers'
// wrappers of mmap are not meant to run in a signal handler.
bool ReplaceWithZeros(uintptr_t from, uintptr_t to) {
#if defined(__EMSCRIPTEN__)
  // WebAssembly raises no SIGBUS: a map there is a copy of the whole file.
  (void)from;
  (void)to;
  return false;
#else
  const long flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED;
#ifdef SYS_mmap2
  const long got = syscall(SYS_mmap2, static_cast<long>(from), static_cast<long>(to - from),
                           static_cast<long>(PROT_READ), flags, -1L, 0L);
#else
  const long got = syscall(SYS_mmap, static_cast<long>(from), static_cast<long>(to - from),
                           static_cast<long>(PROT_READ), flags, -1L, 0L);
#endif
  return static_cast<uintptr_t>(got) == from;
#endif
}

// A SIGBUS that is not about our maps, handled as it would have been
// without us.
void ForwardToPrevious(int sig, siginfo_t *info, void *context) {
  g_installed.load(std::memory_order_acquire);
  const struct sigaction &previous = g_previous;
  // Sent by kill or raise rather than raised by a read.
  const bool sent = info == nullptr || info->si_code <= 0;
  const bool has_handler = (previous.sa_flags & SA_SIGINFO) != 0
                               ? previous.sa_sigaction != nullptr
                               : previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN;
  if (!has_handler) {
    // An ignored signal that was sent stays ignored; a fault cannot be
    // ignored, and the kernel would end the process.
    if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler == SIG_IGN && sent) return;
    // The default action: the read faults again when this handler returns,
    // and a sent signal is raised again, delivered once it returns.
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    if (sent) raise(sig);
    return;
  }
  if ((previous.sa_flags & SA_RESETHAND) != 0) {
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
  }
  // Under the mask it was installed with.
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &previous.sa_mask, &old);
  if ((previous.sa_flags & SA_NODEFER) != 0) {
    sigset_t self;
    sigemptyset(&self);
    sigaddset(&self, sig);
    pthread_sigmask(SIG_UNBLOCK, &self, nullptr);
  }
  if ((previous.sa_flags & SA_SIGINFO) != 0) {
    previous.sa_sigaction(sig, info, context);
  } else {
    previous.sa_handler(sig);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void OnBusError(int sig, siginfo_t *info, void *context) {
  const int saved_errno = errno;
  if (info != nullptr && info->si_code > 0) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
    const size_t used = g_used.load(std::memory_order_acquire);
    for (size_t i = 0; i < used; ++i) {
      Slot &slot = g_slots[i];
      const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
      if (begin == 0 || at < begin) continue;
      const uintptr_t end = slot.end.load(std::memory_order_relaxed);
      if (at >= end) continue;
      // Marked before the pages change: a reader that sees zeros sees the
      // mark after its search.
      slot.faulted.store(1, std::memory_order_seq_cst);
      g_faults.fetch_add(1, std::memory_order_relaxed);
      if (ReplaceWithZeros(at & ~(g_page - 1), end)) {
        errno = saved_errno;
        return;
      }
      break;  // no memory for the zero pages: as if it were not ours
    }
  }
  ForwardToPrevious(sig, info, context);
  errno = saved_errno;
}

bool InstallLocked() {
  if (g_installed.load(std::memory_order_relaxed)) return true;
  const long page = sysconf(_SC_PAGESIZE);
  if (page > 0) g_page = static_cast<uintptr_t>(page);
  if (sigaction(SIGBUS, nullptr, &g_previous) != 0) return false;
  g_installed.store(true, std::memory_order_release);
  struct sigaction ours = {};
  ours.sa_sigaction = OnBusError;
  // SA_ONSTACK: hosts that run threads on small stacks (Go) require it.
  ours.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
  sigemptyset(&ours.sa_mask);
  if (sigaction(SIGBUS, &ours, nullptr) != 0) {
    g_installed.store(false, std::memory_order_relaxed);
    return false;
  }
  return true;
}

}  // namespace

int WatchMappedRange(const void *data, size_t length) {
  if (data == nullptr || length == 0) return -1;
  std::lock_guard lock(g_mutex);
  if (!InstallLocked()) return -1;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(data);
  const uintptr_t end = begin + ((length + g_page - 1) & ~(g_page - 1));
  for (size_t i = 0; i < kSlots; ++i) {
    Slot &slot = g_slots[i];
    if (slot.begin.load(std::memory_order_relaxed) != 0) continue;
    slot.faulted.store(0, std::memory_order_relaxed);
    slot.end.store(end, std::memory_order_relaxed);
    slot.begin.store(begin, std::memory_order_release);
    if (i >= g_used.load(std::memory_order_relaxed)) g_used.store(i + 1, std::memory_order_release);
    return static_cast<int>(i);
  }
  return -1;
}

void ForgetMappedRange(int slot) {
  if (slot < 0 || static_cast<size_t>(slot) >= kSlots) return;
  std::lock_guard lock(g_mutex);
  g_slots[slot].begin.store(0, std::memory_order_release);
}

bool MappedRangeFaulted(int slot) {
  return slot >= 0 && static_cast<size_t>(slot) < kSlots &&
         g_slots[slot].faulted.load(std::memory_order_acquire) != 0;
}

uint64_t RecoveredMapFaults() { return g_faults.load(std::memory_order_relaxed); }

}  // namespace quarvel
