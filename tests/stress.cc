// Stress: checks on four threads while other threads reload and rebuild,
// with every answer verified. A word of a dictionary is always found, in the
// dictionary it belongs to, however the checks and the rebuilds interleave;
// a random strong password never is; the words of a rebuild are searched as
// soon as the build returns, and the words it dropped no longer are.
//
//   quarvel-stress engine SECONDS   quarvel_check on one environment, on four
//                                   threads; one thread reloads it
//                                   (quarvel_reload), one rebuilds one of its
//                                   dictionaries (quarvel_build with the
//                                   environment); at the end the checkers
//                                   stop, alive and idle, and the environment
//                                   is closed from another thread.
//   quarvel-stress verify SECONDS   VerifyPW on four threads, without a pause,
//                                   while the main thread runs LoadConfigFile
//                                   and CreateDict in turn. Each load and each
//                                   build must finish within kWriterBound: a
//                                   load or a build waits for the checks in
//                                   flight, never for later ones.
//   quarvel-stress soak [SECONDS]   the engine workload on a service's
//                                   schedule (a reload every 10 ms, a build
//                                   every second; 600 s by default), with
//                                   resident memory, open descriptors and
//                                   mapped regions sampled ten times; from
//                                   the first three samples to the last
//                                   three they must stay flat.
//
// Exit status 0 when every answer was right (and, for soak, the resources
// stayed flat); 1 otherwise; 2 for a usage error. The report goes to
// standard output; VerifyPW's trace lines go to /dev/null.

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <shared_mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "quarvel/quarvel.h"
#include "testing/descriptors.h"
#include "testing/run_report.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using quarvel::testing::Fail;
using quarvel::testing::Report;
using quarvel::testing::WriteText;

// The longest a LoadConfigFile or a CreateDict of the verify mode may take
// while four threads check without a pause. Generous, so that a loaded
// machine or a sanitizer build stays well inside it; a writer kept out by
// checks that keep coming waits without end.
constexpr double kWriterBound = 2.0;
constexpr int kCheckers = 4;
// Soak: what the resources may grow by from the first three samples to the
// last three (each the highest of its three: the memory of a snapshot just
// replaced may not have gone back yet). A leak of a dictionary per build, a
// snapshot per reload or a few bytes per check goes far beyond.
constexpr long kRssGrowthKiB = 4096;
constexpr long kMapsGrowth = 4;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The words of the run: random letters, so that no word is a variant of
// another (trimmed, with digits, case changed). The known words are in every
// version of their dictionary; the rebuilt dictionary holds one of two churn
// sets in turn.
struct Words {
  std::vector<std::string> fixed;  // the default dictionary
  std::vector<std::string> extra;  // the rebuilt dictionary, every version
  std::vector<std::string> churn[2];

  Words(uint64_t seed, size_t fixed_count, size_t extra_count) {
    std::mt19937_64 rng(seed);
    std::unordered_set<std::string> seen;
    auto take = [&](std::vector<std::string> &into, size_t count) {
      while (into.size() < count) {
        std::string word(9 + rng() % 6, 'a');
        for (char &c : word) c = static_cast<char>('a' + rng() % 26);
        if (seen.insert(word).second) into.push_back(std::move(word));
      }
    };
    take(fixed, fixed_count);
    take(extra, extra_count);
    take(churn[0], 100);
    take(churn[1], 100);
  }

  // The rebuilt dictionary's word list with churn set n, in mixed case.
  std::string ExtraList(int n) const {
    std::string list;
    for (const auto *set : {&extra, &churn[n]}) {
      for (const std::string &word : *set) {
        list += static_cast<char>(word[0] - 'a' + 'A');
        list.append(word, 1) += '\n';
      }
    }
    return list;
  }
};

// Sixteen characters of every class: found in no dictionary of the run.
std::string StrongPassword(std::mt19937_64 &rng) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789!#%&*+-=?@^_~";
  std::string password(16, ' ');
  for (char &c : password) c = kAlphabet[rng() % (sizeof(kAlphabet) - 1)];
  return password;
}

// What a check must give: the word found and the dictionary slot, or
// nothing found.
struct Probe {
  std::string password;
  const std::string *word = nullptr;  // nullptr: not found
  int slot = -1;
};

Probe DrawProbe(const Words &words, std::mt19937_64 &rng) {
  Probe probe;
  const unsigned kind = static_cast<unsigned>(rng() % 10);
  if (kind < 4) {
    probe.word = &words.fixed[rng() % words.fixed.size()];
    probe.slot = 0;
  } else if (kind < 7) {
    probe.word = &words.extra[rng() % words.extra.size()];
    probe.slot = 1;
  } else {
    probe.password = StrongPassword(rng);
    return probe;
  }
  probe.password = *probe.word;
  probe.password[0] = static_cast<char>(probe.password[0] - 'a' + 'A');
  return probe;
}

