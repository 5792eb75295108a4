// Whole-process throughput of password verification.
//
//   quarvel-bench WORKDIR PASSWORDS [REPEAT] [THREADS]
//
// Loads the environment in WORKDIR (its conf/quarvel.ini and dicts/), then
// verifies every line of the password file (REPEAT times over), with the
// library's trace sent to /dev/null. Prints passwords per second, the p50,
// p99 and maximum latency of one verification, and the peak memory. With
// THREADS above 1, then runs the same passes on that many threads at once
// (each an equal share) and prints their passwords per second too.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "quarvel/quarvel.h"

namespace {

std::vector<std::string> ReadLines(const char *path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s WORKDIR PASSWORDS [REPEAT]\n", argv[0]);
    return 2;
  }
  const std::vector<std::string> passwords = ReadLines(argv[2]);
  const int repeat = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  if (passwords.empty()) {
    std::fprintf(stderr, "no passwords in %s\n", argv[2]);
    return 1;
  }
  if (chdir(argv[1]) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  // The report goes to the original standard output; the trace to /dev/null.
  FILE *report = fdopen(dup(fileno(stdout)), "w");
  if (report == nullptr || std::freopen("/dev/null", "w", stdout) == nullptr) return 1;

  const std::string environment = LoadConfigFile();
  if (environment.rfind("RET_CD=0000", 0) != 0) {
    std::fprintf(stderr, "environment: %s\n", environment.c_str());
    return 1;
  }

  using Clock = std::chrono::steady_clock;
  std::vector<double> latencies;
  latencies.reserve(passwords.size() * static_cast<size_t>(repeat));
  size_t level_counts[5] = {};
  const auto start = Clock::now();
  for (int r = 0; r < repeat; ++r) {
    for (const std::string &password : passwords) {
      const auto t0 = Clock::now();
      const char *answer = VerifyPW(password.c_str());
      const auto t1 = Clock::now();
      latencies.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
      const char *level = std::strstr(answer, "RT_LEVEL=");
      if (level != nullptr) ++level_counts[level[9] - '0'];
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::sort(latencies.begin(), latencies.end());
  auto percentile = [&](double p) {
    return latencies[std::min(latencies.size() - 1, static_cast<size_t>(p * latencies.size()))];
  };
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);

  std::fprintf(report, "environment      %s\n", environment.c_str());
  std::fprintf(report, "verifications    %zu\n", latencies.size());
  std::fprintf(report, "passwords/s      %.0f\n", static_cast<double>(latencies.size()) / seconds);
  std::fprintf(report, "latency p50      %.1f us\n", percentile(0.50));
  std::fprintf(report, "latency p99      %.1f us\n", percentile(0.99));
  std::fprintf(report, "latency max      %.1f us\n", latencies.back());
  std::fprintf(report, "peak RSS         %ld KiB\n", usage.ru_maxrss);
  std::fprintf(report, "levels 1-4       %zu %zu %zu %zu\n", level_counts[1], level_counts[2],
               level_counts[3], level_counts[4]);

  const int threads = argc > 4 ? std::max(1, std::atoi(argv[4])) : 1;
  if (threads > 1) {
    const auto parallel_start = Clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&, t] {
        for (int r = 0; r < repeat; ++r) {
          for (size_t i = static_cast<size_t>(t); i < passwords.size();
               i += static_cast<size_t>(threads)) {
            VerifyPW(passwords[i].c_str());
          }
        }
      });
    }
    for (std::thread &w : workers) w.join();
    const double parallel_seconds =
        std::chrono::duration<double>(Clock::now() - parallel_start).count();
    const double rate = static_cast<double>(passwords.size()) * repeat / parallel_seconds;
    std::fprintf(report, "passwords/s, %d threads %.0f (%.2fx)\n", threads, rate,
                 rate / (static_cast<double>(latencies.size()) / seconds));
  }
  std::fclose(report);
  return 0;
}
