// Option parsing for pam_quarvel.

#include "pam/options.h"

#include <charconv>
#include <string_view>

namespace quarvel::pam {

namespace {

// The smallest and largest accepted values of the numeric options.
constexpr int kMinLevelLow = 1, kMinLevelHigh = 4;
constexpr int kRetryLow = 1, kRetryHigh = 10;
constexpr double kMinGuessesLow = 0, kMinGuessesHigh = 100;

// The whole of text as a decimal number within [low, high].
bool ReadNumber(std::string_view text, int low, int high, int &value) {
  int parsed = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

// The whole of text as a decimal number, digits with an optional fraction
// ("8", "7.5"; no sign, exponent or blank), within [low, high].
bool ReadDecimal(std::string_view text, double low, double high, double &value) {
  double parsed = 0;
  if (text.empty() || text.front() < '0' || text.front() > '9') return false;
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), parsed, std::chars_format::fixed);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (!(parsed >= low && parsed <= high)) return false;
  value = parsed;
  return true;
}

// If word is "name=value", value; otherwise false.
bool ValueOf(std::string_view word, std::string_view name, std::string_view &value) {
  if (word.size() <= name.size() || word.substr(0, name.size()) != name ||
      word[name.size()] != '=') {
    return false;
  }
  value = word.substr(name.size() + 1);
  return true;
}

}  // namespace

bool ParseOptions(std::span<const char *const> words, Options &options, std::string &error) {
  for (const char *raw : words) {
    const std::string_view word = raw != nullptr ? raw : "";
    std::string_view value;
    // The cases, in the order they are tried.
    if (word == "enforce_for_root") {
      options.enforce_for_root = true;
    } else if (word == "use_authtok") {
      options.use_authtok = true;
    } else if (word == "debug") {
      options.debug = true;
    } else if (ValueOf(word, "root", value)) {
      // A relative root would depend on the calling program's current folder.
      if (value.empty() || value.front() != '/') {
        error = "root=" + std::string(value) + ": the folder must be an absolute path";
        return false;
      }
      options.root.assign(value);
    } else if (ValueOf(word, "minlevel", value)) {
      if (!ReadNumber(value, kMinLevelLow, kMinLevelHigh, options.min_level)) {
        error = "minlevel=" + std::string(value) + ": expected a level from 1 to 4";
        return false;
      }
    } else if (ValueOf(word, "minguesses", value)) {
      if (!ReadDecimal(value, kMinGuessesLow, kMinGuessesHigh, options.min_guesses_log10)) {
        error = "minguesses=" + std::string(value) +
                ": expected a number of digits of guesses from 0 to 100";
        return false;
      }
    } else if (ValueOf(word, "retry", value)) {
      if (!ReadNumber(value, kRetryLow, kRetryHigh, options.retry)) {
        error = "retry=" + std::string(value) + ": expected a number of attempts from 1 to 10";
        return false;
      }
    } else if (ValueOf(word, "authtok_type", value)) {
      // Read by pam_get_authtok itself, for its prompts.
    } else {
      error = "unknown option \"" + std::string(word) + "\"";
      return false;
    }
  }
  return true;
}

}  // namespace quarvel::pam
