// Explanations as data, and the one formatter that words them in English.

#include "search/explanation.h"

#include <algorithm>
#include <cstring>

#include "base/secure_wipe.h"
#include "search/rule_table.h"

namespace quarvel::engine {
namespace {

template <size_t N>
void CopyArg(char (&out)[N], std::string_view text) {
  const size_t n = std::min(text.size(), N - 1);
  if (n > 0) std::memcpy(out, text.data(), n);  // an empty view may have no data
  out[n] = '\0';
}

void AppendQuoted(ShortText *out, std::string_view text) {
  out->Append("'");
  out->Append(text);
  out->Append("'");
}

// A piece as a cut affix names it ("year 2024", "'!'") and as a pattern
// does ("keyboard walk 'qwerty'", "symbols '!!'").
void AppendPiece(const Step &step, bool in_pattern, ShortText *out) {
  const std::string_view arg(step.arg);
  switch (step.piece) {
    case QUARVEL_PIECE_DIGITS:
      out->Append("digits ");
      return out->Append(arg);
    case QUARVEL_PIECE_YEAR:
      out->Append("year ");
      return out->Append(arg);
    case QUARVEL_PIECE_DATE:
      out->Append("date ");
      return out->Append(arg);
    case QUARVEL_PIECE_SYMBOLS:
      if (in_pattern) out->Append("symbols ");
      return AppendQuoted(out, arg);
    case QUARVEL_PIECE_KEYBOARD_WALK:
      out->Append("keyboard walk ");
      return AppendQuoted(out, arg);
    case QUARVEL_PIECE_SEQUENCE:
      out->Append("sequence ");
      return AppendQuoted(out, arg);
    case QUARVEL_PIECE_RUN:
      out->Append("run ");
      return AppendQuoted(out, arg);
    default:
      return;
  }
}

// The words of one step that stands alone; false for a step that says
// nothing by itself (QUARVEL_STEP_RULE: the steps after it say it).
bool WordStep(const Step &step, ShortText *out) {
  switch (step.code) {
    case QUARVEL_STEP_LOWERCASED:
      out->Append("lower-cased");
      return true;
    case QUARVEL_STEP_CAPITALISED:
      out->Append("capitalised");
      return true;
    case QUARVEL_STEP_UPPERCASED:
      out->Append("upper-cased");
      return true;
    case QUARVEL_STEP_REVERSED:
      out->Append("reversed");
      return true;
    case QUARVEL_STEP_CUT_FIRST:
    case QUARVEL_STEP_CUT_LAST:
      out->Append(step.code == QUARVEL_STEP_CUT_FIRST ? "first " : "last ");
      out->AppendNumber(step.count, 1);
      out->Append(step.count > 1 ? " characters removed" : " character removed");
      return true;
    case QUARVEL_STEP_PUNCTUATION_REMOVED:
      out->Append("punctuation removed");
      return true;
    case QUARVEL_STEP_SYMBOLS_REMOVED:
      out->Append("symbols removed");
      return true;
    case QUARVEL_STEP_NON_ALNUM_REMOVED:
      out->Append("non-alphanumeric characters removed");
      return true;
    case QUARVEL_STEP_READ_AS:
      AppendQuoted(out, std::string_view(step.arg, 1));
      out->Append(" read as ");
      AppendQuoted(out, std::string_view(step.arg + 1, 1));
      return true;
    case QUARVEL_STEP_DROPPED:
      AppendQuoted(out, std::string_view(step.arg, 1));
      out->Append(" dropped");
      return true;
    case QUARVEL_STEP_SUFFIX:
    case QUARVEL_STEP_PREFIX:
      out->Append(step.code == QUARVEL_STEP_SUFFIX ? "suffix " : "prefix ");
      out->Append(step.arg);
      return true;
    case QUARVEL_STEP_DOUBLED:
      out->Append("written twice");
      return true;
    case QUARVEL_STEP_INSIDE:
      out->Append("inside the password (");
      out->AppendNumber(step.count, 1);
      out->Append(" before, ");
      out->AppendNumber(step.count2, 1);
      out->Append(" after)");
      return true;
    case QUARVEL_STEP_PATTERN:
      AppendPiece(step, true, out);
      return true;
    case QUARVEL_STEP_TYPED_LATIN:
      out->Append("the Korean word ");
      out->Append(step.arg);
      out->Append(" typed on a Latin keyboard");
      return true;
    case QUARVEL_STEP_ACCENTS_FOLDED:
      out->Append("accents removed");
      return true;
    default:
      return false;
  }
}

}  // namespace

void ShortText::Append(std::string_view part) {
  const size_t n = std::min(part.size(), sizeof(text_) - 1 - length_);
  std::memcpy(text_ + length_, part.data(), n);
  length_ += n;
  text_[length_] = '\0';
}

void ShortText::AppendNumber(int value, int width) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && n < 11);
  while (n < width && n < 11) digits[n++] = '0';
  std::reverse(digits, digits + n);
  Append(std::string_view(digits, static_cast<size_t>(n)));
}

