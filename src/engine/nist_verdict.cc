// The NIST SP 800-63B verdict.

#include "engine/nist_verdict.h"

#include "engine/nist.h"

namespace quarvel::engine {

void JudgeNist(const CheckState &state, const BlocklistFindings &findings,
               quarvel_result *result) {
  const NistSettings &nist = *state.request.nist;
  unsigned failures = 0;
  const int length = NistLength(state.password);
  if (length < nist.min_length) failures |= QUARVEL_NIST_TOO_SHORT;
  if (findings.blocklisted) failures |= QUARVEL_NIST_BLOCKLIST;
  if (findings.context) failures |= QUARVEL_NIST_CONTEXT;
  // The extended profile's pattern search of stage 5 is the same question.
  const bool repetitive =
      findings.pattern_known ? findings.pattern : NistRepetitive(state.searched);
  if (repetitive) failures |= QUARVEL_NIST_REPETITIVE;
  result->nist_failures = failures;
  result->nist_ok = failures == 0 ? 1 : 0;
  result->nist_length = length;
  result->nist_min_length = nist.min_length;
}

}  // namespace quarvel::engine
