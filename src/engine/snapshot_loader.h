// Loading a snapshot from a configuration: the one loader of the library.
// quarvel_open and quarvel_reload load an environment's root with it, and
// LoadConfigFile loads the working folder with it and mirrors what it read
// into the process-wide settings.
#ifndef QUARVEL_SRC_ENGINE_SNAPSHOT_LOADER_H_
#define QUARVEL_SRC_ENGINE_SNAPSHOT_LOADER_H_

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/snapshot.h"
#include "quarvel/gconfig.h"

namespace quarvel::engine {

inline constexpr int kDictSlots = 8;
inline constexpr int kBreachSlots = 8;
inline constexpr char kConfigFile[] = "conf/quarvel.ini";
inline constexpr char kDefaultDictionary[] = "./dicts/default_dict";
inline constexpr char kPersonalDictionary[] = "./dicts/profile";
// The keys of [QUARVEL_LANG] that name language dictionaries, in the order
// they are searched; the first holds Hangul words.
inline constexpr const char *kLanguageKeys[] = {
    "lang.ko", "lang.ko.romanised", "lang.de", "lang.fr", "lang.es", "lang.it", "lang.pt"};

// The settings as the configuration gives them, before they are combined
// into a snapshot's scoring settings.
struct ConfiguredSettings {
  int min_len = 6;
  int min_diff = 4;
  int min_step = 3;
  int postfix_num = 1;  // affix selectors: 1 ten numbers, 2 a hundred
  int prefix_num = 0;
  int min_rept = 0;
  int use_postfix = 1;  // switches of the search's passes
  int use_prefix = 0;
  int reverse = 0;
  int use_min_rept = 0;
  int delete_word_list = 0;
  int extended = 0;
};

struct LoadOptions {
  // Opens the dictionary at path; nullptr counts as a dictionary that does
  // not open and says nothing. Unset: Dictionary::Open.
  std::function<std::shared_ptr<const Dictionary>(const std::string &path)> open;
  // Whether a [nist] section, or a least number of guesses, that cannot be
  // read fails the load (1001).
  bool read_nist = true;
};

// What a load read, and where it stopped.
struct LoadOutcome {
  int code = 0;  // 0, or 1001, 1002, 1003
  enum Stage { kNone, kDictionary, kBreachList, kSettings, kNist } failed_at = kNone;
  std::string error;  // one line naming the file, ending with " (code)"
  std::string
      failure;  // what opening the failing dictionary or list wrote, for callers that print it
  ConfiguredSettings config;  // read only when the dictionaries and lists opened
  // Every slot's prefix as configured, "" when unset (slot 0 the default
  // dictionary): read before any is opened.
  std::array<std::string, kDictSlots> configured;
  // As far as the load got: the slots that opened before a failure; the
  // settings, the lists and the personal dictionary only on success.
  std::shared_ptr<Snapshot> snapshot;
};

// Loads the dictionaries, hashed lists and settings that config names.
// Relative prefixes resolve against root; with an empty root they are used
// as configured (relative to the working folder).
LoadOutcome LoadSnapshot(gcfg &config, std::string_view root, const LoadOptions &options = {});

// The path prefix names under root (as configured when root is empty).
std::string ResolveUnder(std::string_view root, std::string_view prefix);

// Numbers of tries of an affix selector: 1 ten, 2 a hundred, else none.
constexpr int AffixNumbers(int selector) { return selector == 1 ? 10 : selector == 2 ? 100 : 0; }

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_SNAPSHOT_LOADER_H_
