// File input and output below every format: the positioned read loop, the
// write loops and a read-only map of a whole file. Every reader and writer of
// the dictionary files goes through these, so that short reads and writes,
// interruptions (EINTR) and offsets beyond off_t are handled in one place.
#ifndef QUARVEL_SRC_FORMAT_FILE_IO_H_
#define QUARVEL_SRC_FORMAT_FILE_IO_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace quarvel {

// Opens path for reading (close on exec). A FIFO or a device in a file's
// place opens at once, without waiting for a writer, and then reads as
// what it is (nothing, for a FIFO): a damaged file, never a hang.
int OpenForReading(const std::string &path);

// Reads up to out.size() bytes at offset of the open file fd, through short
// reads and interruptions, until out is full, the file ends or a read fails.
// Answers how many bytes arrived (0 for an offset beyond 2^63). *error, when
// given, is set to the errno of a failed read, or 0 when none failed.
size_t ReadAtFd(int fd, uint64_t offset, std::span<unsigned char> out, int *error = nullptr);

// Writes every byte of bytes at the current position of fd (WriteAllFd) or
// at offset (WriteAllAtFd, which leaves the position alone), through short
// writes and interruptions; false on an error (errno says which).
bool WriteAllFd(int fd, std::span<const unsigned char> bytes);
bool WriteAllAtFd(int fd, uint64_t offset, std::span<const unsigned char> bytes);

// A read-only map of a whole file; empty for an empty file. A file that
// another process shrinks while it is mapped does not end this process: the
// pages it lost read as zeros, and faulted() tells (format/map_faults.h).
class FileMap {
 public:
  // Maps size bytes of fd from offset 0; nullptr, with *why set (when given),
  // when the file does not fit the address space or the map fails.
  static std::unique_ptr<FileMap> Map(int fd, uint64_t size, std::string *why);
  ~FileMap();
  FileMap(const FileMap &) = delete;
  FileMap &operator=(const FileMap &) = delete;

  std::span<const unsigned char> bytes() const { return {data_, size_}; }

  // Tells the kernel that reads are random: no read-ahead around them.
  void AdviseRandom() const;
  // Gives back the pages of the first bytes (rounded down to whole pages):
  // they leave this process's resident set, and come back from the page
  // cache when read again.
  void Release(uint64_t bytes) const;

  // True once a read met a page that the file no longer holds: from then on
  // the map may read zeros, and anything read from it may be wrong.
  bool faulted() const;

 private:
  FileMap() = default;
  const unsigned char *data_ = nullptr;
  size_t size_ = 0;
  int watch_ = -1;  // its slot in the table of map_faults.h
};

}  // namespace quarvel

#endif  // QUARVEL_SRC_FORMAT_FILE_IO_H_
