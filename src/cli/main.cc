// quarvel: the command line. Parses the subcommands with CLI11 and hands
// each to its Run function.

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <CLI/CLI.hpp>

#include "base/secure_wipe.h"
#include "cli/commands.h"
#include "quarvel/engine.h"

namespace quarvel::cli {

std::string ResolvePrefix(const std::string &root, const std::string &prefix) {
  if (prefix.empty() || prefix.front() == '/' || root.empty() || root == ".") return prefix;
  return root + (root.back() == '/' ? "" : "/") + prefix;
}

namespace {

constexpr const char *kExitStatuses =
    "Exit status:\n"
    "  0    every password reached --min-level; the command succeeded\n"
    "  1    a password did not reach --min-level (or could not be graded);\n"
    "       a build failed; the dictionary is damaged (info)\n"
    "  2    usage error\n"
    "  3    the environment (--root) or the dictionary cannot be opened\n"
    "  130  interrupted by SIGINT, 143 by SIGTERM\n";

constexpr const char *kRootHelp =
    "Root folder: conf/quarvel.ini, dicts/default_dict, dicts/profile (default: $QUARVEL_ROOT, "
    "else the installed root " QUARVEL_INSTALLED_ROOT
    " when it holds conf/quarvel.ini, else the "
    "current folder)";

// The root of check and explain when --root is not given: the environment's
// QUARVEL_ROOT, else the installed root (its configuration has the extended
// search on), else the current folder.
std::string DefaultRoot() {
  if (const char *root = std::getenv("QUARVEL_ROOT"); root != nullptr && root[0] != '\0') {
    return root;
  }
  struct stat status;
  const std::string installed = QUARVEL_INSTALLED_ROOT;
  if (stat((installed + "/conf/quarvel.ini").c_str(), &status) == 0) return installed;
  return ".";
}

// A number from low to high. CLI::Range compares only, and lets "nan"
// through: it is below nothing and above nothing.
CLI::Validator NumberFrom(double low, double high) {
  const std::string range =
      std::to_string(static_cast<int>(low)) + " to " + std::to_string(static_cast<int>(high));
  return CLI::Validator(
      [low, high, range](std::string &text) -> std::string {
        double value = 0;
        if (!CLI::detail::lexical_cast(text, value) || !(value >= low && value <= high)) {
          return "Value " + text + " not a number from " + range;
        }
        return {};
      },
      "NUMBER in [" + range + "]");
}

// Wipes the copies of passwords that the parser and the process arguments
// hold, once they have been copied into the options.
void WipeArguments(const CLI::Option *option, int argc, char **argv) {
  if (option == nullptr) return;
  for (const std::string &result : option->results()) {
    std::string &text = const_cast<std::string &>(result);
    for (int i = 1; i < argc; ++i) {
      if (text == argv[i]) quarvel::SecureWipe(argv[i], strlen(argv[i]));
    }
    quarvel::SecureWipe(text.data(), text.size());
  }
}

}  // namespace
}  // namespace quarvel::cli

