// DictFindPW and the search's switches: the engine's variant search of one
// word in one dictionary, with its trace on standard output.

#include <atomic>
#include <cstdio>

#include "engine/snapshot_loader.h"
#include "quarvel/dictmanger.h"
#include "quarvel/search.h"
#include "search/rule_table.h"
#include "search/word_search.h"
#include "store/dictionary_cache.h"
#include "store/dictmanger_internal.h"
#include "verify/api_lock.h"
#include "verify/pwanalysis_internal.h"
#include "verify/stdout_trace.h"

namespace quarvel::search {

engine::SearchSettings CurrentSettings() {
  engine::SearchSettings settings;
  settings.suffix_numbers = std::atomic_ref(suffix_numbers).load(std::memory_order_relaxed);
  settings.prefix_numbers = std::atomic_ref(prefix_numbers).load(std::memory_order_relaxed);
  settings.reverse = std::atomic_ref(reverse_passes).load(std::memory_order_relaxed);
  return settings;
}

}  // namespace quarvel::search

extern "C" const char *DictFindPW(const char *word, const char *prefix) noexcept {
  using namespace quarvel;
  if (prefix == nullptr) return "1001";
  try {
    NoticeDictionaryChanges();
    const std::shared_ptr<const engine::Dictionary> dictionary = CachedDictionary(prefix);
    if (!dictionary->ok()) {
      ReportUnreadable(*dictionary);
      return "1001";
    }
    const verify::StdoutTrace stdout_trace;
    const engine::TraceSink &trace = stdout_trace.sink();
    engine::WordSearch search(word != nullptr ? word : "", search::CurrentSettings());
    engine::TraceLine(trace) << "[DictFindPW][DICT=" << prefix << "]";
    const bool found =
        search.Run([&dictionary](const char *candidate) { return dictionary->Contains(candidate); },
                   trace, nullptr);
    // Its files shrank under the search: it counts as unreadable.
    if (dictionary->Faulted()) return "1001";
    return found ? "0001" : nullptr;
  } catch (...) {
    return "1001";  // memory ran out: the dictionary cannot be opened
  }
}

extern "C" void SetPostFixCnt(int selector) noexcept {
  std::atomic_ref(quarvel::search::suffix_numbers)
      .store(quarvel::engine::AffixNumbers(selector), std::memory_order_relaxed);
}

extern "C" void SetPreFixCnt(int selector) noexcept {
  std::atomic_ref(quarvel::search::prefix_numbers)
      .store(quarvel::engine::AffixNumbers(selector), std::memory_order_relaxed);
}

extern "C" void SetUseReverse(int on) noexcept {
  std::atomic_ref(quarvel::search::reverse_passes).store(on, std::memory_order_relaxed);
}
