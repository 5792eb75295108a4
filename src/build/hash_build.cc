// The hashed dictionary build behind quarvel_build_hashed.
//
// Each line of the lists becomes a record of 16 bytes, the key and the
// count. Records gather in one array while it fits the memory budget; when
// it is full it is sorted, equal keys are added up, and the records are
// written as a run: an unlinked temporary file that no failure can leave
// behind. The runs are merged at most kMaxFanIn at a time, the last merge
// feeding HashDictWriter. Hash lists hold no passwords, only their hashes:
// nothing here needs wiping.

#include "build/hash_build.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <queue>
#include <string_view>
#include <utility>

#include "build/word_runs.h"
#include "format/coding.h"
#include "format/file_io.h"
#include "store/hash_dict.h"

namespace quarvel::engine {
namespace {

constexpr size_t kMaxLine = 128;                // a longer line is malformed
constexpr size_t kRunBuffer = size_t{1} << 18;  // records buffered per run while merging
constexpr uint64_t kMinBudget = uint64_t{1} << 20;

// A failure of a call that set errno.
Failure SystemFailure(int code, std::string_view what, const std::string &path) {
  return engine::SystemFailure(code, what, path, errno);
}

struct Record {
  uint64_t key;
  uint64_t count;
};

uint64_t AddCounts(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// A sorted run of records in an unlinked temporary file.
class Run {
 public:
  explicit Run(const std::string &folder) : fd_(OpenTemporary(folder)), folder_(folder) {}
  ~Run() {
    if (fd_ >= 0) close(fd_);
  }
  Run(const Run &) = delete;
  Run &operator=(const Run &) = delete;

  void Append(const Record &r) {
    unsigned char bytes[16];
    EncodeFixed64(bytes, r.key);
    EncodeFixed64(bytes + 8, r.count);
    buffer_.insert(buffer_.end(), bytes, bytes + 16);
    if (buffer_.size() >= 16 * kRunBuffer) Flush();
  }

  void Flush() {
    if (!WriteAllFd(fd_, buffer_)) {
      throw SystemFailure(kCannotWrite, "cannot write a temporary file in", folder_);
    }
    records_ += buffer_.size() / 16;
    buffer_.clear();
  }

  // Reading back, after Flush.
  void Rewind() {
    read_at_ = 0;
    buffer_.clear();
    next_ = 0;
  }
  bool Next(Record *r) {
    if (next_ == buffer_.size()) {
      if (read_at_ == records_) return false;
      const uint64_t n = std::min<uint64_t>(kRunBuffer, records_ - read_at_);
      buffer_.resize(static_cast<size_t>(16 * n));
      if (ReadAtFd(fd_, 16 * read_at_, buffer_) != buffer_.size()) {
        throw SystemFailure(kCannotRead, "cannot read a temporary file in", folder_);
      }
      read_at_ += n;
      next_ = 0;
    }
    r->key = DecodeFixed64(buffer_.data() + next_);
    r->count = DecodeFixed64(buffer_.data() + next_ + 8);
    next_ += 16;
    return true;
  }

  uint64_t records() const { return records_; }

 private:
  int fd_ = -1;
  std::string folder_;
  std::vector<unsigned char> buffer_;
  uint64_t records_ = 0;
  uint64_t read_at_ = 0;
  size_t next_ = 0;
};

using Runs = std::vector<std::unique_ptr<Run>>;

// Merges runs into emit, equal keys once with their counts added.
template <typename Emit>
void Merge(Runs &runs, Emit &&emit) {
  struct Head {
    Record record;
    size_t run;
  };
  auto later = [](const Head &a, const Head &b) { return a.record.key > b.record.key; };
  std::priority_queue<Head, std::vector<Head>, decltype(later)> heads(later);
  for (size_t i = 0; i < runs.size(); ++i) {
    runs[i]->Rewind();
    Head head{{}, i};
    if (runs[i]->Next(&head.record)) heads.push(head);
  }
  Record pending{};
  bool any = false;
  while (!heads.empty()) {
    Head head = heads.top();
    heads.pop();
    if (any && head.record.key == pending.key) {
      pending.count = AddCounts(pending.count, head.record.count);
    } else {
      if (any) emit(pending);
      pending = head.record;
      any = true;
    }
    if (runs[head.run]->Next(&head.record)) heads.push(head);
  }
  if (any) emit(pending);
}

class Progress {
 public:
  using Clock = std::chrono::steady_clock;
  explicit Progress(const std::function<int(const quarvel_build_progress &)> &callback)
      : callback_(callback), start_(Clock::now()), last_(start_) {
    report_.size = sizeof(report_);
    report_.remaining_seconds = -1;
  }
  quarvel_build_progress &report() { return report_; }
  double Elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
  void Phase(int phase) {
    report_.phase = phase;
    Report();
  }
  void Tick() {
    if (callback_ && Clock::now() - last_ >= std::chrono::milliseconds(100)) Report();
  }

 private:
  void Report() {
    last_ = Clock::now();
    if (!callback_) return;
    report_.elapsed_seconds = Elapsed();
    if (callback_(report_) != 0 && report_.phase != QUARVEL_BUILD_DONE) {
      throw Failure(kCancelled, "build cancelled");
    }
  }
  const std::function<int(const quarvel_build_progress &)> &callback_;
  quarvel_build_progress report_ = {};
  Clock::time_point start_, last_;
};

class HashBuilder {
 public:
  explicit HashBuilder(const HashBuildRequest &request)
      : request_(request),
        progress_(request.progress),
        temp_dir_(request.temp_dir.empty() ? FolderOf(request.prefix) : request.temp_dir) {
    const uint64_t budget = std::max(request.memory_budget, kMinBudget);
    // The merge's buffers come out of the budget too.
    capacity_ = static_cast<size_t>(std::min<uint64_t>(
        (budget - std::min(budget / 4, uint64_t{16} * kRunBuffer * kMaxFanIn)) / sizeof(Record),
        SIZE_MAX / sizeof(Record)));
    filter_budget_ = std::max<uint64_t>(budget / 2, kMinBudget);
  }

  void Execute(quarvel_hashed_build_stats &stats) {
    std::vector<Fd> sources =
        OpenSources(request_.sources, "hash list", progress_.report().bytes_total);
    progress_.Phase(QUARVEL_BUILD_READING);
    // The array never grows (doubling would hold the old array and one twice
    // its size at once): it is reserved for the lines the lists can hold
    // (40 bytes at least each) within the budget, or, from a pipe, for 4 Mi
    // records a run.
    const uint64_t total = progress_.report().bytes_total;
    records_.reserve(static_cast<size_t>(
        std::min<uint64_t>(capacity_, total > 0 ? total / 40 + 16 : uint64_t{1} << 22)));
    for (size_t i = 0; i < sources.size(); ++i) ReadSource(sources[i].get(), i, stats);
    stats.bytes_read = progress_.report().bytes_read;

    progress_.Phase(QUARVEL_BUILD_SORTING);
    uint64_t expected = 0;
    if (runs_.empty()) {
      SortAndCombine();
      expected = records_.size();
    } else {
      if (!records_.empty()) Spill();
      std::vector<Record>().swap(records_);
      while (runs_.size() > kMaxFanIn) {
        Runs group;
        for (size_t i = 0; i < kMaxFanIn; ++i) group.push_back(std::move(runs_[i]));
        runs_.erase(runs_.begin(), runs_.begin() + static_cast<std::ptrdiff_t>(kMaxFanIn));
        auto merged = std::make_unique<Run>(temp_dir_);
        Merge(group, [&](const Record &r) { merged->Append(r); });
        merged->Flush();
        runs_.push_back(std::move(merged));
      }
      for (const auto &run : runs_) expected += run->records();
    }
    Write(expected, stats);
    progress_.Phase(QUARVEL_BUILD_DONE);
  }

  double Elapsed() const { return progress_.Elapsed(); }

 private:
  void Line(std::string_view line, size_t source, uint64_t number,
            quarvel_hashed_build_stats &stats) {
    ++stats.lines;
    if (line.empty() || (line.size() == 1 && line[0] == '\r')) return;
    Record r;
    if (!ParseHashLine(line, &r.key, &r.count)) {
      ++stats.malformed;
      if (stats.first_malformed_line == 0) stats.first_malformed_line = number;
      if (!request_.skip_malformed) {
        throw Failure(kMalformedLine, request_.sources[source] + ":" + std::to_string(number) +
                                          ": not a SHA-1 hash line");
      }
      return;
    }
    if (records_.size() == records_.capacity()) Spill();
    records_.push_back(r);
    ++progress_.report().words;
  }

  void ReadSource(int fd, size_t source, quarvel_hashed_build_stats &stats) {
    std::vector<char> chunk(kReadChunk);
    std::string carry;      // the start of a line cut by the chunk's end
    bool overlong = false;  // the line being carried is already too long
    uint64_t number = 0;
    for (;;) {
      ssize_t n = read(fd, chunk.data(), chunk.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0)
        throw SystemFailure(kCannotRead, "cannot read hash list", request_.sources[source]);
      if (n == 0) break;
      progress_.report().bytes_read += static_cast<uint64_t>(n);
      const char *p = chunk.data();
      const char *end = p + n;
      while (p < end) {
        const char *feed = static_cast<const char *>(memchr(p, '\n', static_cast<size_t>(end - p)));
        const char *stop = feed != nullptr ? feed : end;
        if (!overlong) {
          if (carry.size() + static_cast<size_t>(stop - p) > kMaxLine) {
            overlong = true;
            carry.assign(1, '!');  // stays malformed
          } else {
            carry.append(p, stop);
          }
        }
        if (feed == nullptr) break;
        ++number;
        Line(carry, source, number, stats);
        carry.clear();
        overlong = false;
        p = feed + 1;
      }
      progress_.Tick();
    }
    if (!carry.empty()) Line(carry, source, ++number, stats);
  }

  void SortAndCombine() {
    std::sort(records_.begin(), records_.end(),
              [](const Record &a, const Record &b) { return a.key < b.key; });
    size_t out = 0;
    for (size_t i = 0; i < records_.size(); ++i) {
      if (out > 0 && records_[out - 1].key == records_[i].key) {
        records_[out - 1].count = AddCounts(records_[out - 1].count, records_[i].count);
      } else {
        records_[out++] = records_[i];
      }
    }
    records_.resize(out);
  }

  void Spill() {
    SortAndCombine();
    auto run = std::make_unique<Run>(temp_dir_);
    for (const Record &r : records_) run->Append(r);
    run->Flush();
    runs_.push_back(std::move(run));
    records_.clear();
    progress_.Tick();
  }

  void Write(uint64_t expected, quarvel_hashed_build_stats &stats) {
    const std::string path = request_.prefix + kHashDictSuffix;
    std::string staged = path + ".XXXXXX";
    const int fd = mkostemp(staged.data(), O_CLOEXEC);
    if (fd < 0) throw SystemFailure(kCannotWrite, "cannot create", staged);
    close(fd);
    struct Unlink {
      std::string *name;
      ~Unlink() {
        if (name != nullptr) unlink(name->c_str());
      }
    } remove_staged{&staged};

    progress_.Phase(QUARVEL_BUILD_WRITING);
    progress_.report().words = 0;
    progress_.report().words_total = expected;
    HashDictWriter writer;
    std::string error;
    if (!writer.Open(staged, expected, request_.min_count, &error)) {
      throw Failure(kCannotWrite, error);
    }
    auto put = [&](const Record &r) {
      if (r.count < request_.min_count) {
        ++stats.below_min_count;
        return;
      }
      if (!writer.Add(r.key, r.count)) throw SystemFailure(kCannotWrite, "cannot write", staged);
      ++progress_.report().words;
      if ((progress_.report().words & 0xFFFF) == 0) progress_.Tick();
    };
    if (runs_.empty()) {
      for (const Record &r : records_) put(r);
      std::vector<Record>().swap(records_);
    } else {
      Merge(runs_, put);
      runs_.clear();
    }
    if (!writer.Finish(filter_budget_, &error)) throw Failure(kCannotWrite, error);
    if (rename(staged.c_str(), path.c_str()) != 0) {
      throw SystemFailure(kCannotWrite, "cannot move into place", path);
    }
    remove_staged.name = nullptr;
    stats.hashes = writer.key_count();
  }

  const HashBuildRequest &request_;
  Progress progress_;
  std::string temp_dir_;
  size_t capacity_ = 0;
  uint64_t filter_budget_ = 0;
  std::vector<Record> records_;
  Runs runs_;
};

}  // namespace

HashBuildOutcome BuildHashed(const HashBuildRequest &request) {
  HashBuildOutcome outcome;
  outcome.stats.size = sizeof(outcome.stats);
  std::unique_ptr<HashBuilder> builder;
  CatchFailures(outcome, [&] {
    if (request.min_count == 0) throw Failure(3006, "the minimum count must be at least 1");
    builder = std::make_unique<HashBuilder>(request);
    builder->Execute(outcome.stats);
  });
  if (builder != nullptr) outcome.stats.seconds = builder->Elapsed();
  return outcome;
}

}  // namespace quarvel::engine
