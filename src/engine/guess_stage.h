// The guess estimate of a check (estimate/estimate.h): made when the
// result has room for it or a policy asks for it, capped by what the
// check's own search found, and written with its advice into the result.
#ifndef QUARVEL_SRC_ENGINE_GUESS_STAGE_H_
#define QUARVEL_SRC_ENGINE_GUESS_STAGE_H_

#include <string_view>

#include "engine/check_state.h"

namespace quarvel::engine {

// True when the check must estimate: result covers the estimate, or the
// settings set a least number of guesses.
bool WantsEstimate(const ScoringSettings &settings, const quarvel_result *result);

// Estimates text (the measured password, as given) and writes the
// estimate where result has room; lowers *level to 2 (with a reason) when
// the estimate falls below the settings' least number of guesses.
void RunGuessStage(CheckState &state, std::string_view text, int *level, quarvel_result *result);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_GUESS_STAGE_H_
