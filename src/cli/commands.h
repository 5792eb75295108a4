// The subcommands of the quarvel command and what they are given.
#ifndef QUARVEL_SRC_CLI_COMMANDS_H_
#define QUARVEL_SRC_CLI_COMMANDS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace quarvel::cli {

// Exit statuses, shared by every subcommand (the --help epilogue and the man
// page list them).
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;       // a password below --min-level, a damaged dictionary
inline constexpr int kExitUsage = 2;        // the command line is wrong
inline constexpr int kExitEnvironment = 3;  // the environment or dictionary cannot be opened

struct CheckOptions {
  std::string root = ".";
  bool json = false;
  bool show_password = false;
  int min_level = 1;
  // --min-guesses: a password estimated below 10^N guesses is rated at most
  // level 2; negative when not given.
  double min_guesses_log10 = -1;
  unsigned jobs = 1;
  // Passwords given as arguments; none: standard input.
  std::vector<std::string> passwords;
};

struct ExplainOptions {
  std::string root = ".";
  std::string password;  // empty: asked for on the terminal
  bool has_password = false;
};

struct BuildOptions {
  std::string root = ".";
  std::string prefix;
  uint64_t memory = 0;  // bytes; 0: the library's default
  std::string temp_dir;
  std::vector<std::string> sources;
  bool sha1 = false;    // a hashed dictionary from SHA-1 hash lists
  bool ranked = false;  // also the rank file PREFIX.pwr
  uint64_t min_count = 1;
  bool skip_malformed = false;
  bool utf8 = false;     // the lists are UTF-8 text
  std::string language;  // a language dictionary from its Debian list
};

struct DumpOptions {
  std::string root = ".";
  std::string prefix;
  std::string output = "-";
};

struct InfoOptions {
  std::string root = ".";
  std::string prefix;
  bool json = false;
};

// Each answers the process's exit status. The passwords in the options are
// wiped before the command returns.
int RunCheck(CheckOptions &options);
int RunExplain(ExplainOptions &options);
int RunBuild(const BuildOptions &options);
int RunDump(const DumpOptions &options);
int RunInfo(const InfoOptions &options);

// prefix as given when absolute, else below root.
std::string ResolvePrefix(const std::string &root, const std::string &prefix);

}  // namespace quarvel::cli

#endif  // QUARVEL_SRC_CLI_COMMANDS_H_
