// Stages 1 to 4 of a check: the base score by length and character
// classes, then a point lost for few distinct characters, for repeated
// pieces, and for neighbours in sequence.
#ifndef QUARVEL_SRC_ENGINE_MEASUREMENTS_H_
#define QUARVEL_SRC_ENGINE_MEASUREMENTS_H_

#include <string_view>

#include "engine/scorer.h"
#include "quarvel/engine.h"
#include "search/explanation.h"

namespace quarvel::engine {

// Stages 1 and 2 on the measured text (case kept): fills pw_len (in
// characters of valid UTF-8 with the extended profile, else bytes), pw_ncr,
// distinct and stage_score[0..1]; answers the score after stage 2.
int MeasureComposition(std::string_view text, const ScoringSettings &settings,
                       const TraceSink &trace, Reasons *reasons, quarvel_result *result);

// Stages 3 and 4 on the searched text: fills rept_ncr, cts_ncr and
// stage_score[2..3]; answers the score after stage 4.
int MeasureRepetition(std::string_view searched, int score, const ScoringSettings &settings,
                      const TraceSink &trace, Reasons *reasons, quarvel_result *result);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_MEASUREMENTS_H_
