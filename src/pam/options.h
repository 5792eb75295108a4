// The module's options, as they stand after the module name in a PAM
// service file.
#ifndef QUARVEL_SRC_PAM_OPTIONS_H_
#define QUARVEL_SRC_PAM_OPTIONS_H_

#include <span>
#include <string>

// The build sets it to the installed configuration folder.
#ifndef QUARVEL_PAM_DEFAULT_ROOT
#define QUARVEL_PAM_DEFAULT_ROOT "/etc/quarvel"
#endif

namespace quarvel::pam {

struct Options {
  std::string root = QUARVEL_PAM_DEFAULT_ROOT;  // the engine's root folder, absolute
  int min_level = 3;
  // minguesses=N: a password the engine estimates below 10^N guesses is
  // refused; negative when not given.
  double min_guesses_log10 = -1;
  int retry = 1;
  bool enforce_for_root = false;
  bool use_authtok = false;
  bool debug = false;
};

// Reads the options. A word the module does not know, a value out of range
// or a relative root is a configuration error: the result is false and error
// names the word and what is wrong with it.
bool ParseOptions(std::span<const char *const> words, Options &options, std::string &error);

}  // namespace quarvel::pam

#endif  // QUARVEL_SRC_PAM_OPTIONS_H_
