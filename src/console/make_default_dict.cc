// quarvel-make-dict: builds a packed dictionary from one or more word lists
// with the library, at build time.
//
//   quarvel-make-dict COMBINED PREFIX WORDLIST...
//   quarvel-make-dict --ranked PREFIX WORDLIST...
//
// The first form joins the word lists into the file COMBINED (a list that
// does not end with a line feed gets one, and "#!comment:" header lines are
// left out) and builds it into PREFIX.pwd, PREFIX.pwi and PREFIX.hwm with
// CreateDict, which uses the temporary file ./make.txt, so the current
// directory must be writable.
//
// The second builds the word lists as they are with quarvel_build, ranked:
// each word once, and the rank file PREFIX.pwr with each word's first line
// (the default dictionary's list comes from scripts/ranked_sources.py).
// Exit status 0 on success, 1 on failure.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "quarvel/engine.h"
#include "quarvel/pwanalysis.h"

namespace {

constexpr std::string_view kCommentMark = "#!comment:";

bool Append(std::ofstream &out, const char *path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "quarvel-make-dict: cannot read " << path << "\n";
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (line.starts_with(kCommentMark)) continue;
    out << line << '\n';
  }
  if (in.bad()) {
    std::cerr << "quarvel-make-dict: read error in " << path << "\n";
    return false;
  }
  return true;
}

int BuildRanked(const char *prefix, int n_lists, char **lists) {
  quarvel_build_options options = {};
  options.size = sizeof(options);
  options.ranked = 1;
  quarvel_build_stats stats = {};
  stats.size = sizeof(stats);
  char error[512] = "";
  if (quarvel_build(nullptr, prefix, lists, static_cast<size_t>(n_lists), &options, &stats, error,
                    sizeof(error)) != 0) {
    std::cerr << "quarvel-make-dict: building " << prefix << " failed: " << error << "\n";
    return 1;
  }
  std::cout << "quarvel-make-dict: " << prefix << ": " << stats.words << " words, ranked, from "
            << stats.lines << " lines\n";
  return 0;
}

int BuildLanguage(const char *language, const char *prefix, const char *source) {
  quarvel_build_stats stats = {};
  stats.size = sizeof(stats);
  char error[512] = "";
  if (quarvel_build_language(nullptr, language, prefix, source, nullptr, &stats, error,
                             sizeof(error)) != 0) {
    std::cerr << "quarvel-make-dict: building " << prefix << " failed: " << error << "\n";
    return 1;
  }
  std::cout << "quarvel-make-dict: " << prefix << ": " << stats.words << " words of language "
            << language << "\n";
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--ranked") == 0) {
    return BuildRanked(argv[2], argc - 3, argv + 3);
  }
  if (argc == 5 && std::strcmp(argv[1], "--language") == 0) {
    return BuildLanguage(argv[2], argv[3], argv[4]);
  }
  if (argc < 4) {
    std::cerr << "usage: quarvel-make-dict COMBINED PREFIX WORDLIST...\n"
                 "       quarvel-make-dict --ranked PREFIX WORDLIST...\n"
                 "       quarvel-make-dict --language LANGUAGE PREFIX WORDLIST\n";
    return 1;
  }
  const char *combined = argv[1];
  const char *prefix = argv[2];
  {
    std::ofstream out(combined, std::ios::binary | std::ios::trunc);
    if (!out) {
      std::cerr << "quarvel-make-dict: cannot create " << combined << "\n";
      return 1;
    }
    for (int i = 3; i < argc; ++i) {
      if (!Append(out, argv[i])) return 1;
    }
    out.flush();
    if (!out) {
      std::cerr << "quarvel-make-dict: cannot write " << combined << "\n";
      return 1;
    }
  }
  const char *result = CreateDict(combined, prefix);
  std::fflush(stdout);
  if (std::strcmp(result, "RET_CD=0000") != 0) {
    std::cerr << "quarvel-make-dict: building " << prefix << " from " << combined
              << " failed: " << result << "\n";
    return 1;
  }
  return 0;
}
