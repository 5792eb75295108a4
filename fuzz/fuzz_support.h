// Shared plumbing of the fuzz targets: a private working folder, quiet
// library output, failure reports that survive the quieting, and small file
// helpers. Each target calls Setup from its LLVMFuzzerInitialize.
//
// The same target sources run under libFuzzer (built with clang and
// -fsanitize=fuzzer) and under replay_main.cc, a plain driver that feeds the
// seed corpus to them in every test build.
#ifndef QUARVEL_FUZZ_FUZZ_SUPPORT_H_
#define QUARVEL_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel::fuzz {

// True when the replay driver runs the target; set before Setup is called.
extern bool g_replaying;

// What Setup silences.
inline constexpr unsigned kQuietStdout = 1;  // the library's trace lines
inline constexpr unsigned kQuietStderr = 2;  // the library's diagnostics

// Prepares the process for a target:
// - keeps a descriptor on the real standard error for Fail's reports;
// - silences the streams named by quiet: under libFuzzer by adding
//   -close_fd_mask to its flags (libFuzzer then keeps its own output and the
//   sanitizer reports), under the replay driver directly;
// - makes relative paths among libFuzzer's arguments absolute, adds an
//   -artifact_prefix naming the starting folder when none is given, and then
//   creates a private temporary folder, enters it, and removes it at exit.
// The library works with paths relative to the current folder, so every
// target runs inside its own folder. libFuzzer refuses a changed argv[0], so
// the program itself must be named by an absolute path (or found on PATH)
// where libFuzzer runs it again: merges and -fork.
void Setup(int *argc, char ***argv, unsigned quiet);

// The working folder Setup entered (absolute).
const std::string &WorkDir();

// Reports a failed check on the real standard error and aborts, so that the
// fuzzer records the input.
[[noreturn]] void Fail(const char *file, int line, const char *expr,
                       const std::string &detail = {});

// Writes text to the real standard error.
void Report(std::string_view text);

#define FUZZ_CHECK(cond, ...)                                                                 \
  do {                                                                                        \
    if (!(cond)) ::quarvel::fuzz::Fail(__FILE__, __LINE__, #cond __VA_OPT__(, ) __VA_ARGS__); \
  } while (0)

// Writes bytes to path, created or truncated; aborts through Fail on error.
void WriteFile(const std::string &path, std::string_view bytes);

// The whole content of path, or false when it cannot be read.
bool ReadFile(const std::string &path, std::string &out);

// True when path exists (as anything).
bool Exists(const std::string &path);

// The lines of text, at most max of them, each cut at its first NUL (they
// are searched as C strings).
std::vector<std::string> CStringLines(std::string_view text, size_t max);

// Writes the index, data and mark files of the dictionary at prefix; with
// marks null, the mark file is removed instead.
void WriteDictionaryFiles(const std::string &prefix, std::string_view index, std::string_view data,
                          const std::string_view *marks);

// text with bytes outside printable ASCII written as \xNN, cut after limit
// bytes, for failure messages.
std::string Printable(std::string_view text, size_t limit = 200);

// The characters of text when it is valid UTF-8, as iconv decodes it, else
// its bytes: the length the extended profile measures.
size_t MeasuredLength(std::string_view text);

// Builds small Korean (with its romanised words) and German language
// dictionaries, ./dicts/ko, ./dicts/ko_roman and ./dicts/de, with
// quarvel_build_language from lists in their Debian formats (Korean words
// as ko.dic stores them: conjoining jamo, with flags). Answers the
// [QUARVEL_LANG] section that names them.
std::string BuildLanguageDictionaries();

// Runs fn with standard error sent to a file, and answers what was written.
std::string CaptureStderr(const std::function<void()> &fn);

// True when no dictionary is open in the process: the descriptor is closed,
// and opening the readable dictionary probe_prefix succeeds without the
// "another dictionary already open" complaint (it is closed again).
bool NoDictionaryOpen(const char *probe_prefix);

// Reads input as consecutive fields: little-endian integers and byte runs;
// reading past the end gives zeros and empty runs.
class Reader {
 public:
  Reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t U16() {
    const uint16_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }
  // The next n bytes, or what remains when fewer do.
  std::string_view Take(size_t n) {
    const size_t k = n < size_ - pos_ ? n : size_ - pos_;
    std::string_view run(reinterpret_cast<const char *>(data_ + pos_), k);
    pos_ += k;
    return run;
  }
  std::string_view Rest() { return Take(size_ - pos_); }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace quarvel::fuzz

#endif  // QUARVEL_FUZZ_FUZZ_SUPPORT_H_
