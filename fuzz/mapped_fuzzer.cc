// Fuzz target: a mapped dictionary with its filter file, served to the
// engine's search.
//
// Input layout (integers little-endian):
//   byte 0       flags: bit 0 leave the mark file out; bit 1 the filter
//                field is a key filter image, written behind a header that
//                matches the other files (else it is the whole .pwf file);
//                bit 2 give that image the checksum it calls for; bit 3 set
//                the header's in-order flag; bit 4 no filter file at all;
//                bit 5 the extended search profile; bit 6 the reversed
//                passes and numbers after and before the word
//   bytes 1-8    lengths of the .pwi, .pwd, .hwm and filter fields (16 bits)
//   the fields   cut short where the input ends
//   rest         passwords, one per line (at most 8), each cut at a NUL
// fuzz/make_seeds.cc writes real dictionaries with their filters.
//
// The files are opened by the engine as a mapped dictionary (every
// dictionary is mapped here) and each password goes through the variant
// search and through a whole check. Checked against the file reader
// (PWOpen, GetPW, FindPW): the engine opens what PWOpen opens; every
// candidate it finds is a word the files store (whatever the filter says);
// the batched lookup answers as the plain one; a check's dictionary match
// names a stored word. With a filter the engine built itself, every
// candidate the file reader finds is found too, and the filter it wrote
// answers alike once it is read back.

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/check_plan.h"
#include "filter_model.h"
#include "format/key_filter.h"
#include "fuzz_support.h"
#include "quarvel/dictmanger.h"
#include "search/word_search.h"
#include "store/dictionary.h"
#include "store/dictmanger_internal.h"

namespace {

namespace engine = quarvel::engine;
using quarvel::fuzz::Printable;

constexpr char kPrefix[] = "./fz";
constexpr uint64_t kMaxFetched = 8192;
constexpr size_t kMaxPasswords = 8;

// What the file reader makes of the files.
struct Stored {
  bool opened = false;
  bool complete = false;  // every slot a search can reach was fetched
  std::set<std::string> words;
};

Stored ReadStored() {
  Stored s;
  quarvel::SetDictionaryCache(false);
  PackedDict *pwp = PWOpen(kPrefix, "rb");
  if (pwp == nullptr) return s;
  s.opened = true;
  const uint64_t reachable =
      std::min<uint64_t>(pwp->header.word_count, quarvel::ReadableBlockCount(pwp) * 16);
  s.complete = reachable <= kMaxFetched;
  for (uint64_t i = 0; i < std::min(reachable, kMaxFetched); ++i) {
    if (const char *w = GetPW(pwp, static_cast<uint32_t>(i))) s.words.insert(w);
  }
  PWClose(pwp);
  return s;
}

// The files open through the file reader, for the searches of one input.
class FileReader {
 public:
  FileReader() : pwp_(PWOpen(kPrefix, "rb")) { FUZZ_CHECK(pwp_ != nullptr); }
  ~FileReader() { PWClose(pwp_); }
  FileReader(const FileReader &) = delete;
  FileReader &operator=(const FileReader &) = delete;
  bool Finds(const char *word) const {
    return static_cast<uint32_t>(FindPW(pwp_, word)) != pwp_->header.word_count;
  }

