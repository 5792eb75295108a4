#include "fuzz_support.h"

#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "quarvel/dictmanger.h"
#include "quarvel/engine.h"
#include "store/dictmanger_internal.h"

// Present when a sanitizer runtime is linked: where its reports go.
extern "C" __attribute__((weak)) void __sanitizer_set_report_fd(void *fd);

namespace quarvel::fuzz {

bool g_replaying = false;

namespace {

int g_report_fd = 2;
std::string g_work_dir;
std::vector<std::string> g_arg_texts;
std::vector<char *> g_arg_pointers;

void RemoveWorkDir() {
  if (g_work_dir.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(g_work_dir, ec);
}

void MakeWorkDir() {
  const char *tmp = getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/quarvel-fuzz-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  FUZZ_CHECK(mkdtemp(name.data()) != nullptr, strerror(errno));
  g_work_dir = name.data();
  FUZZ_CHECK(chdir(g_work_dir.c_str()) == 0, strerror(errno));
  atexit(RemoveWorkDir);
}

void Redirect(int fd, const char *path) {
  const int target = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  FUZZ_CHECK(target >= 0, strerror(errno));
  FUZZ_CHECK(dup2(target, fd) == fd, strerror(errno));
  close(target);
}

bool StartsWith(std::string_view text, std::string_view head) {
  return text.substr(0, head.size()) == head;
}

// libFuzzer's arguments, rewritten for a process that changes folder: every
// relative path made absolute against start, an artifact prefix added when
// none is given, and -close_fd_mask added when quiet asks for it and the
// caller gave none.
void RewriteArguments(int *argc, char ***argv, unsigned quiet, const std::string &start) {
  static constexpr std::string_view kPathFlags[] = {
      "-artifact_prefix=",    "-exact_artifact_path=", "-dict=",
      "-merge_control_file=", "-features_dir=",
  };
  auto absolute = [&start](std::string_view path) {
    return !path.empty() && path[0] != '/' ? start + "/" + std::string(path) : std::string(path);
  };
  bool has_prefix = false, has_mask = false;
  g_arg_texts.clear();
  for (int i = 0; i < *argc; ++i) {
    std::string_view arg = (*argv)[i];
    std::string rewritten(arg);
    if (i > 0 && !arg.empty() && arg[0] != '-') {
      rewritten = absolute(arg);
    } else {
      for (std::string_view flag : kPathFlags) {
        if (StartsWith(arg, flag))
          rewritten = std::string(flag) + absolute(arg.substr(flag.size()));
      }
    }
    has_prefix |= StartsWith(arg, "-artifact_prefix=") || StartsWith(arg, "-exact_artifact_path=");
    has_mask |= StartsWith(arg, "-close_fd_mask=");
    g_arg_texts.push_back(std::move(rewritten));
  }
  if (!has_prefix) g_arg_texts.push_back("-artifact_prefix=" + start + "/");
  if (!has_mask && quiet != 0) g_arg_texts.push_back("-close_fd_mask=" + std::to_string(quiet));
  g_arg_pointers.clear();
  for (std::string &text : g_arg_texts) g_arg_pointers.push_back(text.data());
  g_arg_pointers.push_back(nullptr);
  *argc = static_cast<int>(g_arg_texts.size());
  *argv = g_arg_pointers.data();
}

}  // namespace

void Setup(int *argc, char ***argv, unsigned quiet) {
  const int kept = fcntl(2, F_DUPFD_CLOEXEC, 3);
  if (kept >= 0) g_report_fd = kept;
  std::error_code ec;
  const std::string start = std::filesystem::current_path(ec).string();

  if (g_replaying) {
    if (__sanitizer_set_report_fd != nullptr) {
      __sanitizer_set_report_fd(reinterpret_cast<void *>(static_cast<intptr_t>(g_report_fd)));
    }
    fflush(stdout);
    fflush(stderr);
    if ((quiet & kQuietStdout) != 0) Redirect(1, "/dev/null");
    if ((quiet & kQuietStderr) != 0) Redirect(2, "/dev/null");
  } else if (argc != nullptr && argv != nullptr && *argv != nullptr) {
    RewriteArguments(argc, argv, quiet, start);
  }
  MakeWorkDir();
}

const std::string &WorkDir() { return g_work_dir; }

void Fail(const char *file, int line, const char *expr, const std::string &detail) {
  dprintf(g_report_fd, "\n*** fuzz check failed at %s:%d: %s\n", file, line, expr);
  if (!detail.empty()) dprintf(g_report_fd, "*** %s\n", detail.c_str());
  abort();
}

void Report(std::string_view text) {
  if (write(g_report_fd, text.data(), text.size()) < 0) {
    // Nowhere left to report to.
  }
}

void WriteFile(const std::string &path, std::string_view bytes) {
  FILE *file = fopen(path.c_str(), "wb");
  FUZZ_CHECK(file != nullptr, path + ": " + strerror(errno));
  const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  FUZZ_CHECK(fclose(file) == 0 && written, path);
}

bool ReadFile(const std::string &path, std::string &out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

std::vector<std::string> CStringLines(std::string_view text, size_t max) {
  std::vector<std::string> lines;
  while (!text.empty() && lines.size() < max) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    lines.emplace_back(line.substr(0, line.find('\0')));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

void WriteDictionaryFiles(const std::string &prefix, std::string_view index, std::string_view data,
                          const std::string_view *marks) {
  WriteFile(prefix + ".pwi", index);
  WriteFile(prefix + ".pwd", data);
  if (marks == nullptr) {
    std::remove((prefix + ".hwm").c_str());
  } else {
    WriteFile(prefix + ".hwm", *marks);
  }
}

std::string Printable(std::string_view text, size_t limit) {
  std::string out;
  for (size_t i = 0; i < text.size() && i < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char escaped[5];
      snprintf(escaped, sizeof(escaped), "\\x%02x", c);
      out += escaped;
    }
  }
  if (text.size() > limit) out += "...";
  return out;
}

std::string CaptureStderr(const std::function<void()> &fn) {
  const std::string path = g_work_dir + "/stderr.capture";
  fflush(stderr);
  const int saved = fcntl(2, F_DUPFD_CLOEXEC, 3);
  FUZZ_CHECK(saved >= 0, strerror(errno));
  Redirect(2, path.c_str());
  fn();
  fflush(stderr);
  FUZZ_CHECK(dup2(saved, 2) == 2, strerror(errno));
  close(saved);
  std::string captured;
  ReadFile(path, captured);
  return captured;
}

bool NoDictionaryOpen(const char *probe_prefix) {
  if (pdesc.header.magic == PACKED_DICT_MAGIC) return false;
  bool opened = false;
  const std::string said = CaptureStderr([&] {
    PackedDict *pwp = PWOpen(probe_prefix, "rb");
    opened = pwp != nullptr;
    if (opened) PWClose(pwp);
  });
  return opened && said.find("already open") == std::string::npos;
}

size_t MeasuredLength(std::string_view text) {
  iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return text.size();
  std::string out(text.size() * 4 + 4, '\0');
  char *in = const_cast<char *>(text.data());
  size_t in_left = text.size(), room = out.size();
  char *to = out.data();
  const size_t done = iconv(cd, &in, &in_left, &to, &room);
  iconv_close(cd);
  return done == static_cast<size_t>(-1) || in_left != 0 ? text.size() : (out.size() - room) / 4;
}

std::string BuildLanguageDictionaries() {
  WriteFile("ko.dic",
            "3\n\u1109\u1161\u1105\u1161\u11BC/10\n\u1107\u1175\u1106\u1175\u11AF/10\n"
            "\u1100\u1161\u11B7\u1109\u1161\u1112\u1161\u1103\u1161/44\n");
  WriteFile("de.txt", "Straße\nKäse\nMädchen\n");
  for (const char *language : {"ko", "de"}) {
    const std::string list = std::string(language) == "ko" ? "ko.dic" : "de.txt";
    const std::string prefix = std::string("./dicts/") + language;
    char error[256] = "";
    FUZZ_CHECK(quarvel_build_language(nullptr, language, prefix.c_str(), list.c_str(), nullptr,
                                      nullptr, error, sizeof(error)) == 0,
               std::string(error));
  }
  return "[QUARVEL_LANG]\nlang.ko=./dicts/ko\nlang.ko.romanised=./dicts/ko_roman\n"
         "lang.de=./dicts/de\n";
}

}  // namespace quarvel::fuzz
