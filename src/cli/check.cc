// quarvel check: passwords from the command line, from a no-echo prompt, or
// one per line from standard input, checked on --jobs threads with the
// output in input order.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/secure_wipe.h"
#include "cli/commands.h"
#include "cli/guesses.h"
#include "cli/line_reader.h"
#include "cli/report.h"
#include "cli/terminal.h"
#include "quarvel/engine.h"

namespace quarvel::cli {
namespace {

// Lines read, checked and written at a time; a line keeps at most one byte
// more than the longest password, enough to know it is too long.
constexpr size_t kChunkLines = 4096;
constexpr size_t kKeptBytes = 258;
// A chunk's output is about this long per line; reserved up front so that
// growing never leaves a copy behind.
constexpr size_t kOutputPerLine = 2560;

struct EnvCloser {
  void operator()(quarvel_env *env) const { quarvel_close(env); }
};
using Env = std::unique_ptr<quarvel_env, EnvCloser>;

// Checks passwords and formats their results; shared by the threads.
class Checker {
 public:
  Checker(const quarvel_env *env, const CheckOptions &options)
      : env_(env),
        report_{options.json, options.show_password, options.min_level, options.min_guesses_log10} {
  }

  // Checks one password and appends its line to out; answers whether it
  // reached --min-level.
  bool CheckOne(std::string_view password, EntryLabel label, std::string &out) const {
    return CheckAndReport(env_, password, label, report_, out);
  }

 private:
  const quarvel_env *env_;
  const ReportOptions report_;
};

// Output buffers that are wiped before they are freed.
struct OutputBuffer {
  std::string text;
  explicit OutputBuffer(size_t reserve) { text.reserve(reserve); }
  ~OutputBuffer() { quarvel::SecureWipe(text.data(), text.size()); }
  void Flush() {
    WriteAll(STDOUT_FILENO, text);
    quarvel::SecureWipe(text.data(), text.size());
    text.clear();
  }
};

int CheckArguments(const Checker &checker, CheckOptions &options) {
  bool all_passed = true;
  OutputBuffer out(kOutputPerLine * 4);
  for (size_t i = 0; i < options.passwords.size(); ++i) {
    std::string &password = options.passwords[i];
    if (!checker.CheckOne(password, {"argument", i + 1}, out.text)) all_passed = false;
    quarvel::SecureWipe(password.data(), password.size());
    out.Flush();
  }
  return all_passed ? kExitOk : kExitFailed;
}

int CheckFromPrompt(const Checker &checker) {
  char buffer[kKeptBytes + 1];
  size_t length = 0;
  const SecretStatus status = ReadSecret("Password: ", buffer, sizeof(buffer), &length);
  if (status == SecretStatus::kInterrupted) {
    quarvel::SecureWipe(buffer, sizeof(buffer));
    return 130;
  }
  OutputBuffer out(kOutputPerLine);
  const bool passed = checker.CheckOne(std::string_view(buffer, length), {"line", 1}, out.text);
  quarvel::SecureWipe(buffer, sizeof(buffer));
  out.Flush();
  return passed ? kExitOk : kExitFailed;
}

// Checks lines into out; answers how many did not reach --min-level.
size_t CheckSlice(const Checker &checker, std::span<const LineReader::Line> lines,
                  std::string &out) {
  size_t failed = 0;
  for (const LineReader::Line &line : lines) {
    if (!checker.CheckOne(line.text, {"line", line.number}, out)) ++failed;
  }
  return failed;
}

// Lines of a chunk that a thread takes at a time: threads take batches as
// they go, so one that is slowed down holds up no more than its batch.
constexpr size_t kBatchLines = 128;
constexpr size_t kBatches = kChunkLines / kBatchLines;
static_assert(kChunkLines % kBatchLines == 0);

int CheckBatch(const Checker &checker, unsigned jobs) {
  LineReader reader(STDIN_FILENO, kChunkLines, kKeptBytes);
  std::vector<std::unique_ptr<OutputBuffer>> outputs;
  for (size_t b = 0; b < kBatches; ++b) {
    outputs.push_back(std::make_unique<OutputBuffer>(kBatchLines * kOutputPerLine));
  }
  std::atomic<size_t> failed{0};
  while (reader.Next()) {
    const auto lines = reader.lines();
    const size_t batches = (lines.size() + kBatchLines - 1) / kBatchLines;
    std::atomic<size_t> next{0};
    auto work = [&] {
      size_t failed_here = 0;
      for (size_t b; (b = next.fetch_add(1)) < batches;) {
        const auto batch =
            lines.subspan(b * kBatchLines, std::min(kBatchLines, lines.size() - b * kBatchLines));
        failed_here += CheckSlice(checker, batch, outputs[b]->text);
      }
      failed += failed_here;
    };
    std::vector<std::thread> threads;
    for (unsigned j = 1; j < jobs && j < batches; ++j) threads.emplace_back(work);
    work();
    for (std::thread &t : threads) t.join();
    for (size_t b = 0; b < batches; ++b) outputs[b]->Flush();
  }
  if (reader.failed()) {
    perror("quarvel: reading standard input");
    return kExitFailed;
  }
  return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace

int RunCheck(CheckOptions &options) {
  char error[512] = "";
  Env env(quarvel_open(options.root.c_str(), error, sizeof(error)));
  if (env == nullptr) {
    for (std::string &password : options.passwords) {
      quarvel::SecureWipe(password.data(), password.size());
    }
    fprintf(stderr, "quarvel: %s\n", error[0] != '\0' ? error : "the environment cannot be opened");
    return kExitEnvironment;
  }
  const Checker checker(env.get(), options);
  if (!options.passwords.empty()) return CheckArguments(checker, options);
  if (isatty(STDIN_FILENO)) return CheckFromPrompt(checker);
  return CheckBatch(checker, std::max(1u, options.jobs));
}

}  // namespace quarvel::cli
