// Fuzz target: the three files of a packed dictionary.
//
// Input layout (integers little-endian):
//   byte 0         flags: bit 0 compare the file reader with the memory cache,
//                  bit 1 leave the mark file out entirely
//   bytes 1-2      length I of the index file (.pwi)
//   bytes 3-4      length D of the data file (.pwd)
//   bytes 5-6      length M of the mark file (.hwm)
//   I, D, M bytes  the three files, cut short where the input ends
//   rest           words to search for, separated by line feeds
// fuzz/make_seeds.cc writes real dictionaries in this layout.
//
// The dictionary is opened, every word up to the count (at most the first
// 4096) is fetched, the fuzzed words and every fetched word are searched, the
// dictionary is closed and dumped. Checked: words of at most 31 bytes, empty
// slots only at the end of a block, search answers that are an index holding
// the word or the word count, words found whenever the list is sorted and its
// marks exact, a dump that holds exactly the fetched words, and no dictionary
// left open. With bit 0 the same is done reading the files and then twice
// from memory (decoding and then reusing the cached copy), and all three must
// answer alike. The files are also served from read-only maps
// (MappedDict): every fetch and search must answer as the file reader does,
// the filter built from the map must let every word found through, and a
// map found in order must answer its block-by-block search alike.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "format/dict_layout.h"
#include "fuzz_support.h"
#include "quarvel/dictmanger.h"
#include "quarvel/pwanalysis.h"
#include "store/dict_filter.h"
#include "store/dictmanger_internal.h"
#include "store/mapped_dict.h"

namespace {

using quarvel::fuzz::Printable;

constexpr char kPrefix[] = "./fz";
constexpr char kProbe[] = "./probe";
constexpr uint32_t kMaxFetched = 4096;
constexpr size_t kMaxSearched = 64;

// What one open of the dictionary showed.
struct Reading {
  bool opened = false;
  uint32_t count = 0;
  bool marks = false;
  std::vector<std::optional<std::string>> words;  // GetPW of 0, 1, ...
  std::vector<int32_t> searched;                  // FindPW of the fuzzed words
  std::vector<int32_t> refound;                   // FindPW of the fetched words
  int dump_result = 0;
  std::string dump;

