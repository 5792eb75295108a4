// Reading passwords one per line from a file descriptor in chunks of bounded
// size, so that any number of lines passes through a fixed amount of memory,
// and every byte read is wiped once it is no longer needed.
#ifndef QUARVEL_SRC_CLI_LINE_READER_H_
#define QUARVEL_SRC_CLI_LINE_READER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace quarvel::cli {

class LineReader {
 public:
  struct Line {
    uint64_t number;  // from 1
    std::string_view text;
  };

  // Chunks hold at most max_lines lines; of each line, the first max_kept
  // bytes are kept (a longer line keeps max_kept bytes, which is enough to
  // know that it is too long). Input is read input_bytes at a time.
  static constexpr size_t kInputBytes = 64 * 1024;
  LineReader(int fd, size_t max_lines, size_t max_kept, size_t input_bytes = kInputBytes);
  ~LineReader();
  LineReader(const LineReader &) = delete;
  LineReader &operator=(const LineReader &) = delete;

  // Wipes the previous chunk and reads the next one. A line ends at a line
  // feed, and a carriage return that ends it is dropped (a line cut at
  // max_kept keeps what it kept); the last line needs no line feed. Answers
  // false when no line is left (or reading failed: see failed()).
  bool Next();

  std::span<const Line> lines() const { return lines_; }
  bool failed() const { return failed_; }

 private:
  // Refills input_ when it is used up; false at the end of the input.
  bool Fill();
  void EndLine();

  int fd_;
  size_t max_lines_;
  size_t max_kept_;
  std::vector<char> input_;  // bytes as read, [pos_, end_) not yet consumed
  size_t pos_ = 0;
  size_t end_ = 0;
  std::vector<char> store_;  // line i at i * max_kept_
  std::vector<Line> lines_;
  size_t length_ = 0;     // bytes kept of the line being read
  bool cut_ = false;      // bytes of it were not kept
  bool in_line_ = false;  // bytes of a line have been read, not its end
  uint64_t number_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

// Writes all of bytes to fd; false on an error.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace quarvel::cli

#endif  // QUARVEL_SRC_CLI_LINE_READER_H_
