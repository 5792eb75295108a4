// The one assembly of a check: what it searches, in which order, with which
// settings, handed to the scorer. quarvel_check fills it from a snapshot;
// VerifyPW from the process-wide settings, the dictionary slots and the
// snapshot LoadConfigFile published.
#ifndef QUARVEL_SRC_ENGINE_CHECK_PLAN_H_
#define QUARVEL_SRC_ENGINE_CHECK_PLAN_H_

#include <string_view>

#include "engine/scorer.h"
#include "engine/snapshot.h"
#include "quarvel/engine.h"

namespace quarvel::engine {

class CheckPlan {
 public:
  explicit CheckPlan(const ScoringSettings &settings) { request_.settings = &settings; }
  CheckPlan(const CheckPlan &) = delete;
  CheckPlan &operator=(const CheckPlan &) = delete;

  // A configured dictionary, searched in the dictionary stage in the order
  // added (slot order); at most kMaxDictionaries. prefix and dict must
  // outlive the plan.
  void AddDictionary(const char *prefix, int slot, const Dictionary *dict);
  // The personal dictionary, searched in the last stage.
  void SetPersonal(const char *prefix, const Dictionary *dict);
  // The hashed lists of snapshot, searched after the dictionaries.
  void AddBreachLists(const Snapshot &snapshot);
  // The language dictionaries of snapshot ([QUARVEL_LANG]), searched with
  // the extended profile after the configured dictionaries.
  void AddLanguages(const Snapshot &snapshot);
  // Everything snapshot names: its dictionaries, personal dictionary and
  // hashed lists, and its NIST settings when with_nist.
  void AddSnapshot(const Snapshot &snapshot, bool with_nist);
  void SetContext(const ContextWords *context) { request_.context = context; }
  void SetTrace(const TraceSink &trace, void (*unreadable)(const Dictionary &) = nullptr) {
    request_.trace = trace;
    request_.unreadable = unreadable;
  }

  // Scores password (of AcceptedLength bytes) into result.
  int Score(std::string_view password, quarvel_result *result) const;

  static constexpr size_t kMaxDictionaries = 8;
  static constexpr size_t kMaxLanguages = 8;

 private:
  ScoreRequest request_;
  DictionaryRef dictionaries_[kMaxDictionaries];
  size_t n_dictionaries_ = 0;
  DictionaryRef personal_;
  LanguageRef languages_[kMaxLanguages];
  size_t n_languages_ = 0;
  BreachRef breaches_[8];
  size_t n_breaches_ = 0;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_CHECK_PLAN_H_
