// A compact membership filter over 64-bit keys: a sharded binary fuse
// filter with 8-bit fingerprints, about 9 bits per key. It never answers
// "absent" for a key it was built from; for any other key it answers
// "maybe" with a probability of about 1/256.
//
// The filter is one byte image, the same in memory and on disk (the format
// is described in key_filter.cc and docs/file-format.md). A filter either
// owns its image or views bytes that someone else keeps alive, such as a
// read-only map of a file. Immutable once made: any number of threads may
// query one at the same time.
#ifndef QUARVEL_SRC_FORMAT_KEY_FILTER_H_
#define QUARVEL_SRC_FORMAT_KEY_FILTER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace quarvel {

class KeyFilter {
 public:
  // Streams every key of the set to emit, in any order, duplicates allowed;
  // answers false when the keys cannot be produced (the build then fails).
  // A build may call it several times, and each call must emit the same keys.
  using KeySource = std::function<bool(const std::function<void(uint64_t)> &emit)>;

  // Memory a build may use beyond the finished image, by default.
  static constexpr uint64_t kDefaultBuildBudget = uint64_t{512} << 20;
  // Keys per shard a build aims at: about 130 MB of transient memory.
  static constexpr uint64_t kShardKeys = uint64_t{1} << 22;

  // Builds the filter of keys (any order, duplicates allowed). nullptr when
  // memory runs out.
  static std::unique_ptr<KeyFilter> Build(std::span<const uint64_t> keys);

  // Builds the filter of the keys that source streams. expected_keys is an
  // upper estimate of their number (it sizes the shards); memory_budget
  // bounds the memory the build uses besides the image, by streaming the
  // keys once per group of shards that fits it. nullptr when the source
  // fails or memory runs out.
  // shard_keys is the number of keys a shard aims at (tests lower it).
  static std::unique_ptr<KeyFilter> Build(uint64_t expected_keys, const KeySource &source,
                                          uint64_t memory_budget = kDefaultBuildBudget,
                                          uint64_t shard_keys = kShardKeys);

  // A filter over the bytes of a serialised image, which must outlive it
  // (no copy). nullptr, with *why set, when the bytes are not a whole,
  // consistent image: every query then stays within them.
  static std::unique_ptr<KeyFilter> View(std::span<const unsigned char> bytes,
                                         const char **why = nullptr);

  KeyFilter(const KeyFilter &) = delete;
  KeyFilter &operator=(const KeyFilter &) = delete;

  // False only when key is certainly not in the set.
  bool MayContain(uint64_t key) const;

  // Starts loading the bytes MayContain(key) reads, so that a batch of
  // lookups waits for memory once rather than once per key.
  void Prefetch(uint64_t key) const;

  uint64_t key_count() const { return key_count_; }

  // The serialised image: the bytes to store, which View accepts.
  std::span<const unsigned char> bytes() const { return bytes_; }

 private:
  struct Shard {
    uint64_t seed;
    uint32_t segment_length;
    uint32_t segment_mask;
    uint32_t segment_count_length;  // segment count × segment length
    const unsigned char *fingerprints;
  };

  KeyFilter() = default;
  bool Parse(const char **why);

  std::vector<unsigned char> owned_;  // the image, when this filter owns it
  std::span<const unsigned char> bytes_;
  uint64_t key_count_ = 0;
  uint64_t shard_seed_ = 0;
  int shard_bits_ = 0;
  std::vector<Shard> shards_;
};

// The 64-bit key of a word, as the dictionary filter stores it. Stable:
// filter files written by one version are read by the next.
uint64_t WordKey(std::string_view word);

}  // namespace quarvel

#endif  // QUARVEL_SRC_FORMAT_KEY_FILTER_H_
