// Unlinked temporary files of a build: runs of sorted words, and 64-bit
// keys written once and streamed back. Their buffers are wiped.
#ifndef QUARVEL_SRC_BUILD_TEMP_FILES_H_
#define QUARVEL_SRC_BUILD_TEMP_FILES_H_

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/secure_wipe.h"
#include "base/wiping_allocator.h"
#include "build/build_failure.h"
#include "build/normaliser.h"
#include "build/sources.h"
#include "format/file_io.h"

namespace quarvel::engine {

using quarvel::WipedVector;  // base/wiping_allocator.h

// Creates an unlinked temporary file in dir: a file with no name at all,
// where the file system allows it, so that a process killed at any moment
// leaves nothing behind. Elsewhere the name goes right after the file is
// made.
int OpenTemporary(const std::string &dir);

// A run: sorted words, one per line, in an unlinked temporary file.
class RunFile {
 public:
  RunFile(const std::string &dir, size_t buffer_bytes)
      : fd_(OpenTemporary(dir)), buffer_(buffer_bytes) {}
  ~RunFile() {
    if (fd_ >= 0) close(fd_);
  }
  RunFile(const RunFile &) = delete;
  RunFile &operator=(const RunFile &) = delete;

  void Append(std::string_view word) {
    if (buffer_.size() - used_ < word.size() + 1) Flush();
    std::memcpy(buffer_.data() + used_, word.data(), word.size());
    used_ += word.size();
    buffer_[used_++] = '\n';
  }

  // Ends the writing; reading starts from the first word.
  void Rewind() {
    Flush();
    if (lseek(fd_, 0, SEEK_SET) != 0) throw Failure{kCannotWrite, "cannot reread a temporary file"};
    used_ = end_ = 0;
  }

  bool Next(Word &word) {
    word.size = 0;
    for (;;) {
      if (used_ == end_) {
        const ssize_t n = ReadSome(fd_, buffer_.data(), buffer_.size());
        if (n < 0)
          throw Failure{kCannotRead,
                        std::string("cannot read a temporary file: ") + std::strerror(errno)};
        if (n == 0) return word.size > 0;
        used_ = 0;
        end_ = static_cast<size_t>(n);
      }
      const char c = buffer_[used_++];
      if (c == '\n') return true;
      if (word.size < kMaxWord) word.text[word.size++] = c;
    }
  }

 private:
  void Flush() {
    if (used_ > 0 &&
        !WriteAllFd(fd_,
                    std::span(reinterpret_cast<const unsigned char *>(buffer_.data()), used_))) {
      throw Failure{kCannotWrite,
                    std::string("cannot write a temporary file: ") + std::strerror(errno)};
    }
    SecureWipe(buffer_.data(), used_);
    used_ = 0;
  }

  int fd_ = -1;
  WipedVector<char> buffer_;
  size_t used_ = 0;  // writing: bytes buffered; reading: next byte
  size_t end_ = 0;   // reading: bytes in the buffer
};

// 64-bit keys in an unlinked temporary file, written once, then streamed
// back as often as needed.
class KeyFile {
 public:
  explicit KeyFile(const std::string &dir) : fd_(OpenTemporary(dir)), buffer_(kBufferKeys) {}
  ~KeyFile() {
    SecureWipe(buffer_.data(), buffer_.size() * sizeof(uint64_t));
    close(fd_);
  }
  KeyFile(const KeyFile &) = delete;
  KeyFile &operator=(const KeyFile &) = delete;

  void Append(uint64_t key) {
    if (used_ == buffer_.size()) Flush();
    buffer_[used_++] = key;
  }

  // Hands every key to emit, in the order written; false when the file
  // cannot be written or read back.
  template <typename Emit>
  bool ForEach(Emit &&emit) {
    if (used_ > 0) Flush();
    if (failed_) return false;
    for (uint64_t at = 0;;) {
      int error = 0;
      const size_t n = ReadAtFd(fd_, at,
                                std::span(reinterpret_cast<unsigned char *>(buffer_.data()),
                                          buffer_.size() * sizeof(uint64_t)),
                                &error);
      if (error != 0 || n % sizeof(uint64_t) != 0) return false;
      if (n == 0) return true;
      at += n;
      for (size_t i = 0; i < n / sizeof(uint64_t); ++i) emit(buffer_[i]);
    }
  }

 private:
  static constexpr size_t kBufferKeys = size_t{1} << 17;

  void Flush() {
    if (!WriteAllFd(fd_, std::span(reinterpret_cast<const unsigned char *>(buffer_.data()),
                                   used_ * sizeof(uint64_t)))) {
      failed_ = true;
    }
    used_ = 0;
  }

  int fd_;
  std::vector<uint64_t> buffer_;
  size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_BUILD_TEMP_FILES_H_
