// Building, dumping and deleting dictionaries.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <string>
#include <string_view>

#include "base/secure_wipe.h"
#include "build/radix_sort.h"
#include "build/word_runs.h"
#include "quarvel/dictmanger.h"
#include "quarvel/gconfig.h"
#include "quarvel/pwanalysis.h"
#include "quarvel/rules.h"
#include "quarvel/search.h"
#include "quarvel/stringutil.h"
#include "search/rule_table.h"
#include "store/dict_writer.h"
#include "store/dictionary_cache.h"
#include "store/dictmanger_internal.h"
#include "store/file_set_lock.h"
#include "store/staged_dictionary.h"
#include "verify/api_lock.h"
#include "verify/pwanalysis_internal.h"

// ---------------------------------------------------------------------------
// Dictionary building: a plain word list is normalised to words of
// lower-case letters and digits and sorted, duplicates kept. A list that
// fits the memory budget is read whole and sorted in place; a larger one is
// sorted in runs (unlinked temporary files in the current folder) that are
// merged as the dictionary is written. The sorted words go straight to the
// dictionary writer; "./make.txt" is created empty once the words are
// sorted (a folder that takes no file fails the build, as ever), and is
// given the sorted list, one word per line, only when the dictionary cannot
// be written, for the caller to inspect.

extern "C" {
char *buf = nullptr;
int32_t *offsets = nullptr;
int32_t off_size = 0;
int32_t off_idx = 0;
}

