// Dictionaries at scale: a deterministic word-list generator, a timed
// quarvel_build, and measurements of checks against a large dictionary.
//
//   quarvel-scale-bench gen OUT LINES DISTINCT SEED
//       Writes LINES lines to OUT: line k holds word number k mod DISTINCT,
//       lower-case letters and digits partly drawn from SEED, distinct for
//       distinct numbers (about 11.5 bytes a line at 200 million lines).
//   quarvel-scale-bench build PREFIX LIST BUDGET_MIB
//       Builds the dictionary PREFIX from LIST with quarvel_build.
//   quarvel-scale-bench check ROOT CORPUS REPEAT
//       Opens the environment at ROOT and measures the open, the first
//       check after it, checks per second over a first pass of CORPUS (the
//       pages the searches touch coming into memory) and over REPEAT passes
//       after it, the bytes read per check (/proc/self/io), the RSS, and
//       PWOpen + FindPW + PWClose of ROOT/dicts/default_dict per call.
//
// Each command prints "key value" lines that bench/scale_bench.sh collects.

#include <sys/resource.h>
#include <unistd.h>

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

double Since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

uint64_t SplitMix(uint64_t x) {
  x += 0x9e3779b97f4a7c15;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9;
  x = (x ^ (x >> 27)) * 0x94d049bb133111eb;
  return x ^ (x >> 31);
}

// Word number n of the seed: 2 to 5 letters and digits drawn from the seed,
// then n in base 36, so that distinct numbers give distinct words (the
// drawn part has a fixed length for each n).
size_t MakeWord(uint64_t seed, uint64_t n, char *out) {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  uint64_t h = SplitMix(seed ^ SplitMix(n));
  const size_t drawn = 2 + h % 4;
  for (size_t i = 0; i < drawn; ++i) {
    if (i % 8 == 0) h = SplitMix(h);
    out[i] = kAlphabet[(h >> (8 * (i % 8))) % 36];
  }
  out[drawn] = kAlphabet[drawn];  // where the drawn part ends
  size_t length = drawn + 1;
  for (uint64_t m = n; m > 0 || length == drawn + 1; m /= 36) out[length++] = kAlphabet[m % 36];
  return length;
}

