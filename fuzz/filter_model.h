// A model of the key filter image and the dictionary filter file, written
// from docs/file-format.md ("Filter file", "Key filter") rather than from
// the reader: which images a reader must accept, and what a lookup in an
// accepted one answers. Shared by the filter and mapped fuzz targets, which
// also use it to give mutated images a valid checksum, so that inputs get
// past it to the geometry.
#ifndef QUARVEL_FUZZ_FILTER_MODEL_H_
#define QUARVEL_FUZZ_FILTER_MODEL_H_

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel::fuzz {

inline uint64_t Little(std::string_view bytes, size_t at, int width) {
  uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

inline void PutLittle(std::string &bytes, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

inline uint64_t Fnv1a(std::string_view bytes, uint64_t h = 0xcbf29ce484222325) {
  for (unsigned char b : bytes) h = (h ^ b) * 0x100000001b3;
  return h;
}

inline uint64_t ModelMix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9;
  x ^= x >> 27;
  x *= 0x94d049bb133111eb;
  return x ^ (x >> 31);
}

// The high 64 bits of the 128-bit product a · b, from 32-bit halves.
inline uint64_t High64(uint64_t a, uint64_t b) {
  const uint64_t a0 = a & 0xffffffff, a1 = a >> 32, b0 = b & 0xffffffff, b1 = b >> 32;
  const uint64_t low = a0 * b0, mid1 = a1 * b0, mid2 = a0 * b1, high = a1 * b1;
  const uint64_t carry = ((low >> 32) + (mid1 & 0xffffffff) + (mid2 & 0xffffffff)) >> 32;
  return high + (mid1 >> 32) + (mid2 >> 32) + carry;
}

// The key filter as the format describes it.
class ModelFilter {
 public:
  // True when a reader must accept image: magic, version, checksum, shard
  // count, fingerprint size, and every shard's geometry and fingerprints
  // within the image, after the shard table.
  bool Parse(std::string_view image) {
    image_ = image;
    if (image.size() < 40 || Little(image, 0, 4) != 0x464b5651 || Little(image, 4, 4) != 1) {
      return false;
    }
    const uint64_t shards = Little(image, 16, 4);
    if (shards == 0 || shards > 65536 || (shards & (shards - 1)) != 0) return false;
    if (Little(image, 20, 4) != 8) return false;
    const uint64_t table_end = 40 + 24 * shards;
    if (image.size() < table_end) return false;
    if (Fnv1a(image.substr(40, table_end - 40), Fnv1a(image.substr(0, 32))) !=
        Little(image, 32, 8)) {
      return false;
    }
    seed_ = Little(image, 24, 8);
    bits_ = 0;
    while ((uint64_t{1} << bits_) < shards) ++bits_;
    shards_.clear();
    for (uint64_t s = 0; s < shards; ++s) {
      const size_t at = 40 + 24 * s;
      Shard shard{Little(image, at, 8), Little(image, at + 8, 4), Little(image, at + 12, 4),
                  Little(image, at + 16, 8)};
      const uint64_t l = shard.length;
      if (l == 0 || (l & (l - 1)) != 0 || l > (1u << 18) || shard.count == 0) return false;
      const uint64_t bytes = (shard.count + 2) * l;
      if (shard.offset < table_end || shard.offset > image.size() ||
          image.size() - shard.offset < bytes) {
        return false;
      }
      shards_.push_back(shard);
    }
    return true;
  }

  // For a parsed image: false only when key is certainly absent.
  bool MayContain(uint64_t key) const {
    const uint64_t m = ModelMix(key ^ seed_);
    const Shard &s = shards_[bits_ == 0 ? 0 : m >> (64 - bits_)];
    const uint64_t h = ModelMix(m + s.seed);
    const uint64_t l = s.length;
    const uint64_t h0 = High64(h, s.count * l);
    const uint64_t h1 = (h0 + l) ^ ((h >> 18) & (l - 1));
    const uint64_t h2 = (h0 + 2 * l) ^ (h & (l - 1));
    auto at = [&](uint64_t i) { return static_cast<unsigned char>(image_[s.offset + i]); };
    return (at(h0) ^ at(h1) ^ at(h2)) == ((h ^ (h >> 32)) & 0xff);
  }

 private:
  struct Shard {
    uint64_t seed, length, count, offset;
  };
  std::string_view image_;
  uint64_t seed_ = 0;
  int bits_ = 0;
  std::vector<Shard> shards_;
};

// The 56-byte header of a filter file that matches the dictionary files at
// prefix as they are now (their sizes, modification times and the first 20
// bytes of the index), with flags.
inline std::string ModelFilterHeader(const std::string &prefix, uint32_t flags) {
  struct stat data, index;
  std::string header(56, '\0');
  if (stat((prefix + ".pwd").c_str(), &data) != 0 || stat((prefix + ".pwi").c_str(), &index) != 0) {
    return header;
  }
  char first[20];
  const int fd = open((prefix + ".pwi").c_str(), O_RDONLY);
  const ssize_t got = fd >= 0 ? pread(fd, first, sizeof(first), 0) : 0;
  if (fd >= 0) close(fd);
  auto ns = [](const timespec &t) {
    return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
  };
  PutLittle(header, 0, 0x66777051, 4);
  PutLittle(header, 4, 1, 4);
  PutLittle(header, 8, static_cast<uint64_t>(data.st_size), 8);
  PutLittle(header, 16, static_cast<uint64_t>(index.st_size), 8);
  PutLittle(header, 24, ns(data.st_mtim), 8);
  PutLittle(header, 32, ns(index.st_mtim), 8);
  PutLittle(header, 40, Fnv1a(std::string_view(first, got > 0 ? static_cast<size_t>(got) : 0)), 8);
  PutLittle(header, 48, flags, 4);
  return header;
}

// The words of the filter target's fixture dictionary (distinct, sorted,
// lower-case letters and digits, as CreateDict keeps them); make_seeds.cc
// builds the seed filters from the same words.
inline std::vector<std::string> FixtureWords() {
  std::set<std::string> words;
  for (uint64_t i = 1; words.size() < 300; ++i) {
    uint64_t h = ModelMix(i);
    std::string w;
    for (size_t n = 0; n < 3 + i % 12; ++n, h /= 36)
      w += "0123456789abcdefghijklmnopqrstuvwxyz"[h % 36];
    words.insert(w);
  }
  return {words.begin(), words.end()};
}

// Gives image the checksum its header and shard table call for, when it is
// long enough to hold them.
inline void FixFilterChecksum(std::string &image) {
  if (image.size() < 40) return;
  const uint64_t shards = Little(image, 16, 4);
  if (shards > 65536 || image.size() < 40 + 24 * shards) return;
  const std::string_view view = image;
  PutLittle(image, 32,
            Fnv1a(view.substr(40, 24 * static_cast<size_t>(shards)), Fnv1a(view.substr(0, 32))), 8);
}

}  // namespace quarvel::fuzz

#endif  // QUARVEL_FUZZ_FILTER_MODEL_H_
