// Detection, throughput and worst-case latency of quarvel_check on corpora
// of passwords, for comparing search profiles (see search_eval.sh).
//
//   quarvel-search-bench [--repeat N] [--explain] ROOT CORPUS...
//
// Opens the environment at ROOT and checks every line of each corpus N
// times (default 5). For each corpus prints one line: its name, the number
// of passwords, the share rated level 2 or lower and level 3 or higher,
// the count at each level and of each kind of match, the passwords checked
// per second (all passes), and the worst single check: for each password
// the fastest of its N checks (so that a preempted check does not count),
// the slowest of those over the corpus, and the median guess estimate.
// --explain prints each password of
// the first pass with its level and explanation instead.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "quarvel/quarvel.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> ReadLines(const char *path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::string BaseName(const std::string &path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void Measure(const quarvel_env *env, const char *path, int repeat, bool explain) {
  const std::vector<std::string> passwords = ReadLines(path);
  if (passwords.empty()) {
    std::fprintf(stderr, "no passwords in %s\n", path);
    return;
  }
  int levels[5] = {};
  int kinds[6] = {};
  std::vector<double> fastest(passwords.size(), 1e30);
  std::vector<double> estimates;
  double total_seconds = 0;
  quarvel_result r;
  QUARVEL_RESULT_INIT(&r);
  for (int pass = 0; pass < repeat; ++pass) {
    const auto pass_start = Clock::now();
    for (size_t i = 0; i < passwords.size(); ++i) {
      const auto start = Clock::now();
      quarvel_check(env, passwords[i].data(), passwords[i].size(), &r);
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
      fastest[i] = std::min(fastest[i], seconds);
      if (pass != 0) continue;
      ++levels[std::clamp(r.level, 0, 4)];
      ++kinds[std::clamp(r.match.kind, 0, 5)];
      estimates.push_back(r.guesses_log10);
      if (explain) {
        std::printf("%d %-24s %-20s %s\n", r.level, passwords[i].c_str(), r.match.word,
                    r.match.kind != QUARVEL_MATCH_NONE ? r.match.variant : "-");
      }
    }
    total_seconds += std::chrono::duration<double>(Clock::now() - pass_start).count();
  }
  const size_t worst =
      static_cast<size_t>(std::max_element(fastest.begin(), fastest.end()) - fastest.begin());
  const double n = static_cast<double>(passwords.size());
  std::nth_element(estimates.begin(), estimates.begin() + estimates.size() / 2, estimates.end());
  std::printf(
      "%-16s n=%-6zu level<=2 %6.2f%%  level>=3 %6.2f%%  levels 1-4: %d %d %d %d  "
      "kinds none/dict/personal/context/unreadable/pattern: %d %d %d %d %d %d  "
      "%.0f passwords/s  worst %.1f us (%zu characters)  median estimate 10^%.1f\n",
      BaseName(path).c_str(), passwords.size(), 100.0 * (levels[1] + levels[2]) / n,
      100.0 * (levels[3] + levels[4]) / n, levels[1], levels[2], levels[3], levels[4], kinds[0],
      kinds[1], kinds[2], kinds[3], kinds[4], kinds[5], n * repeat / total_seconds,
      fastest[worst] * 1e6, passwords[worst].size(), estimates[estimates.size() / 2]);
}

}  // namespace

int main(int argc, char **argv) {
  int repeat = 5;
  bool explain = false;
  int arg = 1;
  for (; arg < argc && argv[arg][0] == '-'; ++arg) {
    if (std::strcmp(argv[arg], "--repeat") == 0 && arg + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++arg]));
    } else if (std::strcmp(argv[arg], "--explain") == 0) {
      explain = true;
      repeat = 1;
    } else {
      break;
    }
  }
  if (argc - arg < 2) {
    std::fprintf(stderr, "usage: %s [--repeat N] [--explain] ROOT CORPUS...\n", argv[0]);
    return 2;
  }
  char error[512];
  quarvel_env *env = quarvel_open(argv[arg], error, sizeof(error));
  if (env == nullptr) {
    std::fprintf(stderr, "%s\n", error);
    return 1;
  }
  for (int i = arg + 1; i < argc; ++i) Measure(env, argv[i], repeat, explain);
  quarvel_close(env);
  return 0;
}
