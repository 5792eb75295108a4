// Opening the word lists of a build.

#include "build/sources.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "build/build_failure.h"

namespace quarvel::engine {

std::string FolderOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::vector<Fd> OpenSources(const std::vector<std::string> &sources, std::string_view what,
                            uint64_t &total) {
  std::vector<Fd> fds;
  total = 0;
  bool known = true;
  for (const std::string &source : sources) {
    if (source == "-") {
      fds.emplace_back(0, false);
    } else {
      const int fd = open(source.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) {
        throw SystemFailure(kCannotOpen, "cannot open " + std::string(what), source, errno);
      }
      fds.emplace_back(fd, true);
    }
    struct stat status;
    if (fstat(fds.back().get(), &status) == 0 && S_ISREG(status.st_mode)) {
      total += static_cast<uint64_t>(status.st_size);
    } else {
      known = false;
    }
  }
  if (!known) total = 0;
  return fds;
}

}  // namespace quarvel::engine
