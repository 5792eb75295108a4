// The one assembly of a check.

#include "engine/check_plan.h"

#include <iterator>

namespace quarvel::engine {

void CheckPlan::AddDictionary(const char *prefix, int slot, const Dictionary *dict) {
  if (n_dictionaries_ == std::size(dictionaries_)) return;
  dictionaries_[n_dictionaries_++] = {prefix, slot, dict, false};
  request_.dictionaries = std::span(dictionaries_, n_dictionaries_);
}

void CheckPlan::SetPersonal(const char *prefix, const Dictionary *dict) {
  personal_ = {prefix, -1, dict, false};
  request_.profile = &personal_;
}

void CheckPlan::AddBreachLists(const Snapshot &snapshot) {
  for (const BreachSlot &slot : snapshot.breaches) {
    if (n_breaches_ == std::size(breaches_)) break;
    breaches_[n_breaches_++] = {slot.configured.c_str(), slot.number, slot.list.get()};
  }
  request_.breaches = std::span(breaches_, n_breaches_);
  request_.breach_min_count = snapshot.breach_min_count;
}

void CheckPlan::AddLanguages(const Snapshot &snapshot) {
  for (const LanguageSlot &language : snapshot.languages) {
    if (n_languages_ == std::size(languages_)) break;
    languages_[n_languages_++] = {
        {language.dict.configured.c_str(), -1, language.dict.dict.get(), false}, language.hangul};
  }
  request_.languages = std::span(languages_, n_languages_);
  request_.korean_keyboard = snapshot.korean_keyboard;
}

void CheckPlan::AddSnapshot(const Snapshot &snapshot, bool with_nist) {
  for (const DictSlot &slot : snapshot.slots) {
    AddDictionary(slot.configured.c_str(), slot.slot, slot.dict.get());
  }
  if (snapshot.profile)
    SetPersonal(snapshot.profile->configured.c_str(), snapshot.profile->dict.get());
  AddBreachLists(snapshot);
  AddLanguages(snapshot);
  if (with_nist) request_.nist = &snapshot.nist;
}

int CheckPlan::Score(std::string_view password, quarvel_result *result) const {
  return engine::Score(request_, password, result);
}

}  // namespace quarvel::engine
