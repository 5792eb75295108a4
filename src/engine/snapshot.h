// What one check reads: the settings and the dictionaries of an
// environment, loaded from its configuration. Immutable once published.
#ifndef QUARVEL_SRC_ENGINE_SNAPSHOT_H_
#define QUARVEL_SRC_ENGINE_SNAPSHOT_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/nist.h"
#include "engine/scorer.h"
#include "store/dictionary.h"
#include "store/hash_dict.h"

namespace quarvel::engine {

// A configured dictionary (slot 0 is the default one).
struct DictSlot {
  int slot = 0;
  std::string configured;  // the prefix as configured
  std::string path;        // resolved against the root
  std::shared_ptr<const Dictionary> dict;
};

// A hashed leaked-password list ([QUARVEL_BREACH] breach.file.prefix.n).
struct BreachSlot {
  int number = 1;
  std::string configured;  // the prefix as configured
  std::string path;        // the file, resolved against the root
  std::shared_ptr<const HashDict> list;
};

// A language dictionary ([QUARVEL_LANG] lang.<code>, lang.ko.romanised).
struct LanguageSlot {
  std::string key;      // the configuration key that names it
  bool hangul = false;  // Hangul words, searched through the Korean readings
  DictSlot dict;        // slot -1
};

struct Snapshot {
  ScoringSettings scoring;
  int min_len = 6;
  std::vector<DictSlot> slots;          // the configured dictionaries that opened, in slot order
  std::optional<DictSlot> profile;      // the personal dictionary, when it opened
  std::vector<BreachSlot> breaches;     // the hashed lists, in number order
  std::vector<LanguageSlot> languages;  // in the order of kLanguageKeys
  bool korean_keyboard = true;          // [QUARVEL_LANG] lang.ko.keyboard
  uint64_t breach_min_count = 1;
  NistSettings nist;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_SNAPSHOT_H_
