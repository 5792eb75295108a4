// The file handling shared by the dictionary and hashed-list builds, and
// the spilling of the word pool into runs.

#include "build/word_runs.h"

#include <sys/stat.h>

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

int OpenTemporary(const std::string &dir) {
  const std::string folder = dir.empty() ? std::string(".") : dir;
  int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string name = folder + "/.quarvel-run-XXXXXX";
  fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) throw SystemFailure(kCannotWrite, "cannot create a temporary file in", dir, errno);
  unlink(name.c_str());
  return fd;
}

void SpillRun(WordPool &pool, Runs &runs, const std::string &dir, size_t buffer_bytes,
              bool unique) {
  pool.Sort(unique);
  auto run = std::make_unique<RunFile>(dir, buffer_bytes);
  for (size_t i = 0; i < pool.size(); ++i) run->Append(pool.at(i));
  runs.push_back(std::move(run));
  pool.Clear();
}

}  // namespace quarvel::engine
