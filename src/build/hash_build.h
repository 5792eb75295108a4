// Building a hashed dictionary from SHA-1 hash lists of any size.
#ifndef QUARVEL_SRC_BUILD_HASH_BUILD_H_
#define QUARVEL_SRC_BUILD_HASH_BUILD_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "build/build.h"
#include "quarvel/engine.h"

namespace quarvel::engine {

// A line that is not a hash line (quarvel_build_hashed's code).
inline constexpr int kMalformedLine = 3007;

struct HashBuildRequest : BuildInputs {
  uint64_t min_count = 1;  // hashes seen fewer times are not stored
  bool skip_malformed = false;
};

struct HashBuildOutcome {
  int code = 0;       // 0, or a quarvel_build_hashed failure code
  std::string error;  // one line, empty on success
  quarvel_hashed_build_stats stats = {};
};

// Reads the hash lists (ParseHashLine's lines; empty lines are ignored),
// adds the counts of equal keys, keeps the keys whose total reaches
// min_count, and writes <prefix>.hsh. Keys are sorted in memory while they
// fit the memory budget (16 bytes each); beyond it, sorted runs go to
// unlinked temporary files in temp_dir and are merged. The file is written
// beside the old one and renamed over it only when every write succeeded.
HashBuildOutcome BuildHashed(const HashBuildRequest &request);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_BUILD_HASH_BUILD_H_
