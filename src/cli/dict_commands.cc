// quarvel dump and quarvel info: a dictionary's words, and its state.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/line_reader.h"
#include "cli/terminal.h"
#include "quarvel/engine.h"
#include "quarvel/pwanalysis.h"

namespace quarvel::cli {
namespace {

// Opens the dictionary's header first, so that a missing or foreign
// dictionary is told apart from a damaged one.
bool Inspect(const std::string &prefix, quarvel_dict_info *info) {
  *info = {};
  info->size = sizeof(*info);
  char error[512] = "";
  if (quarvel_dict_info_get(prefix.c_str(), info, error, sizeof(error)) != 0) {
    fprintf(stderr, "quarvel: %s\n", error);
    return false;
  }
  return true;
}

// Dict2Data writes to a file it opens by name. Standard output is handed to
// it as a pipe that a thread copies to file descriptor 1, so that output
// appended to a file (>>) is not truncated by opening it again.
bool DumpToStandardOutput(const std::string &prefix) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    perror("quarvel: pipe");
    return false;
  }
  bool copied = true;
  std::thread copier([&] {
    char buffer[64 * 1024];
    for (;;) {
      const ssize_t n = read(ends[0], buffer, sizeof(buffer));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      if (copied && !WriteAll(STDOUT_FILENO, std::string_view(buffer, static_cast<size_t>(n)))) {
        copied = false;
      }
    }
    close(ends[0]);
  });
  const std::string path = "/proc/self/fd/" + std::to_string(ends[1]);
  const int status = Dict2Data(path.c_str(), prefix.c_str());
  close(ends[1]);
  copier.join();
  return status == 0 && copied;
}

}  // namespace

int RunDump(const DumpOptions &options) {
  const std::string prefix = ResolvePrefix(options.root, options.prefix);
  quarvel_dict_info info;
  if (!Inspect(prefix, &info)) return kExitEnvironment;
  const bool ok = options.output == "-" ? DumpToStandardOutput(prefix)
                                        : Dict2Data(options.output.c_str(), prefix.c_str()) == 0;
  if (!ok) {
    fprintf(stderr, "quarvel: the words of %s could not be written to %s\n", prefix.c_str(),
            options.output == "-" ? "standard output" : options.output.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

int RunInfo(const InfoOptions &options) {
  const std::string prefix = ResolvePrefix(options.root, options.prefix);
  quarvel_dict_info info;
  if (!Inspect(prefix, &info)) return kExitEnvironment;
  std::string text;
  if (options.json) {
    nlohmann::ordered_json j = {{"prefix", prefix},
                                {"words", info.word_count},
                                {"layout", info.wide ? "wide" : "standard"},
                                {"index_bytes", info.index_bytes},
                                {"data_bytes", info.data_bytes},
                                {"mark_bytes", info.mark_bytes},
                                {"marks_usable", info.marks_usable != 0},
                                {"intact", info.intact != 0},
                                {"blocks_checked", info.blocks_checked},
                                {"problem", info.problem},
                                {"ranked", info.ranked != 0},
                                {"rank_problem", info.rank_problem}};
    text = j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  } else {
    text = "dictionary  " + prefix + "\n";
    text += "words       " + FormatCount(info.word_count) + "\n";
    text += "layout      " + std::string(info.wide ? "wide" : "standard") + "\n";
    text += "files       .pwi " + FormatCount(info.index_bytes) + " bytes, .pwd " +
            FormatCount(info.data_bytes) + " bytes, .hwm " +
            (info.mark_bytes > 0 ? FormatCount(info.mark_bytes) + " bytes" : "absent") + "\n";
    text += "marks       " + std::string(info.marks_usable ? "usable" : "not usable") + "\n";
    text += "ranks       " +
            (info.ranked ? "ranked (" + prefix + ".pwr)"
             : info.rank_problem[0] != '\0'
                 ? "unranked: " + prefix + ".pwr ignored: " + std::string(info.rank_problem)
                 : std::string("unranked")) +
            "\n";
    text += "integrity   " +
            (info.intact ? "intact (" + FormatCount(info.blocks_checked) + " blocks checked)"
                         : "DAMAGED: " + std::string(info.problem)) +
            "\n";
  }
  WriteAll(STDOUT_FILENO, text);
  return info.intact ? kExitOk : kExitFailed;
}

}  // namespace quarvel::cli
