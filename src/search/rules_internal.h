// Internal view of the word-mangling rules, for the library's own code.
#ifndef QUARVEL_SRC_SEARCH_RULES_INTERNAL_H_
#define QUARVEL_SRC_SEARCH_RULES_INTERNAL_H_

#include <array>
#include <cstddef>

namespace quarvel {

// Mangle into an area of the caller's instead of the process-wide one, so
// that any number of threads may mangle at once. used grows to cover every
// byte written, for the caller's wipe. The rule must not lie in area.
char *MangleInto(std::array<char, 1024> &area, std::size_t &used, const char *input,
                 const char *control);

// Clears the result areas of the text transformations and of Mangle, so
// that no password, or variant of one, stays in the library's memory.
void WipeRuleAreas();

}  // namespace quarvel

#endif  // QUARVEL_SRC_SEARCH_RULES_INTERNAL_H_
