// The word lists a build reads: opened all at once, read in chunks.
#ifndef QUARVEL_SRC_BUILD_SOURCES_H_
#define QUARVEL_SRC_BUILD_SOURCES_H_

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quarvel::engine {

inline constexpr size_t kReadChunk = size_t{1} << 20;

// An open file descriptor; standard input stays open.
class Fd {
 public:
  explicit Fd(int fd = -1, bool owned = true) : fd_(fd), owned_(owned) {}
  Fd(Fd &&o) noexcept : fd_(std::exchange(o.fd_, -1)), owned_(o.owned_) {}
  Fd &operator=(Fd &&) = delete;
  ~Fd() {
    if (fd_ >= 0 && owned_) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
  bool owned_;
};

// The folder of a path: "." for a bare name.
std::string FolderOf(const std::string &path);

// Opens every source ("-": standard input), so that a missing one fails the
// build before any work, with "cannot open " + what; total is their size
// when every source is a regular file, else 0.
std::vector<Fd> OpenSources(const std::vector<std::string> &sources, std::string_view what,
                            uint64_t &total);

inline ssize_t ReadSome(int fd, char *out, size_t size) {
  for (;;) {
    const ssize_t n = read(fd, out, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_BUILD_SOURCES_H_
