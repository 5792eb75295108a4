// Stage 6: the personal dictionary.

#include "engine/personal_stage.h"

#include "engine/dictionary_stage.h"

namespace quarvel::engine {

int RunPersonalStage(CheckState &state, int score, quarvel_result *result) {
  const TraceSink &trace = state.request.trace;
  if (state.request.profile == nullptr) {
    TraceLine(trace) << "[6][Personal DICT_SEARCH=NOT USED],[JUMSU=" << score << "]";
    result->pdict_fd = -1;
    result->stage_score[5] = score;
    return score;
  }
  const DictionaryRef &ref = *state.request.profile;
  TraceLine(trace) << "user profile dict filename " << ref.prefix;
  Hits hits;
  const Searched s = SearchDictionary(ref, trace, state, hits);
  if (s.found) {
    --score;
    state.reasons.Add(6, s.unreadable ? QUARVEL_REASON_UNREADABLE : QUARVEL_REASON_PERSONAL, 1);
    TraceLine(trace) << "profile dict filename " << ref.prefix << ", "
                     << (s.unreadable ? "1001" : "0001");
    TraceLine(trace) << "[6][Personal DICT_SEARCH=FOUND],[JUMSU=" << score << "]";
    result->pdict_fd = 1;
    if (state.match.kind == QUARVEL_MATCH_NONE) {
      state.match.kind = s.unreadable ? QUARVEL_MATCH_UNREADABLE : QUARVEL_MATCH_PERSONAL;
      state.match.slot = s.unreadable ? ref.slot : -1;
      state.match.prefix = ref.prefix;
      if (!s.unreadable) ExplainSearched(s, hits, state);
    }
  } else {
    TraceLine(trace) << "[6][Personal DICT_SEARCH=NOT FOUND],[JUMSU=" << score << "]";
    result->pdict_fd = 0;
  }
  result->stage_score[5] = score;
  return score;
}

}  // namespace quarvel::engine
