// VerifyPW and the repeat counters: the engine's check over the process-wide
// settings, the dictionary slots and what the last environment load
// published, with its trace on standard output.

#include <atomic>
#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "base/secure_wipe.h"
#include "engine/check_plan.h"
#include "engine/snapshot_loader.h"
#include "quarvel/pwanalysis.h"
#include "search/rule_table.h"
#include "store/dictionary_cache.h"
#include "verify/pwanalysis_internal.h"
#include "verify/stdout_trace.h"

namespace {

// Each thread's answer stays valid until that thread's next call.
thread_local char t_answer[1024];

template <typename T>
T Read(const T &setting) {
  return std::atomic_ref(const_cast<T &>(setting)).load(std::memory_order_relaxed);
}

// The settings as the process-wide variables hold them now: a caller may
// change them between loads.
quarvel::engine::ScoringSettings CurrentSettings() {
  quarvel::engine::ScoringSettings settings;
  settings.min_diff = Read(MINDIFF);
  settings.min_step = Read(MINSTEP);
  settings.min_rept = Read(MINREPT);
  settings.use_min_rept = Read(USEMINREPT);
  settings.extended = Read(quarvel::search::EXTENDED);
  settings.search = quarvel::search::CurrentSettings();
  return settings;
}

const char *Score(const char *password, size_t length) {
  using namespace quarvel;
  std::optional<engine::SnapshotRef> published;
  if (const engine::Environment *environment = verify::ProcessEnvironment()) {
    published.emplace(environment->Use());
  }
  engine::ScoringSettings settings = CurrentSettings();
  // The least number of guesses has no process-wide variable: it is read
  // from what the last load published.
  if (published) {
    settings.min_guesses_set = (**published).scoring.min_guesses_set;
    settings.min_guesses_log10 = (**published).scoring.min_guesses_log10;
  }
  engine::CheckPlan plan(settings);
  NoticeDictionaryChanges();
  std::shared_ptr<const engine::Dictionary> held[engine::kDictSlots + 1];
  for (int slot = 0; slot < engine::kDictSlots; ++slot) {
    const char *prefix = Read(dict[slot]);
    if (prefix == nullptr || prefix[0] == '\0') continue;
    held[slot] = CachedDictionary(prefix);
    plan.AddDictionary(prefix, slot, held[slot].get());
  }
  if (Read(USEPROFILE) != 0) {
    std::shared_lock personal(verify::personal_dictionary_lock);
    if (Read(USEPROFILE) != 0) {  // not deleted meanwhile
      held[engine::kDictSlots] = CachedDictionary(verify::kProfilePrefix);
      plan.SetPersonal(verify::kProfilePrefix, held[engine::kDictSlots].get());
    }
  }
  if (published) {
    plan.AddBreachLists(**published);
    plan.AddLanguages(**published);
  }
  const verify::StdoutTrace trace;
  plan.SetTrace(trace.sink(), ReportUnreadable);

  // The answer is all VerifyPW gives: the record is used in the layout
  // without the explanation codes, which the scorer then leaves untouched.
  quarvel_result result;
  std::memset(&result, 0, QUARVEL_RESULT_V2_SIZE);
  result.size = QUARVEL_RESULT_V2_SIZE;
  plan.Score(std::string_view(password, length), &result);
  std::memcpy(t_answer, result.answer, sizeof(result.answer));
  SecureWipe(&result, QUARVEL_RESULT_V2_SIZE);
  return t_answer;
}

}  // namespace

extern "C" const char *VerifyPW(const char *password) noexcept {
  if (Read(quarvel::verify::cfg) == nullptr) return "RET_CD=2001";
  // 1 to 257 bytes, read no further than needed.
  const size_t length = quarvel::engine::AcceptedLength(password, SIZE_MAX);
  if (length == 0) return "RET_CD=2000";
  try {
    return Score(password, length);
  } catch (...) {
    return "RET_CD=2003";  // memory ran out opening a dictionary
  }
}

extern "C" int RepeteSubStr(const char *text, const char *piece) noexcept {
  if (text == nullptr || piece == nullptr) return 0;
  return quarvel::engine::CountOccurrences(text, piece);
}

extern "C" int RepeteChar(const char *text, int piece_length) noexcept {
  if (text == nullptr) return 0;
  return quarvel::engine::CountRepeatedPieces(text, piece_length);
}
