// Stage 5 of a check, the dictionary stage: the configured dictionaries in
// slot order (each looked up in batches with its filter prefetched), then
// the hashed lists (breach_stage.h), the context words, and with the
// extended profile the patterns. The first source that holds a variant of
// the password ends it. With a NIST verdict asked for, the same pass also
// finds out whether the blocklist and the context words hold it.
#ifndef QUARVEL_SRC_ENGINE_DICTIONARY_STAGE_H_
#define QUARVEL_SRC_ENGINE_DICTIONARY_STAGE_H_

#include "base/secure_wipe.h"
#include "engine/check_state.h"
#include "quarvel/engine.h"

namespace quarvel::engine {

// The hits of one search, wiped when they go.
struct Hits {
  Hit hit;
  ExtendedHit extended;
  KoreanHit korean;
  ~Hits() {
    SecureWipe(&hit, sizeof(hit));
    SecureWipe(&extended, sizeof(extended));
    SecureWipe(&korean, sizeof(korean));
  }
};

// How a search of one source ended.
struct Searched {
  bool found = false;
  bool unreadable = false;   // it cannot be read, and counts as found
  bool by_extended = false;  // found by the extended search: hits.extended says how
};

// The variant search, then (when on and it found nothing) the extended
// profile's, of the source behind contains.
template <typename Contains>
Searched SearchWith(Contains &&contains, const TraceSink &trace, CheckState &state, Hits &hits) {
  if (state.search.Run(contains, trace, &hits.hit)) return {true, false, false};
  if (state.extended == nullptr) return {};
  TraceLine(trace) << "[INFO]EXTENDED SEARCH";
  const bool found = state.extended->Run(contains, &hits.extended);
  return {found, false, found};
}

// Searches one dictionary; one that cannot be read answers found (and is
// reported to request.unreadable unless ref.fails), and so does one whose
// files shrank under the search (Dictionary::Faulted).
Searched SearchDictionary(const DictionaryRef &ref, const TraceSink &trace, CheckState &state,
                          Hits &hits);

// Explains the hit of a search that found the password (not unreadable)
// into state.match.
void ExplainSearched(const Searched &searched, const Hits &hits, CheckState &state);

// What stage 5 learnt for the NIST verdict (when request.nist is set).
struct BlocklistFindings {
  bool blocklisted = false;    // a source of the blocklist holds a variant
  bool context = false;        // a context word is found in it
  bool pattern_known = false;  // the extended profile looked for patterns
  bool pattern = false;        // and found one
};

// Runs stage 5 from score; fills dict_fd_cnt, stage_score[4], breach_count
// and state.match and state.reasons when it finds the password. Answers the
// score after it.
int RunDictionaryStage(CheckState &state, int score, BlocklistFindings *findings,
                       quarvel_result *result);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_DICTIONARY_STAGE_H_
