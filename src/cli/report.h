// How check and explain put a result into words: one line per password for
// people, one JSON object per password for programs, and the phrases both
// share (levels, codes). The explanation's own phrases are in wording.h.
#ifndef QUARVEL_SRC_CLI_REPORT_H_
#define QUARVEL_SRC_CLI_REPORT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/wording.h"
#include "quarvel/engine.h"

namespace quarvel::cli {

// "weak", "fair", "good", "strong"; "not graded" outside 1 to 4.
std::string_view LevelName(int level);

// Why a check answered code instead of a level.
std::string_view CodeReason(int code);

// The names of QUARVEL_NIST_* bits: "too_short", "blocklist", "repetitive",
// "context".
std::vector<std::string_view> NistFailureNames(unsigned failures);

// Appends "; -1 reason" for each of the result's reasons that cost points,
// in their order (stage order), worded by ReasonText.
void AppendLostPoints(std::string &out, const quarvel_result &result);

// Who an entry is: "line 7" in a batch, "argument 2" on the command line.
struct EntryLabel {
  std::string_view kind;  // "line" or "argument"
  uint64_t position;
};

// Appends the human line for one result (and a line feed) to out, then its
// advice lines (AppendAdviceLines). password is shown only when it is not
// empty; bytes is the length of the password checked, which tells whether
// its measured length counts characters (the extended profile's UTF-8).
void AppendHumanLine(std::string &out, EntryLabel label, std::string_view password, size_t bytes,
                     const quarvel_result &result);

// "byte", "bytes", "character" or "characters": the unit of a measured
// length pw_len of a password of bytes bytes.
std::string_view LengthUnit(int pw_len, size_t bytes);

// For a graded result with the estimate, lines indented by two spaces: the
// guesses and the times of an online and a fast offline attack (and the
// reason when --min-guesses capped the level), then "warning: ..." when
// there is one and "suggestion: ..." for each suggestion, in the catalogue's
// English.
void AppendAdviceLines(std::string &out, const quarvel_result &result);

// Appends the JSON object for one result (and a line feed) to out: line,
// code, level, fields, stages, reasons (stage, code, points, value and limit
// where the code uses them, text), match (with its steps), nist, answer, the
// estimate (guesses_log10, crack_seconds by attack, pieces, warning,
// suggestions; null when not graded), and password when not empty. Texts
// are UTF-8: a byte sequence that is not (a password in another encoding)
// is written as U+FFFD, one for each maximal invalid subsequence.
void AppendJsonLine(std::string &out, EntryLabel label, std::string_view password,
                    const quarvel_result &result);

// How check reports each password.
struct ReportOptions {
  bool json = false;
  bool show_password = false;
  int min_level = 1;
  double min_guesses_log10 = -1;  // below 0: no least number of guesses
};

// The password a text holds: its bytes up to the first NUL, as the library
// reads a password (a line with a NUL byte is checked and shown up to it).
std::string_view PasswordOf(std::string_view text);

// Checks the password text holds with env and appends its line (JSON or for
// people) to out; answers whether it reached options.min_level. The result
// record is wiped.
bool CheckAndReport(const quarvel_env *env, std::string_view text, EntryLabel label,
                    const ReportOptions &options, std::string &out);

}  // namespace quarvel::cli

#endif  // QUARVEL_SRC_CLI_REPORT_H_
