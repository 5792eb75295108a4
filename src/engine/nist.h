// The NIST SP 800-63B verdict of a check: length in characters, the
// blocklist, repetitive or sequential characters, context words. Its
// settings come from the [nist] section of the configuration.
#ifndef QUARVEL_SRC_ENGINE_NIST_H_
#define QUARVEL_SRC_ENGINE_NIST_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace quarvel::engine {

struct NistSettings {
  int min_length = 15;
  uint32_t blocklist_slots = 0xFF;  // bit s: dictionary slot s is in the blocklist
  bool blocklist_breach = true;     // the hashed lists are in it
};

// Reads blocklist's text ("all", "none", or slots 0 to 7 and "breach"
// separated by commas, blanks allowed) into settings; false, with the
// offending item in *bad, when an item is neither.
bool ParseBlocklist(std::string_view text, NistSettings *settings, std::string *bad);

// The characters of password as the verdict counts them: code points after
// NFKC normalisation when it is valid UTF-8, bytes otherwise (and bytes in
// a build without a Unicode library).
int NistLength(std::string_view password);

// True when the searched form of a password is repetitive or sequential:
// the whole of it a run of one character, a sequence, a keyboard walk, or
// up to three such pieces (patterns.h's ReadPattern).
bool NistRepetitive(std::string_view searched);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_NIST_H_
