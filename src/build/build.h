// Building a dictionary from word lists of any size, with state of its own:
// builds may run in several threads at once, beside PWOpen's descriptor.
#ifndef QUARVEL_SRC_BUILD_BUILD_H_
#define QUARVEL_SRC_BUILD_BUILD_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "quarvel/engine.h"
#include "store/dict_writer.h"

namespace quarvel::engine {

inline constexpr uint64_t kDefaultMemoryBudget = uint64_t{1} << 30;

// What every build takes: where it writes, what it reads, its memory and
// folder for temporary files, and whom it tells how far it got.
struct BuildInputs {
  std::string prefix;                // the dictionary's path prefix, already resolved
  std::vector<std::string> sources;  // lists, "-" for standard input
  uint64_t memory_budget = kDefaultMemoryBudget;
  std::string temp_dir;  // empty: the prefix's folder
  // Called as quarvel_build_options.progress is; a non-zero answer cancels.
  std::function<int(const quarvel_build_progress &)> progress;
};

struct BuildRequest : BuildInputs {
  // The data-file offset from which the wide index layout is written.
  uint64_t wide_threshold = kWideOffsetThreshold;
  // Also writes the rank file PREFIX.pwr (store/rank_file.h): each word's
  // 1-based position among the non-empty words of the sources, read one
  // after the other, the first time it was seen. Without it, an old rank
  // file is removed with the old dictionary files.
  bool ranked = false;
  // Reads the lists as UTF-8 text (Normaliser's utf8).
  bool utf8 = false;
};

struct BuildOutcome {
  int code = 0;       // 0, or a quarvel_build failure code
  std::string error;  // one line, empty on success
  quarvel_build_stats stats = {};
};

// Reads the sources, one word per line normalised as CreateDict does, and
// writes each distinct word once, in byte order, as the dictionary at
// request.prefix (with its ranks when request.ranked). Words are sorted in
// memory while they fit the memory budget; beyond it, sorted runs go to
// unlinked temporary files in temp_dir and are merged. The new files replace
// the old ones only when every write succeeded (StagedDictionary); otherwise
// nothing is left behind.
BuildOutcome Build(const BuildRequest &request);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_BUILD_BUILD_H_
