// The verdict on a checked password and the reason told to the user.
#ifndef QUARVEL_SRC_PAM_REJECTION_H_
#define QUARVEL_SRC_PAM_REJECTION_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "quarvel/engine.h"

namespace quarvel::pam {

enum class Outcome {
  kAccepted,
  kRefused,    // reason says why, for the user
  kUnchecked,  // the engine could not judge; reason says why, for the log
};

struct Verdict {
  Outcome outcome = Outcome::kUnchecked;
  // Put together from fixed phrases only, so it can never hold any part of
  // the password: never the matched word, a step's text or the variant text.
  std::string reason;
  // For a refused password: the engine's warning and first suggestion, in
  // the English of its catalogue (fixed phrases too); empty when it has
  // neither.
  std::string advice;
};

// Judges a result of quarvel_check_context for a password of length bytes:
// refused below min_level, or when min_guesses_log10 is not negative and the
// estimate is below it. The reason comes from the result's codes: a reason
// of the dictionary or personal stage, told with the differences its match
// steps make; otherwise the first stage whose score fell below min_level;
// otherwise too few guesses.
// login is the user's login name, to tell it from the other context words.
Verdict Judge(const quarvel_result &result, size_t length, int min_level, std::string_view login,
              double min_guesses_log10 = -1);

}  // namespace quarvel::pam

#endif  // QUARVEL_SRC_PAM_REJECTION_H_
