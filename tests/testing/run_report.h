// The report of the test programs that run without GoogleTest (the soak and
// the stress program): it goes to the original standard output, while the
// library's trace lines go to /dev/null; failures are counted from any
// thread and the first ones reported. Header-only, with the helpers those
// programs share.
#ifndef QUARVEL_TESTS_TESTING_RUN_REPORT_H_
#define QUARVEL_TESTS_TESTING_RUN_REPORT_H_

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace quarvel::testing {

namespace report_state {
inline constexpr long kMaxReported = 20;
inline FILE *stream = stdout;
inline const char *name = "";
inline std::atomic<long> failures{0};
inline std::mutex mutex;
}  // namespace report_state

// Moves standard output to /dev/null and reports to where it went before,
// each line starting with name. False when that cannot be done.
inline bool StartReport(const char *name) {
  report_state::name = name;
  fflush(stdout);
  const int report_fd = dup(STDOUT_FILENO);
  const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (report_fd < 0 || null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) {
    fprintf(stderr, "%s: cannot redirect standard output\n", name);
    return false;
  }
  close(null_fd);
  report_state::stream = fdopen(report_fd, "w");
  return report_state::stream != nullptr;
}

inline void VReport(const char *format, va_list args) {
  std::lock_guard lock(report_state::mutex);
  fprintf(report_state::stream, "%s: ", report_state::name);
  vfprintf(report_state::stream, format, args);
  fputc('\n', report_state::stream);
  fflush(report_state::stream);
}

// One line of the report (without its line feed).
__attribute__((format(printf, 1, 2))) inline void Report(const char *format, ...) {
  va_list args;
  va_start(args, format);
  VReport(format, args);
  va_end(args);
}

// Counts a failure and reports the first ones.
__attribute__((format(printf, 1, 2))) inline void Fail(const char *format, ...) {
  if (++report_state::failures > report_state::kMaxReported) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof(line), format, args);
  va_end(args);
  Report("FAILED: %s", line);
}

inline long Failures() { return report_state::failures.load(); }

// Reports the outcome and closes the report; the exit status, 0 or 1.
inline int FinishReport() {
  const long failures = Failures();
  if (failures > report_state::kMaxReported) Report("... %ld failures in all", failures);
  Report("%s", failures == 0 ? "passed" : "FAILED");
  if (report_state::stream != stdout) fclose(report_state::stream);
  return failures == 0 ? 0 : 1;
}

// The process's resident memory in KiB, or -1.
inline long ResidentKiB() {
  FILE *statm = fopen("/proc/self/statm", "r");
  if (statm == nullptr) return -1;
  long pages_total = 0, pages_resident = 0;
  const int got = fscanf(statm, "%ld %ld", &pages_total, &pages_resident);
  fclose(statm);
  if (got != 2) return -1;
  return pages_resident * (sysconf(_SC_PAGESIZE) / 1024);
}

inline bool WriteText(const std::string &path, std::string_view text) {
  FILE *file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = fwrite(text.data(), 1, text.size(), file) == text.size();
  return fclose(file) == 0 && ok;
}

}  // namespace quarvel::testing

#endif  // QUARVEL_TESTS_TESTING_RUN_REPORT_H_
