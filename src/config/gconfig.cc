// The sectioned configuration and its INI-style file format.
#include "quarvel/gconfig.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "config/blank.h"
#include "config/entry_file.h"
#include "quarvel/glist.h"
#include "quarvel/gtable.h"

namespace quarvel::config {
namespace {

constexpr size_t RoundUp(size_t n, size_t align) { return (n + align - 1) / align * align; }

// C callers read these records directly, so their layout is part of the
// interface.
static_assert(offsetof(gconfigsect, name) == 0);
static_assert(sizeof(gconfigsect::name) == 81);
static_assert(offsetof(gconfigsect, table) == RoundUp(81, alignof(gtbl *)));
static_assert(sizeof(gconfigsect) == RoundUp(81, alignof(gtbl *)) + sizeof(gtbl *));
static_assert(offsetof(gcfg, sections) == 0);
static_assert(sizeof(gcfg) == sizeof(glist *));

// Every section's table starts with this many slots and grows by this step.
constexpr int32_t kTableCapacity = 13;
constexpr int32_t kTableGrowBy = 5;

// Only this many leading bytes of a "[" line decide whether it is a section
// line, so an overlong name opens nothing.
constexpr size_t kSectionWindow = GCONFIG_SECTION_NAME_MAX;

gconfigsect *SectionAt(const gcfg *cfg, int32_t index) {
  return static_cast<gconfigsect *>(glist_get(cfg->sections, index));
}

// Appends section, or destroys it when the section list cannot grow.
bool AppendSection(gcfg *cfg, gconfigsect *section) {
  if (glist_put(cfg->sections, section) < 0) {
    gconfigsect_destroy(section);
    return false;
  }
  return true;
}

class ConfigSink : public EntrySink {
 public:
  explicit ConfigSink(gcfg *cfg) : cfg_(cfg) {}

  // A line opens a section when its first kSectionWindow bytes, trimmed of
  // blanks, end with "]". A line that does so is only a section line, even
  // when it also holds "=": a header never doubles as a setting.
  bool SectionLine(std::string_view text) override {
    const std::string_view window = TrimBlanks(text.substr(0, kSectionWindow));
    if (window.size() < 2 || window.back() != ']') return false;
    const std::string name(TrimBlanks(window.substr(1, window.size() - 2)));
    gconfigsect *section = gcfg_findsection(cfg_, name.c_str());
    if (section == nullptr) {
      section = gconfigsect_create(name.c_str());
      if (section == nullptr || !AppendSection(cfg_, section)) throw std::bad_alloc();
    }
    current_ = section;
    return true;
  }

  // Entries before the first section line belong nowhere and are dropped.
  void Entry(std::string_view key, std::string_view value) override {
    if (current_ != nullptr && current_->table != nullptr) {
      AppendEntry(current_->table, key, value);
    }
  }

 private:
  gcfg *cfg_;
  gconfigsect *current_ = nullptr;
};

}  // namespace
}  // namespace quarvel::config

using quarvel::config::SectionAt;

gconfigsect *gconfigsect_create(const char *name) noexcept {
  if (name == nullptr) return nullptr;
  auto *section = static_cast<gconfigsect *>(std::malloc(sizeof(gconfigsect)));
  if (section == nullptr) return nullptr;
  section->table = gtbl_create(quarvel::config::kTableCapacity, quarvel::config::kTableGrowBy);
  if (section->table == nullptr) {
    std::free(section);
    return nullptr;
  }
  const size_t length = strnlen(name, GCONFIG_SECTION_NAME_MAX);
  std::memcpy(section->name, name, length);
  section->name[length] = '\0';
  return section;
}

void gconfigsect_destroy(gconfigsect *section) noexcept {
  if (section == nullptr) return;
  gtbl_destroy(section->table);
  std::free(section);
}

gcfg *gcfg_create(int32_t capacity, int32_t grow_by) noexcept {
  auto *cfg = static_cast<gcfg *>(std::malloc(sizeof(gcfg)));
  if (cfg == nullptr) return nullptr;
  cfg->sections = glist_create(capacity, grow_by);
  if (cfg->sections == nullptr) {
    std::free(cfg);
    return nullptr;
  }
  return cfg;
}

void gcfg_destroy(gcfg *cfg) noexcept {
  if (cfg == nullptr) return;
  // In order, without shifting the remaining sections down each time.
  const int32_t size = glist_size(cfg->sections);
  for (int32_t i = 0; i < size; ++i) gconfigsect_destroy(SectionAt(cfg, i));
  glist_destroy(cfg->sections);
  std::free(cfg);
}

gconfigsect *gcfg_findsection(gcfg *cfg, const char *name) noexcept {
  if (cfg == nullptr || name == nullptr) return nullptr;
  const int32_t size = glist_size(cfg->sections);
  for (int32_t i = 0; i < size; ++i) {
    gconfigsect *section = SectionAt(cfg, i);
    if (section != nullptr && std::strcmp(section->name, name) == 0) return section;
  }
  return nullptr;
}

gtbl *gcfg_findtable(gcfg *cfg, const char *name) noexcept {
  gconfigsect *section = gcfg_findsection(cfg, name);
  return section == nullptr ? nullptr : section->table;
}

void gcfg_putsection(gcfg *cfg, gconfigsect *section) noexcept {
  if (cfg == nullptr || section == nullptr) return;
  quarvel::config::AppendSection(cfg, section);
}

const char *gcfg_get(gcfg *cfg, const char *section, const char *key, const char *def) noexcept {
  if (cfg == nullptr || section == nullptr || key == nullptr) return nullptr;
  gconfigsect *found = gcfg_findsection(cfg, section);
  return found == nullptr ? def : gtbl_get(found->table, key, def);
}

int32_t gcfg_getInt(gcfg *cfg, const char *section, const char *key, int32_t def) noexcept {
  if (cfg == nullptr || section == nullptr || key == nullptr) return -1;
  gconfigsect *found = gcfg_findsection(cfg, section);
  return found == nullptr ? def : gtbl_getInt(found->table, key, def);
}

int32_t gcfg_getBoolean(gcfg *cfg, const char *section, const char *key, int32_t def) noexcept {
  if (cfg == nullptr || section == nullptr || key == nullptr) return 0;
  gconfigsect *found = gcfg_findsection(cfg, section);
  return found == nullptr ? def : gtbl_getBoolean(found->table, key, def);
}

int gcfg_load(gcfg *cfg, const char *path) noexcept {
  if (cfg == nullptr || path == nullptr) return -1;
  quarvel::config::ConfigSink sink(cfg);
  return quarvel::config::ReadEntries(path, sink);
}

int gcfg_store(gcfg *cfg, const char *path, const char *header) noexcept {
  if (cfg == nullptr || path == nullptr) return -1;
  quarvel::config::FilePtr out =
      quarvel::config::OpenForStore(path, header, " gconfig store file\n");
  if (out == nullptr) return -1;
  const int32_t size = glist_size(cfg->sections);
  for (int32_t i = 0; i < size; ++i) {
    const gconfigsect *section = SectionAt(cfg, i);
    if (section == nullptr) continue;
    std::fprintf(out.get(), "\n[%s]\n", section->name);
    if (section->table != nullptr) quarvel::config::WriteEntries(out.get(), section->table);
  }
  return 0;
}
