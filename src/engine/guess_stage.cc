// The estimate of a check, its caps and its advice.

#include "engine/guess_stage.h"

#include <cmath>
#include <cstring>

#include "base/copy_text.h"
#include "engine/snapshot_loader.h"
#include "estimate/advice.h"
#include "estimate/estimate.h"

namespace quarvel::engine {
namespace {

using estimate::Estimate;
using estimate::Piece;

constexpr size_t kMaxLanguages = std::size(kLanguageKeys);

// What the variant search of the check tried before it found the
// password: the word's rank in its dictionary, times the numbers tried as
// an affix, and the case, for a hit that no mangling rule made. Only for hits of the rule table and
// the affixes: the estimate itself reads what the extended profile undoes.
bool SearchCap(const CheckState &state, Piece *whole) {
  const Explanation &e = state.match;
  if ((e.kind != QUARVEL_MATCH_DICTIONARY && e.kind != QUARVEL_MATCH_PERSONAL) ||
      (e.variants & QUARVEL_VARIANT_EXTENDED) != 0) {
    return false;
  }
  const Dictionary *dict = nullptr;
  if (e.kind == QUARVEL_MATCH_PERSONAL) {
    if (state.request.profile != nullptr) dict = state.request.profile->dict;
  } else {
    for (const DictionaryRef &ref : state.request.dictionaries) {
      if (ref.slot == e.slot) dict = ref.dict;
    }
  }
  if (dict == nullptr || !dict->ok()) return false;
  const uint32_t index = dict->Find(e.word);
  if (index >= dict->word_count()) return false;
  const uint32_t rank = dict->Rank(index);
  double cost = std::log10(static_cast<double>(std::max<uint32_t>(rank, 1)));
  for (const Step &step : e.steps.items()) {
    // A rule undid what the attacker must add (characters cut, symbols
    // removed): what it cost them is the estimate's own business.
    if (step.code == QUARVEL_STEP_RULE) return false;
    if (step.code == QUARVEL_STEP_SUFFIX || step.code == QUARVEL_STEP_PREFIX) cost += 2;
    if (step.code == QUARVEL_STEP_LOWERCASED) cost += std::log10(2.0);
  }
  whole->kind = QUARVEL_GUESS_DICTIONARY;
  whole->rank = rank;
  whole->slot = e.kind == QUARVEL_MATCH_PERSONAL ? 8 : e.slot;
  whole->log10 = cost;
  CopyText(whole->word, e.word);
  return true;
}

// A hashed list that holds the password: an attacker who has the list
// tries all of it.
bool BreachCap(const CheckState &state, Piece *whole) {
  const Explanation &e = state.match;
  if (e.kind != QUARVEL_MATCH_BREACH) return false;
  for (const BreachRef &ref : state.request.breaches) {
    if (ref.number != e.slot || ref.list == nullptr) continue;
    whole->kind = QUARVEL_GUESS_DICTIONARY;
    whole->slot = -1;
    whole->log10 = std::log10(static_cast<double>(std::max<uint64_t>(ref.list->key_count(), 1)));
    CopyText(whole->word, e.word);
    return true;
  }
  return false;
}

void Write(const Estimate &estimate, const estimate::Advice &advice, quarvel_result *result) {
  result->guesses_log10 = estimate.log10;
  const double guesses = std::pow(10.0, estimate.log10);
  for (int attack = 0; attack < QUARVEL_ATTACKS; ++attack) {
    result->crack_seconds[attack] = guesses / estimate::kAttackRates[attack];
  }
  result->warning = advice.warning;
  result->suggestion_count = advice.suggestion_count;
  std::copy(advice.suggestions, advice.suggestions + QUARVEL_MAX_SUGGESTIONS, result->suggestions);
  result->piece_count = estimate.piece_count;
  for (int i = 0; i < estimate.piece_count; ++i) {
    const Piece &in = estimate.pieces[i];
    quarvel_guess_piece &out = result->pieces[i];
    out.kind = in.kind;
    out.start = in.start;
    out.length = in.length;
    out.transforms = in.transforms;
    out.rank = in.rank;
    out.slot = in.slot;
    out.guesses_log10 = in.log10;
    std::memcpy(out.word, in.word, sizeof(out.word));
  }
}

}  // namespace

bool WantsEstimate(const ScoringSettings &settings, const quarvel_result *result) {
  return settings.min_guesses_set || result->size >= sizeof(quarvel_result);
}

void RunGuessStage(CheckState &state, std::string_view text, int *level, quarvel_result *result) {
  const ScoreRequest &request = state.request;
  estimate::DictionarySource sources[9];
  size_t n = 0;
  for (const DictionaryRef &ref : request.dictionaries) {
    if (n < 8 && ref.dict != nullptr && !ref.fails) sources[n++] = {ref.dict, ref.slot};
  }
  if (request.profile != nullptr && request.profile->dict != nullptr) {
    sources[n++] = {request.profile->dict, 8};
  }
  // The language dictionaries, which the extended profile searches.
  estimate::LanguageSource languages[kMaxLanguages];
  size_t l = 0;
  if (state.extended != nullptr) {
    for (const LanguageRef &language : request.languages) {
      if (l < kMaxLanguages && language.ref.dict != nullptr && !language.ref.fails) {
        languages[l++] = {language.ref.dict, language.hangul};
      }
    }
  }
  estimate::Request ask;
  ask.password = text;
  ask.dictionaries = std::span(sources, n);
  ask.languages = std::span(languages, l);
  ask.korean = state.korean;
  ask.context = request.context;
  Estimate estimate;
  estimate::EstimateGuesses(ask, &estimate);
  Piece whole;
  whole.length = static_cast<int>(text.size());
  if (SearchCap(state, &whole) || BreachCap(state, &whole)) estimate.Cap(whole);

  const ScoringSettings &settings = *request.settings;
  const bool too_few = settings.min_guesses_set && estimate.log10 < settings.min_guesses_log10;
  if (too_few && *level > 2) {
    state.reasons.Add(0, QUARVEL_REASON_FEW_GUESSES, 0, *level, 2);
    *level = 2;
  }
  if (result->size < sizeof(quarvel_result)) return;
  const estimate::Advice advice =
      estimate::Advise(estimate, text.size(), state.match.kind == QUARVEL_MATCH_BREACH);
  Write(estimate, advice, result);
}

}  // namespace quarvel::engine
