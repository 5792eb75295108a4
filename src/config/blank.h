// Internal helpers shared by the configuration store's modules.
#ifndef QUARVEL_SRC_CONFIG_BLANK_H_
#define QUARVEL_SRC_CONFIG_BLANK_H_

#include <string_view>

namespace quarvel::config {

// The store's own notion of a blank, deliberately narrower than isspace():
// vertical tab and form feed are ordinary bytes in configuration files.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// text without its leading and trailing blanks, as gtrim would leave it.
constexpr std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

constexpr std::string_view TrimTrailingBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace quarvel::config

#endif  // QUARVEL_SRC_CONFIG_BLANK_H_
