// The one loader of settings and dictionaries.

#include "engine/snapshot_loader.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "search/breach.h"
#include "store/dictionary_cache.h"

namespace quarvel::engine {
namespace {

// "<what>: <first line of failure> (<code>)".
std::string Reason(const std::string &what, const std::string &failure, int code) {
  std::string reason = what;
  if (!failure.empty()) {
    reason += ": ";
    reason += failure.substr(0, failure.find('\n'));
  }
  return reason + " (" + std::to_string(code) + ")";
}

class Loader {
 public:
  Loader(gcfg &config, std::string_view root, const LoadOptions &options)
      : config_(config), root_(root), options_(options) {}

  LoadOutcome Run() {
    out_.snapshot = std::make_shared<Snapshot>();
    ReadSlotPrefixes();
    if (!OpenSlots() || !OpenBreachLists() || !OpenLanguages()) return std::move(out_);
    ReadSettings();
    if (!ReadMinGuesses()) return std::move(out_);
    if (options_.read_nist && !ReadNist()) return std::move(out_);
    DictSlot profile = Open(-1, kPersonalDictionary);
    if (profile.dict != nullptr && profile.dict->ok()) out_.snapshot->profile = std::move(profile);
    return std::move(out_);
  }

 private:
  const char *Get(const char *section, const std::string &key, const char *fallback) {
    const char *value = gcfg_get(&config_, section, key.c_str(), fallback);
    return value != nullptr ? value : fallback;
  }
  int GetInt(const char *section, const char *key, int fallback) {
    return gcfg_getInt(&config_, section, key, fallback);
  }

  bool Fail(LoadOutcome::Stage stage, int code, const std::string &what,
            const std::string &failure) {
    out_.failed_at = stage;
    out_.code = code;
    out_.failure = failure;
    out_.error = Reason(what, failure, code);
    return false;
  }

  void ReadSlotPrefixes() {
    out_.configured[0] = kDefaultDictionary;
    for (int n = 1; n < kDictSlots; ++n) {
      out_.configured[n] = Get("QUARVEL_DICT", "dict.file.prefix." + std::to_string(n), "");
    }
  }

  DictSlot Open(int slot, const std::string &configured) {
    DictSlot s;
    s.slot = slot;
    s.configured = configured;
    s.path = ResolveUnder(root_, configured);
    s.dict = options_.open ? options_.open(s.path) : ReopenedDictionary(s.path);
    return s;
  }

  bool OpenSlots() {
    for (int n = 0; n < kDictSlots; ++n) {
      if (out_.configured[n].empty()) continue;
      DictSlot s = Open(n, out_.configured[n]);
      if (s.dict == nullptr || !s.dict->ok()) {
        const std::string failure = s.dict != nullptr ? s.dict->failure() : "";
        if (n == 0)
          return Fail(LoadOutcome::kDictionary, 1002,
                      s.path + ": cannot open the default dictionary", failure);
        return Fail(
            LoadOutcome::kDictionary, 1003,
            s.path + ": cannot open the dictionary of dict.file.prefix." + std::to_string(n),
            failure);
      }
      out_.snapshot->slots.push_back(std::move(s));
    }
    return true;
  }

  bool OpenBreachLists() {
    Snapshot &snapshot = *out_.snapshot;
    for (int n = 1; n <= kBreachSlots; ++n) {
      const std::string key = "breach.file.prefix." + std::to_string(n);
      const char *value = Get("QUARVEL_BREACH", key, "");
      if (value[0] == '\0') continue;
      BreachSlot slot;
      slot.number = n;
      slot.configured = value;
      slot.path = ResolveUnder(root_, value) + kHashDictSuffix;
      std::string why = "this library was built without SHA-1 (OpenSSL)";
      if (BreachListsSupported()) slot.list = HashDict::Open(slot.path, &why);
      if (slot.list == nullptr) {
        snapshot.breaches.clear();
        return Fail(LoadOutcome::kBreachList, 1003,
                    slot.path + ": cannot open the hashed list of " + key, why);
      }
      snapshot.breaches.push_back(std::move(slot));
    }
    const char *min_count = Get("QUARVEL_BREACH", "breach.min_count", "1");
    char *end = nullptr;
    const unsigned long long value = strtoull(min_count, &end, 10);
    snapshot.breach_min_count = end != min_count && value > 0 ? value : 1;
    return true;
  }

  bool OpenLanguages() {
    Snapshot &snapshot = *out_.snapshot;
    for (const char *key : kLanguageKeys) {
      const char *value = Get("QUARVEL_LANG", key, "");
      if (value[0] == '\0') continue;
      // A language named but not built is not searched.
      if (access((ResolveUnder(root_, value) + ".pwd").c_str(), F_OK) != 0) continue;
      LanguageSlot language;
      language.key = key;
      language.hangul = language.key == kLanguageKeys[0];
      language.dict = Open(-1, value);
      if (language.dict.dict == nullptr || !language.dict.dict->ok()) {
        const std::string failure =
            language.dict.dict != nullptr ? language.dict.dict->failure() : "";
        snapshot.languages.clear();
        return Fail(LoadOutcome::kDictionary, 1003,
                    language.dict.path + ": cannot open the dictionary of " + language.key,
                    failure);
      }
      snapshot.languages.push_back(std::move(language));
    }
    snapshot.korean_keyboard = GetInt("QUARVEL_LANG", "lang.ko.keyboard", 1) != 0;
    return true;
  }

