// What the exported build calls share: their one-line errors, the checks of
// their arguments, and the passage of the caller's options into a build.
#ifndef QUARVEL_SRC_BUILD_BUILD_ARGUMENTS_H_
#define QUARVEL_SRC_BUILD_BUILD_ARGUMENTS_H_

#include <cstddef>
#include <string>

#include "build/build.h"
#include "quarvel/engine.h"

namespace quarvel::engine {

// The code of a build's invalid arguments.
inline constexpr int kInvalidArguments = 3006;

// Writes text into error (cut to fit, always terminated) when there is room.
void SetBuildError(char *error, size_t error_size, const std::string &text);

// Writes "text (code)" into error and answers code.
int FailBuild(int code, const char *text, char *error, size_t error_size);

// Checks the arguments every build call takes ("what" names a source, such
// as "word list"); answers 0, or kInvalidArguments with error written.
int CheckBuildArguments(const char *prefix, const char *const *sources, size_t n_sources,
                        const char *what, const quarvel_build_options *options, char *error,
                        size_t error_size);

// Fills inputs from checked arguments: the prefix resolved against env's
// root when there is one, the sources, and the caller's options.
void TakeBuildArguments(const quarvel_env *env, const char *prefix, const char *const *sources,
                        size_t n_sources, const quarvel_build_options *options,
                        BuildInputs &inputs);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_BUILD_BUILD_ARGUMENTS_H_