// Checks probe through the engine; false (after reporting) when the answer
// is wrong.
bool EngineCheck(const quarvel_env *env, const Probe &probe, const char *who) {
  quarvel_result r;
  QUARVEL_RESULT_INIT(&r);
  const int code = quarvel_check(env, probe.password.data(), probe.password.size(), &r);
  bool right = code == QUARVEL_OK && r.code == QUARVEL_OK;
  if (right && probe.word == nullptr) {
    right = r.match.kind == QUARVEL_MATCH_NONE;
  } else if (right) {
    right = r.match.kind == QUARVEL_MATCH_DICTIONARY && r.match.slot == probe.slot &&
            *probe.word == r.match.word;
  }
  if (!right) {
    Fail("%s: '%s' (%s in slot %d) answered code %d, match kind %d, slot %d, word '%s': %s", who,
         probe.password.c_str(), probe.word != nullptr ? "expected" : "not expected", probe.slot,
         code, r.match.kind, r.match.slot, r.match.word, r.answer);
  }
  return right;
}

// The answer's DICT_FD_CNT: the slot that found it, plus one; one more than
// the dictionaries searched when none did.
int DictFound(const char *answer) {
  const char *field = strstr(answer, ":DICT_FD_CNT=");
  return strncmp(answer, "RET_CD=0000:", 12) == 0 && field != nullptr ? atoi(field + 13) : -1;
}

bool VerifyCheck(const Probe &probe, const char *who) {
  const char *answer = VerifyPW(probe.password.c_str());
  // Two dictionaries are configured: 3 means found in neither.
  const int want = probe.word != nullptr ? probe.slot + 1 : 3;
  const int got = DictFound(answer);
  if (got != want) {
    Fail("%s: VerifyPW('%s') answered %s, expected DICT_FD_CNT=%d", who, probe.password.c_str(),
         answer, want);
  }
  return got == want;
}

// A working folder of its own, removed at the end; the process works in it.
class Workspace {
 public:
  Workspace() {
    const char *tmp = getenv("TMPDIR");
    std::string path =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quarvel-stress-XXXXXX";
    if (mkdtemp(path.data()) == nullptr || chdir(path.c_str()) != 0 || mkdir("conf", 0700) != 0 ||
        mkdir("dicts", 0700) != 0) {
      Fail("cannot prepare a working folder under %s", path.c_str());
      return;
    }
    path_ = path;
  }
  ~Workspace() {
    std::error_code ec;
    fs::current_path(old_, ec);
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  bool ok() const { return !path_.empty(); }
  const std::string &path() const { return path_; }

 private:
  fs::path old_ = fs::current_path();
  std::string path_;
};

// The resources of the process, for the soak.
struct Resources {
  long rss_kib;
  long descriptors;
  long maps;
};

long CountLines(const char *path) {
  FILE *file = fopen(path, "r");
  if (file == nullptr) return -1;
  long lines = 0;
  for (int c; (c = fgetc(file)) != EOF;) lines += c == '\n';
  fclose(file);
  return lines;
}

Resources Measure() {
  return {quarvel::testing::ResidentKiB(), quarvel::testing::OpenDescriptors(),
          CountLines("/proc/self/maps")};
}

// The engine workload. Checkers run until stop; the reloader and the builder
// start their work at fixed intervals (0: back to back; one that overran its
// interval starts the next at once), each holding maintenance_ shared, which
// the soak takes exclusively to sample the resources while neither is in the
// middle of its work.
class EngineRun {
 public:
  EngineRun(const Words &words, double seconds, int reload_ms, int build_ms, int samples)
      : words_(words),
        seconds_(seconds),
        reload_ms_(reload_ms),
        build_ms_(build_ms),
        samples_(samples) {}

  void Run();

 private:
  void Checker(int n);
  void Reloader();
  void Builder();
  bool Build(int churn);
  // Waits for the next start, interval ms after the last one.
  void WaitForNext(int interval, Clock::time_point *next) const {
    *next = std::max(*next + std::chrono::milliseconds(interval), Clock::now());
    std::unique_lock lock(stop_mutex_);
    stop_cv_.wait_until(lock, *next, [this] { return stop_; });
  }
  bool Stopped() const {
    std::lock_guard lock(stop_mutex_);
    return stop_;
  }
  void Sample(Clock::time_point start, double *last_time, long *last_checks);

