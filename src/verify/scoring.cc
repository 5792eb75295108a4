// VerifyPW and the repeat counters: the engine's scoring over the settings
// and dictionaries of the last environment load, with its trace on standard
// output.

#include <atomic>
#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "base/secure_wipe.h"
#include "engine/scorer.h"
#include "quarvel/pwanalysis.h"
#include "search/rule_table.h"
#include "store/dictionary_cache.h"
#include "verify/pwanalysis_internal.h"
#include "verify/stdout_trace.h"

namespace {

constexpr size_t kPasswordLimit = 257;  // longest accepted password
constexpr int kDictSlots = 8;

// Each thread's answer stays valid until that thread's next call.
thread_local char t_answer[1024];

int Read(const int &setting) {
  return std::atomic_ref(const_cast<int &>(setting)).load(std::memory_order_relaxed);
}

const char *Answer(const quarvel_result &result) {
  std::memcpy(t_answer, result.answer, sizeof(result.answer));
  return t_answer;
}

const char *Score(const char *password, size_t length) {
  using namespace quarvel;
  engine::ScoringSettings settings;
  settings.min_diff = Read(MINDIFF);
  settings.min_step = Read(MINSTEP);
  settings.min_rept = Read(MINREPT);
  settings.use_min_rept = Read(USEMINREPT);
  settings.extended = Read(search::EXTENDED);
  settings.search = search::CurrentSettings();

  quarvel::NoticeDictionaryChanges();
  std::shared_ptr<const engine::Dictionary> held[kDictSlots + 1];
  engine::DictionaryRef refs[kDictSlots];
  size_t n = 0;
  for (int slot = 0; slot < kDictSlots; ++slot) {
    const char *prefix = std::atomic_ref(dict[slot]).load(std::memory_order_relaxed);
    if (prefix == nullptr || prefix[0] == '\0') continue;
    held[n] = quarvel::CachedDictionary(prefix);
    refs[n] = {prefix, slot, held[n].get(), false};
    ++n;
  }
  engine::DictionaryRef profile;
  engine::ScoreRequest request;
  request.settings = &settings;
  request.dictionaries = std::span(refs, n);
  if (Read(USEPROFILE) != 0) {
    held[kDictSlots] = quarvel::CachedDictionary(verify::kProfilePrefix);
    profile = {verify::kProfilePrefix, -1, held[kDictSlots].get(), false};
    request.profile = &profile;
  }
  engine::BreachRef breaches[kDictSlots];
  size_t n_breaches = 0;
  for (const verify::BreachList &list : verify::breach_lists) {
    if (n_breaches == std::size(breaches)) break;
    breaches[n_breaches++] = {list.prefix.c_str(), list.number, list.list.get()};
  }
  request.breaches = std::span(breaches, n_breaches);
  request.breach_min_count = verify::breach_min_count;
  const verify::StdoutTrace trace;
  request.trace = trace.sink();
  request.unreadable = quarvel::ReportUnreadable;

  quarvel_result result{};
  result.size = sizeof(result);
  engine::Score(request, std::string_view(password, length), &result);
  const char *answer = Answer(result);
  SecureWipe(&result, sizeof(result));
  return answer;
}

}  // namespace

extern "C" const char *VerifyPW(const char *password) noexcept {
  std::shared_lock state(quarvel::verify::state_lock);
  if (quarvel::verify::cfg == nullptr) return "RET_CD=2001";
  if (password == nullptr) return "RET_CD=2000";
  // 1 <= length <= 257, without reading further than needed.
  const size_t length = strnlen(password, kPasswordLimit + 1);
  if (length - 1 > kPasswordLimit - 1) return "RET_CD=2000";
  try {
    return Score(password, length);
  } catch (...) {
    return "RET_CD=2009";  // memory ran out opening a dictionary
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
