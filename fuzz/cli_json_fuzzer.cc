// Fuzz target: `quarvel check --json` on standard input: the command's line
// reader, the check of each line and its JSON line, read back with a JSON
// parser.
//
// Input layout:
//   byte 0   bits 0-2: lines per chunk, less one; bit 3: --show-password;
//            bits 4-7: the reader's input buffer, 1 to 16 times 7 bytes
//   byte 1   bytes kept of a line (0: the command's 258)
//   rest     standard input
//
// Lines come out of the reader, chunk after chunk, as a model of the line
// rules cuts the input: at line feeds, the last line needing none, a
// carriage return that ends a line dropped unless the line was cut to the
// bytes kept. Each line is checked on a fixed environment (the extended
// search on, so that matches quote the password) and its JSON line must be
// one line, parse as UTF-8 JSON, and give the line number, the code, the
// level, the fields, the stages, as many reasons as the record holds, the
// match's kind and word, the answer, and (shown, and not empty) the password
// that was checked: the line up to its first NUL, with every maximal invalid
// UTF-8 subsequence as one U+FFFD. A line is graded exactly when that password
// has 1 to 257 bytes, and then PW_LEN is its length (at most 256 bytes are
// measured; in characters when they are valid UTF-8).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/line_reader.h"
#include "cli/report.h"
#include "fuzz_support.h"
#include "quarvel/engine.h"
#include "quarvel/pwanalysis.h"

namespace {

using quarvel::fuzz::Printable;
using Json = nlohmann::json;

constexpr size_t kCommandKept = 258;
constexpr size_t kLongestPassword = 257;
constexpr size_t kMeasured = 256;

quarvel_env *g_env = nullptr;

struct ModelLine {
  std::string text;  // as kept
};

// The lines of input by the documented rules.
std::vector<ModelLine> ModelLines(std::string_view input, size_t kept) {
  std::vector<ModelLine> lines;
  while (!input.empty()) {
    const size_t feed = input.find('\n');
    const std::string_view raw = input.substr(0, feed);
    input.remove_prefix(feed == std::string_view::npos ? input.size() : feed + 1);
    std::string text(raw.substr(0, kept));
    if (raw.size() <= kept && !text.empty() && text.back() == '\r') text.pop_back();
    lines.push_back({std::move(text)});
  }
  return lines;
}

// Decodes bytes as UTF-8, each maximal subpart of an invalid sequence
// becoming U+FFFD (the practice of the Unicode standard, chapter 3), and
// encodes the result again.
std::string Utf8Replaced(std::string_view bytes) {
  std::string out;
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    size_t need = 0;
    unsigned char low = 0x80, high = 0xbf;
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    } else if (b >= 0xc2 && b <= 0xdf) {
      need = 1;
    } else if (b >= 0xe0 && b <= 0xef) {
      need = 2;
      if (b == 0xe0) low = 0xa0;
      if (b == 0xed) high = 0x9f;
    } else if (b >= 0xf0 && b <= 0xf4) {
      need = 3;
      if (b == 0xf0) low = 0x90;
      if (b == 0xf4) high = 0x8f;
    }
    size_t got = 0;
    if (need > 0) {
      for (; got < need && i + 1 + got < bytes.size(); ++got) {
        const unsigned char c = static_cast<unsigned char>(bytes[i + 1 + got]);
        if (c < (got == 0 ? low : 0x80) || c > (got == 0 ? high : 0xbf)) break;
      }
    }
    if (need > 0 && got == need) {
      out.append(bytes.substr(i, need + 1));
    } else {
      out += "\xef\xbf\xbd";
    }
    i += 1 + got;
  }
  return out;
}

std::string_view KindName(int kind) {
  static const char *const kNames[] = {"none",       "dictionary", "personal", "context",
                                       "unreadable", "pattern",    "breach"};
  return kind >= 0 && kind <= 6 ? kNames[kind] : "none";
}

template <size_t N>
std::string_view Field(const char (&text)[N]) {
  return std::string_view(text, strnlen(text, N));
}

