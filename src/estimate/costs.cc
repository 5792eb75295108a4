// Guess costs of the pieces.

#include "estimate/costs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>

#include "quarvel/engine.h"
#include "search/leet.h"
#include "search/patterns.h"

namespace quarvel::estimate {
namespace {

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }

// log10 of n! for n up to kMaxFactorial, made once.
constexpr int kMaxFactorial = 300;
const std::array<double, kMaxFactorial + 1> &Log10Factorials() {
  static const std::array<double, kMaxFactorial + 1> table = [] {
    std::array<double, kMaxFactorial + 1> t{};
    for (int n = 1; n <= kMaxFactorial; ++n) t[n] = t[n - 1] + std::log10(static_cast<double>(n));
    return t;
  }();
  return table;
}

// log10 of n choose k.
double Log10Binomial(int n, int k) {
  const auto &f = Log10Factorials();
  n = std::min(n, kMaxFactorial);
  k = std::clamp(k, 0, n);
  return f[n] - f[k] - f[n - k];
}

// The keys of the unshifted keyboard and their average number of
// neighbours: a walk starts on one of them and goes to a neighbour at each
// turn.
struct KeyboardShape {
  double log10_keys = 0;
  double log10_degree = 0;
};

KeyboardShape MeasureKeyboard() {
  static constexpr std::string_view kKeys = "`1234567890-=qwertyuiop[]\\asdfghjkl;'zxcvbnm,./";
  size_t links = 0;
  for (char a : kKeys) {
    for (char b : kKeys) links += (a != b && engine::KeysAdjacent(a, b)) ? 1 : 0;
  }
  const double keys = static_cast<double>(kKeys.size());
  return {std::log10(keys), std::log10(static_cast<double>(links) / keys)};
}

}  // namespace

// Kept simple enough for GCC to work out when it compiles the library: its
// logarithms are correctly rounded, where the C library's may differ in the
// last place.
const CostTables kCostTables = [] {
  CostTables t{};
  for (size_t i = 1; i < t.log10.size(); ++i) t.log10[i] = std::log10(static_cast<double>(i));
  for (size_t i = 0; i < t.log2_fraction.size(); ++i) {
    t.log2_fraction[i] = std::log2(1.0 + (i + 0.5) / 256.0);
  }
  for (unsigned m = 0; m < t.log10_alphabet.size(); ++m) {
    const unsigned size = ((m & kLower) ? 26 : 0) + ((m & kUpper) ? 26 : 0) +
                          ((m & kDigit) ? 10 : 0) + ((m & kSymbol) ? 33 : 0) +
                          ((m & kOther) ? 100 : 0);
    t.log10_alphabet[m] = size > 0 ? std::log10(static_cast<double>(size)) : 0;
  }
  return t;
}();

// Made after kCostTables, which it reads.
const RankTable kRanksBelowBruteForce = [] {
  RankTable r{};
  // Log10Int never decreases: the ranks that stay below a cost are those
  // up to the last that does.
  for (unsigned m = 0; m < r.size(); ++m) {
    for (size_t length = 0; length < r[m].size(); ++length) {
      const double cost = static_cast<double>(length) * kCostTables.log10_alphabet[m];
      uint64_t low = 0, high = UINT32_MAX;  // the answer lies in [low, high]
      if (kCostTables.Log10Int(1) >= cost) high = 0;
      while (low < high) {
        const uint64_t middle = low + (high - low + 1) / 2;
        if (kCostTables.Log10Int(middle) < cost) {
          low = middle;
        } else {
          high = middle - 1;
        }
      }
      r[m][length] = static_cast<uint32_t>(low);
    }
  }
  return r;
}();

namespace {

double SumOfBinomials(int n, int limit) {
  // Sum in linear space relative to the largest term to stay finite.
  double largest = 0;
  for (int k = 1; k <= limit; ++k) largest = std::max(largest, Log10Binomial(n, k));
  double sum = 0;
  for (int k = 1; k <= limit; ++k) sum += std::pow(10.0, Log10Binomial(n, k) - largest);
  return largest + std::log10(sum);
}

}  // namespace

double Log10Choices(int n, int limit) {
  limit = std::min(limit, n);
  if (limit <= 0) return 0;
  constexpr int kTabled = 32;
  static const auto table = [] {
    std::array<std::array<double, kTabled + 1>, kTabled + 1> t{};
    for (int m = 1; m <= kTabled; ++m) {
      for (int k = 1; k <= m; ++k) t[m][k] = SumOfBinomials(m, k);
    }
    return t;
  }();
  return n <= kTabled ? table[n][limit] : SumOfBinomials(n, limit);
}

