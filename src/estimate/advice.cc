// Choosing the warning and the suggestions from the covering.

#include "estimate/advice.h"

#include <algorithm>

namespace quarvel::estimate {
namespace {

bool IsWord(const Piece &piece) {
  return piece.kind == QUARVEL_GUESS_DICTIONARY || piece.kind == QUARVEL_GUESS_CONTEXT;
}

// The piece that explains most of the password: the longest one that is
// not brute force (the first of equals).
const Piece *Dominant(const Estimate &estimate) {
  const Piece *best = nullptr;
  for (int i = 0; i < estimate.piece_count; ++i) {
    const Piece &piece = estimate.pieces[i];
    if (piece.kind == QUARVEL_GUESS_BRUTE_FORCE) continue;
    if (best == nullptr || piece.length > best->length) best = &piece;
  }
  return best;
}

void AdviseWord(const Estimate &estimate, const Piece &word, Advice *advice) {
  int words = 0;
  bool only_affixes = true;  // the other pieces are digits, symbols, years, dates
  for (int i = 0; i < estimate.piece_count; ++i) {
    const Piece &piece = estimate.pieces[i];
    if (IsWord(piece)) {
      ++words;
    } else if (piece.kind == QUARVEL_GUESS_KEYBOARD_WALK || piece.kind == QUARVEL_GUESS_REPEAT) {
      only_affixes = false;
    }
  }
  const bool common = word.kind == QUARVEL_GUESS_DICTIONARY && word.rank <= kCommonRank;
  const bool whole = estimate.piece_count == 1;
  if (word.kind == QUARVEL_GUESS_CONTEXT) {
    advice->warning = QUARVEL_WARNING_PERSONAL;
    advice->Suggest(QUARVEL_SUGGESTION_AVOID_PERSONAL);
  } else if (words >= 2) {
    advice->warning = QUARVEL_WARNING_COMMON_WORDS;
  } else if (common && whole && word.transforms == 0) {
    advice->warning =
        word.rank <= kTopRank ? QUARVEL_WARNING_TOP_PASSWORD : QUARVEL_WARNING_COMMON_PASSWORD;
    advice->Suggest(QUARVEL_SUGGESTION_AVOID_COMMON);
  } else if (common && whole) {
    advice->warning = QUARVEL_WARNING_COMMON_VARIANT;
    advice->Suggest(QUARVEL_SUGGESTION_AVOID_COMMON);
  } else if (common && only_affixes) {
    advice->warning = QUARVEL_WARNING_COMMON_WITH_AFFIX;
    advice->Suggest(QUARVEL_SUGGESTION_AVOID_COMMON);
  } else {
    advice->warning = QUARVEL_WARNING_SINGLE_WORD;
  }
  advice->Suggest(QUARVEL_SUGGESTION_ADD_WORDS);
  if (word.transforms & QUARVEL_GUESS_CAPITALISED) advice->Suggest(QUARVEL_SUGGESTION_CAPITALS);
  if (word.transforms & QUARVEL_GUESS_UPPERCASED) advice->Suggest(QUARVEL_SUGGESTION_ALL_CAPITALS);
  if (word.transforms & QUARVEL_GUESS_LEET) advice->Suggest(QUARVEL_SUGGESTION_LEET);
  if (word.transforms & QUARVEL_GUESS_REVERSED) advice->Suggest(QUARVEL_SUGGESTION_REVERSED);
}

}  // namespace

void Advice::Suggest(int code) {
  if (suggestion_count == QUARVEL_MAX_SUGGESTIONS) return;
  if (std::find(suggestions, suggestions + suggestion_count, code) !=
      suggestions + suggestion_count) {
    return;
  }
  suggestions[suggestion_count++] = code;
}

Advice Advise(const Estimate &estimate, size_t password_length, bool leaked) {
  Advice advice;
  if (leaked) {
    advice.warning = QUARVEL_WARNING_LEAKED;
    advice.Suggest(QUARVEL_SUGGESTION_CHANGE_LEAKED);
    advice.Suggest(QUARVEL_SUGGESTION_ADD_WORDS);
    return advice;
  }
  if (estimate.log10 >= kStrongLog10) return advice;
  const Piece *dominant = Dominant(estimate);
  if (dominant == nullptr) {
    if (password_length < 10) advice.warning = QUARVEL_WARNING_SHORT;
    advice.Suggest(QUARVEL_SUGGESTION_LONGER);
    advice.Suggest(QUARVEL_SUGGESTION_PASSPHRASE);
    return advice;
  }
  switch (dominant->kind) {
    case QUARVEL_GUESS_DICTIONARY:
    case QUARVEL_GUESS_CONTEXT:
      AdviseWord(estimate, *dominant, &advice);
      break;
    case QUARVEL_GUESS_KEYBOARD_WALK:
      advice.warning = QUARVEL_WARNING_KEYBOARD;
      advice.Suggest(QUARVEL_SUGGESTION_KEYBOARD);
      break;
    case QUARVEL_GUESS_REPEAT:
      advice.warning = QUARVEL_WARNING_REPEAT;
      advice.Suggest(QUARVEL_SUGGESTION_AVOID_REPEATS);
      break;
    case QUARVEL_GUESS_SEQUENCE:
      advice.warning = QUARVEL_WARNING_SEQUENCE;
      advice.Suggest(QUARVEL_SUGGESTION_AVOID_SEQUENCES);
      break;
    default:  // dates and years
      advice.warning = QUARVEL_WARNING_DATE;
      advice.Suggest(QUARVEL_SUGGESTION_AVOID_DATES);
      break;
  }
  advice.Suggest(QUARVEL_SUGGESTION_ADD_WORDS);
  advice.Suggest(QUARVEL_SUGGESTION_PASSPHRASE);
  return advice;
}

}  // namespace quarvel::estimate
