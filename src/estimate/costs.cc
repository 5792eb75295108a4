// Guess costs of the pieces.

#include "estimate/costs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>

#include "quarvel/engine.h"
#include "search/patterns.h"

namespace quarvel::estimate {
namespace {

constexpr unsigned kLower = 1, kUpper = 2, kDigit = 4, kSymbol = 8, kOther = 16;

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }

// log10 of n choose k.
double Log10Binomial(int n, int k) {
  return (std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0)) / std::log(10.0);
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

double Log10Choices(int n, int limit) {
  limit = std::min(limit, n);
  if (limit <= 0) return 0;
  // Sum in linear space relative to the largest term to stay finite.
  double largest = 0;
  for (int k = 1; k <= limit; ++k) largest = std::max(largest, Log10Binomial(n, k));
  double sum = 0;
  for (int k = 1; k <= limit; ++k) sum += std::pow(10.0, Log10Binomial(n, k) - largest);
  return largest + std::log10(sum);
}

double CaseCost(std::string_view text, unsigned *transforms) {
  int upper = 0, lower = 0;
  for (char c : text) {
    upper += IsUpper(c) ? 1 : 0;
    lower += IsLower(c) ? 1 : 0;
  }
  *transforms = 0;
  if (upper == 0) return 0;
  const size_t first = text.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  if (lower == 0 && upper >= 2) {
    *transforms = QUARVEL_GUESS_UPPERCASED;
    return std::log10(2.0);
  }
  if (upper == 1 && first != std::string_view::npos && IsUpper(text[first])) {
    *transforms = QUARVEL_GUESS_CAPITALISED;
    return std::log10(2.0);
  }
  *transforms = QUARVEL_GUESS_MIXED_CASE;
  return std::max(std::log10(2.0), Log10Choices(upper + lower, std::min(upper, lower)));
}

unsigned ClassMask(char c) {
  if (IsLower(c)) return kLower;
  if (IsUpper(c)) return kUpper;
  if (c >= '0' && c <= '9') return kDigit;
  if (c >= ' ' && c <= '~') return kSymbol;
  return kOther;
}

double Log10Alphabet(unsigned mask) {
  static const std::array<double, 32> table = [] {
    std::array<double, 32> t{};
    for (unsigned m = 0; m < 32; ++m) {
      const unsigned size = ((m & kLower) ? 26 : 0) + ((m & kUpper) ? 26 : 0) +
                            ((m & kDigit) ? 10 : 0) + ((m & kSymbol) ? 33 : 0) +
                            ((m & kOther) ? 100 : 0);
      t[m] = size > 0 ? std::log10(static_cast<double>(size)) : 0;
    }
    return t;
  }();
  return table[mask & 31];
}

double WalkCost(size_t length, int turns, int shifted) {
  static const KeyboardShape shape = MeasureKeyboard();
  // Walks of every length up to this one with at most as many turns: a
  // start key, then for each turn where it falls and which neighbour.
  const int n = static_cast<int>(length);
  turns = std::max(turns, 1);
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
  double cost = largest + std::log10(sum);
  const int plain = n - shifted;
  if (shifted > 0) cost += plain == 0 ? std::log10(2.0) : Log10Choices(n, std::min(shifted, plain));
  return cost;
}

double SequenceCost(char first, size_t length, int step) {
  static constexpr std::string_view kObvious = "aAzZ019";
  double start;
  if (kObvious.find(first) != std::string_view::npos) {
    start = std::log10(4.0);
  } else if (first >= '0' && first <= '9') {
    start = 1;
  } else {
    start = std::log10(26.0);
  }
  double cost = start + std::log10(static_cast<double>(length));
  if (step < 0) cost += std::log10(2.0);
  cost += std::log10(static_cast<double>(std::abs(step)));
  return cost;
}

double RunCost(char c, size_t length) {
  return Log10Alphabet(ClassMask(c)) + std::log10(static_cast<double>(length));
}

double YearCost(int year, int reference_year) {
  return std::log10(static_cast<double>(std::max(std::abs(year - reference_year), 20)));
}

double DateCost(int year, bool separated, int reference_year) {
  return YearCost(year, reference_year) + std::log10(365.0) + (separated ? std::log10(4.0) : 0);
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