int main(int argc, char **argv) {
  using namespace quarvel::cli;

  CLI::App app{
      "quarvel: grades passwords, explains the grade, and builds and inspects the "
      "dictionaries it searches.",
      "quarvel"};
  app.set_version_flag("--version", std::string("quarvel ") + quarvel_version());
  app.require_subcommand(1, 1);
  app.footer(kExitStatuses);

  CheckOptions check;
  check.root = DefaultRoot();
  CLI::App *check_cmd = app.add_subcommand(
      "check",
      "Grade passwords: the arguments, or one per line from standard input (a prompt without "
      "echo when it is a terminal). One result line per password, never the password itself "
      "unless --show-password.");
  check_cmd->add_option("--root", check.root, kRootHelp);
  check_cmd->add_flag("--json", check.json, "One JSON object per password");
  check_cmd
      ->add_option("--min-level", check.min_level,
                   "Level (1-4) every password must reach for exit status 0 (default 1)")
      ->check(CLI::Range(1, 4));
  check_cmd
      ->add_option("--min-guesses", check.min_guesses_log10,
                   "Rate a password that the library estimates to fall in fewer than 10^N "
                   "guesses at most level 2 (N from 0 to 100, fractions allowed)")
      ->check(NumberFrom(0, 100));
  check_cmd
      ->add_option("-j,--jobs", check.jobs,
                   "Threads that check standard input; the output keeps its order "
                   "(default 1)")
      ->check(CLI::Range(1u, 256u));
  check_cmd->add_flag("--show-password", check.show_password,
                      "Repeat each password in its result line");
  CLI::Option *check_passwords =
      check_cmd->add_option("PASSWORD", check.passwords, "Passwords to grade");
  check_cmd->footer(kExitStatuses);

  ExplainOptions explain;
  explain.root = DefaultRoot();
  CLI::App *explain_cmd = app.add_subcommand(
      "explain",
      "Grade one password and explain it stage by stage: what each stage measured and what it "
      "cost. Without PASSWORD it is asked for without echo.");
  explain_cmd->add_option("--root", explain.root, kRootHelp);
  CLI::Option *explain_password =
      explain_cmd->add_option("PASSWORD", explain.password, "The password");
  explain_cmd->footer(kExitStatuses);

  BuildOptions build;
  CLI::App *build_cmd = app.add_subcommand(
      "build",
      "Build the dictionary PREFIX from word lists ('-' is standard input): each line becomes a "
      "word of lower-case letters and digits. The files are staged and renamed into place at "
      "the end: a failed or interrupted build leaves the previous dictionary as it was.");
  build_cmd->add_option("--root", build.root,
                        "Folder that a relative PREFIX is taken from "
                        "(default: the current folder)");
  build_cmd->add_option("--prefix", build.prefix,
                        "Dictionary to write, without extension (e.g. dicts/default_dict; with "
                        "--language, dicts/LANGUAGE by default)");
  build_cmd
      ->add_option("--memory", build.memory,
                   "Memory for sorting, e.g. 512M or 2G (default 1G); more is sorted in "
                   "runs on disk")
      ->transform(CLI::AsSizeValue(false));
  build_cmd
      ->add_option("--temp-dir", build.temp_dir,
                   "Folder for temporary files (default: beside the dictionary)")
      ->check(CLI::ExistingDirectory);
  CLI::Option *sha1_flag =
      build_cmd->add_flag("--sha1", build.sha1,
                          "Build a hashed dictionary (PREFIX.hsh) from SHA-1 hash lists: lines of "
                          "40 hexadecimal digits, optionally ':' and an occurrence count");
  build_cmd
      ->add_flag("--ranked", build.ranked,
                 "Also write PREFIX.pwr, each word's rank: the line, counted from 1 over the "
                 "word lists in order (lines that give no word left out), where it first "
                 "appears. Give frequency-ordered lists, most common first. Without it, an old "
                 "PREFIX.pwr is removed")
      ->excludes(sha1_flag);
  build_cmd
      ->add_option("--min-count", build.min_count,
                   "With --sha1: leave out hashes seen fewer times (default 1)")
      ->check(CLI::PositiveNumber);
  build_cmd->add_flag("--skip-malformed", build.skip_malformed,
                      "With --sha1: skip malformed lines and count them, instead of failing");
  build_cmd->add_flag("--utf8", build.utf8,
                      "Read the lists as UTF-8: Hangul composed, Latin letters lowered with their "
                      "accents folded (e becomes e for é, ss for ß), other letters kept");
  build_cmd
      ->add_option("--language", build.language,
                   "Build the language dictionary ko, de, fr, es, it or pt from its Debian word "
                   "list (a WORDLIST given names another copy of it); ko also builds "
                   "PREFIX_roman, its words romanised")
      ->check(CLI::IsMember({"ko", "de", "fr", "es", "it", "pt"}))
      ->excludes(sha1_flag);
  build_cmd->add_option("WORDLIST", build.sources, "Word lists, '-' for standard input");
  build_cmd->footer(kExitStatuses);

  DumpOptions dump;
  CLI::App *dump_cmd =
      app.add_subcommand("dump", "Write the words of a dictionary, one per line, in order.");
  dump_cmd->add_option("--root", dump.root, "Folder that a relative PREFIX is taken from");
  dump_cmd->add_option("--prefix", dump.prefix, "Dictionary, without extension")->required();
  dump_cmd->add_option("-o,--output", dump.output, "File to write ('-' or none: standard output)");
  dump_cmd->footer(kExitStatuses);

  InfoOptions info;
  CLI::App *info_cmd = app.add_subcommand(
      "info",
      "Show a dictionary's word count, layout, file sizes and marks, and check every block. "
      "Exits 1 when the dictionary is damaged.");
  info_cmd->add_option("--root", info.root, "Folder that a relative PREFIX is taken from");
  info_cmd->add_option("--prefix", info.prefix, "Dictionary, without extension")->required();
  info_cmd->add_flag("--json", info.json, "One JSON object");
  info_cmd->footer(kExitStatuses);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    WipeArguments(check_passwords, argc, argv);
    WipeArguments(explain_password, argc, argv);
    const int status = app.exit(e);
    return status == 0 ? kExitOk : kExitUsage;
  }
  explain.has_password = explain_password->count() > 0;
  WipeArguments(check_passwords, argc, argv);
  WipeArguments(explain_password, argc, argv);

  if (check_cmd->parsed()) return RunCheck(check);
  if (explain_cmd->parsed()) return RunExplain(explain);
  if (build_cmd->parsed()) return RunBuild(build);
  if (dump_cmd->parsed()) return RunDump(dump);
  if (info_cmd->parsed()) return RunInfo(info);
  return kExitUsage;
}
