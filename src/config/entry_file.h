// The line format shared by flat key-value files and sectioned configuration
// files: one reader that applies the line rules, one writer for entries.
#ifndef QUARVEL_SRC_CONFIG_ENTRY_FILE_H_
#define QUARVEL_SRC_CONFIG_ENTRY_FILE_H_

#include <cstdio>
#include <memory>
#include <string_view>

#include "quarvel/gtable.h"

namespace quarvel::config {

// Receives what the line rules make of a file. Callbacks report running out
// of memory by throwing std::bad_alloc; ReadEntries turns that into -1.
class EntrySink {
 public:
  virtual ~EntrySink() = default;

  // Offered every line whose first byte is '[', before the continuation and
  // key-line rules see it. Returning true means the line opened a section:
  // any open entry is dropped and the line is used up. Flat files have no
  // sections.
  virtual bool SectionLine(std::string_view /*text*/) { return false; }

  // A finished entry. Neither text contains a NUL byte.
  virtual void Entry(std::string_view key, std::string_view value) = 0;
};

// Reads the file at path line by line through the line rules. Returns 0, or
// -1 when the file cannot be opened (nothing reaches the sink) or memory runs
// out (what reached the sink before stays there).
int ReadEntries(const char *path, EntrySink &sink) noexcept;

struct FileCloser {
  void operator()(FILE *file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Opens path for writing (created or emptied) and writes the header block
// "#\n# " header "\n#\n", with default_text standing in for a NULL header.
// Returns an empty pointer when the file cannot be opened.
FilePtr OpenForStore(const char *path, const char *header, const char *default_text);

// Writes each entry of table as key=value lines, splitting long values.
void WriteEntries(FILE *out, const gtbl *table);

// Appends a copy of key and value to table; throws std::bad_alloc when memory
// runs out, leaving the table unchanged.
void AppendEntry(gtbl *table, std::string_view key, std::string_view value);

}  // namespace quarvel::config

#endif  // QUARVEL_SRC_CONFIG_ENTRY_FILE_H_
