// Fuzz target: the dictionary filter file (PREFIX.pwf), read when a mapped
// dictionary opens.
//
// Input layout:
//   byte 0   flags: bit 0 the rest is the key filter image, written behind a
//            header that matches the fixture dictionary (the stamp), so that
//            it is not refused as stale; otherwise the rest is the whole
//            file. Bit 1 gives the image the checksum its header and shard
//            table call for. Bit 2 sets the header's in-order flag.
//   rest     the image, or the file
// fuzz/make_seeds.cc writes the filters of the fixture dictionary.
//
// A fixed dictionary (filter_model.h's FixtureWords) is built once, and
// WordKey is checked against the documented key for its words. For each
// input: DictFilter::Load accepts the file exactly when the model of
// filter_model.h (written from docs/file-format.md) does; an accepted filter
// has the header's in-order flag, answers every key as the model does, and
// written back it gives the same file. The dictionary opened by the engine
// with the file beside it finds a stored word exactly when the filter it
// used lets it through: the accepted file's, or its own, built after a
// refusal, which lets every stored word through.

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "filter_model.h"
#include "fuzz_support.h"
#include "quarvel/pwanalysis.h"
#include "store/dict_filter.h"
#include "store/dictionary.h"

namespace {

using quarvel::fuzz::Little;
using quarvel::fuzz::ModelMix;
using quarvel::fuzz::Printable;

constexpr char kPrefix[] = "./fx";
constexpr char kCopy[] = "./rt";

std::vector<std::string> g_words;  // the fixture's, sorted
std::vector<uint64_t> g_keys;      // their keys
quarvel::FilterStamp g_stamp;

// The documented key of a word.
uint64_t ModelWordKey(std::string_view word) {
  uint64_t h = 0x9e3779b97f4a7c15 ^ word.size();
  size_t i = 0;
  for (; i + 8 <= word.size(); i += 8) h = ModelMix(h ^ Little(word, i, 8));
  const uint64_t t = i < word.size() ? Little(word, i, static_cast<int>(word.size() - i)) : 0;
  return ModelMix(h ^ t ^ 0xff00000000000000);
}

quarvel::FilterStamp StampOfFixture() {
  const int data = open((std::string(kPrefix) + ".pwd").c_str(), O_RDONLY);
  const int index = open((std::string(kPrefix) + ".pwi").c_str(), O_RDONLY);
  FUZZ_CHECK(data >= 0 && index >= 0);
  const quarvel::FilterStamp stamp =
      quarvel::StampOf(quarvel::IdentityOfFd(data), quarvel::IdentityOfFd(index), index);
  close(data);
  close(index);
  return stamp;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  quarvel::fuzz::Setup(argc, argv, quarvel::fuzz::kQuietStdout | quarvel::fuzz::kQuietStderr);
  g_words = quarvel::fuzz::FixtureWords();
  for (const std::string &w : g_words) {
    g_keys.push_back(quarvel::WordKey(w));
    FUZZ_CHECK(g_keys.back() == ModelWordKey(w), "WordKey(" + w + ")");
  }
  std::string list;
  for (const std::string &w : g_words) list += w + "\n";
  quarvel::fuzz::WriteFile("fx.txt", list);
  FUZZ_CHECK(std::string_view(CreateDict("fx.txt", kPrefix)) == "RET_CD=0000");
  quarvel::fuzz::WriteFile(std::string(kCopy) + ".pwd", "");  // Write takes its mode
  g_stamp = StampOfFixture();
  // The stamp is what the model reads off the files.
  const std::string header = quarvel::fuzz::ModelFilterHeader(kPrefix, 0);
  unsigned char encoded[quarvel::kFilterHeaderBytes];
  quarvel::EncodeFilterHeader(g_stamp, false, encoded);
  FUZZ_CHECK(header == std::string_view(reinterpret_cast<const char *>(encoded), sizeof(encoded)),
             "the stamp differs from the documented header");
  quarvel::engine::SetDecodedDataBytes(0);  // every dictionary mapped
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  quarvel::fuzz::Reader in(data, size);
  const uint8_t flags = in.Byte();
  std::string rest(in.Rest());
  std::string file;
  if ((flags & 1) != 0) {
    if ((flags & 2) != 0) quarvel::fuzz::FixFilterChecksum(rest);
    file = quarvel::fuzz::ModelFilterHeader(kPrefix, (flags & 4) != 0 ? 1 : 0) + rest;
  } else {
    file = rest;
  }
  const std::string path = std::string(kPrefix) + ".pwf";
  quarvel::fuzz::WriteFile(path, file);

  // Accepted exactly when the model accepts it.
  const std::string expected_header = quarvel::fuzz::ModelFilterHeader(kPrefix, 0);
  quarvel::fuzz::ModelFilter model;
  const bool acceptable = file.size() > expected_header.size() &&
                          file.compare(0, 48, expected_header, 0, 48) == 0 &&
                          model.Parse(std::string_view(file).substr(expected_header.size()));
  std::unique_ptr<quarvel::DictFilter> loaded = quarvel::DictFilter::Load(kPrefix, g_stamp);
  FUZZ_CHECK((loaded != nullptr) == acceptable, acceptable ? "refused" : "accepted");

  std::vector<uint64_t> keys = g_keys;
  const uint64_t salt = quarvel::fuzz::Fnv1a(file);
  for (uint64_t i = 0; i < 64; ++i) keys.push_back(ModelMix(salt + i));
  if (loaded != nullptr) {
    FUZZ_CHECK(loaded->mapped());
    FUZZ_CHECK(loaded->in_order() == ((Little(file, 48, 4) & 1) != 0));
    for (uint64_t key : keys) {
      FUZZ_CHECK(loaded->MayContainKey(key) == model.MayContain(key), "key " + std::to_string(key));
    }
    // Written back, it reads the same.
    FUZZ_CHECK(loaded->Write(kCopy, g_stamp));
    std::string copy;
    FUZZ_CHECK(quarvel::fuzz::ReadFile(std::string(kCopy) + ".pwf", copy));
    const std::string header =
        quarvel::fuzz::ModelFilterHeader(kPrefix, loaded->in_order() ? 1 : 0);
    FUZZ_CHECK(copy == header + file.substr(header.size()), "the written copy differs");
  }
  loaded.reset();

  // The engine serves the dictionary with the file it accepted, or with a
  // filter of its own.
  const std::shared_ptr<const quarvel::engine::Dictionary> dict =
      quarvel::engine::Dictionary::Open(kPrefix, /*trusted=*/true);
  FUZZ_CHECK(dict->ok() && dict->mapped() && dict->filter() != nullptr);
  FUZZ_CHECK(dict->filter()->mapped() == acceptable);
  for (const std::string &w : g_words) {
    const bool through = !acceptable || model.MayContain(quarvel::WordKey(w));
    FUZZ_CHECK(dict->Contains(w.c_str()) == through, "stored word " + Printable(w));
  }
  for (const char *absent : {"", "zz", "fixture", "w0000000000000000000000000000000"}) {
    FUZZ_CHECK(!dict->Contains(absent), std::string("absent word ") + absent);
  }
  return 0;
}
