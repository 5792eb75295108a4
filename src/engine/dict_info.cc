// quarvel_dict_info_get: a thin shim over the dictionary inspection
// (store/dict_inspect.h).

#include <cstdio>
#include <cstring>
#include <string>

#include "quarvel/engine.h"
#include "store/dict_inspect.h"

namespace {

constexpr int kCodeCannotOpen = 1001;

void SetError(char *error, size_t error_size, const std::string &text) {
  if (error == nullptr || error_size == 0) return;
  snprintf(error, error_size, "%s", text.c_str());
}

}  // namespace

extern "C" int quarvel_dict_info_get(const char *prefix, quarvel_dict_info *info, char *error,
                                     size_t error_size) noexcept {
  if (error != nullptr && error_size > 0) error[0] = '\0';
  if (info == nullptr || info->size < sizeof(quarvel_dict_info)) {
    SetError(error, error_size, "info is NULL or its size too small (2002)");
    return QUARVEL_BAD_ARGUMENT;
  }
  const uint32_t size = info->size;
  memset(info, 0, sizeof(quarvel_dict_info));
  info->size = size;
  if (prefix == nullptr || prefix[0] == '\0') {
    SetError(error, error_size, "no dictionary prefix given (1001)");
    return kCodeCannotOpen;
  }
  try {
    std::string why;
    const int code = quarvel::InspectDictionary(prefix, info, &why);
    if (code != 0) SetError(error, error_size, why);
    return code;
  } catch (...) {
    SetError(error, error_size, std::string(prefix) + ": out of memory (1001)");
    return kCodeCannotOpen;
  }
}
