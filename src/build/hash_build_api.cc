// quarvel_build_hashed: the exported shim over engine::BuildHashed.

#include <cstring>
#include <exception>
#include <string>

#include "build/build_arguments.h"
#include "build/hash_build.h"
#include "engine/env_hooks.h"
#include "quarvel/engine.h"

using quarvel::engine::FailBuild;
using quarvel::engine::kInvalidArguments;

int quarvel_build_hashed(quarvel_env *env, const char *prefix, const char *const *sources,
                         size_t n_sources, uint64_t min_count, int skip_malformed,
                         const quarvel_build_options *options, quarvel_hashed_build_stats *stats,
                         char *error, size_t error_size) noexcept {
  quarvel::engine::SetBuildError(error, error_size, "");
  if (const int code = quarvel::engine::CheckBuildArguments(prefix, sources, n_sources, "hash list",
                                                            options, error, error_size)) {
    return code;
  }
  if (min_count == 0) {
    return FailBuild(kInvalidArguments, "the minimum count must be at least 1", error, error_size);
  }
  if (stats != nullptr && stats->size < sizeof(quarvel_hashed_build_stats)) {
    return FailBuild(kInvalidArguments, "stats record too small", error, error_size);
  }
  try {
    quarvel::engine::HashBuildRequest request;
    quarvel::engine::TakeBuildArguments(env, prefix, sources, n_sources, options, request);
    request.min_count = min_count;
    request.skip_malformed = skip_malformed != 0;
    quarvel::engine::HashBuildOutcome outcome = quarvel::engine::BuildHashed(request);
    if (stats != nullptr) {
      const uint32_t size = stats->size;
      std::memcpy(stats, &outcome.stats, sizeof(quarvel_hashed_build_stats));
      stats->size = size;
    }
    if (outcome.code != 0) {
      quarvel::engine::SetBuildError(error, error_size, outcome.error);
      return outcome.code;
    }
    if (env != nullptr) quarvel::engine::HashedListRebuilt(env, request.prefix);
    return 0;
  } catch (const std::exception &) {
    return FailBuild(3002, "out of memory", error, error_size);
  }
}
