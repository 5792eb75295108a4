#include "store/staged_dictionary.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>
#include <vector>

#include "store/file_set_lock.h"

namespace quarvel {
namespace {

// Distinguishes the staged files of builds running at once in one process.
std::atomic<unsigned> g_staging_serial{0};

// Opens a new file at path, exclusively, readable and writable. With like,
// the mode, owner and group follow that file's; without, as fopen would.
int CreateLike(const std::string &path, const struct stat *like) {
  // Never more open than the file replaced, not even while it is written.
  const int fd =
      open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, like != nullptr ? 0600 : 0666);
  if (fd < 0 || like == nullptr) return fd;
  // Owner and group when the process may: a user may still give the file
  // the group when it belongs to it. Owner first, since a change of owner
  // may clear the set-id bits of the mode.
  struct stat created;
  if (fstat(fd, &created) == 0 &&
      (created.st_uid != like->st_uid || created.st_gid != like->st_gid) &&
      fchown(fd, like->st_uid, like->st_gid) != 0) {
    (void)!fchown(fd, static_cast<uid_t>(-1), like->st_gid);
  }
  if (fchmod(fd, like->st_mode & 07777) != 0) {
    const int error = errno;
    close(fd);
    unlink(path.c_str());
    errno = error;
    return -1;
  }
  return fd;
}

}  // namespace

std::string FollowLinks(const std::string &path) {
  std::string current = path;
  // As many links as the kernel follows in one lookup.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat status;
    if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return current;
    std::vector<char> target(static_cast<size_t>(status.st_size > 0 ? status.st_size : 255) + 2);
    const ssize_t n = readlink(current.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return current;
    std::string next(target.data(), static_cast<size_t>(n));
    if (next[0] != '/') {
      const size_t slash = current.rfind('/');
      if (slash != std::string::npos) next = current.substr(0, slash + 1) + next;
    }
    current = std::move(next);
  }
  return current;
}

StagedDictionary::StagedDictionary(std::string_view prefix, bool owns_rank_file)
    : owns_rank_file_(owns_rank_file) {
  const std::string tag =
      ".new-" + std::to_string(getpid()) + "-" + std::to_string(++g_staging_serial);
  for (size_t i = 0; i < kExtensions.size(); ++i) {
    targets_[i] = FollowLinks(std::string(prefix) + kExtensions[i]);
    staged_[i] = targets_[i] + tag;
  }
}

bool StagedDictionary::Create(UniqueFile &data, UniqueFile &index, UniqueFile &mark,
                              UniqueFile *ranks) {
  UniqueFile *files[] = {&data, &index, &mark, ranks};
  const size_t count = ranks != nullptr && owns_rank_file_ ? 4 : 3;
  for (size_t i = 0; i < count; ++i) {
    struct stat old;
    const bool replaces = stat(targets_[i].c_str(), &old) == 0 && S_ISREG(old.st_mode);
    const int fd = CreateLike(staged_[i], replaces ? &old : nullptr);
    FILE *file = fd >= 0 ? fdopen(fd, "w+b") : nullptr;
    if (file == nullptr) {
      const int error = errno;
      if (fd >= 0) {
        close(fd);
        unlink(staged_[i].c_str());
      }
      for (size_t j = 0; j < count; ++j) files[j]->reset();
      Discard();
      errno = error;
      return false;
    }
    created_[i] = true;
    files[i]->reset(file);
  }
  return true;
}

bool StagedDictionary::Commit() {
  bool ok = true;
  {
    // No open in this process sees the files half renamed. Another process
    // may: the mark file goes first, so that until the data and index
    // follow, searches of the old words are merely less narrowed by the new
    // marks.
    std::lock_guard files(file_set_lock);
    for (size_t i : {size_t{2}, size_t{0}, size_t{1}}) {
      if (created_[i] && rename(staged_[i].c_str(), targets_[i].c_str()) == 0) {
        created_[i] = false;
        continue;
      }
      if (i == 2 && (!created_[i] || errno == ENOENT)) {
        unlink(targets_[i].c_str());
      } else {
        ok = false;
      }
    }
    // The rank file follows the words it ranks, under the same lock. Without
    // one, an old one goes; one that cannot go is harmless, its stamp being
    // that of the old files.
    if (created_[kRanks]) {
      if (rename(staged_[kRanks].c_str(), targets_[kRanks].c_str()) == 0) {
        created_[kRanks] = false;
      } else {
        ok = false;
      }
    } else if (owns_rank_file_) {
      unlink(targets_[kRanks].c_str());
    }
  }
  Discard();
  return ok;
}

void StagedDictionary::Discard() {
  for (size_t i = 0; i < kExtensions.size(); ++i) {
    if (created_[i]) unlink(staged_[i].c_str());
    created_[i] = false;
  }
}

}  // namespace quarvel
