// The NIST SP 800-63B verdict of a check (nist.h has its settings and
// measures), from what the dictionary stage found out in its one pass.
#ifndef QUARVEL_SRC_ENGINE_NIST_VERDICT_H_
#define QUARVEL_SRC_ENGINE_NIST_VERDICT_H_

#include "engine/check_state.h"
#include "engine/dictionary_stage.h"
#include "quarvel/engine.h"

namespace quarvel::engine {

// Fills nist_ok, nist_failures, nist_length and nist_min_length.
void JudgeNist(const CheckState &state, const BlocklistFindings &findings,
               quarvel_result *result);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_NIST_VERDICT_H_
