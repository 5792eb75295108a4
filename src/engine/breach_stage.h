// The hashed leaked-password lists in stage 5 (after the configured
// dictionaries): the password's own bytes, then the SHA-1 of each candidate
// of the variant search, looked up in batches.
#ifndef QUARVEL_SRC_ENGINE_BREACH_STAGE_H_
#define QUARVEL_SRC_ENGINE_BREACH_STAGE_H_

#include <cstddef>
#include <cstdint>

#include "engine/dictionary_stage.h"

namespace quarvel::engine {

struct SearchedBreach {
  bool found = false;
  bool exact = false;        // the password itself, as given
  bool by_extended = false;  // found by the extended search
  uint64_t count = 0;
};

// Searches one list; trace gets the search's pass lines.
SearchedBreach SearchBreach(const BreachRef &ref, const TraceSink &trace, CheckState &state,
                            Hits &hits);

// Searches the lists in order until one holds the password: explains it
// into state.match and sets result->breach_count. Answers how many lists
// were searched, and in *found whether one held it.
size_t SearchBreachLists(CheckState &state, Hits &hits, bool *found, quarvel_result *result);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_BREACH_STAGE_H_
