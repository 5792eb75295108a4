// The binary fuse filter of key_filter.h. The image, in memory as on disk
// (all integers little-endian):
//
//   OFFSET      SIZE  MEANING
//   0           4     magic 0x464b5651 (bytes 51 56 4b 46, "QVKF")
//   4           4     version, 1
//   8           8     number of distinct keys
//   16          4     shard count S, a power of two from 1 to 2^16
//   20          4     fingerprint bits, 8
//   24          8     shard seed
//   32          8     checksum (FNV-1a, 64 bits) of bytes 0..31 and the shard table
//   40+24*s     8     seed of shard s
//   48+24*s     4     segment length of shard s, a power of two from 1 to 2^18
//   52+24*s     4     segment count of shard s, at least 1
//   56+24*s     8     offset in the image of shard s's fingerprints
//   ...               (segment count + 2) × segment length fingerprint bytes per shard
//
// A key k is first mixed with the shard seed: m = Mix(k ^ shard seed). The
// top log2(S) bits of m choose the shard, whose seed gives h = Mix(m + seed).
// h picks one slot in each of three consecutive segments: h0 = the high 64
// bits of h × (segment count × segment length), h1 = h0 + L with its low
// bits xored with (h >> 18) & (L - 1), h2 = h1 + L with its low bits xored
// with h & (L - 1), for segment length L. The key "may be present" when the
// three fingerprint bytes xor to (h ^ (h >> 32)) & 0xff.
//
// Building a shard finds, by peeling, an order in which each key owns a slot
// no later key touches, then fills those slots backwards. Shards keep each
// build's memory bounded: the keys are streamed once per group of shards
// that fits the budget.

#include "format/key_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "format/coding.h"