void CheckLine(const std::string &json_line, uint64_t number, std::string_view checked,
               bool shown) {
  FUZZ_CHECK(!json_line.empty() && json_line.back() == '\n' &&
                 json_line.find('\n') == json_line.size() - 1,
             "not one line: " + Printable(json_line));
  Json j;
  try {
    j = Json::parse(json_line);
  } catch (const Json::exception &e) {
    quarvel::fuzz::Fail(__FILE__, __LINE__, "parses",
                        e.what() + std::string(" in ") + Printable(json_line));
  }
  // The record of the same check, to compare with.
  quarvel_result r;
  QUARVEL_RESULT_INIT(&r);
  quarvel_check(g_env, checked.data(), checked.size(), &r);
  const bool graded = !checked.empty() && checked.size() <= kLongestPassword;
  FUZZ_CHECK(j.at("line") == number);
  FUZZ_CHECK(j.at("code") == r.code && (r.code == QUARVEL_OK) == graded,
             "code " + std::to_string(r.code) + " for " + Printable(checked));
  FUZZ_CHECK(j.at("level") == r.level);
  FUZZ_CHECK(j.at("answer") == Utf8Replaced(Field(r.answer)));
  if (shown && !checked.empty()) {
    FUZZ_CHECK(j.at("password") == Utf8Replaced(checked),
               "password " + Printable(j.at("password").get<std::string>()) + " for " +
                   Printable(checked));
  } else {
    FUZZ_CHECK(!j.contains("password"));
  }
  if (!graded) {
    FUZZ_CHECK(j.at("fields").is_null() && j.at("match").is_null() && j.at("reasons").is_null());
    return;
  }
  const Json &fields = j.at("fields");
  // At most 256 bytes are measured.
  FUZZ_CHECK(fields.at("PW_LEN") ==
                 quarvel::fuzz::MeasuredLength(std::string_view(checked).substr(0, kMeasured)),
             fields.at("PW_LEN").dump() + " for " + std::to_string(checked.size()) + " bytes");
  FUZZ_CHECK(fields.at("RT_LEVEL") == r.level && fields.at("PW_NCR") == r.pw_ncr &&
             fields.at("REPT_NCR") == r.rept_ncr && fields.at("CTS_NCR") == r.cts_ncr &&
             fields.at("DICT_FD_CNT") == r.dict_fd_cnt);
  for (int s = 0; s < 6; ++s) FUZZ_CHECK(j.at("stages").at(s) == r.stage_score[s]);
  FUZZ_CHECK(j.at("reasons").size() == static_cast<size_t>(r.reason_count));
  // The estimate: pieces that cover the checked text from its start, one
  // after the other, and add up to it (each after the first charged one
  // more); at most 256 bytes are measured.
  FUZZ_CHECK(j.at("pieces").size() == static_cast<size_t>(r.piece_count));
  FUZZ_CHECK(r.piece_count >= 1 && r.piece_count <= QUARVEL_MAX_PIECES && r.guesses_log10 >= 0);
  int end = 0;
  double sum = 0;
  for (int k = 0; k < r.piece_count; ++k) {
    const quarvel_guess_piece &p = r.pieces[k];
    FUZZ_CHECK(p.start == end && p.length >= 1 && p.guesses_log10 >= 0,
               "piece " + std::to_string(k) + " at " + std::to_string(p.start));
    end += p.length;
    sum += p.guesses_log10 + (k > 0 ? 1 : 0);
  }
  FUZZ_CHECK(end <= static_cast<int>(std::min(checked.size(), kMeasured)));
  if (r.piece_count < QUARVEL_MAX_PIECES) {
    FUZZ_CHECK(end == static_cast<int>(std::min(checked.size(), kMeasured)));
    FUZZ_CHECK(std::abs(std::max(0.0, sum) - r.guesses_log10) < 1e-6,
               std::to_string(sum) + " against " + std::to_string(r.guesses_log10));
  }
  if (r.match.kind == QUARVEL_MATCH_NONE) {
    FUZZ_CHECK(j.at("match").is_null());
  } else {
    const Json &match = j.at("match");
    FUZZ_CHECK(match.at("kind") == KindName(r.match.kind));
    FUZZ_CHECK(match.at("word") == Utf8Replaced(Field(r.match.word)));
    FUZZ_CHECK(match.at("steps").size() == static_cast<size_t>(r.step_count));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  quarvel::fuzz::Setup(argc, argv, quarvel::fuzz::kQuietStdout | quarvel::fuzz::kQuietStderr);
  FUZZ_CHECK(mkdir("conf", 0700) == 0 && mkdir("dicts", 0700) == 0);
  quarvel::fuzz::WriteFile("conf/quarvel.ini",
                           "[QUARVEL_SEARCH]\nquarvel_search.extended=1\n"
                           "quarvel_search.pw_reverse=1\n" +
                               quarvel::fuzz::BuildLanguageDictionaries());
  quarvel::fuzz::WriteFile("words.txt", "password\ndragon\nsunshine\nmonkey\nletmein\nqwerty\n");
  FUZZ_CHECK(std::string_view(CreateDict("words.txt", "./dicts/default_dict")) == "RET_CD=0000");
  char error[256] = "";
  g_env = quarvel_open(".", error, sizeof(error));
  FUZZ_CHECK(g_env != nullptr, error);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  quarvel::fuzz::Reader in(data, size);
  const uint8_t flags = in.Byte();
  const uint8_t kept_byte = in.Byte();
  const size_t max_lines = (flags & 7) + 1;
  const bool show = (flags & 8) != 0;
  const size_t input_bytes = 7 * (static_cast<size_t>(flags >> 4) + 1);
  const size_t kept = kept_byte == 0 ? kCommandKept : kept_byte;
  const std::string_view input = in.Rest();

  quarvel::fuzz::WriteFile("stdin", input);
  const int fd = open("stdin", O_RDONLY);
  FUZZ_CHECK(fd >= 0);
  const std::vector<ModelLine> model = ModelLines(input, kept);
  size_t next = 0;
  {
    quarvel::cli::LineReader reader(fd, max_lines, kept, input_bytes);
    const quarvel::cli::ReportOptions options{/*json=*/true, show, /*min_level=*/3};
    while (reader.Next()) {
      FUZZ_CHECK(reader.lines().size() <= max_lines);
      for (const quarvel::cli::LineReader::Line &line : reader.lines()) {
        FUZZ_CHECK(next < model.size(), "more lines than the input holds");
        FUZZ_CHECK(line.number == next + 1);
        FUZZ_CHECK(line.text == model[next].text, "line " + std::to_string(line.number) + " " +
                                                      Printable(line.text) + ", expected " +
                                                      Printable(model[next].text));
        std::string out;
        const bool passed =
            quarvel::cli::CheckAndReport(g_env, line.text, {"line", line.number}, options, out);
        const std::string_view checked = quarvel::cli::PasswordOf(line.text);
        FUZZ_CHECK(checked ==
                   std::string_view(model[next].text).substr(0, model[next].text.find('\0')));
        CheckLine(out, line.number, checked, show);
        const Json j = Json::parse(out);
        FUZZ_CHECK(passed == (j.at("code") == 0 && j.at("level") >= 3));
        ++next;
      }
    }
    FUZZ_CHECK(!reader.failed());
  }
  close(fd);
  FUZZ_CHECK(next == model.size(), "the reader gave " + std::to_string(next) + " of " +
                                       std::to_string(model.size()) + " lines");
  return 0;
}
