// quarvel-make-dict: builds a packed dictionary from one or more word lists
// with the library's own CreateDict, at build time.
//
//   quarvel-make-dict COMBINED PREFIX WORDLIST...
//
// The word lists are joined into the file COMBINED (a list that does not end
// with a line feed gets one, and "#!comment:" header lines are left out),
// which is then built into PREFIX.pwd, PREFIX.pwi and PREFIX.hwm. Building
// uses the temporary file ./make.txt, so the current directory must be
// writable. Exit status 0 on success, 1 on failure.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

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

}  // namespace

int main(int argc, char **argv) {
  if (argc < 4) {
    std::cerr << "usage: quarvel-make-dict COMBINED PREFIX WORDLIST...\n";
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
