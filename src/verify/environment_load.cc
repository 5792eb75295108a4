// LoadConfigFile: the engine's loader over the working folder, with what it
// read mirrored into the process-wide settings.

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "engine/snapshot_loader.h"
#include "quarvel/dictmanger.h"
#include "quarvel/gconfig.h"
#include "quarvel/pwanalysis.h"
#include "quarvel/search.h"
#include "search/rule_table.h"
#include "store/dictionary_cache.h"
#include "store/dictmanger_internal.h"
#include "verify/api_lock.h"
#include "verify/pwanalysis_internal.h"

namespace {

constexpr char kConfigPath[] = "./conf/quarvel.ini";

char g_environment[1024];

template <typename T>
void Store(T &setting, T value) {
  std::atomic_ref(setting).store(value, std::memory_order_relaxed);
}

// Opens a dictionary for the load, as verification will search it, and
// writes why it does not open on standard error, as PWOpen does. While the
// caller holds a dictionary open with PWOpen, the dictionary is opened with
// PWOpen too, whose one-descriptor rule then closes the caller's and fails.
std::shared_ptr<const quarvel::engine::Dictionary> OpenForLoad(const std::string &prefix) {
  if (pdesc.header.magic == PACKED_DICT_MAGIC) {
    PackedDict *pwp = PWOpen(prefix.c_str(), "rb");
    if (pwp == nullptr) return nullptr;
    PWClose(pwp);
  }
  auto dictionary = quarvel::CachedDictionary(prefix, /*look_now=*/true);
  if (!dictionary->ok()) quarvel::ReportUnreadable(*dictionary);
  return dictionary;
}

// The settings of a successful load, into the process-wide variables.
void MirrorSettings(const quarvel::engine::ConfiguredSettings &c) {
  Store(MINLEN, c.min_len);
  Store(MINDIFF, c.min_diff);
  Store(MINSTEP, c.min_step);
  Store(POSTFIXNUM, c.postfix_num);
  Store(PREFIXNUM, c.prefix_num);
  Store(MINREPT, c.min_rept);
  Store(USEPOSTFIXNUM, c.use_postfix);
  Store(USEPREFIXNUM, c.use_prefix);
  Store(USEREVERSE, c.reverse);
  Store(USEMINREPT, c.use_min_rept);
  Store(DELORGFILE, c.delete_word_list);
  Store(quarvel::search::EXTENDED, c.extended);
  // A switch of 0 leaves the search's own value as it was.
  if (c.use_postfix != 0) SetPostFixCnt(c.postfix_num);
  if (c.use_prefix != 0) SetPreFixCnt(c.prefix_num);
  if (c.reverse != 0) SetUseReverse(1);
}

const char *Load() {
  using namespace quarvel;
  // The previous configuration goes: the slots point to texts of their own.
  gcfg *previous = verify::cfg;
  Store(verify::cfg, gcfg_create(5, 3));
  gcfg_destroy(previous);
  if (gcfg_load(verify::cfg, kConfigPath) != 0) return "RET_CD=1001";

  engine::LoadOptions options;
  options.open = OpenForLoad;
  options.read_nist = false;
  const engine::LoadOutcome loaded = engine::LoadSnapshot(*verify::cfg, "", options);

  Store(dict[0], static_cast<const char *>(engine::kDefaultDictionary));
  if (loaded.code == 1002) return "RET_CD=1002";
  for (int n = 1; n < engine::kDictSlots; ++n) {
    Store(dict[n], verify::SlotText(loaded.configured[n]));
  }
  Store(USE_DICT_CNT, static_cast<int>(loaded.snapshot->slots.size()));
  if (loaded.code != 0) {
    if (loaded.failed_at == engine::LoadOutcome::kBreachList) {
      fprintf(stderr, "%s\n", loaded.failure.c_str());
      // A list that does not open takes the others with it.
      verify::PublishProcessSnapshot(std::make_shared<engine::Snapshot>());
    }
    return "RET_CD=1003";
  }
  MirrorSettings(loaded.config);
  // Verification takes its dictionaries from the slots; the snapshot brings
  // the hashed lists and the least number of guesses.
  auto published = std::make_shared<engine::Snapshot>();
  published->breaches = loaded.snapshot->breaches;
  published->breach_min_count = loaded.snapshot->breach_min_count;
  published->languages = loaded.snapshot->languages;
  published->korean_keyboard = loaded.snapshot->korean_keyboard;
  published->scoring.min_guesses_set = loaded.snapshot->scoring.min_guesses_set;
  published->scoring.min_guesses_log10 = loaded.snapshot->scoring.min_guesses_log10;
  verify::PublishProcessSnapshot(std::move(published));

  // The personal dictionary is searched exactly when it can be opened.
  Store(USEPROFILE, loaded.snapshot->profile.has_value() ? 1 : 0);
  snprintf(g_environment, sizeof(g_environment),
           "RET_CD=0000:PW_LEN=%d:CTS_NCR=%d:REPT_NCR=%d:NCHAR=%d:USE_DICT_CNT=%d:USE_PDICT=%s",
           MINLEN, MINSTEP, MINREPT, 4, USE_DICT_CNT, USEPROFILE != 0 ? "01" : "00");
  return g_environment;
}

}  // namespace

bool quarvel::verify::DictionaryOpensSilently(const char *prefix) {
  return CachedDictionary(prefix, /*look_now=*/true)->ok();
}

extern "C" const char *LoadConfigFile(void) noexcept {
  quarvel::ApiLock lock;
  try {
    return Load();
  } catch (...) {
    return "RET_CD=1003";  // memory ran out copying a slot's text or opening a dictionary
  }
}
