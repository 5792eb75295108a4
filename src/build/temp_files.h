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

// A run: sorted words, one per line, in an unlinked temporary file. In a
// ranked run each line feed is followed by the word's rank, 4 bytes
// little-endian.
class RunFile {
 public:
  RunFile(const std::string &dir, size_t buffer_bytes, bool ranked = false)
      : fd_(OpenTemporary(dir)), buffer_(buffer_bytes), ranked_(ranked) {}
  ~RunFile() {
    if (fd_ >= 0) close(fd_);
  }
  RunFile(const RunFile &) = delete;
  RunFile &operator=(const RunFile &) = delete;

  bool ranked() const { return ranked_; }

  // Appends word, and its rank in a ranked run (ignored in others).
  void Append(std::string_view word, uint32_t rank = 0) {
    const size_t record = word.size() + 1 + (ranked_ ? kRankBytes : 0);
    if (buffer_.size() - used_ < record) Flush();
    std::memcpy(buffer_.data() + used_, word.data(), word.size());
    used_ += word.size();
    buffer_[used_++] = '\n';
    if (ranked_) {
      for (size_t i = 0; i < kRankBytes; ++i) buffer_[used_++] = static_cast<char>(rank >> (8 * i));
    }
  }

  // Ends the writing; reading starts from the first word.
  void Rewind() {
    Flush();
    if (lseek(fd_, 0, SEEK_SET) != 0) throw Failure{kCannotWrite, "cannot reread a temporary file"};
    used_ = end_ = 0;
  }

  // Reads the next word, and in a ranked run its rank into *rank (0 in
  // others); false at the end of the run.
  bool Next(Word &word, uint32_t *rank = nullptr) {
    word.size = 0;
    if (rank != nullptr) *rank = 0;
    for (char c; NextByte(c);) {
      if (c != '\n') {
        if (word.size < kMaxWord) word.text[word.size++] = c;
        continue;
      }
      if (!ranked_) return true;
      uint32_t value = 0;
      for (size_t i = 0; i < kRankBytes; ++i) {
        if (!NextByte(c)) throw Failure{kCannotRead, "a temporary file ends within a rank"};
        value |= uint32_t{static_cast<unsigned char>(c)} << (8 * i);
      }
      if (rank != nullptr) *rank = value;
      return true;
    }
    return word.size > 0;
  }

 private:
  static constexpr size_t kRankBytes = 4;

  bool NextByte(char &c) {
    if (used_ == end_) {
      const ssize_t n = ReadSome(fd_, buffer_.data(), buffer_.size());
      if (n < 0)
        throw Failure{kCannotRead,
                      std::string("cannot read a temporary file: ") + std::strerror(errno)};
      if (n == 0) return false;
      used_ = 0;
      end_ = static_cast<size_t>(n);
    }
    c = buffer_[used_++];
    return true;
  }

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
  bool ranked_;
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
