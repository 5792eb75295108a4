// Throughput of the engine's quarvel_check, on one thread and on several.
//
//   quarvel-engine-bench ROOT PASSWORDS [REPEAT] [THREADS] [RECORD]
//
// Opens the environment at ROOT and checks every line of the password file
// REPEAT times over, first on one thread, then on THREADS threads (each
// taking an equal share). Prints passwords per second for both, their
// ratio, the p50, p99 and maximum latency of one check on one thread, the
// slowest check in CPU time, and the latency of the first check after the
// default dictionary was rebuilt.
// RECORD is the result record's layout the caller passes: "full" (the
// default, with the NIST verdict, the explanation as data and the guess
// estimate), "v3" (all but the estimate), "v2" (with the verdict, without
// the explanation), or "v1" (the first layout); "both" measures the full
// record and v3 in the same passes, a block of passwords with one, the
// same block with the other (so that a machine busy with other work slows
// both alike), and prints their rates and ratio before the full record's
// other figures.

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "quarvel/quarvel.h"

namespace {

uint32_t g_record_size = sizeof(quarvel_result);

using Clock = std::chrono::steady_clock;

std::vector<std::string> ReadLines(const char *path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

double Run(const quarvel_env *env, const std::vector<std::string> &passwords, int repeat,
           int threads) {
  const auto start = Clock::now();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      quarvel_result r;
      QUARVEL_RESULT_INIT(&r);
      r.size = g_record_size;
      for (int k = 0; k < repeat; ++k) {
        for (size_t i = static_cast<size_t>(t); i < passwords.size();
             i += static_cast<size_t>(threads)) {
          quarvel_check(env, passwords[i].data(), passwords[i].size(), &r);
        }
      }
    });
  }
  for (auto &w : workers) w.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return static_cast<double>(passwords.size()) * repeat / seconds;
}

// The calling thread's CPU time in seconds.
double ThreadCpu() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Checks per second of the calling thread's CPU time, one thread: less
// sensitive than Run to other processes on a busy machine.
double RunCpu(const quarvel_env *env, const std::vector<std::string> &passwords, int repeat) {
  const auto cpu = ThreadCpu;
  quarvel_result r;
  QUARVEL_RESULT_INIT(&r);
  r.size = g_record_size;
  const double start = cpu();
  for (int k = 0; k < repeat; ++k) {
    for (const std::string &p : passwords) quarvel_check(env, p.data(), p.size(), &r);
  }
  return static_cast<double>(passwords.size()) * repeat / (cpu() - start);
}

