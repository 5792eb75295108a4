// The dictionaries that VerifyPW and DictFindPW search, opened for the
// engine and kept by prefix: any number of threads may take them at once.
// A dictionary is looked at again on its files at most every few
// milliseconds, so one that is replaced on disk is picked up without a path
// walk on every call.
#ifndef QUARVEL_SRC_VERIFY_LEGACY_DICTIONARIES_H_
#define QUARVEL_SRC_VERIFY_LEGACY_DICTIONARIES_H_

#include <memory>
#include <string_view>

#include "store/dictionary.h"

namespace quarvel::verify {

// The dictionary at prefix, opened now or before; never null (a dictionary
// that does not open says why). Its files are looked at again when the
// last look is older than the revalidation delay, when dictionary files were
// written since (by this process, or by another as the watch saw it), or
// when look_now is set.
std::shared_ptr<const engine::Dictionary> SearchedDictionary(std::string_view prefix,
                                                             bool look_now = false);

// Takes in what the watch on the searched dictionaries' folders saw since
// the last call (from any process): one non-blocking read. Verification
// calls it once before it takes its dictionaries.
void NoticeDictionaryChanges();

// The dictionary at prefix was just written by this process: open it now,
// trusted, so that the next verification finds it ready.
void DictionaryWritten(std::string_view prefix);

// Writes a dictionary's failure to open on standard error, as PWOpen does.
void ReportUnreadable(const engine::Dictionary &dict);

}  // namespace quarvel::verify

#endif  // QUARVEL_SRC_VERIFY_LEGACY_DICTIONARIES_H_
