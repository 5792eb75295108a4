// The dictionary build behind quarvel_build.
//
// Words are gathered in the word pool (word_pool.h). While they fit the
// memory budget the build sorts them in memory; when the next word would
// not fit, the words gathered so far are sorted, each kept once, and
// written as a run: an unlinked temporary file of one word per line, which
// no failure or crash can leave behind. The runs are merged at most
// kMaxFanIn at a time, the last merge feeding the dictionary writer, which
// also keeps each word's filter key in a temporary file: the membership
// filter is built from those keys once the dictionary is in place.
//
// A ranked build numbers the non-empty words as it reads them (1, 2, ...
// across the sources) and carries each word's number through the pool, the
// runs and the merges, which keep the smallest number of a word's copies:
// that is its rank, written in index order into the staged rank file.
//
// Word lists may be personal: every buffer that held words (pool, read and
// write buffers, the stdio buffers of the dictionary files) is wiped before
// it is freed.

#include "build/build.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <queue>
#include <span>
#include <string_view>
#include <utility>

#include "base/secure_wipe.h"
#include "build/word_runs.h"
#include "format/rank_layout.h"
#include "store/dict_filter.h"
#include "store/rank_file.h"
#include "store/staged_dictionary.h"

namespace quarvel::engine {
namespace {

constexpr uint64_t kProgressBytes = uint64_t{64} << 20;
constexpr std::chrono::milliseconds kProgressInterval{100};

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

class Builder {
 public:
  explicit Builder(const BuildRequest &request)
      : request_(request),
        budget_(request.memory_budget == 0 ? kDefaultMemoryBudget : request.memory_budget),
        progress_(request.progress),
        pool_(budget_, request.ranked),
        temp_dir_(request.temp_dir.empty() ? FolderOf(request.prefix) : request.temp_dir),
        run_buffer_(RunBufferBytes(budget_)) {}

  void Execute(quarvel_build_stats &stats) {
    quarvel_build_progress &report = progress_.report();
    std::vector<Fd> sources = OpenSources(request_.sources, "word list", report.bytes_total);
    if (report.bytes_total >= budget_ / 2) pool_.ReserveAll();

    progress_.Phase(QUARVEL_BUILD_READING);
    Read(sources);
    stats.bytes_read = report.bytes_read;
    stats.lines = normaliser_.lines();

    progress_.Phase(QUARVEL_BUILD_SORTING);
    if (runs_.empty()) {
      pool_.Sort();
      report.words_total = pool_.size();
    } else {
      if (!pool_.empty()) SpillRun(pool_, runs_, temp_dir_, run_buffer_, /*unique=*/true);
      pool_.Release();
      NarrowRuns(runs_, temp_dir_, run_buffer_, /*unique=*/true, [this] { progress_.Tick(); });
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
      // The word's position, counted from 1.
      const uint32_t position =
          static_cast<uint32_t>(std::min<uint64_t>(++report.words, kMaxRank));
      if (!pool_.Add(word, position)) {
        SpillRun(pool_, runs_, temp_dir_, run_buffer_, /*unique=*/true);
        pool_.Add(word, position);
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

  void Write(quarvel_build_stats &stats) {
    quarvel_build_progress &report = progress_.report();
    StagedDictionary staged(request_.prefix, /*owns_rank_file=*/true);
    UniqueFile data, index, mark, rank_file;
    if (!staged.Create(data, index, mark, request_.ranked ? &rank_file : nullptr)) {
      throw SystemFailure(kCannotWrite, "cannot create dictionary", request_.prefix, errno);
    }
    // The files' buffers are the build's own, to be wiped; they outlive the
    // writers, which close the files.
    constexpr size_t kFileBuffer = 1 << 16;
    WipedVector<char> buffers(4 * kFileBuffer);
    FILE *files[] = {data.get(), index.get(), mark.get(), rank_file.get()};
    for (size_t i = 0; i < 4; ++i) {
      if (files[i] != nullptr) {
        setvbuf(files[i], buffers.data() + i * kFileBuffer, _IOFBF, kFileBuffer);
      }
    }
    DictWriter writer(std::move(data), std::move(index), std::move(mark), request_.wide_threshold);
    std::optional<RankWriter> ranks;
    if (request_.ranked) ranks.emplace(std::move(rank_file));
    // The keys of the words for the membership filter, kept as they are
    // written: the filter is then built without reading the dictionary back.
    KeyFile keys(temp_dir_);
    report.words = 0;
    progress_.Phase(QUARVEL_BUILD_WRITING);
    auto put = [&](std::string_view word, uint32_t rank) {
      if (!writer.Add(word) || (ranks && !ranks->Add(rank))) {
        throw SystemFailure(kCannotWrite, "cannot write dictionary", request_.prefix, errno);
      }
      keys.Append(WordKey(word));
      ++report.words;
      progress_.Tick();
    };
    if (runs_.empty()) {
      for (size_t i = 0; i < pool_.size(); ++i) put(pool_.at(i), pool_.rank_at(i));
    } else {
      Merge(runs_, put);
      runs_.clear();
    }
    if (!writer.Finish()) {
      throw SystemFailure(kCannotWrite, "cannot write dictionary", request_.prefix, errno);
    }
    // Stamped with the finished staged files, which renaming keeps as they are.
    if (ranks && !ranks->Finish(staged.staged(0), staged.staged(1))) {
      throw SystemFailure(kCannotWrite, "cannot write the rank file of", request_.prefix, errno);
    }
    if (!staged.Commit()) {
      throw SystemFailure(kCannotWrite, "cannot move into place dictionary", request_.prefix,
                          errno);
    }
    stats.words = writer.words();
    stats.wide = writer.wide() ? 1 : 0;
    // The membership filter goes beside it, within the budget less its
    // image (about 9 bits a word); a dictionary works without it.
    const uint64_t image = writer.words() + writer.words() / 8 + (1 << 20);
    const std::unique_ptr<DictFilter> filter = DictFilter::FromKeys(
        writer.words(),
        [&keys](const std::function<void(uint64_t)> &emit) { return keys.ForEach(emit); },
        budget_ > 2 * image ? budget_ - image : budget_ / 2);
    if (filter != nullptr) WriteDictionaryFilter(request_.prefix, *filter);
  }

  const BuildRequest &request_;
  const uint64_t budget_;
  Progress progress_;
  Normaliser normaliser_{false, request_.utf8};
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
  CatchFailures(outcome, [&] {
    builder = std::make_unique<Builder>(request);
    builder->Execute(outcome.stats);
  });
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
