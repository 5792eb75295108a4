// Internal view of the verification settings, for the library's own code and
// white-box tests.
#ifndef QUARVEL_SRC_VERIFY_PWANALYSIS_INTERNAL_H_
#define QUARVEL_SRC_VERIFY_PWANALYSIS_INTERNAL_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "base/writer_first_lock.h"
#include "engine/environment.h"
#include "engine/snapshot_loader.h"
#include "quarvel/gconfig.h"

namespace quarvel::verify {

// The configuration object of the last environment load, or NULL before the
// first. Scoring refuses to run without one.
extern gcfg *cfg;

// The copy of text that the dictionary slots (dict[1..7]) point to. Each
// distinct text is copied once and kept for the life of the process, so a
// check that read a slot's pointer before a reload changed it still reads
// a valid text.
const char *SlotText(std::string_view text);

// What LoadConfigFile published for verification beyond the process-wide
// settings: the hashed leaked-password lists of [QUARVEL_BREACH]. Checks take
// it without a lock (each thread keeps the snapshot it used last); null
// before the first load that read the lists.
const engine::Environment *ProcessEnvironment();
void PublishProcessSnapshot(std::shared_ptr<const engine::Snapshot> snapshot);

// The personal dictionary is deleted (its files removed, USEPROFILE set to
// 0) under an exclusive hold of this lock; a check reads USEPROFILE and
// takes the personal dictionary under a shared one, so that no check meets
// the switch on and the files gone. A deletion waits for the checks taking
// the personal dictionary at that moment, never for later ones and never
// for a whole check. (The files of any dictionary change as one set under
// the store's file_set_lock.)
extern WriterFirstLock personal_dictionary_lock;

// Prefix of the personal dictionary.
inline constexpr const char *kProfilePrefix = engine::kPersonalDictionary;

// True when a dictionary opens for reading.
bool DictionaryOpensSilently(const char *prefix);

// CreateDict sorts a word list in memory while it takes at most this many
// bytes there, and in sorted runs beyond (1 GiB unless a test lowers it).
uint64_t CreateDictMemoryBudget();
void SetCreateDictMemoryBudget(uint64_t bytes);

}  // namespace quarvel::verify

// The preparation state of a dictionary build, between the steps of one call
// of SortFile: the word list's text, and the offsets of its words.
extern "C" {
extern char *buf;
extern int32_t *offsets;
extern int32_t off_size;
extern int32_t off_idx;
}

#endif  // QUARVEL_SRC_VERIFY_PWANALYSIS_INTERNAL_H_
