// quarvel_build_hashed: the exported shim over engine::BuildHashed.

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include "engine/env_hooks.h"
#include "engine/hash_build.h"
#include "quarvel/engine.h"

namespace {

constexpr int kInvalidArguments = 3006;

void SetError(char *error, size_t error_size, const std::string &text) {
  if (error == nullptr || error_size == 0) return;
  const size_t n = std::min(text.size(), error_size - 1);
  std::memcpy(error, text.data(), n);
  error[n] = '\0';
}

int Fail(const char *text, char *error, size_t error_size) {
  SetError(error, error_size, std::string(text) + " (" + std::to_string(kInvalidArguments) + ")");
  return kInvalidArguments;
}

}  // namespace

int quarvel_build_hashed(quarvel_env *env, const char *prefix, const char *const *sources,
                         size_t n_sources, uint64_t min_count, int skip_malformed,
                         const quarvel_build_options *options, quarvel_hashed_build_stats *stats,
                         char *error, size_t error_size) noexcept {
  SetError(error, error_size, "");
  if (prefix == nullptr || prefix[0] == '\0')
    return Fail("no dictionary prefix", error, error_size);
  if (sources == nullptr || n_sources == 0) return Fail("no hash list", error, error_size);
  if (min_count == 0) return Fail("the minimum count must be at least 1", error, error_size);
  if (options != nullptr && options->size < sizeof(quarvel_build_options)) {
    return Fail("options record too small", error, error_size);
  }
  if (stats != nullptr && stats->size < sizeof(quarvel_hashed_build_stats)) {
    return Fail("stats record too small", error, error_size);
  }
  for (size_t i = 0; i < n_sources; ++i) {
    if (sources[i] == nullptr || sources[i][0] == '\0') {
      return Fail("a hash list has no name", error, error_size);
    }
  }
  try {
    quarvel::engine::HashBuildRequest request;
    request.prefix = env != nullptr ? quarvel::engine::ResolvePrefix(env, prefix) : prefix;
    request.sources.assign(sources, sources + n_sources);
    request.min_count = min_count;
    request.skip_malformed = skip_malformed != 0;
    if (options != nullptr) {
      if (options->memory_budget != 0) request.memory_budget = options->memory_budget;
      if (options->temp_dir != nullptr) request.temp_dir = options->temp_dir;
      if (options->progress != nullptr) {
        request.progress = [options](const quarvel_build_progress &progress) {
          return options->progress(options->progress_context, &progress);
        };
      }
    }
    quarvel::engine::HashBuildOutcome outcome = quarvel::engine::BuildHashed(request);
    if (stats != nullptr) {
      const uint32_t size = stats->size;
      std::memcpy(stats, &outcome.stats, sizeof(quarvel_hashed_build_stats));
      stats->size = size;
    }
    if (outcome.code != 0) {
      SetError(error, error_size, outcome.error);
      return outcome.code;
    }
    if (env != nullptr) quarvel::engine::HashedListRebuilt(env, request.prefix);
    return 0;
  } catch (const std::exception &) {
    SetError(error, error_size, "out of memory (3002)");
    return 3002;
  }
}