  bool operator==(const Reading &) const = default;
};

void CheckSearch(PackedDict *pwp, const std::string &word, int32_t found) {
  const uint32_t count = pwp->header.word_count;
  const bool absent = static_cast<uint32_t>(found) == count;
  FUZZ_CHECK(absent || (found >= 0 && static_cast<uint32_t>(found) < count),
             "FindPW(" + Printable(word) + ") = " + std::to_string(found));
  if (!absent) {
    const char *there = GetPW(pwp, static_cast<uint32_t>(found));
    FUZZ_CHECK(there != nullptr && word == there, "FindPW(" + Printable(word) +
                                                      ") = " + std::to_string(found) + " holding " +
                                                      Printable(there ? there : "(none)"));
  }
}

// True when every word was fetched, the words are non-empty and in order,
// and the marks in use (if any) are exactly those a writer makes of them: a
// binary search must then find every stored word.
bool SearchMustFind(const PackedDict &pd, const Reading &r) {
  if (r.count > kMaxFetched || r.words.size() != r.count) return false;
  for (size_t i = 0; i < r.words.size(); ++i) {
    if (!r.words[i] || r.words[i]->empty()) return false;
    if (i > 0 && std::strcmp(r.words[i - 1]->c_str(), r.words[i]->c_str()) > 0) return false;
  }
  if ((pd.flags & PACKED_DICT_USE_MARKS) == 0) return true;
  uint32_t marks[256] = {};
  for (size_t i = 0; i < r.words.size(); ++i) {
    marks[static_cast<unsigned char>((*r.words[i])[0])] = static_cast<uint32_t>(i);
  }
  for (int c = 1; c < 256; ++c) {
    if (marks[c] == 0) marks[c] = marks[c - 1];
  }
  return std::equal(std::begin(marks), std::end(marks), std::begin(pd.marks));
}

Reading ReadDictionary(const std::vector<std::string> &words, bool from_memory) {
  Reading r;
  PackedDict *pwp = PWOpen(kPrefix, "rb");
  if (pwp != nullptr) {
    FUZZ_CHECK(quarvel::DictionaryServedFromMemory() == from_memory);
    r.opened = true;
    r.count = pwp->header.word_count;
    r.marks = (pwp->flags & PACKED_DICT_USE_MARKS) != 0;
    // Past the blocks the index holds, every fetch fails.
    const uint64_t readable = quarvel::ReadableBlockCount(pwp) * 16;
    const uint32_t fetched =
        static_cast<uint32_t>(std::min<uint64_t>({r.count, readable, kMaxFetched}));
    for (uint32_t i = 0; i < fetched; ++i) {
      const char *word = GetPW(pwp, i);
      if (word == nullptr) {
        r.words.emplace_back();
        continue;
      }
      const size_t length = strnlen(word, 64);
      FUZZ_CHECK(length <= PACKED_DICT_MAX_WORD,
                 "GetPW(" + std::to_string(i) + ") has " + std::to_string(length) + " bytes");
      // A slot after an empty one is empty too.
      FUZZ_CHECK(i % 16 == 0 || length == 0 || !r.words.back() || !r.words.back()->empty(),
                 "GetPW(" + std::to_string(i) + ") follows an empty slot");
      r.words.emplace_back(word);
    }
    // Slots past the word count still decode within the blocks the index
    // holds; past those blocks, every fetch fails.
    for (uint64_t beyond : {readable, readable + 15, readable + 16}) {
      if (beyond >= readable && beyond <= UINT32_MAX) {
        FUZZ_CHECK(GetPW(pwp, static_cast<uint32_t>(beyond)) == nullptr,
                   "GetPW(" + std::to_string(beyond) + ") beyond the words");
      }
    }
    for (const std::string &word : words) {
      r.searched.push_back(FindPW(pwp, word.c_str()));
      CheckSearch(pwp, word, r.searched.back());
    }
    const bool must_find = SearchMustFind(*pwp, r);
    for (const std::optional<std::string> &word : r.words) {
      if (!word) continue;
      r.refound.push_back(FindPW(pwp, word->c_str()));
      CheckSearch(pwp, *word, r.refound.back());
      FUZZ_CHECK(!must_find || static_cast<uint32_t>(r.refound.back()) != r.count,
                 "stored word " + Printable(*word) + " not found");
    }
    FUZZ_CHECK(PWClose(pwp) == 0);
  }
  FUZZ_CHECK(quarvel::fuzz::NoDictionaryOpen(kProbe));

  r.dump_result = Dict2Data("dump.txt", kPrefix);
  FUZZ_CHECK(quarvel::fuzz::ReadFile("dump.txt", r.dump));
  FUZZ_CHECK(r.dump_result == (r.opened ? 0 : -1));
  if (r.opened && r.count <= kMaxFetched) {
    std::string expected;
    for (const std::optional<std::string> &word : r.words) {
      if (word) expected += *word + "\n";
    }
    FUZZ_CHECK(r.dump == expected,
               "dump " + Printable(r.dump) + ", fetched " + Printable(expected));
  }
  FUZZ_CHECK(r.opened || r.dump.empty());
  FUZZ_CHECK(quarvel::fuzz::NoDictionaryOpen(kProbe));
  return r;
}

uint64_t SizeOf(int fd) {
  struct stat status;
  return fstat(fd, &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
}

// The same files served from maps answer as the file reader did.
void CheckMapped(const std::vector<std::string> &words, const Reading &files, bool marks) {
  const std::string prefix = kPrefix;
  const int index_fd = open((prefix + ".pwi").c_str(), O_RDONLY);
  const int data_fd = open((prefix + ".pwd").c_str(), O_RDONLY);
  const int mark_fd = marks ? open((prefix + ".hwm").c_str(), O_RDONLY) : -1;
  quarvel::DictLayout layout;
  const bool laid_out = quarvel::ReadLayout(index_fd, mark_fd, layout) == nullptr;
  FUZZ_CHECK(laid_out == files.opened, "the layout reader and PWOpen disagree");
  std::unique_ptr<quarvel::MappedDict> dict;
  if (laid_out) {
    dict = quarvel::MappedDict::Map(index_fd, SizeOf(index_fd), data_fd, SizeOf(data_fd), layout,
                                    nullptr);
    FUZZ_CHECK(dict != nullptr, "the files do not map");
  }
  for (int fd : {index_fd, data_fd, mark_fd}) {
    if (fd >= 0) close(fd);
  }
  if (dict == nullptr) return;
  FUZZ_CHECK(dict->word_count() == files.count);
  quarvel::MappedDict::Cursor cursor(*dict);
  for (size_t i = 0; i < files.words.size(); ++i) {
    const char *word = cursor.Word(i);
    FUZZ_CHECK(word == nullptr ? !files.words[i] : files.words[i] && *files.words[i] == word,
               "mapped slot " + std::to_string(i) + " differs");
  }
  std::vector<std::string> searched = words;
  std::vector<int32_t> expected = files.searched;
  for (const std::optional<std::string> &word : files.words) {
    if (word) searched.push_back(*word);
  }
  expected.insert(expected.end(), files.refound.begin(), files.refound.end());
  const std::unique_ptr<quarvel::DictFilter> filter = quarvel::DictFilter::Build(*dict);
  FUZZ_CHECK(filter != nullptr);
  const bool in_order = dict->InOrder();
  for (size_t i = 0; i < searched.size(); ++i) {
    const uint32_t found = dict->Find(searched[i].c_str());
    FUZZ_CHECK(static_cast<int32_t>(found) == expected[i],
               "mapped search of " + Printable(searched[i]) + " differs");
    const bool stored = found != files.count;
    FUZZ_CHECK(!stored || filter->MayContain(searched[i]),
               "the filter drops " + Printable(searched[i]));
    FUZZ_CHECK(!in_order || dict->Contains(searched[i].c_str()) == stored,
               "block search of " + Printable(searched[i]) + " differs");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  quarvel::fuzz::Setup(argc, argv, quarvel::fuzz::kQuietStdout | quarvel::fuzz::kQuietStderr);
  // A small sound dictionary, opened to show that none is left open.
  quarvel::fuzz::WriteFile("probe.txt", "alpha\nbeta\ngamma\n");
  FUZZ_CHECK(std::string_view(CreateDict("probe.txt", kProbe)) == "RET_CD=0000");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  quarvel::fuzz::Reader in(data, size);
  const uint8_t flags = in.Byte();
  const uint16_t index_size = in.U16();
  const uint16_t data_size = in.U16();
  const uint16_t mark_size = in.U16();
  const std::string_view index = in.Take(index_size);
  const std::string_view words_data = in.Take(data_size);
  const std::string_view marks = in.Take(mark_size);
  const std::vector<std::string> words = quarvel::fuzz::CStringLines(in.Rest(), kMaxSearched);
  quarvel::fuzz::WriteDictionaryFiles(kPrefix, index, words_data,
                                      (flags & 2) != 0 ? nullptr : &marks);

  // From the files.
  quarvel::SetDictionaryCache(false);
  const Reading from_files = ReadDictionary(words, false);
  CheckMapped(words, from_files, (flags & 2) == 0);
  if ((flags & 1) != 0) {
    // From memory: files count as settled at once, so the first open decodes
    // them and the second is served from the cached copy.
    quarvel::SetDictionaryCache(true, 0);
    const Reading decoded = ReadDictionary(words, from_files.opened);
    const Reading cached = ReadDictionary(words, from_files.opened);
    FUZZ_CHECK(decoded == from_files, "memory and files disagree");
    FUZZ_CHECK(cached == from_files, "cached copy and files disagree");
  }
  return 0;
}
