// Rejection reasons, from the engine's result.

#include "pam/rejection.h"

#include <cstring>
#include <iterator>

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

// "(reversed, with a number added, ...)" for the variant bits and rule of a
// match, told from the password's side: the rules trim the password's ends
// ("[", "]"), purge a class of characters from it ("/?p@?p") or read its
// look-alike characters back as letters ("/0s0o"). Empty when the password
// was the word as stored, lower case aside.
std::string VariantNote(const quarvel_match &match) {
  const std::string_view rule(match.rule, strnlen(match.rule, sizeof(match.rule)));
  std::string note;
  auto add = [&note](std::string_view phrase) {
    if (note.find(phrase) != std::string::npos) return;
    note.append(note.empty() ? " (" : ", ").append(phrase);
  };
  if ((match.variants & QUARVEL_VARIANT_REVERSED) != 0) add("reversed");
  if ((match.variants & QUARVEL_VARIANT_RULE) != 0) {
    if (!rule.empty() && (rule.front() == '[' || rule.front() == ']')) {
      add("with characters added");
    } else if (rule.substr(0, 2) == "/?") {
      add("with symbols added");
    } else {
      add("with look-alike characters");
    }
  }
  if ((match.variants & (QUARVEL_VARIANT_PREFIX | QUARVEL_VARIANT_SUFFIX)) != 0) {
    add("with a number added");
  }
  if (!note.empty()) note.push_back(')');
  return note;
}

std::string MatchReason(const quarvel_match &match, std::string_view login) {
  const std::string_view word(match.word, strnlen(match.word, sizeof(match.word)));
  std::string base;
  switch (match.kind) {
    case QUARVEL_MATCH_PERSONAL:
      base = "it is based on a word of the personal dictionary";
      break;
    case QUARVEL_MATCH_CONTEXT:
      base = word == NormalizedWord(login) ? "it is based on your user name"
                                           : "it is based on your personal information";
      break;
    default:
      base = "it is based on a dictionary word";
      break;
  }
  return base + VariantNote(match);
}

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

Verdict Judge(const quarvel_result &result, size_t length, int min_level, std::string_view login) {
  if (result.code == QUARVEL_BAD_PASSWORD) {
    return {Outcome::kRefused, length == 0 ? "it is empty" : "it is longer than 257 characters"};
  }
  if (result.code != QUARVEL_OK) {
    return {Outcome::kUnchecked, "the engine answered " + std::to_string(result.code)};
  }
  if (result.match.kind == QUARVEL_MATCH_UNREADABLE) {
    return {Outcome::kUnchecked, "a dictionary could not be read"};
  }
  if (result.level >= min_level) return {Outcome::kAccepted, {}};
  if (result.match.kind != QUARVEL_MATCH_NONE) {
    return {Outcome::kRefused, MatchReason(result.match, login)};
  }
  for (int stage = 0; stage < static_cast<int>(std::size(result.stage_score)); ++stage) {
    if (result.stage_score[stage] < min_level) {
      return {Outcome::kRefused, StageReason(result, stage, min_level)};
    }
  }
  // The level is below the minimum, so some stage's score is: unreachable
  // unless the record disagrees with itself.
  return {Outcome::kUnchecked, "the result's level and stage scores disagree"};
}

}  // namespace quarvel::pam