int Gen(const char *path, uint64_t lines, uint64_t distinct, uint64_t seed) {
  FILE *out = std::fopen(path, "wb");
  if (out == nullptr) return 1;
  std::vector<char> buffer(1 << 20);
  setvbuf(out, buffer.data(), _IOFBF, buffer.size());
  char word[32];
  for (uint64_t k = 0; k < lines; ++k) {
    const size_t n = MakeWord(seed, k % distinct, word);
    word[n] = '\n';
    fwrite_unlocked(word, 1, n + 1, out);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}

long PeakRssKiB() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

long CurrentRssKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// rchar (bytes asked of read calls) and read_bytes (bytes fetched from the
// storage) of this process.
struct Io {
  uint64_t rchar = 0, read_bytes = 0;
};

Io ReadIo() {
  Io io;
  std::ifstream in("/proc/self/io");
  for (std::string key; in >> key;) {
    uint64_t value = 0;
    in >> value;
    if (key == "rchar:") io.rchar = value;
    if (key == "read_bytes:") io.read_bytes = value;
  }
  return io;
}

int Build(const char *prefix, const char *list, uint64_t budget_mib) {
  quarvel_build_options options;
  std::memset(&options, 0, sizeof(options));
  options.size = sizeof(options);
  options.memory_budget = budget_mib << 20;
  quarvel_build_stats stats;
  std::memset(&stats, 0, sizeof(stats));
  stats.size = sizeof(stats);
  char error[512];
  const char *sources[] = {list};
  const auto t0 = Clock::now();
  const int code = quarvel_build(nullptr, prefix, sources, 1, &options, &stats, error, sizeof(error));
  if (code != 0) {
    std::fprintf(stderr, "%s\n", error);
    return 1;
  }
  std::printf("build_seconds %.2f\nwords %llu\nwide %d\nbuild_peak_rss_kib %ld\n", Since(t0),
              static_cast<unsigned long long>(stats.words), stats.wide, PeakRssKiB());
  return 0;
}

int Check(const char *root, const char *corpus, int repeat) {
  std::vector<std::string> passwords;
  {
    std::ifstream in(corpus, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty()) passwords.push_back(line);
    }
  }
  if (passwords.empty()) return 1;
  char error[512];
  auto t0 = Clock::now();
  quarvel_env *env = quarvel_open(root, error, sizeof(error));
  const double open_seconds = Since(t0);
  if (env == nullptr) {
    std::fprintf(stderr, "%s\n", error);
    return 1;
  }
  quarvel_result r;
  QUARVEL_RESULT_INIT(&r);
  t0 = Clock::now();
  quarvel_check(env, passwords[0].data(), passwords[0].size(), &r);
  const double first_check = Since(t0);
  const long rss_after_open = CurrentRssKiB();

  // One pass over the corpus first, timed apart: it brings into memory the
  // pages the searches touch (page faults, and reads when the files are not
  // in the page cache); the passes after it give the steady rate.
  const Io cold_before = ReadIo();
  t0 = Clock::now();
  for (const std::string &p : passwords) quarvel_check(env, p.data(), p.size(), &r);
  const double cold_seconds = Since(t0);
  const Io cold_after = ReadIo();

  const Io before = ReadIo();
  t0 = Clock::now();
  uint64_t checks = 0;
  for (int k = 0; k < repeat; ++k) {
    for (const std::string &p : passwords) {
      quarvel_check(env, p.data(), p.size(), &r);
      ++checks;
    }
  }
  const double seconds = Since(t0);
  const Io after = ReadIo();
  const long rss_after_checks = CurrentRssKiB();
  quarvel_close(env);

  // The C interface's dictionary calls, opening the dictionary every time.
  const std::string prefix = std::string(root) + "/dicts/default_dict";
  // The first open may decode the dictionary for the ones after it.
  t0 = Clock::now();
  PackedDict *first = PWOpen(prefix.c_str(), "rb");
  if (first != nullptr) {
    FindPW(first, passwords[0].c_str());
    PWClose(first);
  }
  const double pw_first = Since(t0);
  const Io pw_before = ReadIo();
  t0 = Clock::now();
  int calls = 0;
  while (calls < 2000 && (calls < 20 || Since(t0) < 2)) {
    PackedDict *pwp = PWOpen(prefix.c_str(), "rb");
    if (pwp == nullptr) break;
    FindPW(pwp, passwords[static_cast<size_t>(calls) % passwords.size()].c_str());
    PWClose(pwp);
    ++calls;
  }
  const double pw_seconds = Since(t0);
  const Io pw_after = ReadIo();

  std::printf("open_ms %.3f\nfirst_check_ms %.3f\n", 1000 * open_seconds, 1000 * first_check);
  std::printf("first_pass_checks_per_s %.0f\nfirst_pass_read_bytes_per_check %.1f\n",
              static_cast<double>(passwords.size()) / cold_seconds,
              static_cast<double>(cold_after.read_bytes - cold_before.read_bytes) /
                  static_cast<double>(passwords.size()));
  std::printf("checks_per_s %.0f\n", static_cast<double>(checks) / seconds);
  std::printf("rchar_per_check %.1f\nread_bytes_per_check %.1f\n",
              static_cast<double>(after.rchar - before.rchar) / checks,
              static_cast<double>(after.read_bytes - before.read_bytes) / checks);
  std::printf("rss_after_open_kib %ld\nrss_kib %ld\n", rss_after_open, rss_after_checks);
  std::printf("pwopen_first_ms %.1f\n", 1000 * pw_first);
  std::printf("pwopen_findpw_per_s %.0f\npwopen_rchar_per_call %.0f\n", calls / pw_seconds,
              calls > 0 ? static_cast<double>(pw_after.rchar - pw_before.rchar) / calls : 0.0);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "gen" && argc == 6) {
    return Gen(argv[2], std::strtoull(argv[3], nullptr, 10), std::strtoull(argv[4], nullptr, 10),
               std::strtoull(argv[5], nullptr, 10));
  }
  if (command == "build" && argc == 5) {
    return Build(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
  }
  if (command == "check" && argc == 5) return Check(argv[2], argv[3], std::atoi(argv[4]));
  std::fprintf(stderr,
               "usage: %s gen OUT LINES DISTINCT SEED | build PREFIX LIST BUDGET_MIB |"
               " check ROOT CORPUS REPEAT\n",
               argv[0]);
  return 2;
}
