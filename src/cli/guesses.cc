// The command's English for the guess estimate.

#include "cli/guesses.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace quarvel::cli {
namespace {

constexpr double kMinute = 60, kHour = 60 * kMinute, kDay = 24 * kHour, kYear = 365.25 * kDay,
                 kMonth = kYear / 12;

std::string Counted(double count, std::string_view unit) {
  const long long n = std::llround(count);
  return std::to_string(n) + " " + std::string(unit) + (n == 1 ? "" : "s");
}

std::string PowerOfTen(double log10) {
  char text[32];
  snprintf(text, sizeof(text), "10^%.1f", log10);
  return text;
}

// The names of the transformation bits, spoken, separated by ", ".
std::string Transforms(unsigned bits) {
  std::string text;
  for (unsigned bit = 1; bit != 0; bit <<= 1) {
    if ((bits & bit) == 0) continue;
    const std::string_view name = quarvel_guess_name(QUARVEL_NAME_TRANSFORM, static_cast<int>(bit));
    if (name.empty()) continue;
    if (!text.empty()) text += ", ";
    text += Spoken(name);
  }
  return text;
}

}  // namespace

bool HasEstimate(const quarvel_result &result) {
  return result.size >= offsetof(quarvel_result, pieces) + sizeof(result.pieces);
}

std::span<const quarvel_guess_piece> PiecesOf(const quarvel_result &result) {
  if (!HasEstimate(result)) return {};
  const int n = std::clamp(result.piece_count, 0, QUARVEL_MAX_PIECES);
  return {result.pieces, static_cast<size_t>(n)};
}

std::span<const int> SuggestionsOf(const quarvel_result &result) {
  if (!HasEstimate(result)) return {};
  const int n = std::clamp(result.suggestion_count, 0, QUARVEL_MAX_SUGGESTIONS);
  return {result.suggestions, static_cast<size_t>(n)};
}

std::string HumanDuration(double seconds) {
  if (!(seconds >= 1)) return "instant";
  if (seconds < kMinute) return Counted(seconds, "second");
  if (seconds < kHour) return Counted(seconds / kMinute, "minute");
  if (seconds < kDay) return Counted(seconds / kHour, "hour");
  if (seconds < kMonth) return Counted(seconds / kDay, "day");
  if (seconds < kYear) return Counted(seconds / kMonth, "month");
  if (seconds < 100 * kYear) return Counted(seconds / kYear, "year");
  return "centuries";
}

std::string GuessesText(const quarvel_result &result) {
  if (!HasEstimate(result)) return "no estimate";
  return "about " + PowerOfTen(result.guesses_log10) + " guesses";
}

std::string Spoken(std::string_view name) {
  std::string text(name);
  std::replace(text.begin(), text.end(), '_', ' ');
  return text;
}

std::string EstimateText(const quarvel_result &result, std::span<const int> attacks) {
  std::string text = GuessesText(result);
  if (!HasEstimate(result)) return text;
  std::string_view separator = "; ";
  for (const int attack : attacks) {
    if (attack < 0 || attack >= QUARVEL_ATTACKS) continue;
    text += separator;
    text += Spoken(quarvel_guess_name(QUARVEL_NAME_ATTACK, attack));
    text += ": ";
    text += HumanDuration(result.crack_seconds[attack]);
    separator = ", ";
  }
  return text;
}

std::string PieceText(const quarvel_guess_piece &piece, std::string_view dictionary) {
  std::string text = piece.length == 1 ? "byte " + std::to_string(piece.start + 1)
                                       : "bytes " + std::to_string(piece.start + 1) + "-" +
                                             std::to_string(piece.start + piece.length);
  text += ": ";
  const std::string_view kind = quarvel_guess_name(QUARVEL_NAME_PIECE, piece.kind);
  text += kind.empty() ? "piece " + std::to_string(piece.kind) : Spoken(kind);
  if (piece.kind == QUARVEL_GUESS_DICTIONARY || piece.kind == QUARVEL_GUESS_CONTEXT) {
    text += " word";
  }
  const std::string_view word(piece.word, strnlen(piece.word, sizeof(piece.word)));
  if (!word.empty()) text += " '" + std::string(word) + "'";

  std::string details;
  if (piece.kind == QUARVEL_GUESS_DICTIONARY || piece.kind == QUARVEL_GUESS_CONTEXT) {
    details = "rank " + std::to_string(piece.rank);
    if (!dictionary.empty()) details += " in " + std::string(dictionary);
  } else if (piece.kind == QUARVEL_GUESS_REPEAT) {
    details = "written " + std::to_string(piece.rank) + " times";
  }
  const std::string transforms = Transforms(piece.transforms);
  if (!transforms.empty()) details += (details.empty() ? "" : ", ") + transforms;
  if (!details.empty()) text += " (" + details + ")";
  return text + ", " + PowerOfTen(piece.guesses_log10) + " guesses";
}

void AppendAdviceTexts(std::string &out, const quarvel_result &result,
                       std::string_view warning_label, std::string_view suggestion_label) {
  if (!HasEstimate(result)) return;
  auto line = [&out](std::string_view label, std::string_view text) {
    if (text.empty()) return;
    out += label;
    out += text;
    out += '\n';
  };
  line(warning_label, quarvel_warning_text(result.warning));
  for (const int code : SuggestionsOf(result))
    line(suggestion_label, quarvel_suggestion_text(code));
}

bool CapByGuesses(quarvel_result &result, double min_log10) {
  if (result.code != QUARVEL_OK || !HasEstimate(result)) return false;
  if (!(result.guesses_log10 < min_log10) || result.level <= 2) return false;
  if (result.reason_count >= 0 && result.reason_count < QUARVEL_MAX_REASONS) {
    result.reasons[result.reason_count++] = {0, QUARVEL_REASON_FEW_GUESSES, 0, result.level, 2};
  }
  result.level = 2;
  // The answer says what the configuration key would have made it say.
  constexpr std::string_view kLevel = "RT_LEVEL=";
  const std::string_view answer(result.answer, strnlen(result.answer, sizeof(result.answer)));
  const size_t at = answer.find(kLevel);
  if (at != std::string_view::npos && at + kLevel.size() < answer.size()) {
    result.answer[at + kLevel.size()] = '2';
  }
  return true;
}

}  // namespace quarvel::cli
