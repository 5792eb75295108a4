// The command's English for the explanation codes.

#include "cli/wording.h"

#include <cstddef>
#include <cstring>

namespace quarvel::cli {
namespace {

// A fixed-size text field of a record, up to its first NUL.
template <size_t N>
std::string_view Field(const char (&text)[N]) {
  return std::string_view(text, strnlen(text, N));
}

// The names of codes 1 to N, in the order of the codes.
constexpr std::string_view kReasonNames[] = {
    "few_distinct", "repeats",    "sequences", "dictionary",   "breach",     "context",
    "pattern",      "unreadable", "personal",  "level_capped", "few_guesses"};
constexpr std::string_view kStepNames[] = {"lowercased",
                                           "capitalised",
                                           "uppercased",
                                           "reversed",
                                           "rule",
                                           "cut_first",
                                           "cut_last",
                                           "punctuation_removed",
                                           "symbols_removed",
                                           "non_alnum_removed",
                                           "read_as",
                                           "dropped",
                                           "suffix",
                                           "prefix",
                                           "doubled",
                                           "inside",
                                           "cut_start",
                                           "cut_end",
                                           "pattern",
                                           "typed_latin",
                                           "accents_folded"};
constexpr std::string_view kPieceNames[] = {"digits",        "year",     "date", "symbols",
                                            "keyboard_walk", "sequence", "run"};
static_assert(std::size(kReasonNames) == QUARVEL_REASON_FEW_GUESSES);
static_assert(std::size(kStepNames) == QUARVEL_STEP_ACCENTS_FOLDED);
static_assert(std::size(kPieceNames) == QUARVEL_PIECE_RUN);

template <size_t N>
std::string_view NameOf(const std::string_view (&names)[N], int code) {
  if (code < 1 || static_cast<size_t>(code) > N) return {};
  return names[code - 1];
}

std::string Quoted(std::string_view text) {
  // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) of
  // "'" + std::string.
  std::string out;
  out.reserve(text.size() + 2);
  out.append(1, '\'').append(text).append(1, '\'');
  return out;
}

std::string Characters(std::string_view which, int count) {
  return std::string(which) + " " + std::to_string(count) +
         (count == 1 ? " character removed" : " characters removed");
}

bool IsCut(const quarvel_step &step) {
  return step.code == QUARVEL_STEP_CUT_START || step.code == QUARVEL_STEP_CUT_END;
}

bool IsCase(int code) {
  return code == QUARVEL_STEP_LOWERCASED || code == QUARVEL_STEP_CAPITALISED ||
         code == QUARVEL_STEP_UPPERCASED;
}

// One step for a person; "" for a rule step, which its effects tell.
std::string StepPhrase(const quarvel_step &step) {
  const std::string_view arg = Field(step.arg);
  switch (step.code) {
    case QUARVEL_STEP_LOWERCASED:
      return "lower-cased";
    case QUARVEL_STEP_CAPITALISED:
      return "capitalised";
    case QUARVEL_STEP_UPPERCASED:
      return "upper-cased";
    case QUARVEL_STEP_REVERSED:
      return "reversed";
    case QUARVEL_STEP_CUT_FIRST:
      return Characters("first", step.count);
    case QUARVEL_STEP_CUT_LAST:
      return Characters("last", step.count);
    case QUARVEL_STEP_PUNCTUATION_REMOVED:
      return "punctuation removed";
    case QUARVEL_STEP_SYMBOLS_REMOVED:
      return "symbols removed";
    case QUARVEL_STEP_NON_ALNUM_REMOVED:
      return "non-alphanumeric characters removed";
    case QUARVEL_STEP_READ_AS:
      return Quoted(arg.substr(0, 1)) + " read as " + Quoted(arg.substr(arg.empty() ? 0 : 1, 1));
    case QUARVEL_STEP_DROPPED:
      return Quoted(arg.substr(0, 1)) + " dropped";
    case QUARVEL_STEP_SUFFIX:
      return "suffix " + std::string(arg);
    case QUARVEL_STEP_PREFIX:
      return "prefix " + std::string(arg);
    case QUARVEL_STEP_DOUBLED:
      return "written twice";
    case QUARVEL_STEP_INSIDE:
      return "inside the password (" + std::to_string(step.count) + " before, " +
             std::to_string(step.count2) + " after)";
    case QUARVEL_STEP_CUT_START:
    case QUARVEL_STEP_CUT_END:
    case QUARVEL_STEP_PATTERN:
      return PieceText(step);
    case QUARVEL_STEP_TYPED_LATIN:
      return "the Korean word " + std::string(arg) + " typed on a Latin keyboard";
    case QUARVEL_STEP_ACCENTS_FOLDED:
      return "accents removed";
    case QUARVEL_STEP_RULE:
      return "";
    default:
      return "step " + std::to_string(step.code);
  }
}

// Hits of the extended search tell every step in parentheses after the
// word; the standard passes have a phrase of their own, which holds the
// case, reversal, rules with what they did after them, and numbers only.
bool IsExtended(const quarvel_result &result, std::span<const quarvel_step> steps) {
  if (result.match.variants & QUARVEL_VARIANT_EXTENDED) return true;
  bool after_rule = false;
  for (const quarvel_step &s : steps) {
    switch (s.code) {
      case QUARVEL_STEP_RULE:
        after_rule = true;
        break;
      case QUARVEL_STEP_LOWERCASED:
      case QUARVEL_STEP_CAPITALISED:
      case QUARVEL_STEP_UPPERCASED:
      case QUARVEL_STEP_REVERSED:
      case QUARVEL_STEP_SUFFIX:
      case QUARVEL_STEP_PREFIX:
        break;
      case QUARVEL_STEP_CUT_FIRST:
      case QUARVEL_STEP_CUT_LAST:
      case QUARVEL_STEP_PUNCTUATION_REMOVED:
      case QUARVEL_STEP_SYMBOLS_REMOVED:
      case QUARVEL_STEP_NON_ALNUM_REMOVED:
      case QUARVEL_STEP_READ_AS:
        if (!after_rule) return true;
        break;
      default:
        return true;
    }
  }
  return false;
}

}  // namespace

std::string_view ReasonName(int code) { return NameOf(kReasonNames, code); }
std::string_view StepName(int code) { return NameOf(kStepNames, code); }
std::string_view PieceName(int piece) { return NameOf(kPieceNames, piece); }

std::span<const quarvel_step> StepsOf(const quarvel_result &result) {
  if (result.size < offsetof(quarvel_result, match_steps) + sizeof(result.match_steps)) return {};
  const int n = result.step_count < 0                   ? 0
                : result.step_count > QUARVEL_MAX_STEPS ? QUARVEL_MAX_STEPS
                                                        : result.step_count;
  return {result.match_steps, static_cast<size_t>(n)};
}

std::span<const quarvel_reason> ReasonsOf(const quarvel_result &result) {
  if (result.size < offsetof(quarvel_result, reasons) + sizeof(result.reasons)) return {};
  const int n = result.reason_count < 0                     ? 0
                : result.reason_count > QUARVEL_MAX_REASONS ? QUARVEL_MAX_REASONS
                                                            : result.reason_count;
  return {result.reasons, static_cast<size_t>(n)};
}

std::string PieceText(const quarvel_step &step) {
  const std::string arg(Field(step.arg));
  switch (step.piece) {
    case QUARVEL_PIECE_DIGITS:
      return "digits " + arg;
    case QUARVEL_PIECE_YEAR:
      return "year " + arg;
    case QUARVEL_PIECE_DATE:
      return "date " + arg;
    case QUARVEL_PIECE_SYMBOLS:
      return Quoted(arg);
    case QUARVEL_PIECE_KEYBOARD_WALK:
      return "keyboard walk " + Quoted(arg);
    case QUARVEL_PIECE_SEQUENCE:
      return "sequence " + Quoted(arg);
    case QUARVEL_PIECE_RUN:
      return "run " + Quoted(arg);
    default:
      return Quoted(arg);
  }
}

std::string StepsText(std::span<const quarvel_step> steps) {
  std::string text;
  auto add = [&text](const std::string &phrase) {
    if (phrase.empty()) return;
    if (!text.empty()) text += ", ";
    text += phrase;
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    if (!IsCut(steps[i])) {
      add(StepPhrase(steps[i]));
      continue;
    }
    std::string cut = PieceText(steps[i]);
    while (i + 1 < steps.size() && steps[i + 1].code == steps[i].code) {
      cut += " and " + PieceText(steps[++i]);
    }
    add(cut +
        (steps[i].code == QUARVEL_STEP_CUT_END ? " cut from the end" : " cut from the start"));
  }
  return text.empty() ? "as given" : text;
}

std::string DictionaryName(const quarvel_match &match) {
  const std::string_view prefix = Field(match.prefix);
  if (!prefix.empty()) return std::string(prefix);
  return "slot " + std::to_string(match.slot);
}

std::string FormatGrouped(uint64_t value) {
  std::string digits = std::to_string(value);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

std::string DescribeMatch(const quarvel_result &result) {
  const quarvel_match &match = result.match;
  const std::span<const quarvel_step> steps = StepsOf(result);
  if (match.kind == QUARVEL_MATCH_PATTERN) {
    std::string pieces;
    for (const quarvel_step &s : steps) {
      if (s.code != QUARVEL_STEP_PATTERN) continue;
      if (!pieces.empty()) pieces += ", ";
      pieces += PieceText(s);
    }
    return pieces.empty() ? "a keyboard walk, sequence, run or date" : pieces;
  }
  std::string noun;
  switch (match.kind) {
    case QUARVEL_MATCH_PERSONAL:
      noun = "the personal dictionary word ";
      break;
    case QUARVEL_MATCH_CONTEXT:
      noun = "the context word ";
      break;
    default:
      noun = "the dictionary word ";
  }
  noun += Quoted(Field(match.word));
  if (steps.empty()) {
    // A hit has no steps when the password was the word; a hit of the
    // extended search always has some.
    return noun + ((match.variants & QUARVEL_VARIANT_EXTENDED) ? " (found by the extended search)"
                                                               : " as given");
  }
  if (IsExtended(result, steps)) return noun + " (" + StepsText(steps) + ")";

  // The standard passes: the password reversed or lowered, one mangling rule
  // and what it did, or a number the stored word adds.
  std::string forms;
  for (const quarvel_step &s : steps) {
    if (s.code == QUARVEL_STEP_REVERSED) forms = "reversed";
  }
  for (const quarvel_step &s : steps) {
    if (IsCase(s.code)) forms += (forms.empty() ? "" : ", ") + StepPhrase(s);
  }
  std::string text = forms.empty() ? noun : forms + " form of " + noun;
  std::string tail;
  for (size_t i = 0; i < steps.size(); ++i) {
    const quarvel_step &s = steps[i];
    if (s.code == QUARVEL_STEP_RULE) {
      text += ", by rule " + Quoted(Field(s.arg));
      size_t end = i + 1;
      while (end < steps.size() && steps[end].code != QUARVEL_STEP_RULE &&
             steps[end].code != QUARVEL_STEP_SUFFIX && steps[end].code != QUARVEL_STEP_PREFIX &&
             steps[end].code != QUARVEL_STEP_REVERSED && !IsCase(steps[end].code)) {
        ++end;
      }
      if (end > i + 1) text += " (" + StepsText(steps.subspan(i + 1, end - i - 1)) + ")";
      i = end - 1;
    } else if (s.code == QUARVEL_STEP_SUFFIX || s.code == QUARVEL_STEP_PREFIX) {
      // The stored word holds the number, which the password lacks.
      tail += (s.code == QUARVEL_STEP_SUFFIX ? " without its suffix " : " without its prefix ") +
              std::string(Field(s.arg));
    }
  }
  return text + tail;
}

std::string BreachReason(const quarvel_result &result) {
  const quarvel_match &m = result.match;
  std::string text = "seen " + FormatGrouped(result.breach_count) +
                     (result.breach_count == 1 ? " time" : " times") +
                     " in the leaked-password list " + Quoted(Field(m.prefix));
  const std::span<const quarvel_step> steps = StepsOf(result);
  if (!steps.empty()) text += " as " + Quoted(Field(m.word)) + " (" + StepsText(steps) + ")";
  return text;
}

std::string ReasonText(const quarvel_result &result, const quarvel_reason &reason) {
  const quarvel_match &m = result.match;
  const std::string value = std::to_string(reason.value), limit = std::to_string(reason.limit);
  switch (reason.code) {
    case QUARVEL_REASON_FEW_DISTINCT:
      return "only " + value + " distinct characters (fewer than " + limit + ")";
    case QUARVEL_REASON_REPEATS:
      return value + " repeated two-character pieces (more than " + limit + ")";
    case QUARVEL_REASON_SEQUENCES:
      return value + " neighbours in sequence (more than " + limit + ")";
    case QUARVEL_REASON_DICTIONARY:
      return "in dictionary " + DictionaryName(m) + ": " + DescribeMatch(result);
    case QUARVEL_REASON_BREACH:
      return BreachReason(result);
    case QUARVEL_REASON_CONTEXT:
      return "close to a context word: " + DescribeMatch(result);
    case QUARVEL_REASON_PATTERN:
      return "a pattern, not a password: " + DescribeMatch(result);
    case QUARVEL_REASON_UNREADABLE:
      if (reason.stage == 6)
        return "the personal dictionary could not be read, which counts as found";
      return "dictionary " + DictionaryName(m) + " could not be read, which counts as found";
    case QUARVEL_REASON_PERSONAL:
      if (m.kind == QUARVEL_MATCH_PERSONAL) {
        return "in the personal dictionary: " + DescribeMatch(result);
      }
      return "in the personal dictionary";
    case QUARVEL_REASON_LEVEL_CAPPED:
      return "a found password is rated at most level " + limit + " (the score gave level " +
             value + ")";
    case QUARVEL_REASON_FEW_GUESSES:
      return "a password estimated below the least number of guesses is rated at most level " +
             limit + " (the score gave level " + value + ")";
    default:
      return "stage " + std::to_string(reason.stage) + " lost " + std::to_string(reason.points) +
             (reason.points == 1 ? " point" : " points");
  }
}

}  // namespace quarvel::cli