  void ReadSettings() {
    ConfiguredSettings &c = out_.config;
    c.min_len = GetInt("QUARVEL_RULE", "quarvel_rule.min_len", 6);
    c.min_diff = GetInt("QUARVEL_RULE", "quarvel_rule.min_diff", 4);
    c.min_step = GetInt("QUARVEL_RULE", "quarvel_rule.min_step", 3);
    c.postfix_num = GetInt("QUARVEL_RULE", "quarvel_rule.postfix_num", 1);
    c.prefix_num = GetInt("QUARVEL_RULE", "quarvel_rule.prefix_num", 0);
    c.min_rept = GetInt("QUARVEL_RULE", "quarvel_rule.min_rept", 0);
    c.use_postfix = GetInt("QUARVEL_SEARCH", "quarvel_search.pw_postfix_num", 1);
    c.use_prefix = GetInt("QUARVEL_SEARCH", "quarvel_search.pw_prefix_num", 0);
    c.reverse = GetInt("QUARVEL_SEARCH", "quarvel_search.pw_reverse", 0);
    c.use_min_rept = GetInt("QUARVEL_SEARCH", "quarvel_search.pw_min_rept", 0);
    c.delete_word_list = GetInt("QUARVEL_ETC", "pwd_create.orgfile.delete", 0);
    c.extended = GetInt("QUARVEL_SEARCH", "quarvel_search.extended", 0) != 0 ? 1 : 0;
    if (c.use_min_rept == 0) c.min_rept = 0;

    Snapshot &snapshot = *out_.snapshot;
    snapshot.min_len = c.min_len;
    ScoringSettings &scoring = snapshot.scoring;
    scoring.min_diff = c.min_diff;
    scoring.min_step = c.min_step;
    scoring.min_rept = c.min_rept;
    scoring.use_min_rept = c.use_min_rept;
    scoring.extended = c.extended;
    // A switch of 0 leaves that part of the search off.
    scoring.search.suffix_numbers = c.use_postfix != 0 ? AffixNumbers(c.postfix_num) : 0;
    scoring.search.prefix_numbers = c.use_prefix != 0 ? AffixNumbers(c.prefix_num) : 0;
    scoring.search.reverse = c.reverse != 0 ? 1 : 0;
  }

  // [QUARVEL_SEARCH] quarvel_search.min_guesses_log10: unset by default. A
  // value that is not a number from 0 to 100 fails the load where the
  // [nist] section may fail it, and is left unset elsewhere.
  bool ReadMinGuesses() {
    const char *text = Get("QUARVEL_SEARCH", "quarvel_search.min_guesses_log10", "");
    std::string_view value = text;
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    if (value.empty()) return true;
    const std::string copy(value);
    char *end = nullptr;
    const double number = strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !(number >= 0 && number <= 100)) {
      if (!options_.read_nist) return true;
      return Fail(LoadOutcome::kSettings, 1001,
                  ResolveUnder(root_, kConfigFile) +
                      ": [QUARVEL_SEARCH] quarvel_search.min_guesses_log10: not a number from 0 to "
                      "100: " +
                      copy,
                  "");
    }
    ScoringSettings &scoring = out_.snapshot->scoring;
    scoring.min_guesses_set = true;
    scoring.min_guesses_log10 = number;
    return true;
  }

  bool ReadNist() {
    NistSettings &nist = out_.snapshot->nist;
    nist.min_length = GetInt("nist", "min_length", 15);
    std::string bad;
    if (!ParseBlocklist(Get("nist", "blocklist", "all"), &nist, &bad)) {
      return Fail(LoadOutcome::kNist, 1001,
                  ResolveUnder(root_, kConfigFile) +
                      ": [nist] blocklist: not a slot, \"breach\", \"all\" or \"none\": " + bad,
                  "");
    }
    return true;
  }

  gcfg &config_;
  std::string_view root_;
  const LoadOptions &options_;
  LoadOutcome out_;
};

}  // namespace

std::string ResolveUnder(std::string_view root, std::string_view prefix) {
  if (root.empty()) return std::string(prefix);
  namespace fs = std::filesystem;
  const fs::path path(prefix);
  return (path.is_absolute() ? path : fs::path(root) / path).lexically_normal().string();
}

LoadOutcome LoadSnapshot(gcfg &config, std::string_view root, const LoadOptions &options) {
  return Loader(config, root, options).Run();
}

}  // namespace quarvel::engine
