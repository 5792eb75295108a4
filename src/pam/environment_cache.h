// The engine environment that the module keeps while it is loaded.
#ifndef QUARVEL_SRC_PAM_ENVIRONMENT_CACHE_H_
#define QUARVEL_SRC_PAM_ENVIRONMENT_CACHE_H_

#include <memory>
#include <string>

#include "quarvel/engine.h"

namespace quarvel::pam {

// The environment opened from root, shared with every other caller that
// asks for the same root; opened on the first request and opened again when
// a request names another root. A caller holds its reference for the whole
// check, so replacing the cached environment never closes one in use. NULL
// when root cannot be opened; error then has the engine's reason (it names
// the file and the code 1001, 1002 or 1003). Thread-safe.
std::shared_ptr<const quarvel_env> AcquireEnvironment(const std::string &root, std::string &error);

}  // namespace quarvel::pam

#endif  // QUARVEL_SRC_PAM_ENVIRONMENT_CACHE_H_
