// Runs a fuzz target over fixed inputs, without libFuzzer: every file named
// on the command line, and every file (not starting with ".") of every
// folder named there, in name order. The test builds use it to replay the
// seed corpora as regression tests. Fails when no input was found.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace fs = std::filesystem;

int main(int argc, char **argv) {
  // Paths first: the target's initialisation changes the current folder.
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg = fs::absolute(argv[i]);
    if (fs::is_directory(arg)) {
      std::vector<fs::path> files;
      for (const fs::directory_entry &entry : fs::directory_iterator(arg)) {
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
          files.push_back(entry.path());
        }
      }
      std::sort(files.begin(), files.end());
      inputs.insert(inputs.end(), files.begin(), files.end());
    } else if (fs::is_regular_file(arg)) {
      inputs.push_back(arg);
    } else {
      fprintf(stderr, "replay: %s: no such file or folder\n", argv[i]);
      return 2;
    }
  }
  if (inputs.empty()) {
    fprintf(stderr, "replay: no input to run\n");
    return 2;
  }

  quarvel::fuzz::g_replaying = true;
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);

  for (const fs::path &path : inputs) {
    std::string text;
    if (!quarvel::fuzz::ReadFile(path.string(), text)) {
      quarvel::fuzz::Fail(__FILE__, __LINE__, "input readable", path.string());
    }
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    // An empty input still gets a valid pointer, as under libFuzzer.
    static const uint8_t kNothing = 0;
    LLVMFuzzerTestOneInput(bytes.empty() ? &kNothing : bytes.data(), bytes.size());
  }
  // Written to the real standard error, which the target may have silenced.
  quarvel::fuzz::Report("replay: " + std::to_string(inputs.size()) + " inputs passed\n");
  return 0;
}