namespace {

constexpr char kSortedList[] = "./make.txt";
constexpr int32_t kOffsetStep = 10000;
constexpr size_t kMaxStoredWord = PACKED_DICT_MAX_WORD;
// Word offsets are 32-bit: the text must stay below 2 GiB.
constexpr uint64_t kMaxWordListBytes = static_cast<uint64_t>(INT32_MAX) - 1;

// Codes of SortFile.
enum SortCode { kSorted = 0, kCannotOpen = 1, kNoMemory = 2, kCannotRead = 4, kCannotWrite = 5 };

struct FileCloser {
  void operator()(FILE *file) const { fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Releases the preparation state however SortFile ends. The text may be a
// personal word list: it is wiped before it goes.
class PreparationState {
 public:
  PreparationState() = default;
  PreparationState(const PreparationState &) = delete;
  PreparationState &operator=(const PreparationState &) = delete;
  ~PreparationState() {
    if (buf != nullptr) quarvel::SecureWipe(buf, length_);
    free(buf);
    buf = nullptr;
    free(offsets);
    offsets = nullptr;
    off_size = 0;
    off_idx = 0;
  }
  void set_length(size_t length) { length_ = length; }

 private:
  size_t length_ = 0;
};

// Records the word that starts at offset start and ends at write, cutting
// it to its first 31 characters.
int EndWord(char *text, size_t start, size_t write) {
  if (write - start > kMaxStoredWord) text[start + kMaxStoredWord] = '\0';
  return InsertWord(static_cast<int>(start));
}

}  // namespace

extern "C" int InsertWord(int offset) noexcept {
  if (off_idx == off_size) {
    if (off_size > INT32_MAX - kOffsetStep) return -1;
    const int32_t grown_size = off_size + kOffsetStep;
    const size_t bytes = static_cast<size_t>(grown_size) * sizeof(int32_t);
    if (bytes / sizeof(int32_t) != static_cast<size_t>(grown_size)) return -1;
    auto *grown = static_cast<int32_t *>(realloc(offsets, bytes));
    if (grown == nullptr) {
      free(offsets);
      offsets = nullptr;
      off_size = 0;
      off_idx = 0;
      return -1;
    }
    offsets = grown;
    off_size = grown_size;
  }
  offsets[off_idx++] = offset;
  return 0;
}

extern "C" int Translate(char *text, unsigned int length) noexcept {
  if (text == nullptr) return 0;
  size_t write = 0;
  size_t start = 0;
  for (size_t read = 0; read < length; ++read) {
    const char c = text[read];
    if (c >= 'A' && c <= 'Z') {
      text[write++] = static_cast<char>(c - 'A' + 'a');
    } else if (c == '\n' || c == '\r') {
      text[write++] = '\0';
      if (EndWord(text, start, write - 1) != 0) return -1;
      start = write;
    } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      text[write++] = c;
    }
  }
  // Bytes after the last line end form no word: ending it would take a byte
  // past length. SortFile ends such a line itself, in its own buffer.
  return 0;
}

extern "C" int Compare(const void *a, const void *b) noexcept {
  if (a == nullptr || b == nullptr || buf == nullptr) return 0;
  const int32_t left = *static_cast<const int32_t *>(a);
  const int32_t right = *static_cast<const int32_t *>(b);
  return std::strcmp(buf + left, buf + right);
}

extern "C" int WriteOut(const char *outfile) noexcept {
  if (outfile == nullptr) return -1;
  File out(fopen(outfile, "wb"));
  if (out == nullptr) return -1;
  for (int32_t i = 0; i < off_idx; ++i) {
    // Each word ends with its NUL; it is written with a line feed instead.
    const char *word = buf + offsets[i];
    const size_t length = std::strlen(word);
    if (fwrite_unlocked(word, 1, length, out.get()) != length ||
        fputc_unlocked('\n', out.get()) == EOF) {
      return -1;
    }
  }
  // A failure to write the last buffered bytes shows only at the close.
  return fclose(out.release()) == 0 ? 0 : -1;
}

namespace {

// Reads the open list in whole, normalises and sorts its words in the
// preparation state; a SortCode.
int PrepareInMemory(FILE *in, PreparationState &state) {
  struct stat status;
  if (fstat(fileno(in), &status) != 0) return kCannotRead;
  if (status.st_size < 0 || static_cast<uint64_t>(status.st_size) > kMaxWordListBytes) {
    return kNoMemory;
  }
  const size_t size = static_cast<size_t>(status.st_size);
  buf = static_cast<char *>(malloc(size + 1));
  if (buf == nullptr) return kNoMemory;
  const size_t length = fread(buf, 1, size, in);
  state.set_length(size + 1);
  if (ferror(in)) return kCannotRead;
  // A last line without a line end is a word like any other: it gets one in
  // the byte that the block holds beyond the text.
  size_t text_length = length;
  if (length > 0 && buf[length - 1] != '\n' && buf[length - 1] != '\r') buf[text_length++] = '\n';

  if (Translate(buf, static_cast<unsigned int>(text_length)) != 0) return kNoMemory;
  // In the order of Compare (strcmp's), in place: the C library's qsort
  // would take a second array as large as offsets.
  quarvel::RadixQuicksort(buf, offsets, static_cast<size_t>(off_idx), 0);
  return kSorted;
}

}  // namespace

extern "C" int SortFile(const char *infile, const char *outfile) noexcept {
  if (infile == nullptr) return kCannotOpen;
  File in(fopen(infile, "rb"));
  if (in == nullptr) return kCannotOpen;
  PreparationState state;
  const int code = PrepareInMemory(in.get(), state);
  if (code != kSorted) return code;
  if (WriteOut(outfile) != 0) return kCannotWrite;
  return kSorted;
}

namespace {

// True when prefix names the files of the personal dictionary, whatever the
// spelling ("dicts/profile", an absolute path, a path through a link).
bool IsPersonalDictionary(const char *prefix) {
  if (prefix == nullptr) return false;
  try {
    namespace fs = std::filesystem;
    const std::string data = std::string(prefix) + ".pwd";
    const std::string personal = std::string(quarvel::verify::kProfilePrefix) + ".pwd";
    std::error_code ec_data, ec_personal;
    const fs::path a = fs::weakly_canonical(data, ec_data);
    const fs::path b = fs::weakly_canonical(personal, ec_personal);
    if (!ec_data && !ec_personal && a == b) return true;
    struct stat sa, sb;
    return stat(data.c_str(), &sa) == 0 && stat(personal.c_str(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  } catch (...) {
    return false;
  }
}

// After a build or deletion of the personal dictionary, scoring searches it
// exactly when it can be opened.
void RefreshPersonalDictionary(const char *prefix) {
  if (!IsPersonalDictionary(prefix)) return;
  const bool opens = quarvel::verify::DictionaryOpensSilently(prefix);
  std::atomic_ref(USEPROFILE).store(opens ? 1 : 0, std::memory_order_relaxed);
}

// Removes path when it can be opened for reading.
void RemoveIfReadable(const char *path) {
  File file(fopen(path, "rb"));
  if (file == nullptr) return;
  file.reset();
  remove(path);
}

// The words of a list in sorted order, duplicates and empty words kept,
// as SortFile writes them: in the preparation state when the list fits the
// memory budget, else in sorted runs.
class SortedWordList {
 public:
  // Reads, normalises and sorts the open list; a SortCode.
  int Prepare(FILE *in) {
    struct stat status;
    if (fstat(fileno(in), &status) != 0) return kCannotRead;
    const uint64_t budget = quarvel::verify::CreateDictMemoryBudget();
    // Read whole, a list takes its size and 4 bytes a word.
    if (static_cast<uint64_t>(status.st_size) <= std::min(budget / 4 * 3, kMaxWordListBytes)) {
      return PrepareInMemory(in, state_);
    }
    try {
      return PrepareRuns(fileno(in), budget);
    } catch (const quarvel::engine::Failure &failure) {
      return failure.code == quarvel::engine::kCannotRead ? kCannotRead : kCannotWrite;
    } catch (const std::exception &) {
      return kNoMemory;
    }
  }

  // Hands every word to emit (a std::string_view), in order; false when a
  // run cannot be read.
  template <typename Emit>
  bool ForEach(Emit emit) {
    if (!external_) {
      for (int32_t i = 0; i < off_idx; ++i) emit(std::string_view(buf + offsets[i]));
      return true;
    }
    try {
      quarvel::engine::Merge(runs_, emit, /*unique=*/false);
      return true;
    } catch (const std::exception &) {
      return false;
    } catch (const quarvel::engine::Failure &) {
      return false;
    }
  }

 private:
  int PrepareRuns(int fd, uint64_t budget) {
    using namespace quarvel::engine;
    external_ = true;
    WordPool pool(budget);
    pool.ReserveAll();  // the list is larger than the budget
    Normaliser normaliser(/*keep_empty=*/true);
    const size_t run_buffer = RunBufferBytes(budget);
    auto spill = [&] { SpillRun(pool, runs_, ".", run_buffer, /*unique=*/false); };
    auto gather = [&](std::string_view word) {
      if (!pool.Add(word)) {
        spill();
        pool.Add(word);
      }
    };
    WipedVector<char> chunk(kReadChunk);
    for (;;) {
      const ssize_t n = ReadSome(fd, chunk.data(), chunk.size());
      if (n < 0) return kCannotRead;
      if (n == 0) break;
      normaliser.Feed(std::span(chunk.data(), static_cast<size_t>(n)), gather);
      quarvel::SecureWipe(chunk.data(), static_cast<size_t>(n));
    }
    normaliser.Finish(gather);
    if (!pool.empty()) spill();
    pool.Release();
    NarrowRuns(runs_, ".", run_buffer, /*unique=*/false, [] {});
    return kSorted;
  }

  PreparationState state_;
  bool external_ = false;
  quarvel::engine::Runs runs_;
};

// Writes the sorted list to file as SortFile writes it, one word a line.
bool WriteSortedList(SortedWordList &words, FILE *file) {
  bool ok = true;
  const bool read = words.ForEach([&](std::string_view word) {
    if (fwrite_unlocked(word.data(), 1, word.size(), file) != word.size() ||
        fputc_unlocked('\n', file) == EOF) {
      ok = false;
    }
  });
  return read && ok && fflush(file) == 0;
}

// Hands every non-empty word of the sorted list to put, as a C string;
// false when the list cannot be read or a word cannot be written.
template <typename Put>
bool LoadSortedList(SortedWordList &words, Put put) {
  char line[PACKED_DICT_MAX_WORD + 1];
  bool ok = true;
  const bool read = words.ForEach([&](std::string_view word) {
    if (word.empty()) return;
    const size_t n = std::min(word.size(), sizeof(line) - 1);
    std::memcpy(line, word.data(), n);
    line[n] = '\0';
    if (!put(line)) ok = false;
  });
  quarvel::SecureWipe(line, sizeof(line));
  return read && ok;
}

}  // namespace

namespace quarvel::verify {
namespace {
// Read and set under the API lock.
constinit uint64_t g_create_dict_budget = uint64_t{1} << 30;
}  // namespace

uint64_t CreateDictMemoryBudget() { return g_create_dict_budget; }
void SetCreateDictMemoryBudget(uint64_t bytes) { g_create_dict_budget = bytes; }

}  // namespace quarvel::verify

// The three files of a dictionary, by their extensions.
constexpr const char *kDictionaryExtensions[] = {".pwd", ".pwi", ".hwm"};

// Writes the words of the sorted list into the dictionary at prefix; false
// when the dictionary cannot be created or a write fails. Builds beside the
// old dictionary (quarvel::StagedDictionary) when it can, and in place when
// the folder takes no new files (then a failed write removes the damaged
// files).
bool WriteDictionary(SortedWordList &sorted, const char *prefix) {
  // Creating a dictionary while a caller holds another open force-closes
  // that one and creates nothing, as PWOpen(prefix, "wb") does: it is that
  // call which reports it, under the caller's prefix.
  if (pdesc.header.magic == PACKED_DICT_MAGIC) {
    PWOpen(prefix, "wb");
    return false;
  }
  try {
    quarvel::StagedDictionary staged(prefix);
    quarvel::UniqueFile data, index, mark;
    if (staged.Create(data, index, mark)) {
      quarvel::DictWriter writer(std::move(data), std::move(index), std::move(mark));
      bool ok = LoadSortedList(sorted, [&](const char *word) { return writer.Add(word); });
      if (!writer.Finish()) ok = false;
      if (!ok) return false;
      // No verification meets a mix of old and new files: the store's
      // file set lock is held for the renames.
      return staged.Commit();
    }
  } catch (const std::bad_alloc &) {
    return false;
  }
  PackedDict *pwp = PWOpen(prefix, "wb");
  if (pwp == nullptr) return false;
  bool ok = LoadSortedList(sorted, [&](const char *word) { return PutPW(pwp, word) == 0; });
  if (PWClose(pwp) != 0) ok = false;
  // Written in place and failed: what is left is no dictionary, and must
  // not be searched as one. The folder may not let the files go; emptied,
  // they no longer open.
  if (!ok) {
    for (const char *extension : kDictionaryExtensions) {
      const std::string name = std::string(prefix) + extension;
      if (unlink(name.c_str()) != 0) truncate(name.c_str(), 0);
    }
  }
  return ok;
}

extern "C" const char *CreateDict(const char *wordlist, const char *prefix) noexcept {
  quarvel::ApiLock lock;
  File in(wordlist != nullptr ? fopen(wordlist, "rb") : nullptr);
  if (in == nullptr) return "RET_CD=3001";
  SortedWordList sorted;
  if (sorted.Prepare(in.get()) != kSorted) return "RET_CD=3002";
  in.reset();

  // The sorted list's file: created now, whatever is written to it later.
  File list(fopen(kSortedList, "wb"));
  if (list == nullptr) return "RET_CD=3002";
  if (File(fopen(kSortedList, "r")) == nullptr) {
    WriteSortedList(sorted, list.get());
    printf("[Error:3003] can't open %s file.\n", wordlist);
    return "RET_CD=3003";
  }
  // A failed write is a failed build, never a success.
  const bool ok = prefix != nullptr && WriteDictionary(sorted, prefix);
  // The new words are ready for the next verification.
  if (ok) quarvel::DictionaryWritten(prefix);
  RefreshPersonalDictionary(prefix);
  if (!ok) {
    // The sorted list stays behind for the caller to look at.
    WriteSortedList(sorted, list.get());
    return "RET_CD=3004";
  }
  list.reset();

  printf("[Create Personal Dict]\n");
  RemoveIfReadable(kSortedList);
  if (DELORGFILE != 0) RemoveIfReadable(wordlist);
  return "RET_CD=0000";
}

extern "C" const char *DeleteDict(const char *prefix) noexcept {
  quarvel::ApiLock lock;
  if (prefix != nullptr) {
    const bool personal = IsPersonalDictionary(prefix);
    // No verification takes the personal dictionary while its files go and
    // its switch turns off, and no dictionary opens with some of its files
    // gone.
    std::unique_lock personal_switch(quarvel::verify::personal_dictionary_lock);
    std::unique_lock files(quarvel::file_set_lock);
    // The membership filter and the rank file beside the dictionary go with it.
    for (const char *extension : {".pwd", ".pwi", ".hwm", ".pwf", ".pwr"}) {
      char name[1024];
      // A name that does not fit is skipped: a cut name could name another file.
      const int n = snprintf(name, sizeof(name), "%s%s", prefix, extension);
      if (n < 0 || static_cast<size_t>(n) >= sizeof(name)) continue;
      RemoveIfReadable(name);
    }
    quarvel::NoteDictionaryWrite();
    if (personal) std::atomic_ref(USEPROFILE).store(0, std::memory_order_relaxed);
  }
  printf("[Delete Personal Dict \n");
  return "RET_CD=0000";
}

extern "C" int Dict2Data(const char *outfile, const char *prefix) noexcept {
  quarvel::ApiLock lock;
  if (outfile == nullptr) return -1;
  File out(fopen(outfile, "w"));
  if (out == nullptr) return -1;
  PackedDict *pwp = PWOpen(prefix, "rb");
  if (pwp == nullptr) {
    perror("PWOpen");
    return -1;
  }
  // Never more words than the index file has blocks for, whatever the
  // header claims.
  const uint64_t words =
      std::min<uint64_t>(pwp->header.word_count, quarvel::ReadableBlockCount(pwp) * 16);
  bool ok = true;
  for (uint64_t i = 0; i < words && ok; ++i) {
    const char *word = GetPW(pwp, static_cast<uint32_t>(i));
    if (word != nullptr && fprintf(out.get(), "%s\n", word) < 0) ok = false;
  }
  PWClose(pwp);
  quarvel::WipeDictResultArea();
  if (fclose(out.release()) != 0) ok = false;
  return ok ? 0 : -1;
}
