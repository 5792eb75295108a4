// The dictionary build behind quarvel_build.
//
// Words are gathered in a pool of their texts and an array of their starts.
// While both fit the memory budget the build sorts them in memory; when the
// next word would not fit, the words gathered so far are sorted, each kept
// once, and written as a run: an unlinked temporary file of one word per
// line, which no failure or crash can leave behind. The runs are merged at
// most kMaxFanIn at a time, the last merge feeding the dictionary writer.
//
// Word lists may be personal: every buffer that held words (pool, starts,
// read and write buffers, the stdio buffers of the dictionary files) is
// wiped before it is freed.

#include "engine/build.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <queue>
#include <span>
#include <string_view>
#include <utility>

#include "wordstore/scratch.h"
#include "wordstore/staged_dictionary.h"

namespace quarvel::engine {
namespace {

// Failure codes, as quarvel_build answers them.
constexpr int kCannotOpen = 3001;
constexpr int kCannotRead = 3002;  // also: memory ran out
constexpr int kCannotWrite = 3004;
constexpr int kCancelled = 3005;

constexpr size_t kMaxWord = PACKED_DICT_MAX_WORD;
constexpr size_t kReadChunk = size_t{1} << 20;
constexpr size_t kMaxFanIn = 64;
constexpr uint64_t kProgressBytes = uint64_t{64} << 20;
constexpr std::chrono::milliseconds kProgressInterval{100};

// Frees nothing it has not wiped.
template <typename T>
struct WipingAllocator {
  using value_type = T;
  WipingAllocator() = default;
  template <typename U>
  WipingAllocator(const WipingAllocator<U> &) {}
  T *allocate(size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T *p, size_t n) {
    SecureWipe(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }
  template <typename U>
  bool operator==(const WipingAllocator<U> &) const {
    return true;
  }
};
template <typename T>
using WipedVector = std::vector<T, WipingAllocator<T>>;

// Ends a build: its code and a one-line reason that ends with the code.
struct Failure {
  Failure(int c, std::string_view reason)
      : code(c), what(std::string(reason) + " (" + std::to_string(c) + ")") {}
  int code;
  std::string what;
};

Failure SystemFailure(int code, std::string_view what, const std::string &path, int error) {
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
  Fd() = default;
  Fd(int fd, bool owned) : fd_(fd), owned_(owned) {}
  Fd(Fd &&o) noexcept : fd_(std::exchange(o.fd_, -1)), owned_(o.owned_) {}
  Fd &operator=(Fd &&) = delete;
  ~Fd() {
    if (fd_ >= 0 && owned_) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_ = -1;
  bool owned_ = true;
};

ssize_t ReadSome(int fd, char *out, size_t size) {
  for (;;) {
    const ssize_t n = read(fd, out, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

bool WriteAll(int fd, const char *bytes, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Progress reports: at each phase and, in between, once 64 MiB more were
// read or 100 ms passed. A non-zero answer of the callback cancels.
class Progress {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Progress(const std::function<int(const quarvel_build_progress &)> &callback)
      : callback_(callback), start_(Clock::now()), last_(start_), phase_start_(start_) {
    report_.size = sizeof(report_);
    report_.remaining_seconds = -1;
  }

  quarvel_build_progress &report() { return report_; }
  double Elapsed() const { return Seconds(Clock::now() - start_); }

  void Phase(int phase) {
    report_.phase = phase;
    phase_start_ = Clock::now();
    Report();
  }

  // Cheap enough to call per word: the clock is read every 256th call, or
  // at every call with check_clock (after each read of a source).
  void Tick(bool check_clock = false) {
    if (!callback_) return;
    if (report_.bytes_read - bytes_at_last_ >= kProgressBytes) return Report();
    if ((check_clock || ++ticks_ % 256 == 0) && Clock::now() - last_ >= kProgressInterval) {
      Report();
    }
  }

 private:
  static double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

  double Remaining(Clock::time_point now) const {
    const double in_phase = Seconds(now - phase_start_);
    if (report_.phase == QUARVEL_BUILD_READING && report_.bytes_total > 0 &&
        report_.bytes_read > 0 && report_.bytes_read <= report_.bytes_total) {
      return in_phase * static_cast<double>(report_.bytes_total - report_.bytes_read) /
             static_cast<double>(report_.bytes_read);
    }
    if (report_.phase == QUARVEL_BUILD_WRITING && report_.words_total > 0 && report_.words > 0 &&
        report_.words <= report_.words_total) {
      return in_phase * static_cast<double>(report_.words_total - report_.words) /
             static_cast<double>(report_.words);
    }
    return report_.phase == QUARVEL_BUILD_DONE ? 0 : -1;
  }

  void Report() {
    const Clock::time_point now = Clock::now();
    last_ = now;
    bytes_at_last_ = report_.bytes_read;
    if (!callback_) return;
    report_.elapsed_seconds = Seconds(now - start_);
    report_.remaining_seconds = Remaining(now);
    // Once done, there is nothing left to cancel.
    if (callback_(report_) != 0 && report_.phase != QUARVEL_BUILD_DONE) {
      throw Failure{kCancelled, "build cancelled"};
    }
  }

  const std::function<int(const quarvel_build_progress &)> &callback_;
  quarvel_build_progress report_ = {};
  Clock::time_point start_, last_, phase_start_;
  uint64_t bytes_at_last_ = 0;
  unsigned ticks_ = 0;
};

// Turns the bytes of word lists into words as CreateDict does: every line
// feed and every carriage return ends a word; upper-case ASCII letters are
// lowered, lower-case letters and digits kept, every other byte dropped;
// words keep their first 31 characters; empty words are dropped. A last line
// without a line end is a word too.
class Normaliser {
 public:
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
    if (in_line_) ++lines_;
    in_line_ = after_cr_ = false;
    EndWord(emit);
  }

  uint64_t lines() const { return lines_; }

 private:
  template <typename Emit>
  void EndWord(Emit &emit) {
    if (word_.size > 0) emit(word_.view());
    SecureWipe(word_.text, word_.size);
    word_.size = 0;
  }

  Word word_;
  bool in_line_ = false;
  bool after_cr_ = false;
  uint64_t lines_ = 0;
};

// The words gathered in memory, within a budget that covers the capacity of
// both arrays.
class WordPool {
 public:
  explicit WordPool(uint64_t budget)
      : text_limit_(Limit(budget / 5 * 4)), start_limit_(Limit(budget / 5 / sizeof(size_t))) {}

  // False when the word does not fit the budget (never for an empty pool).
  bool Add(std::string_view word) {
    const bool empty = starts_.empty();
    if (!Reserve(text_, text_.size() + word.size() + 1, text_limit_, empty) ||
        !Reserve(starts_, starts_.size() + 1, start_limit_, empty)) {
      return false;
    }
    starts_.push_back(text_.size());
    text_.insert(text_.end(), word.begin(), word.end());
    text_.push_back('\0');
    return true;
  }

  bool empty() const { return starts_.empty(); }

  // Sorts the words in byte order and keeps each once.
  void SortUnique() {
    const char *text = text_.data();
    std::sort(starts_.begin(), starts_.end(),
              [text](size_t a, size_t b) { return std::strcmp(text + a, text + b) < 0; });
    starts_.erase(
        std::unique(starts_.begin(), starts_.end(),
                    [text](size_t a, size_t b) { return std::strcmp(text + a, text + b) == 0; }),
        starts_.end());
  }

  size_t size() const { return starts_.size(); }
  std::string_view at(size_t i) const { return text_.data() + starts_[i]; }

  void Clear() {
    if (!text_.empty()) SecureWipe(text_.data(), text_.size());
    text_.clear();
    starts_.clear();
  }

  // Gives the memory back (wiped by the allocator).
  void Release() {
    Clear();
    WipedVector<char>().swap(text_);
    WipedVector<size_t>().swap(starts_);
  }

 private:
  static size_t Limit(uint64_t n) {
    return static_cast<size_t>(std::min<uint64_t>(n, SIZE_MAX / sizeof(size_t) / 2));
  }

  // Makes room for needed elements, growing geometrically but never past
  // limit (unless the pool is empty: one word always fits).
  template <typename T>
  static bool Reserve(WipedVector<T> &v, size_t needed, size_t limit, bool empty) {
    if (needed <= v.capacity()) return true;
    if (needed > limit && !empty) return false;
    v.reserve(std::max(needed, std::min(limit, std::max<size_t>(2 * v.capacity(), 1024))));
    return true;
  }

  size_t text_limit_, start_limit_;
  WipedVector<char> text_;      // the words, each followed by a NUL
  WipedVector<size_t> starts_;  // where each word begins in text_
};

// A run: sorted distinct words, one per line, in an unlinked temporary file.
class RunFile {
 public:
  RunFile(const std::string &dir, size_t buffer_bytes) : buffer_(buffer_bytes) {
    std::string name = (dir.empty() ? std::string(".") : dir) + "/.quarvel-run-XXXXXX";
    fd_ = mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) throw SystemFailure(kCannotWrite, "cannot create a temporary file in", dir, errno);
    unlink(name.c_str());
  }
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
    if (used_ > 0 && !WriteAll(fd_, buffer_.data(), used_)) {
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

// Merges runs into emit, each distinct word once, in byte order.
template <typename Emit>
void Merge(Runs &runs, Emit &emit) {
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
    if (!any || head.word.view() != last.view()) {
      emit(head.word.view());
      last = head.word;
      any = true;
    }
    if (runs[head.run]->Next(head.word)) heads.push(head);
    SecureWipe(&head, sizeof(head));
  }
  SecureWipe(&last, sizeof(last));
}

std::string FolderOf(const std::string &prefix) {
  const size_t slash = prefix.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : prefix.substr(0, slash);
}

// Opens every source, so that a missing one fails the build before any
// work; the total size is known when every source is a regular file.
std::vector<Fd> OpenSources(const std::vector<std::string> &sources, uint64_t &total) {
  std::vector<Fd> fds;
  total = 0;
  bool known = true;
  for (const std::string &source : sources) {
    if (source == "-") {
      fds.emplace_back(0, false);
    } else {
      const int fd = open(source.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) throw SystemFailure(kCannotOpen, "cannot open word list", source, errno);
      fds.emplace_back(fd, true);
    }
    struct stat status;
    if (fstat(fds.back().get(), &status) == 0 && S_ISREG(status.st_mode)) {
      total += static_cast<uint64_t>(status.st_size);
    } else {
      known = false;
    }
  }
  if (!known) total = 0;
  return fds;
}

class Builder {
 public:
  explicit Builder(const BuildRequest &request)
      : request_(request),
        progress_(request.progress),
        pool_(request.memory_budget == 0 ? kDefaultMemoryBudget : request.memory_budget),
        temp_dir_(request.temp_dir.empty() ? FolderOf(request.prefix) : request.temp_dir),
        run_buffer_(static_cast<size_t>(std::clamp<uint64_t>(
            (request.memory_budget == 0 ? kDefaultMemoryBudget : request.memory_budget) /
                (kMaxFanIn + 1),
            4096, 1 << 20))) {}

  void Execute(quarvel_build_stats &stats) {
    quarvel_build_progress &report = progress_.report();
    std::vector<Fd> sources = OpenSources(request_.sources, report.bytes_total);

    progress_.Phase(QUARVEL_BUILD_READING);
    Read(sources);
    stats.bytes_read = report.bytes_read;
    stats.lines = normaliser_.lines();

    progress_.Phase(QUARVEL_BUILD_SORTING);
    if (runs_.empty()) {
      pool_.SortUnique();
      report.words_total = pool_.size();
    } else {
      if (!pool_.empty()) Spill();
      pool_.Release();
      // Narrow down to one last merge of at most kMaxFanIn runs.
      while (runs_.size() > kMaxFanIn) {
        Runs group;
        for (size_t i = 0; i < kMaxFanIn; ++i) group.push_back(std::move(runs_[i]));
        runs_.erase(runs_.begin(), runs_.begin() + kMaxFanIn);
        auto merged = std::make_unique<RunFile>(temp_dir_, run_buffer_);
        auto append = [&](std::string_view word) {
          merged->Append(word);
          progress_.Tick();
        };
        Merge(group, append);
        runs_.push_back(std::move(merged));
      }
    }

    Write(stats);
    pool_.Release();
    progress_.Phase(QUARVEL_BUILD_DONE);
  }

  double Elapsed() const { return progress_.Elapsed(); }

 private:
  void Read(std::vector<Fd> &sources) {
    quarvel_build_progress &report = progress_.report();
    WipedVector<char> chunk(kReadChunk);
    auto gather = [&](std::string_view word) {
      ++report.words;
      if (!pool_.Add(word)) {
        Spill();
        pool_.Add(word);
      }
    };
    for (size_t i = 0; i < sources.size(); ++i) {
      for (;;) {
        const ssize_t n = ReadSome(sources[i].get(), chunk.data(), chunk.size());
        if (n < 0)
          throw SystemFailure(kCannotRead, "cannot read word list", request_.sources[i], errno);
        if (n == 0) break;
        report.bytes_read += static_cast<uint64_t>(n);
        normaliser_.Feed(std::span(chunk.data(), static_cast<size_t>(n)), gather);
        SecureWipe(chunk.data(), static_cast<size_t>(n));
        progress_.Tick(/*check_clock=*/true);
      }
      normaliser_.Finish(gather);
    }
  }

  void Spill() {
    pool_.SortUnique();
    auto run = std::make_unique<RunFile>(temp_dir_, run_buffer_);
    for (size_t i = 0; i < pool_.size(); ++i) run->Append(pool_.at(i));
    runs_.push_back(std::move(run));
    pool_.Clear();
  }

  void Write(quarvel_build_stats &stats) {
    quarvel_build_progress &report = progress_.report();
    StagedDictionary staged(request_.prefix);
    UniqueFile data, index, mark;
    if (!staged.Create(data, index, mark)) {
      throw SystemFailure(kCannotWrite, "cannot create dictionary", request_.prefix, errno);
    }
    // The files' buffers are the build's own, to be wiped; they outlive the
    // writer, which closes the files.
    constexpr size_t kFileBuffer = 1 << 16;
    WipedVector<char> buffers(3 * kFileBuffer);
    FILE *files[] = {data.get(), index.get(), mark.get()};
    for (size_t i = 0; i < 3; ++i) {
      setvbuf(files[i], buffers.data() + i * kFileBuffer, _IOFBF, kFileBuffer);
    }
    DictWriter writer(std::move(data), std::move(index), std::move(mark), request_.wide_threshold);
    report.words = 0;
    progress_.Phase(QUARVEL_BUILD_WRITING);
    auto put = [&](std::string_view word) {
      if (!writer.Add(word)) {
        throw SystemFailure(kCannotWrite, "cannot write dictionary", request_.prefix, errno);
      }
      ++report.words;
      progress_.Tick();
    };
    if (runs_.empty()) {
      for (size_t i = 0; i < pool_.size(); ++i) put(pool_.at(i));
    } else {
      Merge(runs_, put);
      runs_.clear();
    }
    if (!writer.Finish()) {
      throw SystemFailure(kCannotWrite, "cannot write dictionary", request_.prefix, errno);
    }
    if (!staged.Commit()) {
      throw SystemFailure(kCannotWrite, "cannot move into place dictionary", request_.prefix,
                          errno);
    }
    stats.words = writer.words();
    stats.wide = writer.wide() ? 1 : 0;
  }

  const BuildRequest &request_;
  Progress progress_;
  Normaliser normaliser_;
  WordPool pool_;
  std::string temp_dir_;
  size_t run_buffer_;
  Runs runs_;
};

}  // namespace

BuildOutcome Build(const BuildRequest &request) {
  BuildOutcome outcome;
  outcome.stats.size = sizeof(outcome.stats);
  std::unique_ptr<Builder> builder;
  try {
    builder = std::make_unique<Builder>(request);
    builder->Execute(outcome.stats);
  } catch (Failure &failure) {
    outcome.code = failure.code;
    outcome.error = std::move(failure.what);
  } catch (const std::exception &e) {
    // Memory ran out (std::bad_alloc, std::length_error).
    const Failure failure(kCannotRead, std::string("out of memory: ") + e.what());
    outcome.code = failure.code;
    outcome.error = failure.what;
  }
  if (builder != nullptr) outcome.stats.seconds = builder->Elapsed();
  if (outcome.code != 0) {
    const quarvel_build_stats kept = outcome.stats;
    outcome.stats = {};
    outcome.stats.size = sizeof(outcome.stats);
    outcome.stats.seconds = kept.seconds;
  }
  return outcome;
}

}  // namespace quarvel::engine
