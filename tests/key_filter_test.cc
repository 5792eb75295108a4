// The membership filter: no false negatives at any size, a measured
// false-positive rate, bounded sharded builds, and images that are checked
// before any query reads them.

#include "format/key_filter.h"

#include <cstdio>
#include <random>
#include <set>
#include <vector>

#include <gtest/gtest.h>

namespace {

using quarvel::KeyFilter;

// Keys drawn at random, with a share of repeats, in no order.
std::vector<uint64_t> RandomKeys(size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::vector<uint64_t> keys;
  for (size_t i = 0; i < n; ++i) {
    keys.push_back(i > 0 && rng() % 8 == 0 ? keys[rng() % keys.size()] : rng());
  }
  return keys;
}

// Share of keys outside set that the filter lets through.
double FalsePositiveRate(const KeyFilter &filter, const std::set<uint64_t> &set, unsigned seed) {
  std::mt19937_64 rng(seed);
  size_t tried = 0, passed = 0;
  while (tried < 400000) {
    const uint64_t key = rng();
    if (set.count(key) != 0) continue;
    ++tried;
    if (filter.MayContain(key)) ++passed;
  }
  return static_cast<double>(passed) / static_cast<double>(tried);
}

TEST(KeyFilterTest, NoFalseNegativesAndFewFalsePositives) {
  for (size_t n : {0, 1, 2, 3, 15, 16, 17, 1000, 16 * 1024 - 1, 200000}) {
    SCOPED_TRACE(n);
    const std::vector<uint64_t> keys = RandomKeys(n, static_cast<unsigned>(n) + 1);
    const std::set<uint64_t> set(keys.begin(), keys.end());
    const auto filter = KeyFilter::Build(keys);
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->key_count(), set.size());
    for (uint64_t key : keys) ASSERT_TRUE(filter->MayContain(key)) << key;
    // 8-bit fingerprints: about 1 in 256 (0.39 %).
    const double rate = FalsePositiveRate(*filter, set, 7);
    EXPECT_LT(rate, 0.006);
    if (n >= 1000) {
      // Small sets take proportionally more room; large ones about 9 bits.
      const double bits = 8.0 * static_cast<double>(filter->bytes().size()) / set.size();
      EXPECT_LT(bits, n >= 100000 ? 10 : 13);
      std::printf("keys %zu: %.2f bits per key, false positives %.3f %%\n", set.size(), bits,
                  100 * rate);
    }
  }
}

TEST(KeyFilterTest, ShardedBuildWithinATinyBudget) {
  // 40 shards of about 1000 keys, gathered a few shards per pass.
  const std::vector<uint64_t> keys = RandomKeys(40000, 3);
  int passes = 0;
  const KeyFilter::KeySource source = [&](const std::function<void(uint64_t)> &emit) {
    ++passes;
    for (uint64_t key : keys) emit(key);
    return true;
  };
  const auto sharded = KeyFilter::Build(keys.size(), source, 200000, 1000);
  ASSERT_NE(sharded, nullptr);
  EXPECT_GT(passes, 2);
  for (uint64_t key : keys) ASSERT_TRUE(sharded->MayContain(key));
  const std::set<uint64_t> set(keys.begin(), keys.end());
  EXPECT_EQ(sharded->key_count(), set.size());
  EXPECT_LT(FalsePositiveRate(*sharded, set, 11), 0.006);

  // The same keys in another order give the same image.
  std::vector<uint64_t> reversed(keys.rbegin(), keys.rend());
  const auto again = KeyFilter::Build(
      keys.size(),
      [&](const std::function<void(uint64_t)> &emit) {
        for (uint64_t key : reversed) emit(key);
        return true;
      },
      200000, 1000);
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(std::equal(again->bytes().begin(), again->bytes().end(), sharded->bytes().begin(),
                         sharded->bytes().end()));

  // A source that fails fails the build.
  EXPECT_EQ(KeyFilter::Build(10, [](const std::function<void(uint64_t)> &) { return false; }),
            nullptr);
}

TEST(KeyFilterTest, ImagesAreCheckedBeforeUse) {
  const std::vector<uint64_t> keys = RandomKeys(5000, 5);
  const auto built = KeyFilter::Build(
      keys.size(),
      [&](const std::function<void(uint64_t)> &emit) {
        for (uint64_t key : keys) emit(key);
        return true;
      },
      UINT64_MAX, 1000);
  ASSERT_NE(built, nullptr);
  const std::vector<unsigned char> image(built->bytes().begin(), built->bytes().end());

  // A copy of the image answers as the original.
  const auto view = KeyFilter::View(image);
  ASSERT_NE(view, nullptr);
  std::mt19937_64 rng(1);
  for (int i = 0; i < 10000; ++i) {
    const uint64_t key = i % 2 == 0 ? keys[rng() % keys.size()] : rng();
    ASSERT_EQ(view->MayContain(key), built->MayContain(key));
  }

  // Every truncation is refused.
  for (size_t size = 0; size < image.size(); size += size < 300 ? 1 : 97) {
    const char *why = nullptr;
    EXPECT_EQ(KeyFilter::View(std::span(image.data(), size), &why), nullptr) << size;
    EXPECT_NE(why, nullptr);
  }
  // Any changed byte of the header or the shard table is refused (8 shards:
  // the table ends at byte 40 + 8 × 24).
  for (size_t at = 0; at < 40 + 8 * 24; ++at) {
    std::vector<unsigned char> bad = image;
    bad[at] ^= 0x41;
    EXPECT_EQ(KeyFilter::View(bad), nullptr) << at;
  }
  // A table with a valid checksum whose shards lie outside the image, or
  // whose geometry is out of range, is refused too: the checksum catches
  // accidents, the bounds checks the rest.
  auto resum = [](std::vector<unsigned char> &bytes) {
    uint64_t h = 0xcbf29ce484222325;
    for (size_t i = 0; i < 40 + 8 * 24; ++i) {
      if (i < 32 || i >= 40) h = (h ^ bytes[i]) * 0x100000001b3;
    }
    for (int b = 0; b < 8; ++b) bytes[32 + b] = static_cast<unsigned char>(h >> (8 * b));
  };
  std::vector<unsigned char> resummed = image;
  resum(resummed);
  EXPECT_NE(KeyFilter::View(resummed), nullptr);
  const struct {
    size_t at;
    unsigned char value;
  } forged[] = {{40 + 7 * 24 + 16 + 3, 0x10},  // last shard's offset past the end
                {40 + 8 + 2, 0x80},            // a segment length of 2^23
                {40 + 8, 3},                   // a segment length that is no power of two
                {40 + 12 + 3, 0xff}};          // a segment count past 32-bit slot numbers
  for (const auto &f : forged) {
    std::vector<unsigned char> bad = image;
    bad[f.at] = f.value;
    resum(bad);
    const char *why = nullptr;
    EXPECT_EQ(KeyFilter::View(bad, &why), nullptr) << f.at;
    EXPECT_NE(why, nullptr);
  }
}

}  // namespace
