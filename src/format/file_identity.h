// The identity of a file: what tells a rewritten or replaced file from the
// one read before.
#ifndef QUARVEL_SRC_FORMAT_FILE_IDENTITY_H_
#define QUARVEL_SRC_FORMAT_FILE_IDENTITY_H_

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace quarvel {

struct FileIdentity {
  bool exists = false;
  bool regular = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified = {};
  timespec changed = {};

  bool operator==(const FileIdentity &o) const {
    return exists == o.exists && regular == o.regular && device == o.device && inode == o.inode &&
           size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }

  // The same file, whatever its content now.
  bool SameFile(const FileIdentity &o) const {
    return exists && o.exists && device == o.device && inode == o.inode;
  }
};

inline FileIdentity IdentityOf(const struct stat &status) {
  FileIdentity id;
  id.exists = true;
  id.regular = S_ISREG(status.st_mode);
  id.device = status.st_dev;
  id.inode = status.st_ino;
  id.size = status.st_size;
  id.modified = status.st_mtim;
  id.changed = status.st_ctim;
  return id;
}

inline FileIdentity IdentityOfPath(const std::string &path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? IdentityOf(status) : FileIdentity{};
}

inline FileIdentity IdentityOfFd(int fd) {
  struct stat status;
  return fd >= 0 && fstat(fd, &status) == 0 ? IdentityOf(status) : FileIdentity{};
}

// Data, index and mark file of a dictionary, in that order.
using Identities = std::array<FileIdentity, 3>;

inline int64_t Nanoseconds(const timespec &t) {
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Data, index and mark file of the dictionary at prefix, by path.
inline Identities IdentitiesOfPrefix(const std::string &prefix) {
  return {IdentityOfPath(prefix + ".pwd"), IdentityOfPath(prefix + ".pwi"),
          IdentityOfPath(prefix + ".hwm")};
}

// File times advance in clock ticks of a few milliseconds, so a file
// rewritten within the tick in which it was read can keep its size and its
// times. Files changed less than quiet_ns before read_at may still change
// unseen; a file system that keeps whole seconds gets two seconds.
// kQuietNanoseconds is the window every dictionary reader uses by default.
inline bool ChangedJustBefore(const Identities &files, const timespec &read_at, int64_t quiet_ns) {
  for (const FileIdentity &file : files) {
    if (!file.exists) continue;
    const int64_t latest = std::max(Nanoseconds(file.modified), Nanoseconds(file.changed));
    const bool coarse = file.modified.tv_nsec == 0 && file.changed.tv_nsec == 0;
    const int64_t quiet =
        coarse && quiet_ns > 0 ? std::max<int64_t>(quiet_ns, 2'000'000'000) : quiet_ns;
    if (latest > Nanoseconds(read_at) - quiet) return true;
  }
  return false;
}

inline constexpr int64_t kQuietNanoseconds = 100'000'000;

// Revalidation of what a reader read: true when files read at read_at (racy:
// they had changed just before) are no longer those now at their paths
// (current), or were racy and have been quiet for quiet_ns since.
inline bool FilesStale(const Identities &read, const timespec &read_at, bool racy,
                       const Identities &current, const timespec &now, int64_t quiet_ns) {
  if (racy && Nanoseconds(now) - Nanoseconds(read_at) > quiet_ns) return true;
  return current != read;
}

}  // namespace quarvel

#endif  // QUARVEL_SRC_FORMAT_FILE_IDENTITY_H_