namespace quarvel {
namespace {

constexpr uint32_t kMagic = 0x464b5651;
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderBytes = 40;
constexpr size_t kShardEntryBytes = 24;
constexpr int kMaxShardBits = 16;
constexpr uint32_t kMaxSegmentLength = 1u << 18;
// Transient bytes per key of the shard being built, and per key gathered.
constexpr uint64_t kPeelBytesPerKey = 32;
constexpr uint64_t kGatherBytesPerKey = 8;
constexpr uint64_t kFirstSeed = 0x726f6d6d696e6b73;

// A bijection of 64-bit numbers that spreads every input bit over the output.
inline uint64_t Mix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9;
  x ^= x >> 27;
  x *= 0x94d049bb133111eb;
  return x ^ (x >> 31);
}

// The high 64 bits of h × n for n below 2^32, without 128-bit arithmetic
// (not available in the 32-bit build).
inline uint64_t MulHi(uint64_t h, uint32_t n) {
  return ((h >> 32) * n + (((h & 0xffffffffu) * n) >> 32)) >> 32;
}

inline unsigned char Fingerprint(uint64_t h) { return static_cast<unsigned char>(h ^ (h >> 32)); }

struct Geometry {
  uint32_t segment_length;
  uint32_t segment_count;
  uint64_t array_length() const { return (uint64_t{segment_count} + 2) * segment_length; }
};

inline void Slots(uint64_t h, uint32_t segment_length, uint32_t segment_count_length,
                  uint32_t (&out)[3]) {
  const uint64_t mask = segment_length - 1;
  const uint64_t h0 = MulHi(h, segment_count_length);
  const uint64_t h1 = (h0 + segment_length) ^ ((h >> 18) & mask);
  const uint64_t h2 = (h0 + 2 * uint64_t{segment_length}) ^ (h & mask);
  out[0] = static_cast<uint32_t>(h0);
  out[1] = static_cast<uint32_t>(h1);
  out[2] = static_cast<uint32_t>(h2);
}

// Sizes that make peeling succeed with high probability (binary fuse
// filters with three hashes: segments grow with the key count, and small
// sets need proportionally more room).
Geometry GeometryFor(uint64_t n) {
  Geometry g;
  const double dn = static_cast<double>(n);
  const int exponent =
      n == 0 ? 2 : static_cast<int>(std::floor(std::log(dn) / std::log(3.33) + 2.25));
  g.segment_length = std::min<uint32_t>(uint32_t{1} << std::max(exponent, 2), kMaxSegmentLength);
  const double factor = n <= 1 ? 0 : std::max(1.125, 0.875 + 0.25 * std::log(1e6) / std::log(dn));
  const uint64_t capacity = static_cast<uint64_t>(std::llround(dn * factor));
  const int64_t segments =
      static_cast<int64_t>((capacity + g.segment_length - 1) / g.segment_length) - 2;
  g.segment_count = static_cast<uint32_t>(std::max<int64_t>(segments, 1));
  return g;
}

uint64_t NextSeed(uint64_t &state) {
  state += 0x9e3779b97f4a7c15;
  return Mix(state);
}

uint64_t Checksum(std::span<const unsigned char> bytes, uint64_t h = 0xcbf29ce484222325) {
  for (unsigned char b : bytes) h = (h ^ b) * 0x100000001b3;
  return h;
}

// Peels keys (distinct mixed keys of one shard) with seed into fingerprints
// (zeroed, g.array_length() bytes). False when peeling fails: an unlucky
// seed, or duplicate keys.
bool Peel(const std::vector<uint64_t> &keys, uint64_t seed, const Geometry &g,
          unsigned char *fingerprints) {
  const size_t length = static_cast<size_t>(g.array_length());
  const uint32_t scl = g.segment_count * g.segment_length;
  std::vector<uint8_t> count(length, 0);
  std::vector<uint64_t> xors(length, 0);
  uint32_t s[3];
  for (uint64_t key : keys) {
    const uint64_t h = Mix(key + seed);
    Slots(h, g.segment_length, scl, s);
    for (uint32_t i : s) {
      if (++count[i] == 0) return false;  // more than 255 keys on one slot
      xors[i] ^= h;
    }
  }
  std::vector<uint32_t> queue;
  queue.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    if (count[i] == 1) queue.push_back(static_cast<uint32_t>(i));
  }
  std::vector<uint64_t> order_h;
  std::vector<uint32_t> order_slot;
  order_h.reserve(keys.size());
  order_slot.reserve(keys.size());
  while (!queue.empty()) {
    const uint32_t i = queue.back();
    queue.pop_back();
    if (count[i] != 1) continue;
    const uint64_t h = xors[i];
    order_h.push_back(h);
    order_slot.push_back(i);
    Slots(h, g.segment_length, scl, s);
    for (uint32_t j : s) {
      --count[j];
      xors[j] ^= h;
      if (count[j] == 1) queue.push_back(j);
    }
  }
  if (order_h.size() != keys.size()) return false;
  for (size_t k = order_h.size(); k-- > 0;) {
    const uint64_t h = order_h[k];
    Slots(h, g.segment_length, scl, s);
    fingerprints[order_slot[k]] =
        Fingerprint(h) ^ fingerprints[s[0]] ^ fingerprints[s[1]] ^ fingerprints[s[2]];
  }
  return true;
}

// Builds one shard's fingerprints at the end of image; answers its geometry
// and seed, and the number of distinct keys in *distinct.
bool BuildShard(std::vector<uint64_t> &keys, uint64_t &seed_state,
                std::vector<unsigned char> &image, Geometry &g, uint64_t &seed,
                uint64_t &distinct) {
  bool unique = false;
  g = GeometryFor(keys.size());
  for (int attempt = 0; attempt < 1000; ++attempt) {
    // A few failures in a row point to duplicate keys: drop them.
    if (attempt == 3 && !unique) {
      std::sort(keys.begin(), keys.end());
      keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
      unique = true;
      g = GeometryFor(keys.size());
    }
    // Very small sets may need more room.
    if (attempt > 0 && attempt % 32 == 0) ++g.segment_count;
    seed = NextSeed(seed_state);
    const size_t start = image.size();
    image.resize(start + static_cast<size_t>(g.array_length()), 0);
    if (Peel(keys, seed, g, image.data() + start)) {
      distinct = keys.size();
      return true;
    }
    image.resize(start);
  }
  return false;
}

}  // namespace

uint64_t WordKey(std::string_view word) {
  uint64_t h = 0x9e3779b97f4a7c15 ^ word.size();
  size_t i = 0;
  for (; i + 8 <= word.size(); i += 8) {
    uint64_t chunk = 0;
    for (int b = 7; b >= 0; --b) chunk = (chunk << 8) | static_cast<unsigned char>(word[i + b]);
    h = Mix(h ^ chunk);
  }
  uint64_t tail = 0;
  for (size_t b = word.size(); b-- > i;) tail = (tail << 8) | static_cast<unsigned char>(word[b]);
  return Mix(h ^ tail ^ (uint64_t{0xff} << 56));
}

