// What each kind of piece costs an attacker, in log10 of guesses: the rank
// of a word and the choices of its transformations, keyboard walks,
// sequences, runs, dates and years, and brute force by character classes.
#ifndef QUARVEL_SRC_ESTIMATE_COSTS_H_
#define QUARVEL_SRC_ESTIMATE_COSTS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quarvel::estimate {

inline constexpr double kLog10Two = 0.30102999566398120;

// log10 of n, from a table for small n.
double Log10Int(uint64_t n);

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
unsigned ClassMask(char c);
double Log10Alphabet(unsigned mask);
inline double BruteForceCost(unsigned mask, size_t length) {
  return static_cast<double>(length) * Log10Alphabet(mask);
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
