// The terminal: a prompt that does not echo what is typed, and a progress
// bar on standard error.
#ifndef QUARVEL_SRC_CLI_TERMINAL_H_
#define QUARVEL_SRC_CLI_TERMINAL_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "quarvel/engine.h"

namespace quarvel::cli {

enum class SecretStatus { kRead, kEnd, kInterrupted };

// Writes prompt to standard error and reads one line from the terminal on
// standard input with echo off, into buffer (size bytes; a longer line keeps
// size - 1 bytes and is NUL-terminated). Echo comes back before it returns,
// also when Ctrl-C interrupts the prompt. length receives the bytes read.
SecretStatus ReadSecret(const char *prompt, char *buffer, size_t size, size_t *length);

// "12.3 MiB"
std::string FormatBytes(uint64_t bytes);
// "1:05" or "1:02:03"
std::string FormatDuration(double seconds);
// "1,234,567"
std::string FormatCount(uint64_t count);

// A one-line progress display of a dictionary build, redrawn in place on
// standard error; does nothing when standard error is not a terminal.
class ProgressBar {
 public:
  explicit ProgressBar(bool enabled) : enabled_(enabled) {}
  ~ProgressBar() { Clear(); }
  ProgressBar(const ProgressBar &) = delete;
  ProgressBar &operator=(const ProgressBar &) = delete;

  void Update(const quarvel_build_progress &progress);
  // Erases the bar.
  void Clear();

 private:
  bool enabled_;
  bool drawn_ = false;
  int phase_ = 0;
  double drawn_at_ = -1;
};

}  // namespace quarvel::cli

#endif  // QUARVEL_SRC_CLI_TERMINAL_H_
