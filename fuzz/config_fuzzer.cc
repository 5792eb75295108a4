// Fuzz target: configuration files.
//
// The input is one file, read as an INI configuration (gcfg_load) and as a
// flat key-value file (gtbl_load). What each reader stores is compared with a
// model of the line rules of docs/config-format.md kept in this file. Then
// names found in the file are looked up with the plain, integer and boolean
// lookups, and the configuration is stored, loaded again and compared: a
// reload must give the model's reading of the stored file, and, when no
// value is one that the format cannot carry (ending in a blank or a
// backslash) and no key starts with "[", exactly what was stored.
// Every object is destroyed, so the leak checker sees any lost block.

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "quarvel/gconfig.h"
#include "quarvel/glist.h"
#include "quarvel/gtable.h"

namespace {

using quarvel::fuzz::Printable;

struct Entry {
  std::string key;
  std::string value;
};

struct Section {
  std::string name;
  std::vector<Entry> entries;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimEnd(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return TrimEnd(text);
}

// One piece of a long value as the writer splits it: 1022 bytes, " \\" and
// the line feed.
bool IsWrittenPiece(std::string_view text) {
  return text.size() == 1025 && text.ends_with(" \\\n");
}

// The documented reading of a file. A flat file is read into one section
// with an empty name that is current from the start.
std::vector<Section> ModelRead(std::string_view bytes, bool sectioned) {
  std::vector<Section> sections;
  int current = -1;
  if (!sectioned) {
    sections.emplace_back();
    current = 0;
  }
  bool open = false;
  bool pieces = false;  // the pending value is split by the writer
  Entry pending;
  auto store = [&](Entry entry) {
    if (current >= 0) sections[current].entries.push_back(std::move(entry));
  };

  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end == std::string_view::npos ? end : end + 1);
    bytes.remove_prefix(line.size());
    line = line.substr(0, line.find('\0'));  // a NUL ends the line's text
    const char first = line.empty() ? '\0' : line.front();

    if (pieces) {
      if (IsWrittenPiece(line)) {
        pending.value.append(line.substr(0, 1022));
      } else {
        pending.value.append(TrimEnd(line));
        open = pieces = false;
        store(std::move(pending));
      }
      continue;
    }
    if (first == '#') continue;
    if (!open && IsBlank(first)) continue;
    if (sectioned && first == '[') {
      const std::string_view window = Trim(line.substr(0, 80));
      if (window.back() == ']') {
        const std::string_view name = Trim(window.substr(1, window.size() - 2));
        open = false;
        current = -1;
        for (size_t i = 0; i < sections.size(); ++i) {
          if (sections[i].name == name) current = static_cast<int>(i);
        }
        if (current < 0) {
          sections.push_back({std::string(name), {}});
          current = static_cast<int>(sections.size()) - 1;
        }
        continue;
      }
    }
    if (open && IsBlank(first)) {
      std::string_view piece = Trim(line);
      const bool more = !piece.empty() && piece.back() == '\\';
      if (more) piece.remove_suffix(1);
      pending.value.append(piece);
      if (!more) {
        open = false;
        store(std::move(pending));
      }
      continue;
    }
    open = false;  // an unindented line drops a value being continued
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (IsWrittenPiece(line.substr(equals + 1))) {
      pending = {std::string(TrimEnd(line.substr(0, equals))),
                 std::string(line.substr(equals + 1, 1022))};
      open = pieces = true;
      continue;
    }
    Entry entry{std::string(TrimEnd(line.substr(0, equals))),
                std::string(TrimEnd(line.substr(equals + 1)))};
    if (!entry.value.empty() && entry.value.back() == '\\') {
      entry.value.pop_back();
      pending = std::move(entry);
      open = true;
    } else {
      store(std::move(entry));
    }
  }
  return sections;
}

std::vector<Entry> TableEntries(const gtbl *table) {
  std::vector<Entry> entries;
  const int32_t size = gtbl_size(table);
  for (int32_t i = 0; i < size; ++i) {
    const auto *field = static_cast<const gfield *>(glist_get(table->list, i));
    FUZZ_CHECK(field != nullptr && field->key != nullptr && field->value != nullptr);
    entries.push_back({field->key, field->value});
  }
  return entries;
}

