// A combinator attack: one or two common words, joined, with optional
// digits or symbols after them, written as candidates in the order of their
// estimated likelihood.
//
//   guess-combinator WORDS [LIMIT] > candidates
//
// WORDS holds lowercase words, most common first. A candidate is
//
//   word[i] [separator word[j]] suffix      with a case form
//
// and costs (i + 1) * w_case * w_suffix for one word, and
// (i + 1) * (j + 1) * kPairWeight * w_case * w_separator * w_suffix for two:
// a Zipf-like rank for each word times the rarity of each decoration (the
// weights below, guessed from how people write passwords, not fitted to any
// test set). Candidates are written in bands of cost (T/2, T] for T = 1, 2,
// 4, ..., so a cheaper candidate comes before a dearer one up to a factor of
// two. Stops after LIMIT candidates (default: none) or when every
// combination is written.
//
// Build: g++ -O2 -std=c++20 -o guess-combinator combinator.cc
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

struct Decoration {
  std::string text;
  double weight;
};

enum class Case { kLower, kCapital, kCamel, kUpper };
struct CaseForm {
  Case form;
  double weight;
};

constexpr double kPairWeight = 10.0;

// Suffixes, each with its weight: the commonest ones first, then every
// number of one to four digits once (a number already listed keeps its
// first weight).
std::vector<Decoration> Suffixes() {
  std::vector<Decoration> list = {
      {"", 1},     {"1", 4},      {"123", 8},   {"!", 12},   {"12", 15},  {"2", 15},
      {"3", 15},   {"7", 15},     {"0", 20},    {"4", 20},   {"5", 20},   {"6", 20},
      {"8", 20},   {"9", 20},     {"1234", 20}, {"1!", 30},  {"123!", 40}, {"!!", 60},
      {"@", 80},   {"?", 80},     {".", 80},    {"#", 100},  {"$", 100},  {"*", 100},
      {"!1", 100}, {"12345", 100}};
  for (int year = 1950; year <= 2025; ++year) list.push_back({std::to_string(year), 60});
  char text[8];
  for (int n = 0; n < 100; ++n) {
    std::snprintf(text, sizeof text, "%02d", n);
    list.push_back({text, 100});
  }
  for (int n = 0; n < 1000; ++n) {
    std::snprintf(text, sizeof text, "%03d", n);
    list.push_back({text, 1000});
  }
  for (int n = 0; n < 10000; ++n) {
    std::snprintf(text, sizeof text, "%04d", n);
    list.push_back({text, 10000});
  }
  std::set<std::string> seen;
  std::vector<Decoration> unique;
  for (const Decoration &d : list) {
    if (seen.insert(d.text).second) unique.push_back(d);
  }
  return unique;
}

const std::vector<Decoration> kSeparators = {{"", 1}, {"_", 30}, {"-", 30}, {".", 50}};
const std::vector<CaseForm> kSingleCases = {{Case::kLower, 1}, {Case::kCapital, 2.5},
                                            {Case::kUpper, 25}};
const std::vector<CaseForm> kPairCases = {{Case::kLower, 1}, {Case::kCapital, 2.5},
                                          {Case::kCamel, 5}, {Case::kUpper, 25}};

// Buffered writer to standard output that counts candidates and stops the
// program at the limit.
class Out {
 public:
  explicit Out(uint64_t limit) : limit_(limit) { buffer_.reserve(1 << 20); }
  ~Out() { Flush(); }

  void Line(const std::string &a, const std::string &sep, const std::string &b,
            const std::string &suffix, Case form) {
    const size_t at = buffer_.size();
    buffer_ += a;
    const size_t second = buffer_.size() + sep.size();
    buffer_ += sep;
    buffer_ += b;
    buffer_ += suffix;
    switch (form) {
      case Case::kLower:
        break;
      case Case::kCapital:
        buffer_[at] = static_cast<char>(std::toupper(static_cast<unsigned char>(buffer_[at])));
        break;
      case Case::kCamel:
        buffer_[at] = static_cast<char>(std::toupper(static_cast<unsigned char>(buffer_[at])));
        if (!b.empty()) {
          buffer_[second] =
              static_cast<char>(std::toupper(static_cast<unsigned char>(buffer_[second])));
        }
        break;
      case Case::kUpper:
        for (size_t k = at; k < buffer_.size(); ++k) {
          buffer_[k] = static_cast<char>(std::toupper(static_cast<unsigned char>(buffer_[k])));
        }
        break;
    }
    buffer_ += '\n';
    if (buffer_.size() >= (1 << 20)) Flush();
    if (++count_ >= limit_) {
      Flush();
      std::exit(0);
    }
  }

  void Flush() {
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size()) {
      std::exit(0);  // the reader has gone: the attack is over
    }
    buffer_.clear();
  }

 private:
  uint64_t limit_;
  uint64_t count_ = 0;
  std::string buffer_;
};

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s WORDS [LIMIT] > candidates\n", argv[0]);
    return 2;
  }
  std::vector<std::string> words;
  {
    std::ifstream in(argv[1]);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty()) words.push_back(line);
    }
  }
  if (words.empty()) {
    std::fprintf(stderr, "%s: no words in %s\n", argv[0], argv[1]);
    return 2;
  }
  const uint64_t limit = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : UINT64_MAX;
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 20);
  Out out(limit == 0 ? UINT64_MAX : limit);

  const std::vector<Decoration> suffixes = Suffixes();
  const double n = static_cast<double>(words.size());
  double max_weight = 0;
  for (const Decoration &s : suffixes) max_weight = std::max(max_weight, s.weight);
  const double max_cost = n * n * kPairWeight * 25 * 50 * max_weight;
  const std::string none;

  // Band (low, high]: every candidate whose cost falls in it. For a fixed
  // decoration of weight w, one word of rank r (1-based) costs r * w, so the
  // ranks in the band are (low / w, high / w]; two words r1, r2 cost
  // r1 * r2 * w, so for each r1 the ranks r2 are (low / (w r1), high / (w r1)].
  for (double high = 1; high / 2 <= max_cost; high *= 2) {
    const double low = high / 2;
    for (const Decoration &suffix : suffixes) {
      for (const CaseForm &form : kSingleCases) {
        const double w = suffix.weight * form.weight;
        const double first = std::floor(low / w) + 1, last = std::min(n, std::floor(high / w));
        for (double r = first; r <= last; ++r) {
          out.Line(words[static_cast<size_t>(r) - 1], none, none, suffix.text, form.form);
        }
      }
      for (const CaseForm &form : kPairCases) {
        for (const Decoration &sep : kSeparators) {
          const double w = kPairWeight * suffix.weight * form.weight * sep.weight;
          if (w > high) continue;
          // r1 from the smallest rank whose partner can still be within n.
          const double r1_first = std::max(1.0, std::floor(low / (w * n)) + 1);
          const double r1_last = std::min(n, std::floor(high / w));
          for (double r1 = r1_first; r1 <= r1_last; ++r1) {
            const double r2_first = std::floor(low / (w * r1)) + 1;
            const double r2_last = std::min(n, std::floor(high / (w * r1)));
            const std::string &a = words[static_cast<size_t>(r1) - 1];
            for (double r2 = r2_first; r2 <= r2_last; ++r2) {
              out.Line(a, sep.text, words[static_cast<size_t>(r2) - 1], suffix.text, form.form);
            }
          }
        }
      }
    }
  }
  return 0;
}
