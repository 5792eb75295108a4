// The pieces of a dictionary build that sort more words than memory holds:
// the normalisation of word lists, sorted runs of the word pool
// (word_pool.h) in unlinked temporary files, and their k-way merge. quarvel_build
// (build.cc) keeps each word once; CreateDict (src/verify/dictbuild.cc)
// keeps duplicates.
//
// Word lists may be personal: every buffer that held words is wiped before
// it is freed.
#ifndef QUARVEL_SRC_BUILD_WORD_RUNS_H_
#define QUARVEL_SRC_BUILD_WORD_RUNS_H_

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <queue>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/secure_wipe.h"
#include "base/wiping_allocator.h"
#include "build/word_pool.h"
#include "format/file_io.h"
#include "quarvel/dictmanger.h"

namespace quarvel::engine {

// Failure codes, as quarvel_build answers them.
inline constexpr int kCannotOpen = 3001;
inline constexpr int kCannotRead = 3002;  // also: memory ran out
inline constexpr int kCannotWrite = 3004;
inline constexpr int kCancelled = 3005;

inline constexpr size_t kMaxWord = PACKED_DICT_MAX_WORD;
inline constexpr size_t kReadChunk = size_t{1} << 20;
inline constexpr size_t kMaxFanIn = 64;

using quarvel::WipedVector;  // base/wiping_allocator.h

// Ends a build: its code and a one-line reason that ends with the code.
struct Failure {
  Failure(int c, std::string_view reason)
      : code(c), what(std::string(reason) + " (" + std::to_string(c) + ")") {}
  int code;
  std::string what;
};

// Runs a build, turning its failures into outcome's code and one-line
// error; memory running out is a failure to read (3002).
template <typename Outcome, typename Run>
void CatchFailures(Outcome &outcome, Run &&run) {
  try {
    run();
  } catch (Failure &failure) {
    outcome.code = failure.code;
    outcome.error = std::move(failure.what);
  } catch (const std::exception &e) {
    outcome.code = kCannotRead;
    outcome.error = Failure(kCannotRead, std::string("out of memory: ") + e.what()).what;
  }
}

inline Failure SystemFailure(int code, std::string_view what, const std::string &path, int error) {
  return Failure(code, std::string(what) + " " + path + ": " + std::strerror(error));
}

// A normalised word: at most 31 lower-case letters and digits.
struct Word {
  char text[kMaxWord];
  uint8_t size = 0;
  std::string_view view() const { return {text, size}; }
};

// An open file descriptor; standard input stays open.
class Fd {
 public:
  explicit Fd(int fd = -1, bool owned = true) : fd_(fd), owned_(owned) {}
  Fd(Fd &&o) noexcept : fd_(std::exchange(o.fd_, -1)), owned_(o.owned_) {}
  Fd &operator=(Fd &&) = delete;
  ~Fd() {
    if (fd_ >= 0 && owned_) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
  bool owned_;
};

// The folder of a path: "." for a bare name.
std::string FolderOf(const std::string &path);

// Opens every source ("-": standard input), so that a missing one fails the
// build before any work, with "cannot open " + what; total is their size
// when every source is a regular file, else 0.
std::vector<Fd> OpenSources(const std::vector<std::string> &sources, std::string_view what,
                            uint64_t &total);

inline ssize_t ReadSome(int fd, char *out, size_t size) {
  for (;;) {
    const ssize_t n = read(fd, out, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

// Turns the bytes of word lists into words as CreateDict does: every line
// feed and every carriage return ends a word; upper-case ASCII letters are
// lowered, lower-case letters and digits kept, every other byte dropped;
// words keep their first 31 characters; empty words are dropped (or, with
// keep_empty, handed on as CreateDict records them). A last line without a
// line end is a word too.
class Normaliser {
 public:
  explicit Normaliser(bool keep_empty = false) : keep_empty_(keep_empty) {}
  ~Normaliser() { SecureWipe(&word_, sizeof(word_)); }

  template <typename Emit>
  void Feed(std::span<const char> bytes, Emit &emit) {
    for (const char c : bytes) {
      if (c == '\n' || c == '\r') {
        if (c == '\r' || !after_cr_) ++lines_;
        after_cr_ = c == '\r';
        in_line_ = false;
        EndWord(emit);
        continue;
      }
      after_cr_ = false;
      in_line_ = true;
      char kept;
      if (c >= 'A' && c <= 'Z') {
        kept = static_cast<char>(c - 'A' + 'a');
      } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        kept = c;
      } else {
        continue;
      }
      if (word_.size < kMaxWord) word_.text[word_.size++] = kept;
    }
  }

  // The end of one source.
  template <typename Emit>
  void Finish(Emit &emit) {
    const bool open_line = in_line_;
    if (in_line_) ++lines_;
    in_line_ = after_cr_ = false;
    // Only bytes after the last line end make a last word.
    if (open_line || !keep_empty_) EndWord(emit);
  }

  uint64_t lines() const { return lines_; }

 private:
  template <typename Emit>
  void EndWord(Emit &emit) {
    if (word_.size > 0 || keep_empty_) emit(word_.view());
    SecureWipe(word_.text, word_.size);
    word_.size = 0;
  }

  Word word_;
  bool keep_empty_;
  bool in_line_ = false;
  bool after_cr_ = false;
  uint64_t lines_ = 0;
};

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

using Runs = std::vector<std::unique_ptr<RunFile>>;

// Bytes of each run's buffer: the budget shared by the runs of one merge.
inline size_t RunBufferBytes(uint64_t budget) {
  return static_cast<size_t>(std::clamp<uint64_t>(budget / (kMaxFanIn + 1), 4096, 1 << 20));
}

// Sorts the pool (keeping each word once with unique), writes it as a new
// run in dir, and clears it.
void SpillRun(WordPool &pool, Runs &runs, const std::string &dir, size_t buffer_bytes, bool unique);

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
      const size_t n = ReadAtFd(
          fd_, at,
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

// Merges runs into emit in byte order; with unique, each distinct word once.
template <typename Emit>
void Merge(Runs &runs, Emit &emit, bool unique = true) {
  struct Head {
    Word word;
    size_t run;
  };
  auto later = [](const Head &a, const Head &b) { return a.word.view() > b.word.view(); };
  std::priority_queue<Head, WipedVector<Head>, decltype(later)> heads(later);
  for (size_t i = 0; i < runs.size(); ++i) {
    runs[i]->Rewind();
    Head head{{}, i};
    if (runs[i]->Next(head.word)) heads.push(head);
  }
  Word last;
  bool any = false;
  while (!heads.empty()) {
    Head head = heads.top();
    heads.pop();
    if (!unique || !any || head.word.view() != last.view()) {
      emit(head.word.view());
      last = head.word;
      any = true;
    }
    if (runs[head.run]->Next(head.word)) heads.push(head);
    SecureWipe(&head, sizeof(head));
  }
  SecureWipe(&last, sizeof(last));
}

// Merges runs kMaxFanIn at a time into new runs in dir until at most
// kMaxFanIn are left, for one last merge; tick() follows every word written.
template <typename Tick>
void NarrowRuns(Runs &runs, const std::string &dir, size_t buffer_bytes, bool unique, Tick &&tick) {
  while (runs.size() > kMaxFanIn) {
    Runs group;
    for (size_t i = 0; i < kMaxFanIn; ++i) group.push_back(std::move(runs[i]));
    runs.erase(runs.begin(), runs.begin() + kMaxFanIn);
    auto merged = std::make_unique<RunFile>(dir, buffer_bytes);
    auto append = [&](std::string_view word) {
      merged->Append(word);
      tick();
    };
    Merge(group, append, unique);
    runs.push_back(std::move(merged));
  }
}

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_BUILD_WORD_RUNS_H_