 private:
  PackedDict *pwp_;
};

// Runs the variant search of password over dict; answers every candidate
// tried with what the dictionary said.
std::vector<std::pair<std::string, bool>> Candidates(const engine::Dictionary &dict,
                                                     const std::string &password,
                                                     const engine::SearchSettings &settings) {
  std::vector<std::pair<std::string, bool>> tried;
  engine::WordSearch search(password, settings);
  search.Run(
      [&](const char *candidate) {
        const bool found = dict.Contains(candidate);
        FUZZ_CHECK(dict.ContainsKeyed(candidate, quarvel::WordKey(candidate)) == found,
                   "batched lookup of " + Printable(candidate));
        tried.emplace_back(candidate, found);
        return false;  // every pass
      },
      engine::TraceSink{}, nullptr);
  return tried;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  quarvel::fuzz::Setup(argc, argv, quarvel::fuzz::kQuietStdout | quarvel::fuzz::kQuietStderr);
  engine::SetDecodedDataBytes(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  quarvel::fuzz::Reader in(data, size);
  const uint8_t flags = in.Byte();
  const uint16_t sizes[4] = {in.U16(), in.U16(), in.U16(), in.U16()};
  const std::string index(in.Take(sizes[0])), words(in.Take(sizes[1])), marks(in.Take(sizes[2]));
  std::string filter(in.Take(sizes[3]));
  std::vector<std::string> passwords = quarvel::fuzz::CStringLines(in.Rest(), kMaxPasswords);

  const std::string prefix = kPrefix;
  const std::string_view marks_view = marks;
  quarvel::fuzz::WriteDictionaryFiles(prefix, index, words,
                                      (flags & 1) != 0 ? nullptr : &marks_view);
  if ((flags & 16) != 0) {
    std::remove((prefix + ".pwf").c_str());
  } else if ((flags & 2) != 0) {
    if ((flags & 4) != 0) quarvel::fuzz::FixFilterChecksum(filter);
    quarvel::fuzz::WriteFile(
        prefix + ".pwf", quarvel::fuzz::ModelFilterHeader(prefix, (flags & 8) ? 1 : 0) + filter);
  } else {
    quarvel::fuzz::WriteFile(prefix + ".pwf", filter);
  }

  const Stored stored = ReadStored();
  const std::shared_ptr<const engine::Dictionary> dict =
      engine::Dictionary::Open(prefix, /*trusted=*/true);
  FUZZ_CHECK(dict->ok() == stored.opened, "the engine and PWOpen disagree");
  if (!dict->ok()) return 0;
  FUZZ_CHECK(!dict->Faulted());
  // Its own filter lets every word through that the files hold.
  const bool own_filter = dict->filter() != nullptr && !dict->filter()->mapped();
  if (passwords.empty()) {
    for (const std::string &w : stored.words) {
      if (passwords.size() == 4) break;
      passwords.push_back(w);
    }
  }

  engine::ScoringSettings settings;
  settings.extended = (flags & 32) != 0 ? 1 : 0;
  if ((flags & 64) != 0) settings.search = {10, 10, 1};
  std::vector<std::pair<std::string, bool>> seen;
  const FileReader files;
  for (const std::string &password : passwords) {
    for (const auto &[candidate, found] : Candidates(*dict, password, settings.search)) {
      FUZZ_CHECK(!found || !stored.complete || stored.words.count(candidate) != 0,
                 "found " + Printable(candidate) + ", which the files do not hold");
      if (own_filter) {
        FUZZ_CHECK(found == files.Finds(candidate.c_str()),
                   "the engine and FindPW disagree on " + Printable(candidate));
      }
      if (seen.size() < 256) seen.emplace_back(candidate, found);
    }
    // A check takes what quarvel_check accepts: 1 to 257 bytes.
    const size_t accepted = engine::AcceptedLength(password.data(), password.size());
    if (accepted == 0) continue;
    engine::CheckPlan plan(settings);
    plan.AddDictionary(kPrefix, 0, dict.get());
    quarvel_result result;
    QUARVEL_RESULT_INIT(&result);
    plan.Score(std::string_view(password.data(), accepted), &result);
    FUZZ_CHECK(result.code == QUARVEL_OK);
    FUZZ_CHECK(result.match.kind != QUARVEL_MATCH_UNREADABLE);
    if (result.match.kind == QUARVEL_MATCH_DICTIONARY && stored.complete) {
      FUZZ_CHECK(stored.words.count(result.match.word) != 0,
                 "matched " + Printable(result.match.word) + ", which the files do not hold");
    }
  }

  // The filter the engine built and wrote answers alike once read back.
  if (own_filter && dict->note().empty()) {
    const std::shared_ptr<const engine::Dictionary> again =
        engine::Dictionary::Open(prefix, /*trusted=*/true);
    FUZZ_CHECK(again->filter() != nullptr && again->filter()->mapped(), "its filter file");
    for (const auto &[candidate, found] : seen) {
      FUZZ_CHECK(again->Contains(candidate.c_str()) == found,
                 "read back, the filter differs on " + Printable(candidate));
    }
  }
  return 0;
}
