/* Prints the size and field offsets of the records the Python binding
 * mirrors, one "name value" a line, as the C compiler lays them out. */
#include <stddef.h>
#include <stdio.h>

#include "quarvel/engine.h"

#define FIELD(type, field) printf(#type "." #field " %zu\n", offsetof(type, field))

int main(void) {
  printf("quarvel_match %zu\n", sizeof(quarvel_match));
  FIELD(quarvel_match, kind);
  FIELD(quarvel_match, slot);
  FIELD(quarvel_match, variants);
  FIELD(quarvel_match, prefix);
  FIELD(quarvel_match, word);
  FIELD(quarvel_match, rule);
  FIELD(quarvel_match, affix);
  FIELD(quarvel_match, variant);
  printf("quarvel_result %zu\n", sizeof(quarvel_result));
  FIELD(quarvel_result, code);
  FIELD(quarvel_result, level);
  FIELD(quarvel_result, pw_len);
  FIELD(quarvel_result, pw_ncr);
  FIELD(quarvel_result, rept_ncr);
  FIELD(quarvel_result, cts_ncr);
  FIELD(quarvel_result, dict_fd_cnt);
  FIELD(quarvel_result, pdict_fd);
  FIELD(quarvel_result, distinct);
  FIELD(quarvel_result, stage_score);
  FIELD(quarvel_result, match);
  FIELD(quarvel_result, answer);
  FIELD(quarvel_result, breach_count);
  FIELD(quarvel_result, nist_ok);
  FIELD(quarvel_result, nist_failures);
  FIELD(quarvel_result, nist_length);
  FIELD(quarvel_result, nist_min_length);
  FIELD(quarvel_result, reason_count);
  FIELD(quarvel_result, reasons);
  FIELD(quarvel_result, step_count);
  FIELD(quarvel_result, match_steps);
  FIELD(quarvel_result, guesses_log10);
  FIELD(quarvel_result, crack_seconds);
  FIELD(quarvel_result, warning);
  FIELD(quarvel_result, suggestion_count);
  FIELD(quarvel_result, suggestions);
  FIELD(quarvel_result, piece_count);
  FIELD(quarvel_result, pieces);
  printf("quarvel_guess_piece %zu\n", sizeof(quarvel_guess_piece));
  FIELD(quarvel_guess_piece, kind);
  FIELD(quarvel_guess_piece, start);
  FIELD(quarvel_guess_piece, length);
  FIELD(quarvel_guess_piece, transforms);
  FIELD(quarvel_guess_piece, rank);
  FIELD(quarvel_guess_piece, slot);
  FIELD(quarvel_guess_piece, guesses_log10);
  FIELD(quarvel_guess_piece, word);
  printf("quarvel_reason %zu\n", sizeof(quarvel_reason));
  FIELD(quarvel_reason, stage);
  FIELD(quarvel_reason, code);
  FIELD(quarvel_reason, points);
  FIELD(quarvel_reason, value);
  FIELD(quarvel_reason, limit);
  printf("quarvel_step %zu\n", sizeof(quarvel_step));
  FIELD(quarvel_step, code);
  FIELD(quarvel_step, piece);
  FIELD(quarvel_step, count);
  FIELD(quarvel_step, count2);
  FIELD(quarvel_step, arg);
  printf("quarvel_settings %zu\n", sizeof(quarvel_settings));
  FIELD(quarvel_settings, min_len);
  FIELD(quarvel_settings, min_diff);
  FIELD(quarvel_settings, min_step);
  FIELD(quarvel_settings, min_rept);
  FIELD(quarvel_settings, use_min_rept);
  FIELD(quarvel_settings, suffix_numbers);
  FIELD(quarvel_settings, prefix_numbers);
  FIELD(quarvel_settings, reverse);
  FIELD(quarvel_settings, use_profile);
  FIELD(quarvel_settings, dict_count);
  FIELD(quarvel_settings, dict_prefix);
  return 0;
}
