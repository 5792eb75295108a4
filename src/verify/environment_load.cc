// Environment loading: LoadConfigFile.

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "quarvel/dictmanger.h"
#include "quarvel/gconfig.h"
#include "quarvel/pwanalysis.h"
#include "quarvel/search.h"
#include "search/breach.h"
#include "search/rule_table.h"
#include "store/dictionary_cache.h"
#include "store/dictmanger_internal.h"
#include "verify/api_lock.h"
#include "verify/pwanalysis_internal.h"

namespace {

constexpr char kConfigPath[] = "./conf/quarvel.ini";
constexpr char kDefaultDictPrefix[] = "./dicts/default_dict";
constexpr int kDictSlots = 8;

char g_environment[1024];

// Copies text into slot's storage and points the slot at it; false when
// memory runs out.
bool SetSlot(int slot, const char *text) {
  using quarvel::verify::slot_texts;
  try {
    slot_texts[slot].assign(text);
  } catch (...) {
    dict[slot] = "";
    return false;
  }
  dict[slot] = slot_texts[slot].c_str();
  return true;
}

int ReadInt(const char *section, const char *key, int fallback) {
  return gcfg_getInt(quarvel::verify::cfg, section, key, fallback);
}

// Opens the hashed lists of [QUARVEL_BREACH] (<prefix>.hsh, relative to the
// working folder); false when one is named that cannot be opened, which it
// reports on standard error.
bool LoadBreachLists() {
  using quarvel::verify::breach_lists;
  breach_lists.clear();
  quarvel::verify::breach_min_count = 1;
  try {
    for (int n = 1; n <= 8; ++n) {
      char key[32];
      snprintf(key, sizeof(key), "breach.file.prefix.%d", n);
      const char *prefix = gcfg_get(quarvel::verify::cfg, "QUARVEL_BREACH", key, "");
      if (prefix == nullptr || prefix[0] == '\0') continue;
      const std::string path = std::string(prefix) + quarvel::kHashDictSuffix;
      std::string why = "this library was built without SHA-1 (OpenSSL)";
      std::shared_ptr<const quarvel::HashDict> list;
      if (quarvel::engine::BreachListsSupported()) list = quarvel::HashDict::Open(path, &why);
      if (list == nullptr) {
        fprintf(stderr, "%s\n", why.c_str());
        breach_lists.clear();
        return false;
      }
      breach_lists.push_back({n, prefix, std::move(list)});
    }
  } catch (...) {
    breach_lists.clear();
    return false;
  }
  const char *min_count = gcfg_get(quarvel::verify::cfg, "QUARVEL_BREACH", "breach.min_count", "1");
  const unsigned long long value = strtoull(min_count != nullptr ? min_count : "1", nullptr, 10);
  quarvel::verify::breach_min_count = value > 0 ? value : 1;
  return true;
}

}  // namespace

// A dictionary opens when its header can be read; the one verification will
// search is opened (and decoded) on the way. A caller's own open dictionary
// is force-closed by PWOpen's rule, and this one then does not open.
bool quarvel::verify::DictionaryOpens(const char *prefix) {
  if (pdesc.header.magic == PACKED_DICT_MAGIC) {
    PackedDict *pwp = PWOpen(prefix, "rb");
    if (pwp != nullptr) PWClose(pwp);
    return pwp != nullptr;
  }
  const auto dictionary = CachedDictionary(prefix, /*look_now=*/true);
  if (!dictionary->ok()) ReportUnreadable(*dictionary);
  return dictionary->ok();
}

bool quarvel::verify::DictionaryOpensSilently(const char *prefix) {
  return CachedDictionary(prefix, /*look_now=*/true)->ok();
}

extern "C" const char *LoadConfigFile(void) noexcept {
  quarvel::ApiLock lock;
  std::unique_lock state(quarvel::verify::state_lock);
  using quarvel::verify::cfg;
  using quarvel::verify::DictionaryOpens;
  // The previous configuration goes: the slots keep copies of their texts.
  gcfg_destroy(cfg);
  cfg = gcfg_create(5, 3);
  if (gcfg_load(cfg, kConfigPath) != 0) return "RET_CD=1001";

  dict[0] = kDefaultDictPrefix;
  if (!DictionaryOpens(kDefaultDictPrefix)) return "RET_CD=1002";

  bool slots_stored = true;
  for (int n = 1; n < kDictSlots; ++n) {
    char key[32];
    snprintf(key, sizeof(key), "dict.file.prefix.%d", n);
    slots_stored &= SetSlot(n, gcfg_get(cfg, "QUARVEL_DICT", key, ""));
  }
  if (!slots_stored) return "RET_CD=1003";

  USE_DICT_CNT = 1;
  for (int n = 1; n < kDictSlots; ++n) {
    if (dict[n][0] == '\0') continue;
    if (!DictionaryOpens(dict[n])) return "RET_CD=1003";
    ++USE_DICT_CNT;
  }

  if (!LoadBreachLists()) return "RET_CD=1003";

  MINLEN = ReadInt("QUARVEL_RULE", "quarvel_rule.min_len", 6);
  MINDIFF = ReadInt("QUARVEL_RULE", "quarvel_rule.min_diff", 4);
  MINSTEP = ReadInt("QUARVEL_RULE", "quarvel_rule.min_step", 3);
  POSTFIXNUM = ReadInt("QUARVEL_RULE", "quarvel_rule.postfix_num", 1);
  PREFIXNUM = ReadInt("QUARVEL_RULE", "quarvel_rule.prefix_num", 0);
  MINREPT = ReadInt("QUARVEL_RULE", "quarvel_rule.min_rept", 0);
  USEPOSTFIXNUM = ReadInt("QUARVEL_SEARCH", "quarvel_search.pw_postfix_num", 1);
  USEPREFIXNUM = ReadInt("QUARVEL_SEARCH", "quarvel_search.pw_prefix_num", 0);
  USEREVERSE = ReadInt("QUARVEL_SEARCH", "quarvel_search.pw_reverse", 0);
  USEMINREPT = ReadInt("QUARVEL_SEARCH", "quarvel_search.pw_min_rept", 0);
  DELORGFILE = ReadInt("QUARVEL_ETC", "pwd_create.orgfile.delete", 0);
  quarvel::search::EXTENDED = ReadInt("QUARVEL_SEARCH", "quarvel_search.extended", 0) != 0 ? 1 : 0;

  if (USEMINREPT == 0) MINREPT = 0;
  // A switch of 0 leaves the search's own value as it was.
  if (USEPOSTFIXNUM != 0) SetPostFixCnt(POSTFIXNUM);
  if (USEPREFIXNUM != 0) SetPreFixCnt(PREFIXNUM);
  if (USEREVERSE != 0) SetUseReverse(1);

  // The personal dictionary is searched exactly when it can be opened.
  USEPROFILE = DictionaryOpens(quarvel::verify::kProfilePrefix) ? 1 : 0;
  snprintf(g_environment, sizeof(g_environment),
           "RET_CD=0000:PW_LEN=%d:CTS_NCR=%d:REPT_NCR=%d:NCHAR=%d:USE_DICT_CNT=%d:USE_PDICT=%s",
           MINLEN, MINSTEP, MINREPT, 4, USE_DICT_CNT, USEPROFILE != 0 ? "01" : "00");
  return g_environment;
}
