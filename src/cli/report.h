// How check and explain put a result into words: one line per password for
// people, one JSON object per password for programs, and the phrases both
// share (levels, codes, matches, the reason for each lost point).
#ifndef QUARVEL_SRC_CLI_REPORT_H_
#define QUARVEL_SRC_CLI_REPORT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "quarvel/engine.h"

namespace quarvel::cli {

// "weak", "fair", "good", "strong"; "not graded" outside 1 to 4.
std::string_view LevelName(int level);

// Why a check answered code instead of a level.
std::string_view CodeReason(int code);

// The match for a person, for example "reversed form of the dictionary word
// 'dragon' with suffix 12".
std::string DescribeMatch(const quarvel_match &match);

// What a dictionary is called: its configured prefix, or "slot N".
std::string DictionaryName(const quarvel_match &match);

// 3861 as "3,861".
std::string FormatGrouped(uint64_t value);

// A hit in a hashed list for a person: "seen 3,861 times in the
// leaked-password list 'breach'", and the variant when not the password
// itself.
std::string BreachReason(const quarvel_result &result);

// The names of QUARVEL_NIST_* bits: "too_short", "blocklist", "repetitive",
// "context".
std::vector<std::string_view> NistFailureNames(unsigned failures);

// Appends "; -1 reason" for every point lost in stages 2 to 6, in stage
// order. A stage's loss is the drop between its score and the one before it.
void AppendLostPoints(std::string &out, const quarvel_result &result,
                      const quarvel_settings &settings);

// Who an entry is: "line 7" in a batch, "argument 2" on the command line.
struct EntryLabel {
  std::string_view kind;  // "line" or "argument"
  uint64_t position;
};

// Appends the human line for one result (and a line feed) to out. password
// is shown only when it is not empty.
void AppendHumanLine(std::string &out, EntryLabel label, std::string_view password,
                     const quarvel_result &result, const quarvel_settings &settings);

// Appends the JSON object for one result (and a line feed) to out: line,
// code, level, fields, stages, match, answer, and password when not empty.
void AppendJsonLine(std::string &out, EntryLabel label, std::string_view password,
                    const quarvel_result &result);

}  // namespace quarvel::cli

#endif  // QUARVEL_SRC_CLI_REPORT_H_
