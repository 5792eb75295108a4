// quarvel explain: one password's check, stage by stage, for a person.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/secure_wipe.h"
#include "cli/commands.h"
#include "cli/guesses.h"
#include "cli/line_reader.h"
#include "cli/report.h"
#include "cli/terminal.h"
#include "cli/wording.h"
#include "quarvel/engine.h"

namespace quarvel::cli {
namespace {

constexpr size_t kKeptBytes = 258;

std::string Cost(int lost) {
  if (lost <= 0) return "No point lost.";
  return std::to_string(lost) + (lost == 1 ? " point lost." : " points lost.");
}

std::string NumbersTried(int count) {
  if (count == 10) return "0 to 9";
  if (count == 100) return "00 to 99";
  return "";
}

// The variants the dictionary search tries, as the settings give them.
std::string VariantsTried(const quarvel_settings &s) {
  std::string text = "lower-cased and mangled by the rules";
  if (!NumbersTried(s.suffix_numbers).empty()) {
    text += ", numbers " + NumbersTried(s.suffix_numbers) + " cut from the end";
  }
  if (!NumbersTried(s.prefix_numbers).empty()) {
    text += ", numbers " + NumbersTried(s.prefix_numbers) + " cut from the start";
  }
  if (s.reverse) text += ", reversed";
  return text;
}

std::string ConfiguredDictionaries(const quarvel_settings &s) {
  std::string list;
  for (const auto &prefix : s.dict_prefix) {
    const std::string_view name(prefix, strnlen(prefix, sizeof(prefix)));
    if (name.empty()) continue;
    if (!list.empty()) list += ", ";
    list += name;
  }
  return list;
}

// The NIST SP 800-63B verdict in a sentence.
std::string NistVerdict(const quarvel_result &r) {
  const std::string length = std::to_string(r.nist_length) + " characters, " +
                             std::to_string(r.nist_min_length) + " required";
  if (r.nist_ok) return "satisfied (" + length + ").";
  std::string text = "not satisfied:";
  std::string_view separator = " ";
  auto add = [&](const std::string &part) {
    text += separator;
    text += part;
    separator = "; ";
  };
  if (r.nist_failures & QUARVEL_NIST_TOO_SHORT) add("too short (" + length + ")");
  if (r.nist_failures & QUARVEL_NIST_BLOCKLIST) add("in the blocklist");
  if (r.nist_failures & QUARVEL_NIST_REPETITIVE) add("repetitive or sequential characters");
  if (r.nist_failures & QUARVEL_NIST_CONTEXT) add("a context word");
  return text + ".";
}

// The guess estimate: the guesses and every attack's time, the pieces
// left to right, the warning and the suggestions.
std::string Estimate(const quarvel_result &r, const quarvel_settings &s) {
  if (!HasEstimate(r)) return "";
  static constexpr int kAttacks[] = {QUARVEL_ATTACK_ONLINE_THROTTLED, QUARVEL_ATTACK_ONLINE,
                                     QUARVEL_ATTACK_OFFLINE_SLOW, QUARVEL_ATTACK_OFFLINE_FAST};
  std::string text = "Guess estimate: " + EstimateText(r, kAttacks) + ".\n";
  int n = 0;
  for (const quarvel_guess_piece &piece : PiecesOf(r)) {
    std::string dictionary;
    if (piece.slot >= 0 && piece.slot < 8) {
      dictionary = std::string(s.dict_prefix[piece.slot],
                               strnlen(s.dict_prefix[piece.slot], sizeof(s.dict_prefix[0])));
    } else if (piece.slot == 8) {
      dictionary = "the personal dictionary";
    }
    text += "Piece " + std::to_string(++n) + ", " + PieceText(piece, dictionary) + ".\n";
  }
  AppendAdviceTexts(text, r, "Warning: ", "Suggestion: ");
  return text;
}

// The reason of a stage, or null when it lost no point.
const quarvel_reason *ReasonOfStage(const quarvel_result &r, int stage) {
  for (const quarvel_reason &reason : ReasonsOf(r)) {
    if (reason.stage == stage) return &reason;
  }
  return nullptr;
}

std::string Explain(const quarvel_result &r, const quarvel_settings &s, size_t bytes) {
  const int *score = r.stage_score;
  std::string text;
  auto line = [&](int stage, const std::string &what) {
    text += "Stage " + std::to_string(stage) + ", " + what;
    text += " Score " + std::to_string(score[stage - 1]) + ".\n";
  };
  line(1, "length and character classes: " + std::to_string(r.pw_len) + " " +
              std::string(LengthUnit(r.pw_len, bytes)) + ", " + std::to_string(r.pw_ncr) +
              " of the 4 classes (digits, lower case, upper case, " + "symbols): the base score.");
  line(2, "distinct characters: " + std::to_string(r.distinct) + "; fewer than " +
              std::to_string(s.min_diff) + " cost a point. " + Cost(score[0] - score[1]));
  if (s.use_min_rept) {
    line(3, "repeated two-character pieces: " + std::to_string(r.rept_ncr) + "; more than " +
                std::to_string(s.min_rept) + " cost a point. " + Cost(score[1] - score[2]));
  } else {
    line(3, "repeated two-character pieces: not measured (quarvel_search.pw_min_rept is 0). " +
                Cost(score[1] - score[2]));
  }
  line(4, "neighbours in sequence (such as \"ab\" or \"32\"): " + std::to_string(r.cts_ncr) +
              "; more than " + std::to_string(s.min_step) + " cost a point. " +
              Cost(score[2] - score[3]));

  const int searched = s.dict_count;
  const int lost5 = score[3] - score[4];
  const quarvel_reason *reason5 = ReasonOfStage(r, 5);
  const int code5 = reason5 != nullptr ? reason5->code : 0;
  std::string stage5 = "dictionaries (" + ConfiguredDictionaries(s) + "): ";
  if (lost5 > 0 && code5 == QUARVEL_REASON_DICTIONARY) {
    stage5 += "found in dictionary " + std::to_string(r.dict_fd_cnt) + " of " +
              std::to_string(searched) + ", " + DictionaryName(r.match) + ", as " +
              DescribeMatch(r) + ". ";
  } else if (lost5 > 0 && code5 == QUARVEL_REASON_BREACH) {
    stage5 += BreachReason(r) + ". ";
  } else if (lost5 > 0 && code5 == QUARVEL_REASON_UNREADABLE) {
    stage5 += ReasonText(r, *reason5) + ". ";
  } else if (lost5 > 0) {
    stage5 += "found, as " + DescribeMatch(r) + ". ";
  } else {
    stage5 += "none of the " + std::to_string(searched) +
              " holds it or a variant of it (tried: " + VariantsTried(s) + "). ";
  }
  line(5, stage5 + Cost(lost5));

  const int lost6 = score[4] - score[5];
  const quarvel_reason *reason6 = ReasonOfStage(r, 6);
  std::string stage6 = "personal dictionary: ";
  if (r.pdict_fd < 0) {
    stage6 += "not in use. ";
  } else if (lost6 > 0 && reason6 != nullptr && reason6->code == QUARVEL_REASON_PERSONAL &&
             r.match.kind == QUARVEL_MATCH_PERSONAL) {
    stage6 += "found, as " + DescribeMatch(r) + ". ";
  } else if (lost6 > 0) {
    stage6 += "found. ";
  } else {
    stage6 += "not found. ";
  }
  line(6, stage6 + Cost(lost6));

  if (r.match.kind == QUARVEL_MATCH_DICTIONARY || r.match.kind == QUARVEL_MATCH_PERSONAL ||
      r.match.kind == QUARVEL_MATCH_CONTEXT || r.match.kind == QUARVEL_MATCH_BREACH) {
    const char *what = r.match.kind == QUARVEL_MATCH_BREACH ? "leaked password" : "stored word";
    text += "The match: " + std::string(what) + " '" + std::string(r.match.word) + "', rule '" +
            std::string(r.match.rule) + "', read as: " + StepsText(StepsOf(r)) + ".\n";
  }
  text += "Level " + std::to_string(r.level) + " of 4 (" + std::string(LevelName(r.level)) + ")";
  const quarvel_reason *capped = ReasonOfStage(r, 0);
  if (capped != nullptr &&
      (capped->code == QUARVEL_REASON_LEVEL_CAPPED || capped->code == QUARVEL_REASON_FEW_GUESSES)) {
    text += ": " + ReasonText(r, *capped);
  }
  text += ".\n";
  text += "NIST SP 800-63B: " + NistVerdict(r) + "\n";
  text += Estimate(r, s);
  text += "Answer: " + std::string(r.answer) + "\n";
  return text;
}

// The password to explain when none was given: from the terminal without
// echo, else the first line of standard input.
SecretStatus ReadPassword(char (&buffer)[kKeptBytes + 1], size_t *length) {
  if (isatty(STDIN_FILENO)) return ReadSecret("Password: ", buffer, sizeof(buffer), length);
  LineReader reader(STDIN_FILENO, 1, kKeptBytes);
  if (!reader.Next()) return SecretStatus::kEnd;
  const std::string_view line = reader.lines()[0].text;
  memcpy(buffer, line.data(), line.size());
  buffer[line.size()] = '\0';
  *length = line.size();
  return SecretStatus::kRead;
}

}  // namespace

int RunExplain(ExplainOptions &options) {
  char buffer[kKeptBytes + 1] = {};
  std::string_view password = options.password;
  char error[512] = "";
  std::unique_ptr<quarvel_env, void (*)(quarvel_env *)> env(
      quarvel_open(options.root.c_str(), error, sizeof(error)), quarvel_close);
  if (env == nullptr) {
    quarvel::SecureWipe(options.password.data(), options.password.size());
    fprintf(stderr, "quarvel: %s\n", error[0] != '\0' ? error : "the environment cannot be opened");
    return kExitEnvironment;
  }
  if (!options.has_password) {
    size_t length = 0;
    const SecretStatus status = ReadPassword(buffer, &length);
    if (status == SecretStatus::kInterrupted) return 130;
    if (status == SecretStatus::kEnd) {
      fprintf(stderr, "quarvel: no password given\n");
      return kExitUsage;
    }
    password = std::string_view(buffer, length);
  }

  quarvel_settings settings = {};
  settings.size = sizeof(settings);
  quarvel_get_settings(env.get(), &settings);
  quarvel_result result = {};
  QUARVEL_RESULT_INIT(&result);
  quarvel_check(env.get(), password.data(), password.size(), &result);
  quarvel::SecureWipe(buffer, sizeof(buffer));
  quarvel::SecureWipe(options.password.data(), options.password.size());

  std::string text;
  if (result.code != QUARVEL_OK) {
    text = "Not graded: code " + std::to_string(result.code) + ", " +
           std::string(CodeReason(result.code)) + ".\n";
  } else {
    text = Explain(result, settings, password.size());
  }
  WriteAll(STDOUT_FILENO, text);
  quarvel::SecureWipe(text.data(), text.size());
  const bool graded = result.code == QUARVEL_OK;
  quarvel::SecureWipe(&result, sizeof(result));
  return graded ? kExitOk : kExitFailed;
}

}  // namespace quarvel::cli