std::unique_ptr<KeyFilter> KeyFilter::Build(std::span<const uint64_t> keys) {
  return Build(
      keys.size(),
      [keys](const std::function<void(uint64_t)> &emit) {
        for (uint64_t key : keys) emit(key);
        return true;
      },
      UINT64_MAX);
}

std::unique_ptr<KeyFilter> KeyFilter::Build(uint64_t expected_keys, const KeySource &source,
                                            uint64_t memory_budget, uint64_t shard_keys) {
  try {
    // Shards small enough that peeling one takes at most half the budget.
    shard_keys = std::clamp<uint64_t>(memory_budget / 2 / (kPeelBytesPerKey + kPeelBytesPerKey / 4),
                                      1, std::max<uint64_t>(shard_keys, 1));
    int bits = 0;
    while (bits < kMaxShardBits && (shard_keys << bits) < expected_keys) ++bits;
    const uint64_t shard_count = uint64_t{1} << bits;
    const uint64_t per_shard = expected_keys / shard_count + 1;
    // Shards gathered per pass over the keys: what fits the budget once one
    // shard's peeling is paid for, at least one.
    const uint64_t peel = kPeelBytesPerKey * (per_shard + per_shard / 4);
    const uint64_t room = memory_budget > peel ? memory_budget - peel : 0;
    const uint64_t group = std::clamp<uint64_t>(
        room / (kGatherBytesPerKey * (per_shard + per_shard / 4)), 1, shard_count);

    std::unique_ptr<KeyFilter> filter(new KeyFilter);
    std::vector<unsigned char> &image = filter->owned_;
    const size_t table_end = kHeaderBytes + kShardEntryBytes * static_cast<size_t>(shard_count);
    image.reserve(table_end +
                  static_cast<size_t>(std::min<uint64_t>(
                      expected_keys + expected_keys / 4 + 64 * shard_count, SIZE_MAX / 2)));
    image.resize(table_end, 0);
    const uint64_t shard_seed = Mix(kFirstSeed);
    uint64_t seed_state = kFirstSeed;
    uint64_t distinct_total = 0;

    for (uint64_t first = 0; first < shard_count; first += group) {
      const uint64_t end = std::min(shard_count, first + group);
      // Room for the expected keys and some spread, so that the buckets do
      // not double past the budget.
      std::vector<std::vector<uint64_t>> buckets(static_cast<size_t>(end - first));
      for (std::vector<uint64_t> &bucket : buckets) {
        bucket.reserve(static_cast<size_t>(per_shard + per_shard / 16 + 64));
      }
      const bool ok = source([&](uint64_t key) {
        const uint64_t m = Mix(key ^ shard_seed);
        const uint64_t shard = bits == 0 ? 0 : m >> (64 - bits);
        if (shard >= first && shard < end) buckets[static_cast<size_t>(shard - first)].push_back(m);
      });
      if (!ok) return nullptr;
      for (uint64_t s = first; s < end; ++s) {
        std::vector<uint64_t> &keys = buckets[static_cast<size_t>(s - first)];
        Geometry g;
        uint64_t seed = 0, distinct = 0;
        const size_t offset = image.size();
        if (!BuildShard(keys, seed_state, image, g, seed, distinct)) return nullptr;
        std::vector<uint64_t>().swap(keys);
        unsigned char *entry = image.data() + kHeaderBytes + kShardEntryBytes * s;
        EncodeFixed64(entry, seed);
        EncodeFixed32(entry + 8, g.segment_length);
        EncodeFixed32(entry + 12, g.segment_count);
        EncodeFixed64(entry + 16, offset);
        distinct_total += distinct;
      }
    }
    unsigned char *header = image.data();
    EncodeFixed32(header, kMagic);
    EncodeFixed32(header + 4, kVersion);
    EncodeFixed64(header + 8, distinct_total);
    EncodeFixed32(header + 16, static_cast<uint32_t>(shard_count));
    EncodeFixed32(header + 20, 8);
    EncodeFixed64(header + 24, shard_seed);
    const uint64_t sum = Checksum(std::span(image.data() + kHeaderBytes, table_end - kHeaderBytes),
                                  Checksum(std::span(image.data(), 32)));
    EncodeFixed64(header + 32, sum);
    filter->bytes_ = image;
    if (!filter->Parse(nullptr)) return nullptr;
    return filter;
  } catch (const std::bad_alloc &) {
    return nullptr;
  } catch (const std::length_error &) {
    return nullptr;
  }
}

