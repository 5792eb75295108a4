// The key-value table and the line format it shares with sectioned files.
#include "quarvel/gtable.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "config/blank.h"
#include "config/entry_file.h"
#include "quarvel/glist.h"
#include "quarvel/gstring.h"

namespace quarvel::config {
namespace {

constexpr size_t RoundUp(size_t n, size_t align) { return (n + align - 1) / align * align; }

// C callers read these records directly, so their layout is part of the
// interface.
static_assert(offsetof(gfield, key) == 0);
static_assert(offsetof(gfield, value) == sizeof(char *));
static_assert(sizeof(gfield) == 2 * sizeof(char *));
static_assert(offsetof(gtbl, list) == 0);
static_assert(sizeof(gtbl) == sizeof(glist *));
static_assert(offsetof(gnames, n_names) == 0);
static_assert(offsetof(gnames, names) == RoundUp(sizeof(int32_t), alignof(char **)));
static_assert(sizeof(gnames) == RoundUp(sizeof(int32_t), alignof(char **)) + sizeof(char **));

char *CopyText(std::string_view text) {
  auto *copy = static_cast<char *>(std::malloc(text.size() + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

gfield *NewField(std::string_view key, std::string_view value) {
  auto *field = static_cast<gfield *>(std::malloc(sizeof(gfield)));
  if (field == nullptr) return nullptr;
  field->key = CopyText(key);
  field->value = CopyText(value);
  if (field->key == nullptr || field->value == nullptr) {
    gfield_destroy(field);
    return nullptr;
  }
  return field;
}

// Appends field, or releases it when the entry list cannot grow.
bool Append(gtbl *table, gfield *field) {
  if (field == nullptr) return false;
  if (glist_put(table->list, field) < 0) {
    gfield_destroy(field);
    return false;
  }
  return true;
}

gfield *FieldAt(const gtbl *table, int32_t index) {
  return static_cast<gfield *>(glist_get(table->list, index));
}

int32_t FindKey(const gtbl *table, const char *key) {
  if (table == nullptr || key == nullptr) return -1;
  const int32_t size = glist_size(table->list);
  for (int32_t i = 0; i < size; ++i) {
    const gfield *field = FieldAt(table, i);
    if (field != nullptr && field->key != nullptr && std::strcmp(field->key, key) == 0) return i;
  }
  return -1;
}

// atoi's grammar with saturation instead of undefined behaviour. The skipped
// white space is the C locale's, whatever locale the process has set.
int32_t ParseInt(const char *text) {
  auto is_space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (is_space(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  constexpr int64_t kLimit = static_cast<int64_t>(INT32_MAX) + 1;
  int64_t magnitude = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    magnitude = magnitude * 10 + (*text - '0');
    if (magnitude > kLimit) magnitude = kLimit;
  }
  if (negative) return static_cast<int32_t>(-magnitude);
  return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

bool EqualsIgnoreAsciiCase(const char *text, const char *lower_word) {
  for (; *lower_word != '\0'; ++text, ++lower_word) {
    const char c = (*text >= 'A' && *text <= 'Z') ? static_cast<char>(*text - 'A' + 'a') : *text;
    if (c != *lower_word) return false;
  }
  return *text == '\0';
}

// A value longer than kLineRoom goes out in pieces of kPiece bytes, each
// followed by the continuation mark; the pieces after the first start in the
// first column. The reader knows such a piece by its exact shape.
constexpr size_t kLineRoom = 1023;
constexpr size_t kPiece = 1022;
constexpr std::string_view kContinuationMark = " \\\n";

// True for text that is one piece of a long value as the writer splits it:
// exactly kPiece bytes, the continuation mark, and nothing after.
bool IsWrittenPiece(std::string_view text) {
  return text.size() == kPiece + kContinuationMark.size() && text.ends_with(kContinuationMark);
}

// --- Reading -----------------------------------------------------------------

// Physical lines, each returned whole with its line feed however long it is,
// so that no tail of a long line is ever mistaken for a line of its own.
class LineReader {
 public:
  explicit LineReader(FILE *file) : file_(file) {}

  bool Next(std::string &line) {
    line.clear();
    int c;
    while ((c = getc_unlocked(file_)) != EOF) {
      line.push_back(static_cast<char>(c));
      if (c == '\n') break;
    }
    return !line.empty();
  }

 private:
  FILE *file_;
};

struct ReadState {
  explicit ReadState(EntrySink &s) : sink(s) {}

  EntrySink &sink;
  // The open entry: a key line ended in a backslash and continuation lines
  // may still extend its value.
  bool open = false;
  // The open entry is a long value split by the writer: the next line is its
  // next piece, taken as written whatever its first byte.
  bool pieces = false;
  std::string key;
  std::string value;

  void Store(std::string_view k, std::string_view v) { sink.Entry(k, v); }
  void CloseOpen() {
    open = pieces = false;
    Store(key, value);
  }
  void DropOpen() { open = pieces = false; }
};

enum class Outcome { kDone, kNextRule };

// Empty only for a line that starts with a NUL byte; such a line matches no
// rule on its first byte and ends up as a key line without "=".
char FirstByte(std::string_view line) { return line.empty() ? '\0' : line.front(); }

Outcome Skip(ReadState &, std::string_view) { return Outcome::kDone; }

Outcome SectionRule(ReadState &state, std::string_view line) {
  if (!state.sink.SectionLine(line)) return Outcome::kNextRule;
  state.DropOpen();
  return Outcome::kDone;
}

Outcome ContinuationRule(ReadState &state, std::string_view line) {
  std::string_view piece = TrimBlanks(line);
  const bool more = !piece.empty() && piece.back() == '\\';
  if (more) piece.remove_suffix(1);
  state.value.append(piece);
  if (!more) state.CloseOpen();
  return Outcome::kDone;
}

Outcome PieceRule(ReadState &state, std::string_view line) {
  if (IsWrittenPiece(line)) {
    state.value.append(line.substr(0, kPiece));
  } else {
    state.value.append(TrimTrailingBlanks(line));
    state.CloseOpen();
  }
  return Outcome::kDone;
}

Outcome AbandonRule(ReadState &state, std::string_view) {
  state.DropOpen();
  return Outcome::kNextRule;
}

Outcome KeyLineRule(ReadState &state, std::string_view line) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return Outcome::kDone;
  const std::string_view key = TrimTrailingBlanks(line.substr(0, equals));
  if (IsWrittenPiece(line.substr(equals + 1))) {
    state.key.assign(key);
    state.value.assign(line.substr(equals + 1, kPiece));
    state.open = state.pieces = true;
    return Outcome::kDone;
  }
  std::string_view value = TrimTrailingBlanks(line.substr(equals + 1));
  if (!value.empty() && value.back() == '\\') {
    value.remove_suffix(1);
    state.key.assign(key);
    state.value.assign(value);
    state.open = true;
  } else {
    state.Store(key, value);
  }
  return Outcome::kDone;
}

struct LineRule {
  bool (*applies)(const ReadState &, std::string_view);
  Outcome (*apply)(ReadState &, std::string_view);
};

// The rules in the order they are tried; the first that applies and is done
// ends the line. Reaching the abandon rule with an entry open implies the
// line starts with neither "#" nor a blank.
constexpr LineRule kLineRules[] = {
    // Piece of a long value that the writer split: before every other rule,
    // since a piece may start with any byte.
    {[](const ReadState &s, std::string_view) { return s.pieces; }, PieceRule},
    // Comment: an open entry survives it.
    {[](const ReadState &, std::string_view line) { return FirstByte(line) == '#'; }, Skip},
    // Ignored: blank or indented lines while no entry is open.
    {[](const ReadState &s, std::string_view line) { return !s.open && IsBlank(FirstByte(line)); },
     Skip},
    // Section line (sectioned files only).
    {[](const ReadState &, std::string_view line) { return FirstByte(line) == '['; }, SectionRule},
    // Continuation of the open entry.
    {[](const ReadState &s, std::string_view line) { return s.open && IsBlank(FirstByte(line)); },
     ContinuationRule},
    // Abandoned continuation: the line is then read as a key line.
    {[](const ReadState &s, std::string_view) { return s.open; }, AbandonRule},
    // Key line.
    {[](const ReadState &, std::string_view) { return true; }, KeyLineRule},
};

void ApplyLineRules(ReadState &state, std::string_view line) {
  for (const LineRule &rule : kLineRules) {
    if (rule.applies(state, line) && rule.apply(state, line) == Outcome::kDone) return;
  }
}

// --- Writing -----------------------------------------------------------------

void WriteValue(FILE *out, std::string_view value) {
  while (value.size() > kLineRoom) {
    std::fwrite(value.data(), 1, kPiece, out);
    std::fwrite(kContinuationMark.data(), 1, kContinuationMark.size(), out);
    value.remove_prefix(kPiece);
  }
  std::fwrite(value.data(), 1, value.size(), out);
  std::fputc('\n', out);
}

class TableSink : public EntrySink {
 public:
  explicit TableSink(gtbl *table) : table_(table) {}
  void Entry(std::string_view key, std::string_view value) override {
    AppendEntry(table_, key, value);
  }

 private:
  gtbl *table_;
};

}  // namespace

int ReadEntries(const char *path, EntrySink &sink) noexcept {
  FilePtr file(std::fopen(path, "r"));
  if (file == nullptr) return -1;
  try {
    ReadState state(sink);
    LineReader reader(file.get());
    std::string line;
    while (reader.Next(line)) {
      // A NUL byte ends the line's text; the rest of the physical line is
      // consumed with it and never read as a line of its own.
      ApplyLineRules(state, std::string_view(line.c_str()));
    }
    // An entry still open here is dropped, as after any broken continuation.
    return 0;
  } catch (const std::exception &) {
    return -1;
  }
}

FilePtr OpenForStore(const char *path, const char *header, const char *default_text) {
  FilePtr out(std::fopen(path, "w"));
  if (out == nullptr) return out;
  std::fputs("#\n# ", out.get());
  std::fputs(header != nullptr ? header : default_text, out.get());
  std::fputs("\n#\n", out.get());
  return out;
}

void WriteEntries(FILE *out, const gtbl *table) {
  const int32_t size = glist_size(table->list);
  for (int32_t i = 0; i < size; ++i) {
    const gfield *field = FieldAt(table, i);
    if (field == nullptr || field->key == nullptr || field->value == nullptr) continue;
    std::fputs(field->key, out);
    std::fputc('=', out);
    WriteValue(out, field->value);
  }
}

void AppendEntry(gtbl *table, std::string_view key, std::string_view value) {
  if (!Append(table, NewField(key, value))) throw std::bad_alloc();
}

}  // namespace quarvel::config

using quarvel::config::FieldAt;
using quarvel::config::FindKey;

gfield *gfield_create(const char *key, const char *value) noexcept {
  if (key == nullptr || value == nullptr) return nullptr;
  return quarvel::config::NewField(key, value);
}

void gfield_destroy(gfield *field) noexcept {
  if (field == nullptr) return;
  std::free(field->value);
  std::free(field->key);
  std::free(field);
}

gtbl *gtbl_create(int32_t capacity, int32_t grow_by) noexcept {
  auto *table = static_cast<gtbl *>(std::malloc(sizeof(gtbl)));
  if (table == nullptr) return nullptr;
  table->list = glist_create(capacity, grow_by);
  if (table->list == nullptr) {
    std::free(table);
    return nullptr;
  }
  return table;
}

void gtbl_destroy(gtbl *table) noexcept {
  if (table == nullptr) return;
  // Released front to back without shifting the remainder each time, so that
  // a table read from a large file goes in linear time.
  const int32_t size = glist_size(table->list);
  for (int32_t i = 0; i < size; ++i) gfield_destroy(FieldAt(table, i));
  glist_destroy(table->list);
  std::free(table);
}

void gtbl_put(gtbl *table, const char *key, const char *value) noexcept {
  if (table == nullptr || key == nullptr || value == nullptr) return;
  quarvel::config::Append(table, gfield_create(key, value));
}

int32_t gtbl_getIndexByKey(const gtbl *table, const char *key) noexcept {
  return FindKey(table, key);
}

const char *gtbl_get(const gtbl *table, const char *key, const char *def) noexcept {
  if (table == nullptr) return nullptr;
  const int32_t index = FindKey(table, key);
  return index < 0 ? def : FieldAt(table, index)->value;
}

namespace {

// The value of the first entry with key, trimmed in place for the typed
// lookups; NULL when there is none.
const char *TrimmedValue(gtbl *table, const char *key) {
  const int32_t index = FindKey(table, key);
  return index < 0 ? nullptr : gtrim(FieldAt(table, index)->value);
}

}  // namespace

int32_t gtbl_getInt(gtbl *table, const char *key, int32_t def) noexcept {
  const char *value = TrimmedValue(table, key);
  return value == nullptr ? def : quarvel::config::ParseInt(value);
}

int32_t gtbl_getBoolean(gtbl *table, const char *key, int32_t def) noexcept {
  const char *value = TrimmedValue(table, key);
  if (value == nullptr) return def;
  using quarvel::config::EqualsIgnoreAsciiCase;
  return EqualsIgnoreAsciiCase(value, "true") || EqualsIgnoreAsciiCase(value, "yes") ? 1 : 0;
}

void gtbl_remove(gtbl *table, const char *key) noexcept {
  const int32_t index = FindKey(table, key);
  if (index >= 0) gfield_destroy(static_cast<gfield *>(glist_remove(table->list, index)));
}

int32_t gtbl_size(const gtbl *table) noexcept {
  return table == nullptr ? -1 : glist_size(table->list);
}

gnames *gtbl_create_names(void) noexcept {
  return static_cast<gnames *>(std::calloc(1, sizeof(gnames)));
}

namespace {

void ReleaseNames(gnames *names) {
  for (int32_t i = 0; i < names->n_names; ++i) std::free(names->names[i]);
  std::free(names->names);
  names->names = nullptr;
  names->n_names = 0;
}

}  // namespace

int32_t gtbl_getnames(const gtbl *table, gnames *names) noexcept {
  if (table == nullptr || names == nullptr) return -1;
  ReleaseNames(names);
  const int32_t size = glist_size(table->list);
  if (size <= 0) return 0;
  // calloc checks the multiplication, and the zeroed slots make a partial
  // copy safe to release.
  auto *array = static_cast<char **>(std::calloc(static_cast<size_t>(size), sizeof(char *)));
  if (array == nullptr) return -1;
  names->names = array;
  for (int32_t i = 0; i < size; ++i) {
    const gfield *field = FieldAt(table, i);
    array[i] =
        quarvel::config::CopyText(field != nullptr && field->key != nullptr ? field->key : "");
    names->n_names = i + 1;
    if (array[i] == nullptr) {
      ReleaseNames(names);
      return -1;
    }
  }
  return names->n_names;
}

void gtbl_destroy_names(gnames *names) noexcept {
  if (names == nullptr) return;
  ReleaseNames(names);
  std::free(names);
}

int gtbl_load(gtbl *table, const char *path) noexcept {
  if (table == nullptr || path == nullptr) return -1;
  quarvel::config::TableSink sink(table);
  return quarvel::config::ReadEntries(path, sink);
}

int gtbl_store(const gtbl *table, const char *path, const char *header) noexcept {
  if (table == nullptr || path == nullptr) return -1;
  quarvel::config::FilePtr out =
      quarvel::config::OpenForStore(path, header, " gtable store file\n");
  if (out == nullptr) return -1;
  quarvel::config::WriteEntries(out.get(), table);
  return 0;
}