  const Words &words_;
  const double seconds_;
  const int reload_ms_, build_ms_, samples_;
  quarvel_env *env_ = nullptr;
  std::string root_;
  std::atomic<long> checks_{0}, reloads_{0}, builds_{0};
  // The time each reload and build took (reloader's and builder's own).
  double reload_seconds_ = 0, slowest_reload_ = 0, build_seconds_ = 0, slowest_build_ = 0;
  std::shared_mutex maintenance_;
  mutable std::mutex stop_mutex_;
  mutable std::condition_variable stop_cv_;
  bool stop_ = false;
  // Checkers stop checking, then wait for the close before they end.
  int idle_checkers_ = 0;
  bool closed_ = false;
  std::vector<Resources> samples_taken_;
};

void EngineRun::Checker(int n) {
  std::mt19937_64 rng(1000 + n);
  const std::string who = "checker " + std::to_string(n);
  while (!Stopped()) {
    for (int i = 0; i < 64; ++i) EngineCheck(env_, DrawProbe(words_, rng), who.c_str());
    checks_.fetch_add(64, std::memory_order_relaxed);
  }
  std::unique_lock lock(stop_mutex_);
  ++idle_checkers_;
  stop_cv_.notify_all();
  stop_cv_.wait(lock, [this] { return closed_; });
}

void EngineRun::Reloader() {
  int variant = 0;
  for (auto next = Clock::now(); !Stopped(); WaitForNext(reload_ms_, &next)) {
    {
      std::shared_lock lock(maintenance_);
      // Two configurations in turn, with the same dictionaries.
      variant ^= 1;
      const std::string config = std::string("[QUARVEL_DICT]\ndict.file.prefix.1=dicts/extra\n") +
                                 "[QUARVEL_RULE]\nquarvel_rule.min_diff=" + (variant ? "5" : "4") +
                                 "\n";
      if (!WriteText(root_ + "/conf/quarvel.ini", config)) Fail("cannot write the configuration");
      const auto start = Clock::now();
      const int code = quarvel_reload(env_);
      const double took = Since(start);
      reload_seconds_ += took;
      slowest_reload_ = std::max(slowest_reload_, took);
      if (code != 0) Fail("quarvel_reload answered %d", code);
      reloads_.fetch_add(1, std::memory_order_relaxed);
    }
  }
}

// Rebuilds the extra dictionary with churn set n; then the builder's own
// checks must find that set's words and no longer the other's.
bool EngineRun::Build(int n) {
  const std::string list = root_ + "/extra-list.txt";
  if (!WriteText(list, words_.ExtraList(n))) {
    Fail("cannot write the word list");
    return false;
  }
  const char *sources[] = {list.c_str()};
  char error[256] = "";
  const int code =
      quarvel_build(env_, "dicts/extra", sources, 1, nullptr, nullptr, error, sizeof(error));
  if (code != 0) {
    Fail("quarvel_build answered %d: %s", code, error);
    return false;
  }
  std::mt19937_64 rng(static_cast<uint64_t>(builds_.load()));
  Probe in, out;
  in.word = &words_.churn[n][rng() % words_.churn[n].size()];
  in.password = *in.word;
  in.slot = 1;
  out.password = words_.churn[n ^ 1][rng() % words_.churn[n ^ 1].size()];
  return EngineCheck(env_, in, "after a build") && EngineCheck(env_, out, "after a build");
}

void EngineRun::Builder() {
  int churn = 0;
  for (auto next = Clock::now(); !Stopped(); WaitForNext(build_ms_, &next)) {
    std::shared_lock lock(maintenance_);
    churn ^= 1;
    const auto start = Clock::now();
    Build(churn);
    const double took = Since(start);
    build_seconds_ += took;
    slowest_build_ = std::max(slowest_build_, took);
    builds_.fetch_add(1, std::memory_order_relaxed);
  }
}

void EngineRun::Sample(Clock::time_point start, double *last_time, long *last_checks) {
  Resources r;
  {
    // Neither a reload nor a build in the middle; checks that reopen a
    // dictionary just rebuilt have had time to.
    std::lock_guard lock(maintenance_);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    r = Measure();
  }
  const double now = Since(start);
  const long checks = checks_.load();
  Report(
      "%6.0f s  %8ld KiB resident  %3ld descriptors  %4ld mapped regions  %8.0f checks/s"
      "  %ld reloads  %ld builds",
      now, r.rss_kib, r.descriptors, r.maps, (checks - *last_checks) / (now - *last_time),
      reloads_.load(), builds_.load());
  *last_time = now;
  *last_checks = checks;
  samples_taken_.push_back(r);
}

void EngineRun::Run() {
  Workspace workspace;
  if (!workspace.ok()) return;
  root_ = workspace.path();
  std::string list;
  for (const std::string &word : words_.fixed) list += word + "\n";
  const char *fixed[] = {"fixed-list.txt"}, *extra[] = {"extra-list.txt"};
  char error[256] = "";
  if (!WriteText("fixed-list.txt", list) || !WriteText("extra-list.txt", words_.ExtraList(0)) ||
      !WriteText("conf/quarvel.ini", "[QUARVEL_DICT]\ndict.file.prefix.1=dicts/extra\n") ||
      quarvel_build(nullptr, "dicts/default_dict", fixed, 1, nullptr, nullptr, error,
                    sizeof(error)) != 0 ||
      quarvel_build(nullptr, "dicts/extra", extra, 1, nullptr, nullptr, error, sizeof(error)) !=
          0) {
    Fail("cannot prepare the environment: %s", error);
    return;
  }
  const Resources before_open = Measure();
  env_ = quarvel_open(root_.c_str(), error, sizeof(error));
  if (env_ == nullptr) {
    Fail("cannot open the environment: %s", error);
    return;
  }

  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int n = 0; n < kCheckers; ++n) threads.emplace_back(&EngineRun::Checker, this, n);
  std::thread reloader(&EngineRun::Reloader, this);
  std::thread builder(&EngineRun::Builder, this);

