// The process's engine environment for the module.
//
// libpam loads the module when a transaction first needs it and unloads it at
// pam_end, so the cache lives as long as the module is loaded: across the
// preliminary and update passes and every retry of one transaction, and
// across transactions in a program that keeps a handle open. Unloading runs
// the cache's destructor, which closes the environment.

#include "pam/environment_cache.h"

#include <mutex>

namespace quarvel::pam {

namespace {

constexpr size_t kErrorSize = 512;

struct Cache {
  std::mutex mutex;
  std::string root;
  std::shared_ptr<const quarvel_env> env;
};

constinit Cache g_cache;

}  // namespace

std::shared_ptr<const quarvel_env> AcquireEnvironment(const std::string &root, std::string &error) {
  std::lock_guard lock(g_cache.mutex);
  if (g_cache.env != nullptr && g_cache.root == root) return g_cache.env;
  char reason[kErrorSize] = {};
  quarvel_env *opened = quarvel_open(root.c_str(), reason, sizeof(reason));
  if (opened == nullptr) {
    error = reason[0] != '\0' ? reason : "the engine gave no reason";
    return nullptr;
  }
  std::shared_ptr<const quarvel_env> env(
      opened, [](const quarvel_env *e) { quarvel_close(const_cast<quarvel_env *>(e)); });
  g_cache.root = root;
  g_cache.env = env;
  return env;
}

}  // namespace quarvel::pam
