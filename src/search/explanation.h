// A check's explanation as data: where the password was found (the source),
// the stored word, the steps that turned the password into that word, and
// each point it lost with a reason code. The search produces steps, never
// English; one formatter (FormatSteps) words them for a person, and front
// ends may word the same steps their own way (include/quarvel/engine.h,
// "Explanations as data", documents the codes).
#ifndef QUARVEL_SRC_SEARCH_EXPLANATION_H_
#define QUARVEL_SRC_SEARCH_EXPLANATION_H_

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "quarvel/engine.h"

namespace quarvel::engine {

// A small text assembled on the stack: appends are cut at the capacity
// (191 characters, as match.variant holds).
class ShortText {
 public:
  void Append(std::string_view part);
  void AppendNumber(int value, int width);
  // Appends ", " first when something is there already.
  void Add(std::string_view part) {
    if (length_ > 0) Append(", ");
    Append(part);
  }
  std::string_view text() const { return {text_, length_}; }
  void Wipe();
  ~ShortText() { Wipe(); }

 private:
  char text_[192] = {};
  size_t length_ = 0;
};

// One step, as quarvel_step, with room for a text as long as the sentence
// can show (a pattern piece may be long; the public record keeps 63 bytes).
// Set whole by Steps::Add: a list of steps costs nothing until used.
struct Step {
  int code;   // QUARVEL_STEP_*
  int piece;  // QUARVEL_PIECE_*
  int count;
  int count2;
  char arg[192];
};

// The steps of one explanation, in the order the search applied them. A
// fixed array: no allocation, wiped when it goes.
class Steps {
 public:
  Steps() = default;
  ~Steps() { Clear(); }
  Steps(const Steps &) = delete;
  Steps &operator=(const Steps &) = delete;

  // Appends a step; a step beyond QUARVEL_MAX_STEPS is dropped (none of the
  // searches makes that many).
  void Add(int code, int piece = 0, int count = 0, int count2 = 0, std::string_view arg = {});
  // Appends the steps of other.
  void Append(const Steps &other);
  void Clear();

  std::span<const Step> items() const { return {items_.data(), count_}; }
  bool empty() const { return count_ == 0; }

 private:
  std::array<Step, QUARVEL_MAX_STEPS> items_;
  size_t count_ = 0;
};

// The reasons for the points a check lost, in stage order.
class Reasons {
 public:
  void Add(int stage, int code, int points, int value = 0, int limit = 0);
  std::span<const quarvel_reason> items() const { return {items_.data(), count_}; }

 private:
  std::array<quarvel_reason, QUARVEL_MAX_REASONS> items_{};
  size_t count_ = 0;
};

// What matched, when stage 5 or 6 found the password.
struct Explanation {
  int kind = QUARVEL_MATCH_NONE;  // QUARVEL_MATCH_*
  int slot = -1;                  // as quarvel_match.slot
  const char *prefix = "";        // the dictionary's or list's prefix as configured
  unsigned variants = 0;          // QUARVEL_VARIANT_* bits
  char word[64] = {};             // the stored word (or context word, or pattern text)
  char rule[64] = {};             // the mangling rule's text, ":" when none changed it
  char affix[4] = {};             // the number the stored word adds, or ""
  Steps steps;

  Explanation() = default;
  ~Explanation();
  Explanation(const Explanation &) = delete;
  Explanation &operator=(const Explanation &) = delete;
  void SetWord(std::string_view text);
};

// The step that says how the letters' case was changed, for a hit of the
// extended profile: QUARVEL_STEP_CAPITALISED (one capital, first),
// QUARVEL_STEP_UPPERCASED (capitals only, more than one),
// QUARVEL_STEP_LOWERCASED (other capitals), 0 when there are none.
int CaseChangeStep(std::string_view text);

// The steps a rule of the rule table (by its index) stands for: none for
// ":", else QUARVEL_STEP_RULE with its number and text, then what it did.
void AddRuleSteps(size_t rule, Steps *out);

// Words steps for a person, into out: "lower-cased, last 2 characters
// removed", "reversed, '0' read as 'o', suffix 05", "capitalised, year 2024
// and '!' cut from the end", "keyboard walk 'qwerty', date 1987-06-14";
// "as given" when there is no step that says something.
void FormatSteps(std::span<const Step> steps, ShortText *out);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_SEARCH_EXPLANATION_H_
