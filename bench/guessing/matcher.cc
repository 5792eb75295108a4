// Guess numbers of a test set in a stream of cracking candidates.
//
//   guess-matcher TESTSET LIMIT OUT < candidates
//
// TESTSET holds the test passwords, one per line (no two alike). Candidates
// come one per line on standard input, in the order an attack tries them
// (for example `john --stdout` through a pipe). A test password's guess
// number is the 1-based position of its first occurrence in the stream.
// At most LIMIT candidates are read; then the program exits, which closes
// the pipe and so ends the attack. It also stops early once every test
// password is found.
//
// OUT gets one line per test password, in the order of TESTSET: its guess
// number, or 0 when the first LIMIT candidates did not hold it. The last
// line of standard error is a summary for run.sh:
//
//   candidates N found K seconds S cpu C
//
// Build: g++ -O2 -std=c++20 -o guess-matcher matcher.cc
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

// FNV-1a over 64 bits with a final mix: the test set is small and fixed, so
// any decent hash serves; this one is short and needs no table.
uint64_t Hash(const char *p, size_t n) {
  uint64_t h = 14695981039346656037ull;
  for (size_t i = 0; i < n; ++i) {
    h ^= static_cast<unsigned char>(p[i]);
    h *= 1099511628211ull;
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return h;
}

// An open-addressing hash set of the test passwords that answers "which
// test password is this line, if any" and keeps the first position of each.
class TestSet {
 public:
  explicit TestSet(std::vector<std::string> words) : words_(std::move(words)) {
    size_t size = 16;
    while (size < words_.size() * 4) size *= 2;
    mask_ = size - 1;
    slots_.assign(size, Slot{0, -1});
    positions_.assign(words_.size(), 0);
    for (size_t i = 0; i < words_.size(); ++i) {
      const std::string &w = words_[i];
      if (w.size() < kMaxLength) length_seen_[w.size()] = true;
      const uint64_t h = Hash(w.data(), w.size());
      size_t s = h & mask_;
      while (slots_[s].index >= 0) s = (s + 1) & mask_;
      slots_[s] = Slot{h, static_cast<int64_t>(i)};
    }
  }

  // Records position for the line, when it is a test password seen first
  // here. Returns true when that was a new find.
  bool See(const char *p, size_t n, uint64_t position) {
    if (n >= kMaxLength || !length_seen_[n]) return false;
    const uint64_t h = Hash(p, n);
    for (size_t s = h & mask_; slots_[s].index >= 0; s = (s + 1) & mask_) {
      if (slots_[s].hash != h) continue;
      const std::string &w = words_[slots_[s].index];
      if (w.size() != n || std::memcmp(w.data(), p, n) != 0) continue;
      uint64_t &where = positions_[slots_[s].index];
      if (where != 0) return false;
      where = position;
      return true;
    }
    return false;
  }

  size_t size() const { return words_.size(); }
  const std::vector<uint64_t> &positions() const { return positions_; }

 private:
  static constexpr size_t kMaxLength = 4096;
  struct Slot {
    uint64_t hash;
    int64_t index;
  };
  std::vector<std::string> words_;
  std::vector<Slot> slots_;
  std::vector<uint64_t> positions_;
  bool length_seen_[kMaxLength] = {};
  size_t mask_ = 0;
};

std::vector<std::string> ReadLines(const char *path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::perror(path);
    std::exit(2);
  }
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s TESTSET LIMIT OUT < candidates\n", argv[0]);
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  TestSet set(ReadLines(argv[1]));
  char *end = nullptr;
  const uint64_t limit = std::strtoull(argv[2], &end, 10);
  if (set.size() == 0 || end == argv[2] || *end != '\0' || limit == 0) {
    std::fprintf(stderr, "%s: need a non-empty test set and a LIMIT above 0\n", argv[0]);
    return 2;
  }

  // A larger pipe buffer means fewer switches between the attack and this
  // reader (the kernel may refuse; then the default serves).
  fcntl(0, F_SETPIPE_SZ, 1 << 20);

  // Lines are cut out of a large buffer; a line that runs past the end of
  // the buffer is moved to its start before the next read.
  std::vector<char> buffer(1 << 20);
  size_t kept = 0;  // bytes of an unfinished line at the start of buffer
  uint64_t position = 0;
  size_t found = 0;
  bool eof = false;
  while (!eof && position < limit && found < set.size()) {
    if (kept == buffer.size()) buffer.resize(buffer.size() * 2);
    const ssize_t got = read(0, buffer.data() + kept, buffer.size() - kept);
    if (got < 0) {
      if (errno == EINTR) continue;
      std::perror("read");
      return 1;
    }
    size_t have = kept + static_cast<size_t>(got);
    if (got == 0) {
      eof = true;
      if (kept == 0) break;
      buffer.resize(have + 1);
      buffer[have++] = '\n';  // the last line had no line end
    }
    const char *p = buffer.data();
    const char *stop = buffer.data() + have;
    while (position < limit) {
      const char *nl = static_cast<const char *>(std::memchr(p, '\n', stop - p));
      if (nl == nullptr) break;
      ++position;
      if (set.See(p, nl - p, position)) ++found;
      p = nl + 1;
    }
    kept = stop - p;
    std::memmove(buffer.data(), p, kept);
  }

  FILE *out = std::fopen(argv[3], "w");
  if (out == nullptr) {
    std::perror(argv[3]);
    return 1;
  }
  for (uint64_t where : set.positions()) std::fprintf(out, "%llu\n", (unsigned long long)where);
  if (std::fclose(out) != 0) {
    std::perror(argv[3]);
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "candidates %llu found %zu seconds %.3f cpu %.3f\n",
               (unsigned long long)position, found, seconds, CpuSeconds());
  return 0;
}
