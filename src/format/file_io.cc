// File input and output below every format.

#include "format/file_io.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "format/map_faults.h"

namespace quarvel {

int OpenForReading(const std::string &path) {
  return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

size_t ReadAtFd(int fd, uint64_t offset, std::span<unsigned char> out, int *error) {
  if (error != nullptr) *error = 0;
  if (offset > static_cast<uint64_t>(INT64_MAX)) return 0;
  size_t got = 0;
  while (got < out.size()) {
    const ssize_t n =
        pread(fd, out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && error != nullptr) *error = errno;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

namespace {

// The one write loop: positioned when offset is not negative.
bool WriteLoop(int fd, int64_t offset, std::span<const unsigned char> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = offset < 0
                          ? write(fd, bytes.data(), bytes.size())
                          : pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<size_t>(n));
    if (offset >= 0) offset += n;
  }
  return true;
}

}  // namespace

bool WriteAllFd(int fd, std::span<const unsigned char> bytes) { return WriteLoop(fd, -1, bytes); }

bool WriteAllAtFd(int fd, uint64_t offset, std::span<const unsigned char> bytes) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) {
    errno = EOVERFLOW;
    return false;
  }
  return WriteLoop(fd, static_cast<int64_t>(offset), bytes);
}

std::unique_ptr<FileMap> FileMap::Map(int fd, uint64_t size, std::string *why) {
  std::unique_ptr<FileMap> map(new FileMap);
  if (size == 0) return map;
  if (size > SIZE_MAX / 2) {
    if (why != nullptr) *why = "file too large for the address space";
    return nullptr;
  }
  void *p = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) {
    if (why != nullptr) *why = std::string("cannot map: ") + std::strerror(errno);
    return nullptr;
  }
  map->watch_ = WatchMappedRange(p, static_cast<size_t>(size));
  if (map->watch_ < 0) {
    munmap(p, static_cast<size_t>(size));
    if (why != nullptr) *why = "cannot map: no room to watch the map for faults";
    return nullptr;
  }
  map->data_ = static_cast<const unsigned char *>(p);
  map->size_ = static_cast<size_t>(size);
  return map;
}

FileMap::~FileMap() {
  ForgetMappedRange(watch_);
  if (data_ != nullptr) munmap(const_cast<unsigned char *>(data_), size_);
}

bool FileMap::faulted() const { return MappedRangeFaulted(watch_); }

void FileMap::AdviseRandom() const {
  if (data_ != nullptr) madvise(const_cast<unsigned char *>(data_), size_, MADV_RANDOM);
}

void FileMap::Release(uint64_t bytes) const {
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  const size_t length = static_cast<size_t>(std::min<uint64_t>(bytes, size_) / page * page);
  if (data_ != nullptr && length > 0) {
    madvise(const_cast<unsigned char *>(data_), length, MADV_DONTNEED);
  }
}

}  // namespace quarvel
