// quarvel_build: the exported shim over engine::Build.

#include <cstddef>
#include <cstring>
#include <exception>
#include <string>

#include "build/build.h"
#include "build/build_arguments.h"
#include "engine/env_hooks.h"
#include "quarvel/engine.h"

using quarvel::engine::FailBuild;
using quarvel::engine::kInvalidArguments;

int quarvel_build(quarvel_env *env, const char *prefix, const char *const *sources,
                  size_t n_sources, const quarvel_build_options *options,
                  quarvel_build_stats *stats, char *error, size_t error_size) noexcept {
  quarvel::engine::SetBuildError(error, error_size, "");
  if (const int code = quarvel::engine::CheckBuildArguments(prefix, sources, n_sources, "word list",
                                                            options, error, error_size)) {
    return code;
  }
  // The smallest stats record accepted is its first published layout.
  if (stats != nullptr && stats->size < sizeof(quarvel_build_stats)) {
    return FailBuild(kInvalidArguments, "stats record too small", error, error_size);
  }
  try {
    quarvel::engine::BuildRequest request;
    quarvel::engine::TakeBuildArguments(env, prefix, sources, n_sources, options, request);
    // A field of a later layout: read only when the record holds it.
    if (options != nullptr &&
        options->size >= offsetof(quarvel_build_options, ranked) + sizeof(options->ranked)) {
      request.ranked = options->ranked != 0;
    }
    if (options != nullptr &&
        options->size >= offsetof(quarvel_build_options, utf8) + sizeof(options->utf8)) {
      request.utf8 = options->utf8 != 0;
    }
    quarvel::engine::BuildOutcome outcome = quarvel::engine::Build(request);
    if (stats != nullptr) {
      const uint32_t size = stats->size;
      std::memcpy(stats, &outcome.stats, sizeof(quarvel_build_stats));
      stats->size = size;
    }
    if (outcome.code != 0) {
      quarvel::engine::SetBuildError(error, error_size, outcome.error);
      return outcome.code;
    }
    if (env != nullptr) quarvel::engine::DictionaryRebuilt(env, request.prefix);
    return 0;
  } catch (const std::exception &) {
    return FailBuild(3002, "out of memory", error, error_size);
  }
}
