// What the exported build calls share.

#include "build/build_arguments.h"

#include <algorithm>
#include <cstring>

#include "engine/env_hooks.h"

namespace quarvel::engine {

void SetBuildError(char *error, size_t error_size, const std::string &text) {
  if (error == nullptr || error_size == 0) return;
  const size_t n = std::min(text.size(), error_size - 1);
  std::memcpy(error, text.data(), n);
  error[n] = '\0';
}

int FailBuild(int code, const char *text, char *error, size_t error_size) {
  SetBuildError(error, error_size, std::string(text) + " (" + std::to_string(code) + ")");
  return code;
}

int CheckBuildArguments(const char *prefix, const char *const *sources, size_t n_sources,
                        const char *what, const quarvel_build_options *options, char *error,
                        size_t error_size) {
  if (prefix == nullptr || prefix[0] == '\0') {
    return FailBuild(kInvalidArguments, "no dictionary prefix", error, error_size);
  }
  if (sources == nullptr || n_sources == 0) {
    return FailBuild(kInvalidArguments, (std::string("no ") + what).c_str(), error, error_size);
  }
  // The smallest options record accepted is its first published layout.
  if (options != nullptr && options->size < QUARVEL_BUILD_OPTIONS_V1_SIZE) {
    return FailBuild(kInvalidArguments, "options record too small", error, error_size);
  }
  for (size_t i = 0; i < n_sources; ++i) {
    if (sources[i] == nullptr || sources[i][0] == '\0') {
      return FailBuild(kInvalidArguments, (std::string("a ") + what + " has no name").c_str(),
                       error, error_size);
    }
  }
  return 0;
}

void TakeBuildArguments(const quarvel_env *env, const char *prefix, const char *const *sources,
                        size_t n_sources, const quarvel_build_options *options,
                        BuildInputs &inputs) {
  inputs.prefix = env != nullptr ? ResolvePrefix(env, prefix) : prefix;
  inputs.sources.assign(sources, sources + n_sources);
  if (options == nullptr) return;
  if (options->memory_budget != 0) inputs.memory_budget = options->memory_budget;
  if (options->temp_dir != nullptr) inputs.temp_dir = options->temp_dir;
  if (options->progress != nullptr) {
    inputs.progress = [options](const quarvel_build_progress &progress) {
      return options->progress(options->progress_context, &progress);
    };
  }
}

}  // namespace quarvel::engine
