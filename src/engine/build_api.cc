// quarvel_build: the exported shim over engine::Build.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "engine/build.h"
#include "engine/env_hooks.h"
#include "quarvel/engine.h"

namespace {

constexpr int kInvalidArguments = 3006;

// The smallest records this library accepts: their first published layouts.
constexpr size_t kOptionsV1 = sizeof(quarvel_build_options);
constexpr size_t kStatsV1 = sizeof(quarvel_build_stats);

void SetError(char *error, size_t error_size, const std::string &text) {
  if (error == nullptr || error_size == 0) return;
  const size_t n = std::min(text.size(), error_size - 1);
  std::memcpy(error, text.data(), n);
  error[n] = '\0';
}

int Fail(int code, const char *text, char *error, size_t error_size) {
  SetError(error, error_size, std::string(text) + " (" + std::to_string(code) + ")");
  return code;
}

}  // namespace

int quarvel_build(quarvel_env *env, const char *prefix, const char *const *sources,
                  size_t n_sources, const quarvel_build_options *options,
                  quarvel_build_stats *stats, char *error, size_t error_size) noexcept {
  SetError(error, error_size, "");
  if (prefix == nullptr || prefix[0] == '\0') {
    return Fail(kInvalidArguments, "no dictionary prefix", error, error_size);
  }
  if (sources == nullptr || n_sources == 0) {
    return Fail(kInvalidArguments, "no word list", error, error_size);
  }
  if (options != nullptr && options->size < kOptionsV1) {
    return Fail(kInvalidArguments, "options record too small", error, error_size);
  }
  if (stats != nullptr && stats->size < kStatsV1) {
    return Fail(kInvalidArguments, "stats record too small", error, error_size);
  }
  for (size_t i = 0; i < n_sources; ++i) {
    if (sources[i] == nullptr || sources[i][0] == '\0') {
      return Fail(kInvalidArguments, "a word list has no name", error, error_size);
    }
  }
  try {
    quarvel::engine::BuildRequest request;
    request.prefix = env != nullptr ? quarvel::engine::ResolvePrefix(env, prefix) : prefix;
    request.sources.assign(sources, sources + n_sources);
    if (options != nullptr) {
      if (options->memory_budget != 0) request.memory_budget = options->memory_budget;
      if (options->temp_dir != nullptr) request.temp_dir = options->temp_dir;
      if (options->progress != nullptr) {
        request.progress = [options](const quarvel_build_progress &progress) {
          return options->progress(options->progress_context, &progress);
        };
      }
    }
    quarvel::engine::BuildOutcome outcome = quarvel::engine::Build(request);
    if (stats != nullptr) {
      const uint32_t size = stats->size;
      std::memcpy(stats, &outcome.stats, kStatsV1);
      stats->size = size;
    }
    if (outcome.code != 0) {
      SetError(error, error_size, outcome.error);
      return outcome.code;
    }
    if (env != nullptr) quarvel::engine::DictionaryRebuilt(env, request.prefix);
    return 0;
  } catch (const std::exception &) {
    return Fail(3002, "out of memory", error, error_size);
  }
}
