// What each kind of piece costs an attacker, in log10 of guesses: the rank
// of a word and the choices of its transformations, keyboard walks,
// sequences, runs, dates and years, and brute force by character classes.
#ifndef QUARVEL_SRC_ESTIMATE_COSTS_H_
#define QUARVEL_SRC_ESTIMATE_COSTS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quarvel::estimate {

inline constexpr double kLog10Two = 0.30102999566398120;

// The tables the costs most asked for read, made once when the library is
// loaded: a check reads them without a call or a guard.
struct CostTables {
  std::array<double, 1024> log10;         // log10 of n below 1024
  std::array<double, 256> log2_fraction;  // log2(1 + (i + 0.5) / 256)
  std::array<double, 32> log10_alphabet;  // by a mask of ClassMask bits

  // log10 of n: exact below 1024; above, from the position of the leading
  // bit and the next 8 bits (within 0.002, far below what an estimate can
  // tell). Never decreases as n grows.
  double Log10Int(uint64_t n) const {
    if (n < log10.size()) return log10[n];
    const int top = 63 - __builtin_clzll(n);
    const size_t next = static_cast<size_t>((n >> (top - 8)) & 0xff);
    return (top + log2_fraction[next]) * kLog10Two;
  }
};
extern const CostTables kCostTables;

inline double Log10Int(uint64_t n) { return kCostTables.Log10Int(n); }

// [mask][length]: the largest rank whose Log10Int stays below
// BruteForceCost(mask, length) (UINT32_MAX when every rank does, 0 when
// none of 1 and above does). Made from kCostTables.
using RankTable = std::array<std::array<uint32_t, 32>, 32>;
extern const RankTable kRanksBelowBruteForce;

// log10 of the sum over k = 1 .. limit of (n choose k): the ways to pick
// which of n places carry a change, when up to limit of them do.
double Log10Choices(int n, int limit);

// A word of the given rank under transformations chosen among 10^choices
// ways: rank * 10^choices. Attackers who order their candidates by how
// likely they are (cost-ordered rules, word and mangling grammars) try a
// common word capitalised long before a rare one as it is, rather than
// passing over the whole list once for each transformation.
double TransformedCost(uint32_t rank, double choices);

// Letters written as other characters: which distinct substitutions
// (a symbol read as one letter, as the leet table pairs them) were applied,
// among all the table's pairs. A rule-based attacker tries each
// substitution as a rule of its own over the word list.
double SubstitutionsCost(int distinct);

// Case: the choice of capitals among the letters of text (original case).
// Sets *transforms to the QUARVEL_GUESS_ case bit that applies (or 0).
double CaseCost(std::string_view text, unsigned *transforms);

// Characters of the alphabet of the classes present in text (lower case,
// upper case, digits, symbols, other bytes).
inline constexpr unsigned kLower = 1, kUpper = 2, kDigit = 4, kSymbol = 8, kOther = 16;
inline unsigned ClassMask(char c) {
  if (c >= 'a' && c <= 'z') return kLower;
  if (c >= 'A' && c <= 'Z') return kUpper;
  if (c >= '0' && c <= '9') return kDigit;
  if (c >= ' ' && c <= '~') return kSymbol;
  return kOther;
}
inline double Log10Alphabet(unsigned mask) { return kCostTables.log10_alphabet[mask & 31]; }
inline double BruteForceCost(unsigned mask, size_t length) {
  return static_cast<double>(length) * Log10Alphabet(mask);
}

// Whether Log10Int(rank) >= BruteForceCost(mask, length), for a rank of 1
// or more and a length below 32: a word whose rank alone costs as much as
// brute force of its span. One small table, rather than the logarithm's,
// is read.
inline bool RankCostsBruteForce(uint32_t rank, unsigned mask, size_t length) {
  return rank > kRanksBelowBruteForce[mask & 31][length & 31];
}

// A keyboard walk of length keys with turns changes of direction and
// shifted keys of them typed with shift.
double WalkCost(size_t length, int turns, int shifted);

// A sequence of length characters from first, by step.
double SequenceCost(char first, size_t length, int step);

// A run of length copies of c.
double RunCost(char c, size_t length);

// A year, and a date of that year (separated: written with '/', '-' or
// '.'), against the reference year.
double YearCost(int year, int reference_year);
double DateCost(int year, bool separated, int reference_year);

// The current year, read once.
int ReferenceYear();

}  // namespace quarvel::estimate

#endif  // QUARVEL_SRC_ESTIMATE_COSTS_H_
