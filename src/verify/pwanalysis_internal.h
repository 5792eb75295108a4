// Internal view of the verification settings, for the library's own code and
// white-box tests.
#ifndef QUARVEL_SRC_VERIFY_PWANALYSIS_INTERNAL_H_
#define QUARVEL_SRC_VERIFY_PWANALYSIS_INTERNAL_H_

#include <cstdint>

#include "quarvel/gconfig.h"

namespace quarvel::verify {

// The configuration object of the last environment load, or NULL before the
// first. Scoring refuses to run without one.
extern gcfg *cfg;

// Prefix of the personal dictionary.
inline constexpr const char kProfilePrefix[] = "./dicts/profile";

// True when a dictionary opens for reading (and closes again).
bool DictionaryOpens(const char *prefix);

}  // namespace quarvel::verify

// The preparation state of a dictionary build, between the steps of one call
// of SortFile: the word list's text, and the offsets of its words.
extern "C" {
extern char *buf;
extern int32_t *offsets;
extern int32_t off_size;
extern int32_t off_idx;
}

#endif  // QUARVEL_SRC_VERIFY_PWANALYSIS_INTERNAL_H_
