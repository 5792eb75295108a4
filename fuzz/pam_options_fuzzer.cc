// Fuzz target: the PAM module's options, the words after the module's name
// in a PAM service file.
//
// Input: the words, separated by NUL bytes (at most 32).
//
// ParseOptions must agree with a model of the options as pam_quarvel(8)
// describes them: enforce_for_root, use_authtok and debug; root= an
// absolute folder; minlevel= a level from 1 to 4 and retry= a number of
// attempts from 1 to 10, in decimal digits; minguesses= a number of digits
// of guesses from 0 to 100, in decimal digits with an optional fraction
// ("7", "7.5", "7."); authtok_type= anything, read by PAM itself. A later word overrides an earlier one, and the first word that
// is none of these is refused: the options are then refused as a whole, and
// the error quotes that word.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "pam/options.h"

namespace {

using quarvel::fuzz::Printable;
using quarvel::pam::Options;

constexpr size_t kMaxWords = 32;

// The value of a number given as decimal digits, capped at 1000; -1 when
// text is not made of digits only.
int Digits(std::string_view text) {
  if (text.empty()) return -1;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = std::min(value * 10 + (c - '0'), 1000);
  }
  return value;
}

// The value of a decimal number written as digits, then optionally a point
// and more digits; false for anything else. The value is the nearest
// double, as a correctly rounding reader gives it.
bool Decimal(const std::string &text, double &value) {
  size_t i = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  if (i == 0) return false;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  }
  if (i != text.size()) return false;
  value = std::strtod(text.c_str(), nullptr);
  return true;
}

bool StartsWith(std::string_view text, std::string_view head) {
  return text.substr(0, head.size()) == head;
}

// The model: true with model filled in, or false with the refused word.
bool ModelParse(const std::vector<std::string> &words, Options &model, std::string &refused) {
  for (const std::string &w : words) {
    const std::string_view word = w;
    bool ok = true;
    if (word == "enforce_for_root") {
      model.enforce_for_root = true;
    } else if (word == "use_authtok") {
      model.use_authtok = true;
    } else if (word == "debug") {
      model.debug = true;
    } else if (StartsWith(word, "root=")) {
      const std::string_view dir = word.substr(5);
      ok = !dir.empty() && dir[0] == '/';
      if (ok) model.root = dir;
    } else if (StartsWith(word, "minlevel=")) {
      const int n = Digits(word.substr(9));
      ok = n >= 1 && n <= 4;
      if (ok) model.min_level = n;
    } else if (StartsWith(word, "minguesses=")) {
      double n = -1;
      ok = Decimal(w.substr(11), n) && n >= 0 && n <= 100;
      if (ok) model.min_guesses_log10 = n;
    } else if (StartsWith(word, "retry=")) {
      const int n = Digits(word.substr(6));
      ok = n >= 1 && n <= 10;
      if (ok) model.retry = n;
    } else {
      ok = StartsWith(word, "authtok_type=");
    }
    if (!ok) {
      refused = w;
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  quarvel::fuzz::Setup(argc, argv, 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<std::string> words;
  std::string_view rest(reinterpret_cast<const char *>(data), size);
  while (!rest.empty() && words.size() < kMaxWords) {
    const size_t end = rest.find('\0');
    words.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  std::vector<const char *> argv;
  for (const std::string &w : words) argv.push_back(w.c_str());

  Options parsed, model;
  std::string error, refused;
  const bool ok = quarvel::pam::ParseOptions(argv, parsed, error);
  const bool expected = ModelParse(words, model, refused);
  FUZZ_CHECK(ok == expected, ok ? "accepted" : "refused: " + Printable(error));
  if (ok) {
    FUZZ_CHECK(error.empty());
    FUZZ_CHECK(parsed.root == model.root, Printable(parsed.root));
    FUZZ_CHECK(parsed.min_level == model.min_level && parsed.retry == model.retry);
    FUZZ_CHECK(parsed.min_guesses_log10 == model.min_guesses_log10);
    FUZZ_CHECK(parsed.enforce_for_root == model.enforce_for_root &&
               parsed.use_authtok == model.use_authtok && parsed.debug == model.debug);
  } else {
    FUZZ_CHECK(error.find(refused) != std::string::npos,
               Printable(error) + " does not quote " + Printable(refused));
  }
  return 0;
}