  double last_time = 0;
  long last_checks = 0;
  for (int n = 1; n <= samples_; ++n) {
    std::this_thread::sleep_until(start + std::chrono::duration<double>(seconds_ * n / samples_));
    Sample(start, &last_time, &last_checks);
  }
  if (samples_ == 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds_));
  {
    std::lock_guard lock(stop_mutex_);
    stop_ = true;
  }
  stop_cv_.notify_all();
  reloader.join();
  builder.join();
  {
    std::unique_lock lock(stop_mutex_);
    stop_cv_.wait(lock, [this] { return idle_checkers_ == kCheckers; });
  }
  // No check runs now; the checkers' threads live on, idle, while another
  // thread closes the environment.
  std::thread([this] { quarvel_close(env_); }).join();
  {
    std::lock_guard lock(stop_mutex_);
    closed_ = true;
  }
  stop_cv_.notify_all();
  for (std::thread &t : threads) t.join();
  const double seconds = Since(start);
  const Resources after_close = Measure();

  Report("engine: %ld checks (%.0f/s) on %d threads, %ld reloads, %ld builds in %.1f s",
         checks_.load(), checks_.load() / seconds, kCheckers, reloads_.load(), builds_.load(),
         seconds);
  Report("reloads took %.1f ms on average, %.1f ms at the slowest; builds %.1f ms, %.1f ms",
         1000 * reload_seconds_ / std::max(1L, reloads_.load()), 1000 * slowest_reload_,
         1000 * build_seconds_ / std::max(1L, builds_.load()), 1000 * slowest_build_);
  Report("descriptors: %ld before the environment opened, %ld after it closed",
         before_open.descriptors, after_close.descriptors);
  if (before_open.descriptors != after_close.descriptors) Fail("descriptors leaked");
  if (checks_ == 0 || reloads_ == 0 || builds_ == 0) Fail("a thread did no work");
  if (samples_taken_.size() < 6) return;
  // Flat after the first tenth: the warm-up has made every cache and arena.
  auto highest = [](auto from, auto to) {
    Resources r{0, 0, 0};
    for (auto it = from; it != to; ++it) {
      r = {std::max(r.rss_kib, it->rss_kib), std::max(r.descriptors, it->descriptors),
           std::max(r.maps, it->maps)};
    }
    return r;
  };
  const Resources warm = highest(samples_taken_.begin(), samples_taken_.begin() + 3);
  const Resources end = highest(samples_taken_.end() - 3, samples_taken_.end());
  Report(
      "first three samples to the last three: %+ld KiB resident, %+ld descriptors, %+ld mapped "
      "regions",
      end.rss_kib - warm.rss_kib, end.descriptors - warm.descriptors, end.maps - warm.maps);
  if (end.rss_kib - warm.rss_kib > kRssGrowthKiB) Fail("resident memory grew");
  if (end.descriptors != warm.descriptors) Fail("open descriptors changed");
  if (end.maps - warm.maps > kMapsGrowth) Fail("mapped regions grew");
}

