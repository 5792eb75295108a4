// quarvel_dict_info_get: a thin shim over the dictionary inspection
// (store/dict_inspect.h).

#include <algorithm>
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
  if (info == nullptr || info->size < QUARVEL_DICT_INFO_V1_SIZE) {
    SetError(error, error_size, "info is NULL or its size too small (2002)");
    return QUARVEL_BAD_ARGUMENT;
  }
  // Filled in a record of the current layout, of which the caller gets what
  // its size covers.
  const uint32_t size = info->size;
  quarvel_dict_info full;
  memset(&full, 0, sizeof(full));
  full.size = size;
  int code = kCodeCannotOpen;
  if (prefix == nullptr || prefix[0] == '\0') {
    SetError(error, error_size, "no dictionary prefix given (1001)");
  } else {
    try {
      std::string why;
      code = quarvel::InspectDictionary(prefix, &full, &why);
      if (code != 0) SetError(error, error_size, why);
    } catch (...) {
      SetError(error, error_size, std::string(prefix) + ": out of memory (1001)");
      code = kCodeCannotOpen;
    }
  }
  memcpy(info, &full, std::min<size_t>(size, sizeof(full)));
  return code;
}