std::unique_ptr<KeyFilter> KeyFilter::View(std::span<const unsigned char> bytes, const char **why) {
  try {
    std::unique_ptr<KeyFilter> filter(new KeyFilter);
    filter->bytes_ = bytes;
    if (!filter->Parse(why)) return nullptr;
    return filter;
  } catch (const std::bad_alloc &) {
    if (why != nullptr) *why = "out of memory";
    return nullptr;
  }
}

// Decodes what Build writes, and checks everything a query relies on.
bool KeyFilter::Parse(const char **why) {
  auto fail = [why](const char *reason) {
    if (why != nullptr) *why = reason;
    return false;
  };
  const std::span<const unsigned char> b = bytes_;
  if (b.size() < kHeaderBytes) return fail("truncated header");
  if (DecodeFixed32(b.data()) != kMagic) return fail("magic mismatch");
  if (DecodeFixed32(b.data() + 4) != kVersion) return fail("unknown version");
  const uint32_t shard_count = DecodeFixed32(b.data() + 16);
  if (shard_count == 0 || (shard_count & (shard_count - 1)) != 0 ||
      shard_count > (1u << kMaxShardBits)) {
    return fail("invalid shard count");
  }
  if (DecodeFixed32(b.data() + 20) != 8) return fail("unsupported fingerprint size");
  const size_t table_end = kHeaderBytes + kShardEntryBytes * shard_count;
  if (b.size() < table_end) return fail("truncated shard table");
  const uint64_t sum =
      Checksum(b.subspan(kHeaderBytes, table_end - kHeaderBytes), Checksum(b.first(32)));
  if (DecodeFixed64(b.data() + 32) != sum) return fail("checksum mismatch");

  key_count_ = DecodeFixed64(b.data() + 8);
  shard_seed_ = DecodeFixed64(b.data() + 24);
  shard_bits_ = 0;
  while ((1u << shard_bits_) < shard_count) ++shard_bits_;
  shards_.clear();
  shards_.reserve(shard_count);
  for (uint32_t s = 0; s < shard_count; ++s) {
    const unsigned char *entry = b.data() + kHeaderBytes + kShardEntryBytes * s;
    const Geometry g{DecodeFixed32(entry + 8), DecodeFixed32(entry + 12)};
    const uint64_t offset = DecodeFixed64(entry + 16);
    if (g.segment_length == 0 || (g.segment_length & (g.segment_length - 1)) != 0 ||
        g.segment_length > kMaxSegmentLength || g.segment_count == 0 ||
        g.array_length() > UINT32_MAX) {
      return fail("invalid shard geometry");
    }
    if (offset < table_end || offset > b.size() || b.size() - offset < g.array_length()) {
      return fail("shard outside the file");
    }
    shards_.push_back({DecodeFixed64(entry), g.segment_length, g.segment_length - 1,
                       g.segment_count * g.segment_length, b.data() + static_cast<size_t>(offset)});
  }
  return true;
}

void KeyFilter::Prefetch(uint64_t key) const {
  const uint64_t m = Mix(key ^ shard_seed_);
  const Shard &shard = shards_[shard_bits_ == 0 ? 0 : static_cast<size_t>(m >> (64 - shard_bits_))];
  uint32_t s[3];
  Slots(Mix(m + shard.seed), shard.segment_length, shard.segment_count_length, s);
  for (uint32_t i : s) __builtin_prefetch(shard.fingerprints + i);
}

bool KeyFilter::MayContain(uint64_t key) const {
  const uint64_t m = Mix(key ^ shard_seed_);
  const Shard &shard = shards_[shard_bits_ == 0 ? 0 : static_cast<size_t>(m >> (64 - shard_bits_))];
  const uint64_t h = Mix(m + shard.seed);
  uint32_t s[3];
  Slots(h, shard.segment_length, shard.segment_count_length, s);
  const unsigned char *f = shard.fingerprints;
  return (f[s[0]] ^ f[s[1]] ^ f[s[2]]) == Fingerprint(h);
}

}  // namespace quarvel