std::vector<Section> ConfigSections(gcfg *cfg) {
  std::vector<Section> sections;
  const int32_t size = glist_size(cfg->sections);
  for (int32_t i = 0; i < size; ++i) {
    const auto *section = static_cast<const gconfigsect *>(glist_get(cfg->sections, i));
    FUZZ_CHECK(section != nullptr && section->table != nullptr);
    FUZZ_CHECK(strnlen(section->name, sizeof(section->name)) < sizeof(section->name));
    sections.push_back({section->name, TableEntries(section->table)});
  }
  return sections;
}

void ExpectSame(const std::vector<Section> &got, const std::vector<Section> &want,
                const char *what) {
  FUZZ_CHECK(got.size() == want.size(), std::string(what) + ": " + std::to_string(got.size()) +
                                            " sections, expected " + std::to_string(want.size()));
  for (size_t s = 0; s < got.size(); ++s) {
    const std::string where = std::string(what) + " section [" + Printable(want[s].name) + "]";
    FUZZ_CHECK(got[s].name == want[s].name, where + " is named [" + Printable(got[s].name) + "]");
    FUZZ_CHECK(got[s].entries.size() == want[s].entries.size(),
               where + ": " + std::to_string(got[s].entries.size()) + " entries, expected " +
                   std::to_string(want[s].entries.size()));
    for (size_t e = 0; e < got[s].entries.size(); ++e) {
      const Entry &g = got[s].entries[e];
      const Entry &w = want[s].entries[e];
      FUZZ_CHECK(g.key == w.key && g.value == w.value,
                 where + " entry " + std::to_string(e) + ": " + Printable(g.key) + "=" +
                     Printable(g.value) + ", expected " + Printable(w.key) + "=" +
                     Printable(w.value));
    }
  }
}

// atoi's grammar over C white space, saturating at the int32 range.
int32_t ExpectedInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = std::min<int64_t>(magnitude * 10 + (text[i] - '0'), int64_t{INT32_MAX} + 1);
  }
  if (negative) return static_cast<int32_t>(-magnitude);
  return static_cast<int32_t>(std::min<int64_t>(magnitude, INT32_MAX));
}

int32_t ExpectedBoolean(std::string_view text) {
  auto equals_folded = [text](std::string_view word) {
    if (text.size() != word.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
      const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
      if (c != word[i]) return false;
    }
    return true;
  };
  return equals_folded("true") || equals_folded("yes") ? 1 : 0;
}

// Looks up the first keys of every section, three ways, against the model,
// and records in model the trimming that the typed lookups do in place.
void CheckLookups(gcfg *cfg, std::vector<Section> &model) {
  static const char kDefault[] = "absent";
  for (Section &section : model) {
    const char *name = section.name.c_str();
    const size_t limit = std::min<size_t>(section.entries.size(), 32);
    for (size_t e = 0; e < limit; ++e) {
      const std::string key = section.entries[e].key;
      // The first entry with the key is the one every lookup finds.
      Entry *first = &section.entries[e];
      for (size_t k = 0; k < e; ++k) {
        if (section.entries[k].key == key) {
          first = &section.entries[k];
          break;
        }
      }
      const char *value = gcfg_get(cfg, name, key.c_str(), kDefault);
      FUZZ_CHECK(value != nullptr && value != kDefault && first->value == value,
                 "[" + Printable(section.name) + "] " + Printable(key));
      switch (e % 3) {
        case 0:
          break;
        case 1:
          FUZZ_CHECK(gcfg_getInt(cfg, name, key.c_str(), -77) == ExpectedInt(Trim(first->value)));
          first->value = std::string(Trim(first->value));
          break;
        case 2:
          FUZZ_CHECK(gcfg_getBoolean(cfg, name, key.c_str(), 5) ==
                     ExpectedBoolean(Trim(first->value)));
          first->value = std::string(Trim(first->value));
          break;
      }
      FUZZ_CHECK(first->value == gcfg_get(cfg, name, key.c_str(), kDefault));
    }
    // A key no entry has gives the default pointer itself.
    FUZZ_CHECK(gcfg_get(cfg, name, "=never a key=", kDefault) == kDefault);
    FUZZ_CHECK(gcfg_getInt(cfg, name, "=never a key=", 1234) == 1234);
  }
}

