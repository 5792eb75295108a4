// Fuzz target: rank files (PREFIX.pwr), the reader behind ranked dictionaries.
//
// Input layout (integers little-endian):
//   byte 0  0: an image, viewed in memory.
//             bytes 1-4  the word count of the dictionary it is viewed for
//             byte 5     bit 0: the stamp is taken from the image itself (so
//                        that the checks after it are reached), bit 1: the
//                        dictionary's modification times differ from it,
//                        bit 2: the files' content sum matches the image's
//                        (else it differs), bit 3: the files cannot be read
//             rest       the image
//           1: the rest is written as the rank file beside a fixed ranked
//             dictionary (rank_dictionary.h), which is then opened, decoded
//             and served from maps, and inspected (quarvel_dict_info_get).
// fuzz/corpus/rank holds images of real rank files in both forms.
//
// Checked: an image is refused with a reason, or taken whole (exactly 64
// bytes and 4 per word); a taken one answers every rank as stored (a stored
// 0, and any index beyond the words, as the word count), an ignored one the
// word count for every word; the dictionary's words are unaffected; the
// engine and the inspection agree on whether it is ranked; nothing is read
// outside the image (the sanitizers watch).

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "format/coding.h"
#include "format/rank_layout.h"
#include "fuzz_support.h"
#include "quarvel/engine.h"
#include "rank_dictionary.h"
#include "store/dictionary.h"
#include "store/rank_file.h"

namespace {

constexpr uint32_t kMaxChecked = 4096;

std::string g_prefix;
std::string g_rank_path;
uint32_t g_words = 0;

// The rank a file stores for index, as a reader answers it.
uint32_t StoredRank(std::span<const unsigned char> image, uint32_t words, uint32_t index) {
  const uint32_t rank = quarvel::DecodeFixed32(image.data() + quarvel::kRankHeaderBytes + 4 * index);
  return rank == 0 ? words : rank;
}

void CheckImage(quarvel::fuzz::Reader &in, std::span<const unsigned char> image) {
  uint32_t words = in.U16();
  words |= uint32_t{in.U16()} << 16;
  const uint8_t flags = in.Byte();
  image = image.subspan(std::min<size_t>(image.size(), 5));
  quarvel::RankHeader header;
  const bool has_header = quarvel::DecodeRankHeader(image, &header) == nullptr;
  quarvel::FilterStamp stamp;
  if ((flags & 1) != 0 && has_header) stamp = header.stamp;
  if ((flags & 2) != 0) stamp.data_modified_ns ^= 1;
  int asked = 0;
  auto content_sum = [&]() -> std::optional<uint64_t> {
    ++asked;
    if ((flags & 8) != 0) return std::nullopt;
    return (flags & 4) != 0 ? header.content_sum : ~header.content_sum;
  };
  std::string why;
  const std::unique_ptr<quarvel::RankFile> ranks =
      quarvel::RankFile::View(image, words, stamp, content_sum, &why);
  FUZZ_CHECK(asked <= 1);
  if (ranks == nullptr) {
    FUZZ_CHECK(!why.empty());
    return;
  }
  FUZZ_CHECK(has_header && header.word_count == words);
  FUZZ_CHECK(image.size() == quarvel::RankFileBytes(words));
  FUZZ_CHECK(ranks->word_count() == words);
  for (uint32_t i = 0; i < words && i < kMaxChecked; ++i) {
    FUZZ_CHECK(ranks->Rank(i) == StoredRank(image, words, i));
  }
  FUZZ_CHECK(ranks->Rank(words) == words && ranks->Rank(UINT32_MAX) == words);
}

void CheckBeside(std::span<const unsigned char> image) {
  quarvel::fuzz::WriteFile(g_rank_path, {reinterpret_cast<const char *>(image.data()), image.size()});
  quarvel_dict_info info = {};
  info.size = sizeof(info);
  FUZZ_CHECK(quarvel_dict_info_get(g_prefix.c_str(), &info, nullptr, 0) == 0);
  FUZZ_CHECK(info.intact == 1);
  for (const uint64_t decoded_bytes : {quarvel::engine::kDecodedDataBytes, uint64_t{0}}) {
    quarvel::engine::SetDecodedDataBytes(decoded_bytes);
    const auto dict = quarvel::engine::Dictionary::Open(g_prefix, /*trusted=*/true);
    quarvel::engine::SetDecodedDataBytes(quarvel::engine::kDecodedDataBytes);
    FUZZ_CHECK(dict->ok() && dict->word_count() == g_words);
    FUZZ_CHECK(dict->ranked() == (info.ranked == 1), dict->note());
    FUZZ_CHECK(dict->ranked() || (dict->note().find("rank file ignored: ") != std::string::npos &&
                                  info.rank_problem[0] != '\0'));
    uint32_t seen = 0;
    dict->ForEachWord([&](uint32_t index, std::string_view word) {
      FUZZ_CHECK(index == seen++ && dict->Find(std::string(word).c_str()) == index);
      const uint32_t rank = dict->Rank(index);
      FUZZ_CHECK(dict->ranked() ? rank == StoredRank(image, g_words, index) : rank == g_words);
    });
    FUZZ_CHECK(seen == g_words && dict->Rank(g_words) == g_words);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  quarvel::fuzz::Setup(argc, argv, quarvel::fuzz::kQuietStdout | quarvel::fuzz::kQuietStderr);
  g_prefix = quarvel::fuzz::WorkDir() + "/ranked";
  g_rank_path = g_prefix + quarvel::kRankExtension;
  if (!quarvel::fuzz::BuildRankFuzzDictionary(g_prefix, quarvel::fuzz::WorkDir() + "/list.txt")) {
    quarvel::fuzz::Fail(__FILE__, __LINE__, "BuildRankFuzzDictionary");
  }
  const auto dict = quarvel::engine::Dictionary::Open(g_prefix, /*trusted=*/true);
  if (!dict->ok() || !dict->ranked()) quarvel::fuzz::Fail(__FILE__, __LINE__, "ranked dictionary");
  g_words = dict->word_count();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  quarvel::fuzz::Reader in(data + 1, size - 1);
  const std::span<const unsigned char> rest(data + 1, size - 1);
  if (data[0] == 1) {
    CheckBeside(rest);
  } else {
    CheckImage(in, rest);
  }
  return 0;
}