// VerifyPW on four threads; LoadConfigFile and CreateDict in turn on this
// one, each timed.
void VerifyRun(const Words &words, double seconds) {
  Workspace workspace;
  if (!workspace.ok()) return;
  std::string list;
  for (const std::string &word : words.fixed) list += word + "\n";
  if (!WriteText("fixed-list.txt", list) || !WriteText("extra-list.txt", words.ExtraList(0)) ||
      !WriteText("conf/quarvel.ini", "[QUARVEL_DICT]\ndict.file.prefix.1=./dicts/extra\n") ||
      strcmp(CreateDict("fixed-list.txt", "./dicts/default_dict"), "RET_CD=0000") != 0 ||
      strcmp(CreateDict("extra-list.txt", "./dicts/extra"), "RET_CD=0000") != 0 ||
      strncmp(LoadConfigFile(), "RET_CD=0000:", 12) != 0) {
    Fail("cannot prepare the working folder");
    return;
  }

  std::atomic<bool> stop{false};
  std::atomic<long> checks{0};
  std::vector<std::thread> threads;
  for (int n = 0; n < kCheckers; ++n) {
    threads.emplace_back([&, n] {
      std::mt19937_64 rng(2000 + n);
      const std::string who = "checker " + std::to_string(n);
      while (!stop.load(std::memory_order_relaxed)) {
        VerifyCheck(DrawProbe(words, rng), who.c_str());
        checks.fetch_add(1, std::memory_order_relaxed);
      }
    });
  }
  const auto start = Clock::now();
  double slowest_load = 0, slowest_build = 0;
  long loads = 0, builds = 0;
  std::mt19937_64 rng(3000);
  for (int churn = 1; Since(start) < seconds; churn ^= 1) {
    auto t = Clock::now();
    const char *loaded = LoadConfigFile();
    slowest_load = std::max(slowest_load, Since(t));
    if (strncmp(loaded, "RET_CD=0000:", 12) != 0) Fail("LoadConfigFile answered %s", loaded);
    ++loads;
    if (!WriteText("extra-list.txt", words.ExtraList(churn))) Fail("cannot write the word list");
    t = Clock::now();
    const char *built = CreateDict("extra-list.txt", "./dicts/extra");
    slowest_build = std::max(slowest_build, Since(t));
    if (strcmp(built, "RET_CD=0000") != 0) Fail("CreateDict answered %s", built);
    ++builds;
    // The new words are searched at once, the dropped ones no longer.
    Probe in, out;
    in.word = &words.churn[churn][rng() % words.churn[churn].size()];
    in.password = *in.word;
    in.slot = 1;
    out.password = words.churn[churn ^ 1][rng() % words.churn[churn ^ 1].size()];
    VerifyCheck(in, "after a build");
    VerifyCheck(out, "after a build");
  }
  stop = true;
  for (std::thread &t : threads) t.join();
  const double elapsed = Since(start);
  Report("verify: %ld checks (%.0f/s) on %d threads, %ld loads, %ld builds in %.1f s",
         checks.load(), checks.load() / elapsed, kCheckers, loads, builds, elapsed);
  Report("slowest LoadConfigFile %.3f s, slowest CreateDict %.3f s (bound %.1f s)", slowest_load,
         slowest_build, kWriterBound);
  if (slowest_load > kWriterBound || slowest_build > kWriterBound) {
    Fail("a load or a build waited beyond %.1f s", kWriterBound);
  }
  if (checks == 0 || loads == 0) Fail("a thread did no work");
}

int Usage() {
  fprintf(stderr,
          "usage: quarvel-stress engine|verify SECONDS\n       quarvel-stress soak [SECONDS]\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2 || argc > 3) return Usage();
  const std::string mode = argv[1];
  double seconds = mode == "soak" ? 600 : -1;
  if (argc == 3) {
    char *end = nullptr;
    seconds = strtod(argv[2], &end);
    if (end == argv[2] || *end != '\0' || !(seconds > 0)) return Usage();
  }
  if (seconds <= 0 || (mode != "engine" && mode != "verify" && mode != "soak")) return Usage();

  // Trace lines to /dev/null, the report to the original standard output.
  if (!quarvel::testing::StartReport(mode == "soak" ? "soak" : "stress")) return 2;

  if (mode == "verify") {
    VerifyRun(Words(20240611, 2000, 300), seconds);
  } else if (mode == "engine") {
    EngineRun(Words(20240611, 2000, 300), seconds, /*reload_ms=*/1, /*build_ms=*/0,
              /*samples=*/0)
        .Run();
  } else {
    // A reload reads every dictionary again: with these it takes a few
    // milliseconds, so that one starts every 10 ms as scheduled.
    EngineRun(Words(20240611, 12000, 3000), seconds, /*reload_ms=*/10, /*build_ms=*/1000,
              /*samples=*/10)
        .Run();
  }
  return quarvel::testing::FinishReport();
}
