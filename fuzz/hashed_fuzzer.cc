// Fuzz target: hashed dictionary files and the hash-list lines they are
// built from.
//
// Input layout:
//   byte 0  0: the rest is a hashed dictionary image. It is viewed; when it
//           is accepted, every stored key is looked up, and so are the
//           64-bit keys read from the image's last bytes. Nothing may read
//           outside the image (the sanitizers watch), and a key of an
//           image whose keys ascend answers its own count when found.
//           1: the rest is hash-list text. Its lines are parsed, the keys
//           with their added counts are written by HashDictWriter to a
//           file, which is opened again: it must hold exactly those keys,
//           with their counts, and a few keys around each must be absent.
// fuzz/corpus/hashed holds a written dictionary (byte 0 = 0) and lists.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "format/coding.h"
#include "store/hash_dict.h"

namespace {

void CheckImage(std::span<const unsigned char> bytes) {
  std::string error;
  const std::unique_ptr<quarvel::HashDict> dict = quarvel::HashDict::View(bytes, &error);
  if (dict == nullptr) {
    FUZZ_CHECK(!error.empty());
    return;
  }
  // With strictly ascending keys a key is stored once: found, it answers
  // its own count (a damaged index or filter may only hide it).
  bool sorted = true;
  for (uint64_t i = 1; i < dict->key_count() && sorted; ++i) {
    sorted = dict->KeyAt(i - 1) < dict->KeyAt(i);
  }
  for (uint64_t i = 0; i < dict->key_count() && i < 4096; ++i) {
    const uint64_t count = dict->CountOf(dict->KeyAt(i));
    if (count != 0) FUZZ_CHECK(count == dict->CountAt(i) || !sorted);
  }
  for (size_t at = 0; at + 8 <= bytes.size() && at < 512; at += 8) {
    dict->CountOf(quarvel::DecodeFixed64(bytes.data() + bytes.size() - 8 - at));
  }
}

void CheckRoundTrip(std::string_view text) {
  std::map<uint64_t, uint64_t> model;
  while (!text.empty()) {
    const size_t feed = text.find('\n');
    const std::string_view line = text.substr(0, feed);
    text = feed == std::string_view::npos ? std::string_view() : text.substr(feed + 1);
    uint64_t key = 0, count = 0;
    if (!quarvel::ParseHashLine(line, &key, &count)) continue;
    uint64_t &total = model[key];
    total = total > UINT64_MAX - count ? UINT64_MAX : total + count;
  }
  const std::string path = quarvel::fuzz::WorkDir() + "/fz.hsh";
  quarvel::HashDictWriter writer;
  std::string error;
  FUZZ_CHECK(writer.Open(path, model.size(), 1, &error), error);
  for (const auto &[key, count] : model) FUZZ_CHECK(writer.Add(key, count));
  FUZZ_CHECK(writer.Finish(uint64_t{64} << 20, &error), error);
  const std::shared_ptr<const quarvel::HashDict> dict = quarvel::HashDict::Open(path, &error);
  FUZZ_CHECK(dict != nullptr, error);
  FUZZ_CHECK(dict->key_count() == model.size());
  for (const auto &[key, count] : model) {
    FUZZ_CHECK(dict->CountOf(key) == std::min(count, quarvel::kHashDictMaxCount));
    for (const uint64_t near : {key - 1, key + 1, key ^ (uint64_t{1} << 63)}) {
      if (model.count(near) == 0) FUZZ_CHECK(dict->CountOf(near) == 0);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  quarvel::fuzz::Setup(argc, argv, 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  if (data[0] == 1) {
    CheckRoundTrip({reinterpret_cast<const char *>(data + 1), size - 1});
  } else {
    CheckImage({data + 1, size - 1});
  }
  return 0;
}
