// The no-echo prompt and the progress bar.

#include "cli/terminal.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "cli/line_reader.h"

namespace quarvel::cli {
namespace {

volatile sig_atomic_t g_prompt_interrupted = 0;

void OnPromptSignal(int) { g_prompt_interrupted = 1; }

std::string_view PhaseName(int phase) {
  switch (phase) {
    case QUARVEL_BUILD_READING:
      return "reading";
    case QUARVEL_BUILD_SORTING:
      return "sorting";
    case QUARVEL_BUILD_WRITING:
      return "writing";
    case QUARVEL_BUILD_DONE:
      return "done";
    default:
      return "building";
  }
}

}  // namespace

SecretStatus ReadSecret(const char *prompt, char *buffer, size_t size, size_t *length) {
  *length = 0;
  if (size == 0) return SecretStatus::kEnd;
  buffer[0] = '\0';

  termios saved;
  const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  // Ctrl-C and a termination request end the prompt, not the process, so
  // that echo is switched back on first. The signals are blocked except
  // while waiting for input (ppoll), so none can slip in between a look at
  // the flag and the wait.
  struct sigaction action = {}, old_int = {}, old_term = {};
  action.sa_handler = OnPromptSignal;
  sigemptyset(&action.sa_mask);
  g_prompt_interrupted = 0;
  sigaction(SIGINT, &action, &old_int);
  sigaction(SIGTERM, &action, &old_term);
  sigset_t stop_signals, old_mask;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, &old_mask);
  // Echo is off before the prompt shows, so nothing typed is ever echoed.
  WriteAll(STDERR_FILENO, prompt);

  SecretStatus status = SecretStatus::kEnd;
  size_t n = 0;
  for (;;) {
    if (g_prompt_interrupted) {
      status = SecretStatus::kInterrupted;
      break;
    }
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    const int ready = ppoll(&input, 1, nullptr, &old_mask);
    if (ready < 0 && errno == EINTR) continue;
    char c = '\0';
    const ssize_t got = ready < 0 ? -1 : read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      status = n > 0 ? SecretStatus::kRead : SecretStatus::kEnd;
      break;
    }
    if (c == '\n') {
      status = SecretStatus::kRead;
      break;
    }
    if (n + 1 < size) buffer[n++] = c;
    c = '\0';
  }
  buffer[n] = '\0';
  *length = n;

  if (terminal) tcsetattr(STDIN_FILENO, TCSADRAIN, &saved);
  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGTERM, &old_term, nullptr);
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  if (status == SecretStatus::kInterrupted) WriteAll(STDERR_FILENO, "\n");
  return status;
}

std::string FormatBytes(uint64_t bytes) {
  static constexpr const char *kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes);
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  snprintf(text, sizeof(text), unit == 0 ? "%.0f %s" : "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string FormatDuration(double seconds) {
  if (seconds < 0) return "?";
  const auto total = static_cast<unsigned long long>(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    snprintf(text, sizeof(text), "%llu:%02llu:%02llu", total / 3600, total / 60 % 60, total % 60);
  } else {
    snprintf(text, sizeof(text), "%llu:%02llu", total / 60, total % 60);
  }
  return text;
}

std::string FormatCount(uint64_t count) {
  const std::string digits = std::to_string(count);
  std::string text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

void ProgressBar::Update(const quarvel_build_progress &p) {
  if (!enabled_) return;
  // Redrawn at each phase change and at most ten times a second.
  if (p.phase == phase_ && drawn_at_ >= 0 && p.elapsed_seconds - drawn_at_ < 0.1) return;
  phase_ = p.phase;
  drawn_at_ = p.elapsed_seconds;

  std::string line = "\r\033[K";
  line += PhaseName(p.phase);
  line += "  ";
  const double elapsed = p.elapsed_seconds > 0 ? p.elapsed_seconds : 0;
  if (p.phase == QUARVEL_BUILD_READING) {
    line += FormatBytes(p.bytes_read);
    if (p.bytes_total > 0) {
      line += " / " + FormatBytes(p.bytes_total);
      line += " (" + std::to_string(p.bytes_read * 100 / p.bytes_total) + "%)";
    }
    line += "  " + FormatCount(p.words) + " words";
    if (elapsed > 0) {
      line += "  " +
              FormatBytes(static_cast<uint64_t>(static_cast<double>(p.bytes_read) / elapsed)) +
              "/s";
    }
  } else {
    line += FormatBytes(p.bytes_read) + " read  " + FormatCount(p.words);
    if (p.words_total > 0) line += " / " + FormatCount(p.words_total);
    line += " words";
    // Sorting has no rate of its own: its words were all read before.
    if (p.phase == QUARVEL_BUILD_WRITING && elapsed > 0) {
      line += "  " + FormatCount(static_cast<uint64_t>(static_cast<double>(p.words) / elapsed)) +
              " words/s";
    }
  }
  line +=
      "  " + FormatDuration(elapsed) + " elapsed, " + FormatDuration(p.remaining_seconds) + " left";
  WriteAll(STDERR_FILENO, line);
  drawn_ = true;
}

void ProgressBar::Clear() {
  if (!drawn_) return;
  WriteAll(STDERR_FILENO, "\r\033[K");
  drawn_ = false;
}

}  // namespace quarvel::cli
