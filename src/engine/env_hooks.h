// What a dictionary build needs from an environment. The environment defines
// these; the build calls them only for a caller's env.
#ifndef QUARVEL_SRC_ENGINE_ENV_HOOKS_H_
#define QUARVEL_SRC_ENGINE_ENV_HOOKS_H_

#include <string>
#include <string_view>

#include "quarvel/engine.h"

namespace quarvel::engine {

// The path a dictionary prefix names for env: relative prefixes resolve against its root.
std::string ResolvePrefix(const quarvel_env *env, std::string_view prefix);

// Tells env that the dictionary at path_prefix was rebuilt, so that its snapshot is renewed.
void DictionaryRebuilt(quarvel_env *env, const std::string &path_prefix);

// Tells env that the hashed dictionary at path_prefix was rebuilt.
void HashedListRebuilt(quarvel_env *env, const std::string &path_prefix);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_ENV_HOOKS_H_
