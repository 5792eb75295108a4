// Unlinked temporary files.

#include "build/temp_files.h"

#include <fcntl.h>
#include <stdlib.h>

namespace quarvel::engine {

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

}  // namespace quarvel::engine