// True when storing and loading again must give back exactly these sections.
bool SurvivesRoundTrip(const std::vector<Section> &sections, bool sectioned) {
  for (const Section &section : sections) {
    for (const Entry &entry : section.entries) {
      const std::string_view v = entry.value;
      if (!v.empty() && (IsBlank(v.back()) || v.back() == '\\')) return false;
      if (sectioned && !entry.key.empty() && entry.key[0] == '[') return false;
    }
  }
  return true;
}

void FuzzSectioned(const std::string &input) {
  const std::vector<Section> expected = ModelRead(input, true);
  gcfg *cfg = gcfg_create(5, 3);
  FUZZ_CHECK(cfg != nullptr);
  FUZZ_CHECK(gcfg_load(cfg, "input.txt") == 0);
  ExpectSame(ConfigSections(cfg), expected, "gcfg_load");

  std::vector<Section> after_lookups = expected;
  CheckLookups(cfg, after_lookups);
  FUZZ_CHECK(gcfg_get(cfg, "=no such section=", "k", "fallback") == std::string("fallback"));

  FUZZ_CHECK(gcfg_store(cfg, "stored.ini", nullptr) == 0);
  std::string stored;
  FUZZ_CHECK(quarvel::fuzz::ReadFile("stored.ini", stored));
  FUZZ_CHECK(stored.starts_with("#\n#  gconfig store file\n\n#\n"));
  gcfg *reloaded = gcfg_create(5, 3);
  FUZZ_CHECK(gcfg_load(reloaded, "stored.ini") == 0);
  const std::vector<Section> back = ConfigSections(reloaded);
  ExpectSame(back, ModelRead(stored, true), "reload");
  if (SurvivesRoundTrip(after_lookups, true)) ExpectSame(back, after_lookups, "round trip");
  gcfg_destroy(reloaded);
  gcfg_destroy(cfg);
}

void FuzzFlat(const std::string &input) {
  const std::vector<Section> expected = ModelRead(input, false);
  gtbl *table = gtbl_create(13, 5);
  FUZZ_CHECK(table != nullptr);
  FUZZ_CHECK(gtbl_load(table, "input.txt") == 0);
  ExpectSame({{"", TableEntries(table)}}, expected, "gtbl_load");

  gnames *names = gtbl_create_names();
  FUZZ_CHECK(gtbl_getnames(table, names) == gtbl_size(table));
  for (int32_t i = 0; i < names->n_names; ++i) {
    FUZZ_CHECK(expected[0].entries[static_cast<size_t>(i)].key == names->names[i]);
  }
  gtbl_destroy_names(names);

  FUZZ_CHECK(gtbl_store(table, "stored.txt", "flat") == 0);
  std::string stored;
  FUZZ_CHECK(quarvel::fuzz::ReadFile("stored.txt", stored));
  gtbl *reloaded = gtbl_create(13, 5);
  FUZZ_CHECK(gtbl_load(reloaded, "stored.txt") == 0);
  const std::vector<Section> back = {{"", TableEntries(reloaded)}};
  ExpectSame(back, ModelRead(stored, false), "flat reload");
  if (SurvivesRoundTrip(expected, false)) ExpectSame(back, expected, "flat round trip");

  // Removing a key uncovers its next entry, if any.
  if (!expected[0].entries.empty()) {
    const std::string key = expected[0].entries[0].key;
    const Entry *next = nullptr;
    for (size_t i = 1; i < expected[0].entries.size() && next == nullptr; ++i) {
      if (expected[0].entries[i].key == key) next = &expected[0].entries[i];
    }
    gtbl_remove(table, key.c_str());
    FUZZ_CHECK(gtbl_size(table) == static_cast<int32_t>(expected[0].entries.size()) - 1);
    const char *value = gtbl_get(table, key.c_str(), nullptr);
    FUZZ_CHECK(next == nullptr ? value == nullptr : value != nullptr && next->value == value);
  }
  gtbl_destroy(reloaded);
  gtbl_destroy(table);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  quarvel::fuzz::Setup(argc, argv, 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string input(reinterpret_cast<const char *>(data), size);
  quarvel::fuzz::WriteFile("input.txt", input);
  FuzzSectioned(input);
  FuzzFlat(input);
  return 0;
}
