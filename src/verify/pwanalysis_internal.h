// Internal view of the verification settings, for the library's own code and
// white-box tests.
#ifndef QUARVEL_SRC_VERIFY_PWANALYSIS_INTERNAL_H_
#define QUARVEL_SRC_VERIFY_PWANALYSIS_INTERNAL_H_

#include "quarvel/gconfig.h"

namespace quarvel::verify {

// The configuration object of the last environment load, or NULL before the
// first. Scoring refuses to run without one.
extern gcfg *cfg;

// Prefix of the personal dictionary.
inline constexpr const char kProfilePrefix[] = "./dicts/profile";

}  // namespace quarvel::verify

#endif  // QUARVEL_SRC_VERIFY_PWANALYSIS_INTERNAL_H_
