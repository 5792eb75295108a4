// The explanation as data for a result record that lacks it: a library
// older than the reasons and steps (the record's size does not cover them),
// or one that leaves them empty. The front ends word explanations from
// codes only; this derives the codes from what the older layouts do carry
// as data (the stage scores, the measured fields, the match's kind, variant
// bits, affix and rule text), so the wording never has two paths. The
// English of match.variant is never read.
#ifndef QUARVEL_SRC_BASE_EXPLANATION_FALLBACK_H_
#define QUARVEL_SRC_BASE_EXPLANATION_FALLBACK_H_

#include <cstddef>
#include <cstring>
#include <string_view>

#include "quarvel/engine.h"

namespace quarvel {

namespace fallback_internal {

inline void AddStep(quarvel_result &r, int code, int count = 0, std::string_view arg = {}) {
  if (r.step_count >= QUARVEL_MAX_STEPS) return;
  quarvel_step &s = r.match_steps[r.step_count++];
  s = {};
  s.code = code;
  s.count = count;
  const size_t n = arg.size() < sizeof(s.arg) - 1 ? arg.size() : sizeof(s.arg) - 1;
  std::memcpy(s.arg, arg.data(), n);
}

// What the destructive rules of the rule table do, read from the rule's
// text in the rule language: runs of '[' or ']', the purges of a class,
// and substitutions "/XsXy".
inline void AddRuleEffects(quarvel_result &r, std::string_view rule) {
  if (rule.empty()) return;
  if (rule.find_first_not_of('[') == std::string_view::npos) {
    return AddStep(r, QUARVEL_STEP_CUT_FIRST, static_cast<int>(rule.size()));
  }
  if (rule.find_first_not_of(']') == std::string_view::npos) {
    return AddStep(r, QUARVEL_STEP_CUT_LAST, static_cast<int>(rule.size()));
  }
  if (rule == "/?p@?p") return AddStep(r, QUARVEL_STEP_PUNCTUATION_REMOVED);
  if (rule == "/?s@?s") return AddStep(r, QUARVEL_STEP_SYMBOLS_REMOVED);
  if (rule == "/?X@?X") return AddStep(r, QUARVEL_STEP_NON_ALNUM_REMOVED);
  for (size_t i = 0;
       i + 5 <= rule.size() && rule[i] == '/' && rule[i + 2] == 's' && rule[i + 3] == rule[i + 1];
       i += 5) {
    const char pair[2] = {rule[i + 1], rule[i + 4]};
    AddStep(r, QUARVEL_STEP_READ_AS, 0, std::string_view(pair, 2));
  }
}

inline void AddReason(quarvel_result &r, int stage, int code, int points, int value, int limit) {
  if (r.reason_count >= QUARVEL_MAX_REASONS) return;
  r.reasons[r.reason_count++] = {stage, code, points, value, limit};
}

}  // namespace fallback_internal

// The limits the older layouts leave to the settings; 0 when unknown.
struct ExplanationLimits {
  int min_diff = 0;
  int min_rept = 0;
  int min_step = 0;
};

// Fills result's reasons and steps when the record lacks them, and sets its
// size to cover them. A graded record with a lost point and no reason, or a
// match changed by the search (variant bits) and no step, lacks them; so
// does every record whose size ends before them. A hit of the extended
// search or a pattern gets no step: the older layouts hold its pieces as
// English only.
inline void FillMissingExplanation(quarvel_result &result, const ExplanationLimits &limits) {
  using namespace fallback_internal;
  if (result.code != QUARVEL_OK) return;
  const bool sized = result.size >= sizeof(quarvel_result);
  if (!sized) {
    result.reason_count = 0;
    result.step_count = 0;
    result.size = sizeof(quarvel_result);
  }
  const int *score = result.stage_score;
  bool lost = false;
  for (int stage = 2; stage <= 6; ++stage) lost |= score[stage - 2] > score[stage - 1];
  if (result.reason_count == 0 && lost) {
    const quarvel_match &m = result.match;
    for (int stage = 2; stage <= 6; ++stage) {
      const int points = score[stage - 2] - score[stage - 1];
      if (points <= 0) continue;
      switch (stage) {
        case 2:
          AddReason(result, 2, QUARVEL_REASON_FEW_DISTINCT, points, result.distinct,
                    limits.min_diff);
          break;
        case 3:
          AddReason(result, 3, QUARVEL_REASON_REPEATS, points, result.rept_ncr, limits.min_rept);
          break;
        case 4:
          AddReason(result, 4, QUARVEL_REASON_SEQUENCES, points, result.cts_ncr, limits.min_step);
          break;
        case 5: {
          int code = QUARVEL_REASON_DICTIONARY;
          if (m.kind == QUARVEL_MATCH_BREACH) code = QUARVEL_REASON_BREACH;
          if (m.kind == QUARVEL_MATCH_CONTEXT) code = QUARVEL_REASON_CONTEXT;
          if (m.kind == QUARVEL_MATCH_PATTERN) code = QUARVEL_REASON_PATTERN;
          if (m.kind == QUARVEL_MATCH_UNREADABLE) code = QUARVEL_REASON_UNREADABLE;
          AddReason(result, 5, code, points, 0, 0);
          break;
        }
        default:
          AddReason(result, 6,
                    m.kind == QUARVEL_MATCH_UNREADABLE ? QUARVEL_REASON_UNREADABLE
                                                       : QUARVEL_REASON_PERSONAL,
                    points, 0, 0);
      }
    }
  }
  const quarvel_match &m = result.match;
  if (result.step_count != 0 || m.variants == 0) return;
  const unsigned bits = m.variants;
  // What the extended search cut or read is in its English only: no step
  // rather than some of them.
  if (bits & QUARVEL_VARIANT_EXTENDED) return;
  if (bits & QUARVEL_VARIANT_LOWERCASED) AddStep(result, QUARVEL_STEP_LOWERCASED);
  const std::string_view affix(m.affix, strnlen(m.affix, sizeof(m.affix)));
  if (bits & (QUARVEL_VARIANT_SUFFIX | QUARVEL_VARIANT_PREFIX)) {
    AddStep(result, bits & QUARVEL_VARIANT_SUFFIX ? QUARVEL_STEP_SUFFIX : QUARVEL_STEP_PREFIX, 0,
            affix);
    if (bits & QUARVEL_VARIANT_REVERSED) AddStep(result, QUARVEL_STEP_REVERSED);
    return;
  }
  if (bits & QUARVEL_VARIANT_REVERSED) AddStep(result, QUARVEL_STEP_REVERSED);
  if (bits & QUARVEL_VARIANT_RULE) {
    const std::string_view rule(m.rule, strnlen(m.rule, sizeof(m.rule)));
    AddStep(result, QUARVEL_STEP_RULE, 0, rule);
    AddRuleEffects(result, rule);
  }
}

}  // namespace quarvel

#endif  // QUARVEL_SRC_BASE_EXPLANATION_FALLBACK_H_
