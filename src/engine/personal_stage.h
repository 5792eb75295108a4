// Stage 6 of a check: the personal dictionary.
#ifndef QUARVEL_SRC_ENGINE_PERSONAL_STAGE_H_
#define QUARVEL_SRC_ENGINE_PERSONAL_STAGE_H_

#include "engine/check_state.h"
#include "quarvel/engine.h"

namespace quarvel::engine {

// Searches request.profile (when set) from score; fills pdict_fd and
// stage_score[5], and explains a hit into state.match when stage 5 found
// nothing. Answers the score after it.
int RunPersonalStage(CheckState &state, int score, quarvel_result *result);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_PERSONAL_STAGE_H_
