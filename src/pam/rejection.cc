// Rejection reasons, from the reason and step codes of the engine's result.

#include "pam/rejection.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <span>

#include "pam/context_words.h"

namespace quarvel::pam {

namespace {

// The scores of the length-and-classes stage: no password under this length
// scores above the lowest level, and from it on, three character classes
// reach level 3 where fewer do not.
constexpr int kShortLength = 7;
constexpr int kEnoughClasses = 3;

// The stages in the order the engine scores them (stage_score[0..5]).
enum Stage { kLengthAndClasses, kDistinct, kRepeats, kSequences, kDictionary, kPersonal };

// How the password differs from the word, told from the password's side,
// in a fixed order whatever the order of the steps.
enum Difference { kReversed, kTwice, kCharacters, kSymbols, kLookAlike, kNumber, kDifferences };

constexpr std::string_view kDifferencePhrases[kDifferences] = {"reversed",
                                                               "written twice",
                                                               "with characters added",
                                                               "with symbols added",
                                                               "with look-alike characters",
                                                               "with a number added"};

// The difference a step makes; kDifferences for none worth telling (the
// case of letters, a rule step, which the steps after it tell).
Difference DifferenceOf(const quarvel_step &step) {
  switch (step.code) {
    case QUARVEL_STEP_REVERSED:
      return kReversed;
    case QUARVEL_STEP_DOUBLED:
      return kTwice;
    case QUARVEL_STEP_CUT_FIRST:
    case QUARVEL_STEP_CUT_LAST:
    case QUARVEL_STEP_DROPPED:
    case QUARVEL_STEP_INSIDE:
      return kCharacters;
    case QUARVEL_STEP_PUNCTUATION_REMOVED:
    case QUARVEL_STEP_SYMBOLS_REMOVED:
    case QUARVEL_STEP_NON_ALNUM_REMOVED:
      return kSymbols;
    case QUARVEL_STEP_READ_AS:
      return kLookAlike;
    case QUARVEL_STEP_SUFFIX:
    case QUARVEL_STEP_PREFIX:
      return kNumber;
    case QUARVEL_STEP_CUT_START:
    case QUARVEL_STEP_CUT_END:
      return step.piece == QUARVEL_PIECE_SYMBOLS ? kSymbols : kNumber;
    default:
      return kDifferences;
  }
}

std::span<const quarvel_step> StepsOf(const quarvel_result &result) {
  if (result.size < sizeof(quarvel_result)) return {};
  const int n = std::clamp(result.step_count, 0, QUARVEL_MAX_STEPS);
  return {result.match_steps, static_cast<size_t>(n)};
}

std::span<const quarvel_reason> ReasonsOf(const quarvel_result &result) {
  if (result.size < sizeof(quarvel_result)) return {};
  const int n = std::clamp(result.reason_count, 0, QUARVEL_MAX_REASONS);
  return {result.reasons, static_cast<size_t>(n)};
}

// " (reversed, with a number added)" for the steps of a match; empty when
// the password was the word as stored, case aside.
std::string DifferenceNote(std::span<const quarvel_step> steps) {
  bool seen[kDifferences + 1] = {};
  for (const quarvel_step &step : steps) seen[DifferenceOf(step)] = true;
  std::string note;
  for (int d = 0; d < kDifferences; ++d) {
    if (seen[d]) note.append(note.empty() ? " (" : ", ").append(kDifferencePhrases[d]);
  }
  if (!note.empty()) note.push_back(')');
  return note;
}

// Why a reason of the dictionary or personal stage refuses the password.
std::string MatchReason(const quarvel_result &result, int code, std::string_view login) {
  const quarvel_match &match = result.match;
  const std::string_view word(match.word, strnlen(match.word, sizeof(match.word)));
  std::string base;
  switch (code) {
    case QUARVEL_REASON_PERSONAL:
      base = "it is based on a word of the personal dictionary";
      break;
    case QUARVEL_REASON_CONTEXT:
      base = word == NormalizedWord(login) ? "it is based on your user name"
                                           : "it is based on your personal information";
      break;
    case QUARVEL_REASON_BREACH:
      base = "it is based on a leaked password";
      break;
    case QUARVEL_REASON_PATTERN:
      return "it is a keyboard pattern, a sequence or a date";
    default:
      base = "it is based on a dictionary word";
      break;
  }
  return base + DifferenceNote(StepsOf(result));
}

// The warning and the first suggestion, from the catalogue.
std::string Advice(const quarvel_result &result) {
  if (result.size < sizeof(quarvel_result)) return {};
  std::string advice = quarvel_warning_text(result.warning);
  if (result.suggestion_count > 0) {
    const std::string_view suggestion = quarvel_suggestion_text(result.suggestions[0]);
    if (!advice.empty() && !suggestion.empty()) advice += ' ';
    advice += suggestion;
  }
  return advice;
}

bool BelowGuesses(const quarvel_result &result, double min_guesses_log10) {
  return min_guesses_log10 >= 0 && result.size >= sizeof(quarvel_result) &&
         result.guesses_log10 < min_guesses_log10;
}

constexpr char kFewGuesses[] = "it is too easy to guess";

std::string StageReason(const quarvel_result &result, int stage, int min_level) {
  switch (stage) {
    case kLengthAndClasses:
      if (result.pw_len >= kShortLength && result.pw_ncr < kEnoughClasses && min_level <= 3) {
        return "it does not contain enough character classes";
      }
      return "it is too short";
    case kDistinct:
      return "it does not contain enough different characters";
    case kRepeats:
      return "it repeats pieces of itself";
    case kSequences:
      return "it contains too many characters in sequence (like abc or 321)";
    case kPersonal:
      return "it is based on a word of the personal dictionary";
    default:
      return "it is based on a dictionary word";
  }
}

}  // namespace

Verdict Judge(const quarvel_result &result, size_t length, int min_level, std::string_view login,
              double min_guesses_log10) {
  if (result.code == QUARVEL_BAD_PASSWORD) {
    return {
        Outcome::kRefused, length == 0 ? "it is empty" : "it is longer than 257 characters", {}};
  }
  if (result.code != QUARVEL_OK) {
    return {Outcome::kUnchecked, "the engine answered " + std::to_string(result.code), {}};
  }
  const std::span<const quarvel_reason> reasons = ReasonsOf(result);
  for (const quarvel_reason &reason : reasons) {
    if (reason.code == QUARVEL_REASON_UNREADABLE) {
      return {Outcome::kUnchecked, "a dictionary could not be read", {}};
    }
  }
  const bool few_guesses = BelowGuesses(result, min_guesses_log10);
  if (result.level >= min_level && !few_guesses) return {Outcome::kAccepted, {}, {}};
  Verdict verdict{Outcome::kRefused, {}, Advice(result)};
  if (result.level >= min_level) {
    verdict.reason = kFewGuesses;
    return verdict;
  }
  for (const quarvel_reason &reason : reasons) {
    if (reason.stage == 5 || reason.stage == 6) {
      verdict.reason = MatchReason(result, reason.code, login);
      return verdict;
    }
  }
  for (int stage = 0; stage < static_cast<int>(std::size(result.stage_score)); ++stage) {
    if (result.stage_score[stage] < min_level) {
      verdict.reason = StageReason(result, stage, min_level);
      return verdict;
    }
  }
  // The scores reach the minimum: the configuration's least number of
  // guesses capped the level.
  for (const quarvel_reason &reason : reasons) {
    if (reason.code == QUARVEL_REASON_FEW_GUESSES) {
      verdict.reason = kFewGuesses;
      return verdict;
    }
  }
  // The level is below the minimum, so some stage's score is: unreachable
  // unless the record disagrees with itself.
  return {Outcome::kUnchecked, "the result's level and stage scores disagree", {}};
}

}  // namespace quarvel::pam