double SubstitutionsCost(int distinct) {
  static const int pairs = [] {
    size_t n = 0;
    for (int c = 0; c < 256; ++c) n += engine::LeetLetters(static_cast<char>(c)).size();
    return static_cast<int>(n);
  }();
  return distinct <= 0 ? 0 : Log10Binomial(pairs, distinct);
}

double TransformedCost(uint32_t rank, double choices) {
  return Log10Int(std::max<uint32_t>(rank, 1)) + choices;
}

double CaseCost(std::string_view text, unsigned *transforms) {
  int upper = 0, lower = 0;
  for (char c : text) {
    upper += IsUpper(c) ? 1 : 0;
    lower += IsLower(c) ? 1 : 0;
  }
  *transforms = 0;
  if (upper == 0) return 0;
  size_t first = 0;
  while (first < text.size() && !IsUpper(text[first]) && !IsLower(text[first])) ++first;
  if (lower == 0 && upper >= 2) {
    *transforms = QUARVEL_GUESS_UPPERCASED;
    return kLog10Two;
  }
  if (upper == 1 && first < text.size() && IsUpper(text[first])) {
    *transforms = QUARVEL_GUESS_CAPITALISED;
    return kLog10Two;
  }
  *transforms = QUARVEL_GUESS_MIXED_CASE;
  return std::max(kLog10Two, Log10Choices(upper + lower, std::min(upper, lower)));
}

namespace {

// Walks of length keys with at most turns turns, summed over every length up
// to this one.
double PlainWalkCost(int n, int turns) {
  static const KeyboardShape shape = MeasureKeyboard();
  // Walks of every length up to this one with at most as many turns: a
  // start key, then for each turn where it falls and which neighbour.
  double sum = 0;
  double largest = -1;
  for (int len = 2; len <= n; ++len) {
    for (int t = 1; t <= std::min(turns, len - 1); ++t) {
      const double term = Log10Binomial(len - 1, t - 1) + shape.log10_keys + t * shape.log10_degree;
      if (term > largest) {
        sum = sum * std::pow(10.0, largest - term) + 1;
        largest = term;
      } else {
        sum += std::pow(10.0, term - largest);
      }
    }
  }
  return largest + std::log10(sum);
}

constexpr int kTabled = 32;  // walks up to this long are looked up

}  // namespace

double WalkCost(size_t length, int turns, int shifted) {
  static const auto table = [] {
    std::array<std::array<double, kTabled + 1>, kTabled + 1> t{};
    for (int n = 2; n <= kTabled; ++n) {
      for (int k = 1; k <= kTabled; ++k) t[n][k] = PlainWalkCost(n, k);
    }
    return t;
  }();
  const int n = static_cast<int>(length);
  turns = std::clamp(turns, 1, std::max(n - 1, 1));
  double cost = n <= kTabled ? table[n][std::min(turns, kTabled)] : PlainWalkCost(n, turns);
  const int plain = n - shifted;
  if (shifted > 0) cost += plain == 0 ? kLog10Two : Log10Choices(n, std::min(shifted, plain));
  return cost;
}

double SequenceCost(char first, size_t length, int step) {
  static constexpr std::string_view kObvious = "aAzZ019";
  double start;
  if (kObvious.find(first) != std::string_view::npos) {
    start = Log10Int(4);
  } else if (first >= '0' && first <= '9') {
    start = 1;
  } else {
    start = Log10Int(26);
  }
  double cost = start + Log10Int(length);
  if (step < 0) cost += kLog10Two;
  cost += Log10Int(static_cast<uint64_t>(std::abs(step)));
  return cost;
}

double RunCost(char c, size_t length) { return Log10Alphabet(ClassMask(c)) + Log10Int(length); }

double YearCost(int year, int reference_year) {
  return Log10Int(static_cast<uint64_t>(std::max(std::abs(year - reference_year), 20)));
}

double DateCost(int year, bool separated, int reference_year) {
  // Day, month and year in one of six orders, the year of two or four
  // digits; written with one of three separators, or none.
  return YearCost(year, reference_year) + Log10Int(365) + Log10Int(12) +
         (separated ? Log10Int(3) : 0);
}

int ReferenceYear() {
  static const int year = [] {
    const time_t now = time(nullptr);
    struct tm parts = {};
    if (gmtime_r(&now, &parts) == nullptr) return 2026;
    return parts.tm_year + 1900;
  }();
  return year;
}

}  // namespace quarvel::estimate
