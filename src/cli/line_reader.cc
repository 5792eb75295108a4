// Passwords read line by line through fixed buffers.

#include "cli/line_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/secure_wipe.h"

namespace quarvel::cli {

LineReader::LineReader(int fd, size_t max_lines, size_t max_kept, size_t input_bytes)
    : fd_(fd),
      max_lines_(max_lines),
      max_kept_(max_kept),
      input_(input_bytes),
      store_(max_lines * max_kept) {
  lines_.reserve(max_lines);
}

LineReader::~LineReader() {
  quarvel::SecureWipe(input_.data(), input_.size());
  quarvel::SecureWipe(store_.data(), store_.size());
}

bool LineReader::Fill() {
  if (pos_ < end_) return true;
  if (eof_) return false;
  quarvel::SecureWipe(input_.data(), end_);
  pos_ = end_ = 0;
  for (;;) {
    const ssize_t n = read(fd_, input_.data(), input_.size());
    if (n > 0) {
      end_ = static_cast<size_t>(n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed_ = true;
    eof_ = true;
    return false;
  }
}

void LineReader::EndLine() {
  const size_t index = lines_.size();
  const char *start = store_.data() + index * max_kept_;
  size_t length = length_;
  // A carriage return that ends the line (a text file from elsewhere) is
  // not part of the password; a line cut at max_kept keeps its last byte.
  if (length > 0 && !cut_ && start[length - 1] == '\r') --length;
  lines_.push_back(Line{++number_, std::string_view(start, length)});
  length_ = 0;
  cut_ = false;
  in_line_ = false;
}

bool LineReader::Next() {
  quarvel::SecureWipe(store_.data(), std::min(store_.size(), lines_.size() * max_kept_));
  lines_.clear();
  while (lines_.size() < max_lines_) {
    if (!Fill()) {
      if (in_line_) EndLine();
      break;
    }
    const char *begin = input_.data() + pos_;
    const char *newline = static_cast<const char *>(memchr(begin, '\n', end_ - pos_));
    const size_t available =
        newline != nullptr ? static_cast<size_t>(newline - begin) : end_ - pos_;
    const size_t take = std::min(available, max_kept_ - length_);
    memcpy(store_.data() + lines_.size() * max_kept_ + length_, begin, take);
    length_ += take;
    if (take < available) cut_ = true;
    in_line_ = true;
    pos_ += available;
    if (newline != nullptr) {
      ++pos_;
      EndLine();
    }
  }
  return !lines_.empty();
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace quarvel::cli
