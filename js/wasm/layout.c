/* The layout of the result record in this build, for the JavaScript side.
 *
 * quarvel_web_layout_names() gives the names of the entries, separated by
 * commas, and quarvel_web_layout() their values in the same order: byte
 * offsets of the members (those of a member of quarvel_match, quarvel_reason,
 * quarvel_step or quarvel_guess_piece count from the start of that record)
 * and the sizes of the records. The module reads results through them
 * instead of numbers written by hand. */
#include <stddef.h>
#include <stdint.h>

#include <emscripten/emscripten.h>

#include "quarvel/engine.h"

#define QUARVEL_WEB_LAYOUT(X)                                          \
  X(result_size, sizeof(quarvel_result))                               \
  X(size, offsetof(quarvel_result, size))                              \
  X(code, offsetof(quarvel_result, code))                              \
  X(level, offsetof(quarvel_result, level))                            \
  X(pw_len, offsetof(quarvel_result, pw_len))                          \
  X(pw_ncr, offsetof(quarvel_result, pw_ncr))                          \
  X(rept_ncr, offsetof(quarvel_result, rept_ncr))                      \
  X(cts_ncr, offsetof(quarvel_result, cts_ncr))                        \
  X(dict_fd_cnt, offsetof(quarvel_result, dict_fd_cnt))                \
  X(pdict_fd, offsetof(quarvel_result, pdict_fd))                      \
  X(distinct, offsetof(quarvel_result, distinct))                      \
  X(stage_score, offsetof(quarvel_result, stage_score))                \
  X(match, offsetof(quarvel_result, match))                            \
  X(answer, offsetof(quarvel_result, answer))                          \
  X(answer_size, sizeof(((quarvel_result *)0)->answer))                \
  X(breach_count, offsetof(quarvel_result, breach_count))              \
  X(nist_ok, offsetof(quarvel_result, nist_ok))                        \
  X(nist_failures, offsetof(quarvel_result, nist_failures))            \
  X(nist_length, offsetof(quarvel_result, nist_length))                \
  X(nist_min_length, offsetof(quarvel_result, nist_min_length))        \
  X(reason_count, offsetof(quarvel_result, reason_count))              \
  X(reasons, offsetof(quarvel_result, reasons))                        \
  X(step_count, offsetof(quarvel_result, step_count))                  \
  X(match_steps, offsetof(quarvel_result, match_steps))                \
  X(guesses_log10, offsetof(quarvel_result, guesses_log10))            \
  X(crack_seconds, offsetof(quarvel_result, crack_seconds))            \
  X(warning, offsetof(quarvel_result, warning))                        \
  X(suggestion_count, offsetof(quarvel_result, suggestion_count))      \
  X(suggestions, offsetof(quarvel_result, suggestions))                \
  X(piece_count, offsetof(quarvel_result, piece_count))                \
  X(pieces, offsetof(quarvel_result, pieces))                          \
  X(match_size, sizeof(quarvel_match))                                 \
  X(match_kind, offsetof(quarvel_match, kind))                         \
  X(match_slot, offsetof(quarvel_match, slot))                         \
  X(match_variants, offsetof(quarvel_match, variants))                 \
  X(match_prefix, offsetof(quarvel_match, prefix))                     \
  X(match_prefix_size, sizeof(((quarvel_match *)0)->prefix))           \
  X(match_word, offsetof(quarvel_match, word))                         \
  X(match_word_size, sizeof(((quarvel_match *)0)->word))               \
  X(match_rule, offsetof(quarvel_match, rule))                         \
  X(match_rule_size, sizeof(((quarvel_match *)0)->rule))               \
  X(match_affix, offsetof(quarvel_match, affix))                       \
  X(match_affix_size, sizeof(((quarvel_match *)0)->affix))             \
  X(match_variant, offsetof(quarvel_match, variant))                   \
  X(match_variant_size, sizeof(((quarvel_match *)0)->variant))         \
  X(reason_size, sizeof(quarvel_reason))                               \
  X(reason_stage, offsetof(quarvel_reason, stage))                     \
  X(reason_code, offsetof(quarvel_reason, code))                       \
  X(reason_points, offsetof(quarvel_reason, points))                   \
  X(reason_value, offsetof(quarvel_reason, value))                     \
  X(reason_limit, offsetof(quarvel_reason, limit))                     \
  X(step_size, sizeof(quarvel_step))                                   \
  X(step_code, offsetof(quarvel_step, code))                           \
  X(step_piece, offsetof(quarvel_step, piece))                         \
  X(step_count_member, offsetof(quarvel_step, count))                  \
  X(step_count2, offsetof(quarvel_step, count2))                       \
  X(step_arg, offsetof(quarvel_step, arg))                             \
  X(step_arg_size, sizeof(((quarvel_step *)0)->arg))                   \
  X(piece_size, sizeof(quarvel_guess_piece))                           \
  X(piece_kind, offsetof(quarvel_guess_piece, kind))                   \
  X(piece_start, offsetof(quarvel_guess_piece, start))                 \
  X(piece_length, offsetof(quarvel_guess_piece, length))               \
  X(piece_transforms, offsetof(quarvel_guess_piece, transforms))       \
  X(piece_rank, offsetof(quarvel_guess_piece, rank))                   \
  X(piece_slot, offsetof(quarvel_guess_piece, slot))                   \
  X(piece_guesses_log10, offsetof(quarvel_guess_piece, guesses_log10)) \
  X(piece_word, offsetof(quarvel_guess_piece, word))                   \
  X(piece_word_size, sizeof(((quarvel_guess_piece *)0)->word))         \
  X(max_reasons, QUARVEL_MAX_REASONS)                                  \
  X(max_steps, QUARVEL_MAX_STEPS)                                      \
  X(max_pieces, QUARVEL_MAX_PIECES)                                    \
  X(max_suggestions, QUARVEL_MAX_SUGGESTIONS)                          \
  X(attacks, QUARVEL_ATTACKS)

#define QUARVEL_WEB_VALUE(name, value) (uint32_t)(value),
#define QUARVEL_WEB_NAME(name, value) #name ","

static const uint32_t kLayout[] = {QUARVEL_WEB_LAYOUT(QUARVEL_WEB_VALUE)};
static const char kNames[] = QUARVEL_WEB_LAYOUT(QUARVEL_WEB_NAME);

EMSCRIPTEN_KEEPALIVE const uint32_t *quarvel_web_layout(void) { return kLayout; }
EMSCRIPTEN_KEEPALIVE const char *quarvel_web_layout_names(void) { return kNames; }
