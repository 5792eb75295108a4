// Advice from an estimate: one warning that names what made the password
// easy to guess, and up to three suggestions, as codes
// (QUARVEL_WARNING_*, QUARVEL_SUGGESTION_*). Their English lives in one
// catalogue, advice_text.cc, so that a front end may translate them.
#ifndef QUARVEL_SRC_ESTIMATE_ADVICE_H_
#define QUARVEL_SRC_ESTIMATE_ADVICE_H_

#include "estimate/estimate.h"

namespace quarvel::estimate {

// A password estimated at this many guesses (log10) or more gets no advice.
inline constexpr double kStrongLog10 = 10.0;
// A word ranked this high or better counts as a common password.
inline constexpr uint32_t kCommonRank = 1000;
inline constexpr uint32_t kTopRank = 20;

struct Advice {
  int warning = QUARVEL_WARNING_NONE;
  int suggestion_count = 0;
  int suggestions[QUARVEL_MAX_SUGGESTIONS] = {};

  void Suggest(int code);
};

// leaked: a hashed list of leaked passwords holds the password.
Advice Advise(const Estimate &estimate, size_t password_length, bool leaked);

// The catalogue: English and stable names of the codes; "" when unknown.
const char *WarningText(int code);
const char *WarningName(int code);
const char *SuggestionText(int code);
const char *SuggestionName(int code);
const char *PieceName(int kind);
const char *TransformName(unsigned bit);
const char *AttackName(int attack);

// Guesses per second of each attack, by QUARVEL_ATTACK_*.
inline constexpr double kAttackRates[QUARVEL_ATTACKS] = {100.0 / 3600.0, 10.0, 1e4, 1e10};

}  // namespace quarvel::estimate

#endif  // QUARVEL_SRC_ESTIMATE_ADVICE_H_
