// The one cache of the dictionaries opened for searching (engine::Dictionary),
// kept by prefix and shared by every user: VerifyPW and DictFindPW, and the
// engine's environments (whose snapshots hold what it hands out). Any number
// of threads may use it at once.
//
// Revalidation: a dictionary is looked at again on its files (their
// identities, and the quiet window after a change, engine::Dictionary::Stale)
// when its last look is older than kRevalidateNanoseconds, when the write
// generation moved (dictionary files written by this process, or changes that
// the inotify watch on the dictionaries' folders saw), or when the caller asks.
// Each thread keeps the entries it used, so that checks on several cores take
// no lock in the common case.
//
// PWOpen's decoded copies (pw_decoded_cache.h) are a separate layer: they are
// revalidated at every open against the files actually opened.
#ifndef QUARVEL_SRC_STORE_DICTIONARY_CACHE_H_
#define QUARVEL_SRC_STORE_DICTIONARY_CACHE_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "quarvel/engine.h"
#include "store/dictionary.h"
#include "store/write_generation.h"

namespace quarvel {

// Largest delay before a check sees a dictionary replaced on disk by another
// process.
inline constexpr int64_t kRevalidateNanoseconds = QUARVEL_REVALIDATE_MS * 1'000'000LL;

// The dictionary at prefix, opened now or before; never null (a dictionary
// that does not open says why). Its files are looked at again when the last
// look is older than the revalidation delay, when the write generation moved,
// or when look_now is set.
std::shared_ptr<const engine::Dictionary> CachedDictionary(std::string_view prefix,
                                                           bool look_now = false);

// The dictionary at prefix opened now, whatever the cache held; the cache
// keeps it. (An environment's load reads everything again.)
std::shared_ptr<const engine::Dictionary> ReopenedDictionary(std::string_view prefix);

// The dictionary at prefix after a look at its files now: the one the cache
// holds (known, when it holds none) while its files are unchanged, else the
// files opened again.
std::shared_ptr<const engine::Dictionary> RevalidatedDictionary(
    std::string_view prefix, std::shared_ptr<const engine::Dictionary> known);

// The dictionary at prefix was just written by this process: moves the write
// generation and opens it now, trusted, so that the next check finds it
// ready. Answers it.
std::shared_ptr<const engine::Dictionary> DictionaryWritten(std::string_view prefix);

// Takes in what the watch on the cached dictionaries' folders saw since the
// last call (from any process): one non-blocking read, which moves the write
// generation when anything changed. A verification calls it once before it
// takes its dictionaries.
void NoticeDictionaryChanges();

// Writes a dictionary's failure to open on standard error, as PWOpen does.
void ReportUnreadable(const engine::Dictionary &dict);

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_DICTIONARY_CACHE_H_