void ShortText::Wipe() {
  SecureWipe(text_, length_);
  length_ = 0;
  text_[0] = '\0';
}

void Steps::Add(int code, int piece, int count, int count2, std::string_view arg) {
  if (count_ == items_.size()) return;
  Step &step = items_[count_++];
  step.code = code;
  step.piece = piece;
  step.count = count;
  step.count2 = count2;
  CopyArg(step.arg, arg);
}

void Steps::Append(const Steps &other) {
  for (const Step &step : other.items()) {
    Add(step.code, step.piece, step.count, step.count2, step.arg);
  }
}

void Steps::Clear() {
  SecureWipe(items_.data(), count_ * sizeof(Step));
  count_ = 0;
}

void Reasons::Add(int stage, int code, int points, int value, int limit) {
  if (count_ == items_.size()) return;
  items_[count_++] = {stage, code, points, value, limit};
}

Explanation::~Explanation() { SecureWipe(word, sizeof(word)); }

void Explanation::SetWord(std::string_view text) { CopyArg(word, text); }

int CaseChangeStep(std::string_view text) {
  size_t upper = 0, lower = 0;
  bool first_upper = false;
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') {
      first_upper |= upper + lower == 0;
      ++upper;
    } else if (c >= 'a' && c <= 'z') {
      ++lower;
    }
  }
  if (upper == 0) return 0;
  if (lower == 0 && upper > 1) return QUARVEL_STEP_UPPERCASED;
  return first_upper && upper == 1 ? QUARVEL_STEP_CAPITALISED : QUARVEL_STEP_LOWERCASED;
}

void AddRuleSteps(size_t index, Steps *out) {
  const std::string_view rule = search::kRuleTable[index];
  if (rule == ":") return;
  out->Add(QUARVEL_STEP_RULE, 0, static_cast<int>(index), 0, rule);
  if (rule.find_first_not_of('[') == std::string_view::npos ||
      rule.find_first_not_of(']') == std::string_view::npos) {
    out->Add(rule[0] == '[' ? QUARVEL_STEP_CUT_FIRST : QUARVEL_STEP_CUT_LAST, 0,
             static_cast<int>(rule.size()));
    return;
  }
  if (rule == "/?p@?p") return out->Add(QUARVEL_STEP_PUNCTUATION_REMOVED);
  if (rule == "/?s@?s") return out->Add(QUARVEL_STEP_SYMBOLS_REMOVED);
  if (rule == "/?X@?X") return out->Add(QUARVEL_STEP_NON_ALNUM_REMOVED);
  // Substitutions: "/XsXy" each, X read as y.
  for (size_t i = 0; i + 4 < rule.size() && rule[i] == '/'; i += 5) {
    const char pair[2] = {rule[i + 1], rule[i + 4]};
    out->Add(QUARVEL_STEP_READ_AS, 0, 0, 0, std::string_view(pair, 2));
  }
}

void FormatSteps(std::span<const Step> steps, ShortText *out) {
  for (size_t i = 0; i < steps.size(); ++i) {
    const int code = steps[i].code;
    if (code == QUARVEL_STEP_CUT_START || code == QUARVEL_STEP_CUT_END) {
      // The groups of one affix, cut from one end, make one phrase.
      ShortText phrase;
      AppendPiece(steps[i], false, &phrase);
      for (; i + 1 < steps.size() && steps[i + 1].code == code; ++i) {
        phrase.Append(" and ");
        AppendPiece(steps[i + 1], false, &phrase);
      }
      phrase.Append(code == QUARVEL_STEP_CUT_START ? " cut from the start" : " cut from the end");
      out->Add(phrase.text());
      continue;
    }
    ShortText phrase;
    if (WordStep(steps[i], &phrase)) out->Add(phrase.text());
  }
  if (out->text().empty()) out->Add("as given");
}

}  // namespace quarvel::engine
