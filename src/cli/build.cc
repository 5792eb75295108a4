// quarvel build: a dictionary from word lists, with a progress bar, and a
// clean stop on Ctrl-C or SIGTERM.
//
// The library builds into staged files and renames them into place only when
// every write succeeded. A signal only sets a flag; the next progress call
// turns it into a cancellation, the library removes its staged files, and the
// command exits with 128 plus the signal's number.

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/terminal.h"
#include "quarvel/engine.h"

namespace quarvel::cli {
namespace {

volatile sig_atomic_t g_stop_signal = 0;

void OnStopSignal(int signal_number) { g_stop_signal = signal_number; }

int OnProgress(void *context, const quarvel_build_progress *progress) {
  static_cast<ProgressBar *>(context)->Update(*progress);
  return g_stop_signal != 0 ? 1 : 0;
}

// Catches SIGINT and SIGTERM while it lives. Without SA_RESTART, a read
// waiting on a pipe or terminal returns early, so the build stops soon.
class StopSignals {
 public:
  StopSignals() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    g_stop_signal = 0;
    sigaction(SIGINT, &action, &old_int_);
    sigaction(SIGTERM, &action, &old_term_);
  }
  ~StopSignals() {
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGTERM, &old_term_, nullptr);
  }
  StopSignals(const StopSignals &) = delete;
  StopSignals &operator=(const StopSignals &) = delete;

 private:
  struct sigaction old_int_ = {}, old_term_ = {};
};

}  // namespace

int RunBuild(const BuildOptions &options) {
  if (options.sources.empty() && options.language.empty()) {
    fprintf(stderr, "quarvel: build needs a WORDLIST or --language\n");
    return kExitUsage;
  }
  if (options.prefix.empty() && options.language.empty()) {
    fprintf(stderr, "quarvel: build needs --prefix\n");
    return kExitUsage;
  }
  if (!options.language.empty() && options.sources.size() > 1) {
    fprintf(stderr, "quarvel: --language reads one list\n");
    return kExitUsage;
  }
  const std::string prefix = ResolvePrefix(
      options.root, options.prefix.empty() ? "dicts/" + options.language : options.prefix);
  std::vector<const char *> sources;
  for (const std::string &source : options.sources) sources.push_back(source.c_str());

  ProgressBar bar(isatty(STDERR_FILENO) != 0);
  quarvel_build_options build = {};
  build.size = sizeof(build);
  build.memory_budget = options.memory;
  build.temp_dir = options.temp_dir.empty() ? nullptr : options.temp_dir.c_str();
  build.progress = OnProgress;
  build.progress_context = &bar;
  build.ranked = options.ranked ? 1 : 0;
  build.utf8 = options.utf8 ? 1 : 0;
  quarvel_build_stats stats = {};
  stats.size = sizeof(stats);
  char error[512] = "";

  quarvel_hashed_build_stats hashed = {};
  hashed.size = sizeof(hashed);

  int code;
  int stop_signal;
  {
    StopSignals signals;
    if (!options.language.empty()) {
      code = quarvel_build_language(nullptr, options.language.c_str(), prefix.c_str(),
                                    sources.empty() ? nullptr : sources[0], &build, &stats, error,
                                    sizeof(error));
    } else if (options.sha1) {
      code = quarvel_build_hashed(nullptr, prefix.c_str(), sources.data(), sources.size(),
                                  options.min_count, options.skip_malformed ? 1 : 0, &build,
                                  &hashed, error, sizeof(error));
    } else {
      code = quarvel_build(nullptr, prefix.c_str(), sources.data(), sources.size(), &build, &stats,
                           error, sizeof(error));
    }
    stop_signal = g_stop_signal;
  }
  bar.Clear();

  if (stop_signal != 0 && code != 0) {
    fprintf(stderr, "quarvel: build of %s stopped by %s; the previous dictionary is unchanged\n",
            prefix.c_str(), stop_signal == SIGINT ? "SIGINT" : "SIGTERM");
    return 128 + stop_signal;
  }
  if (code != 0) {
    fprintf(stderr, "quarvel: %s\n", error[0] != '\0' ? error : "the build failed");
    return code == 3006 ? kExitUsage : kExitFailed;
  }
  if (options.sha1) {
    printf("built %s.hsh: %s hashes from %s lines, %s, in %.2f s", prefix.c_str(),
           FormatCount(hashed.hashes).c_str(), FormatCount(hashed.lines).c_str(),
           FormatBytes(hashed.bytes_read).c_str(), hashed.seconds);
    if (hashed.below_min_count > 0) {
      printf("; %s below the minimum count", FormatCount(hashed.below_min_count).c_str());
    }
    if (hashed.malformed > 0) {
      printf("; %s malformed lines skipped (the first: line %s)",
             FormatCount(hashed.malformed).c_str(),
             FormatCount(hashed.first_malformed_line).c_str());
    }
    printf("\n");
    return kExitOk;
  }
  printf("built %s: %s words (%s layout%s) from %s lines, %s, in %.2f s\n", prefix.c_str(),
         FormatCount(stats.words).c_str(), stats.wide ? "wide" : "standard",
         options.ranked ? ", ranked" : "", FormatCount(stats.lines).c_str(),
         FormatBytes(stats.bytes_read).c_str(), stats.seconds);
  return kExitOk;
}

}  // namespace quarvel::cli