// Checks per CPU second with the full record and with v3, interleaved in
// blocks of the corpus.
void RunBoth(const quarvel_env *env, const std::vector<std::string> &passwords, int repeat) {
  constexpr size_t kBlock = 500;
  quarvel_result r;
  double seconds[2] = {0, 0};
  for (int k = 0; k < repeat; ++k) {
    for (size_t begin = 0; begin < passwords.size(); begin += kBlock) {
      const size_t end = std::min(passwords.size(), begin + kBlock);
      // The second run of a block finds the dictionary lines the first one
      // read still cached: the order alternates so that neither gains.
      const int first = static_cast<int>((begin / kBlock + static_cast<size_t>(k)) % 2);
      for (int turn = 0; turn < 2; ++turn) {
        const int mode = turn == 0 ? first : 1 - first;
        QUARVEL_RESULT_INIT(&r);
        if (mode == 1) r.size = QUARVEL_RESULT_V3_SIZE;
        const double start = ThreadCpu();
        for (size_t i = begin; i < end; ++i) {
          quarvel_check(env, passwords[i].data(), passwords[i].size(), &r);
        }
        seconds[mode] += ThreadCpu() - start;
      }
    }
  }
  const double checks = static_cast<double>(passwords.size()) * repeat;
  std::printf("checks/CPU s, full     %.0f\n", checks / seconds[0]);
  std::printf("checks/CPU s, v3       %.0f\n", checks / seconds[1]);
  std::printf("full / v3              %.2fx\n", seconds[1] / seconds[0]);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s ROOT PASSWORDS [REPEAT] [THREADS] [full|v3|v2|v1|both]\n",
                 argv[0]);
    return 2;
  }
  const std::vector<std::string> passwords = ReadLines(argv[2]);
  const int repeat = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10;
  const int threads = argc > 4 ? std::max(1, std::atoi(argv[4])) : 2;
  const std::string record = argc > 5 ? argv[5] : "full";
  if (record == "v1") g_record_size = QUARVEL_RESULT_V1_SIZE;
  if (record == "v2") g_record_size = QUARVEL_RESULT_V2_SIZE;
  if (record == "v3") g_record_size = QUARVEL_RESULT_V3_SIZE;
  char error[512];
  quarvel_env *env = quarvel_open(argv[1], error, sizeof(error));
  if (env == nullptr) {
    std::fprintf(stderr, "%s\n", error);
    return 1;
  }
  Run(env, passwords, 1, 1);  // warm-up
  if (record == "both") RunBoth(env, passwords, repeat);
  const double one = Run(env, passwords, repeat, 1);
  const double one_cpu = RunCpu(env, passwords, repeat);
  const double many = Run(env, passwords, repeat, threads);

  std::vector<double> latencies;
  quarvel_result r;
  QUARVEL_RESULT_INIT(&r);
  r.size = g_record_size;
  for (const std::string &p : passwords) {
    const auto t0 = Clock::now();
    quarvel_check(env, p.data(), p.size(), &r);
    latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  std::sort(latencies.begin(), latencies.end());

  // The slowest check in CPU time, which a busy machine does not inflate:
  // each password's best of three, and the worst of those.
  double slowest_cpu = 0;
  size_t slowest = 0;
  for (size_t i = 0; i < passwords.size(); ++i) {
    double best = 1e9;
    for (int k = 0; k < 3; ++k) {
      const double t0 = ThreadCpu();
      quarvel_check(env, passwords[i].data(), passwords[i].size(), &r);
      best = std::min(best, ThreadCpu() - t0);
    }
    if (best > slowest_cpu) {
      slowest_cpu = best;
      slowest = i;
    }
  }

  // The first check after a dictionary was built into the environment.
  const std::string words = std::string(argv[1]) + "/bench-words.txt";
  {
    std::ofstream out(words);
    for (size_t i = 0; i < passwords.size() && i < 5000; ++i) out << passwords[i] << "\n";
  }
  const char *sources[] = {words.c_str()};
  double after_build = -1;
  if (quarvel_build(env, "dicts/bench_extra", sources, 1, nullptr, nullptr, error, sizeof(error)) ==
      0) {
    const auto t0 = Clock::now();
    quarvel_check(env, passwords[0].data(), passwords[0].size(), &r);
    after_build = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
    for (const char *ext : {".pwd", ".pwi", ".hwm", ".pwf"}) {
      std::remove((std::string(argv[1]) + "/dicts/bench_extra" + ext).c_str());
    }
  }
  std::remove(words.c_str());
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("checks/s, 1 thread     %.0f\n", one);
  std::printf("checks/CPU s, 1 thread  %.0f\n", one_cpu);
  std::printf("checks/s, %d threads    %.0f (%.2fx)\n", threads, many, many / one);
  std::printf("latency p50            %.2f us\n", latencies[latencies.size() / 2]);
  std::printf("latency p99            %.2f us\n", latencies[latencies.size() * 99 / 100]);
  std::printf("latency max            %.1f us\n", latencies.back());
  std::printf("slowest check, CPU     %.1f us (line %zu, %zu bytes)\n", slowest_cpu * 1e6,
              slowest + 1, passwords[slowest].size());
  std::printf("first check after build %.1f us\n", after_build);
  std::printf("peak RSS               %ld KiB\n", usage.ru_maxrss);
  quarvel_close(env);
  return 0;
}
