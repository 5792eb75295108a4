// Hashed dictionaries: the leaked-password lists that are published as
// SHA-1 hashes with occurrence counts, stored as the sorted 64-bit prefixes
// of the hashes with a parallel array of counts, a bucket index over the
// prefixes' top bits and a membership filter in front. One file,
// <prefix>.hsh; its layout is described in format/hash_layout.h and
// docs/file-format.md.
//
// Two different hashes that share their first 64 bits are one entry (their
// counts added): with n hashes stored, a password not in the list is
// reported as in it with a probability of about n / 2^64.
#ifndef QUARVEL_SRC_STORE_HASH_DICT_H_
#define QUARVEL_SRC_STORE_HASH_DICT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "format/file_io.h"
#include "format/hash_layout.h"
#include "format/key_filter.h"

namespace quarvel {

// The stored key of a SHA-1 digest: its first 8 bytes read big-endian, so
// that keys sort as the hexadecimal texts of the hashes do.
uint64_t HashKeyOfDigest(const unsigned char digest[20]);

// One line of a hash list: 40 hexadecimal digits in either case, then
// optionally ':' and a decimal count of at most 20 digits (a count above
// 2^64 - 1 is read as 2^64 - 1). A final '\r' is ignored. Without a count
// the count is 1. False for anything else.
bool ParseHashLine(std::string_view line, uint64_t *key, uint64_t *count);

// Writes a hashed dictionary file from keys given in ascending order, each
// once. The counts go to an unlinked temporary file beside the output until
// Finish copies them behind the keys.
class HashDictWriter {
 public:
  // path: the file to write (created or truncated); expected_keys: an upper
  // bound of the keys to come (it sizes the index). False with *error set
  // when a file cannot be created.
  bool Open(const std::string &path, uint64_t expected_keys, uint64_t min_count,
            std::string *error);
  ~HashDictWriter();

  // False when a write failed (Finish then reports it).
  bool Add(uint64_t key, uint64_t count);

  // Writes the counts, the index, the filter (built within filter_budget
  // bytes) and the header. False with *error set on failure. The file is
  // flushed to disk.
  bool Finish(uint64_t filter_budget, std::string *error);

  uint64_t key_count() const { return count_; }

 private:
  bool Flush(int fd, std::vector<unsigned char> &buffer, uint64_t *offset);

  std::string path_;
  int fd_ = -1;
  int counts_fd_ = -1;
  int index_bits_ = 0;
  uint64_t min_count_ = 0;
  uint64_t count_ = 0;
  uint64_t last_key_ = 0;
  uint64_t keys_written_ = 0;    // bytes of keys written
  uint64_t counts_written_ = 0;  // bytes of counts written
  bool failed_ = false;
  std::vector<uint64_t> bucket_sizes_;
  std::vector<unsigned char> key_buffer_;
  std::vector<unsigned char> count_buffer_;
};

// A hashed dictionary, read-only: a map of its file, or a view of bytes the
// caller keeps alive. Decodes what HashDictWriter produces; every structure
// is checked when it opens, and a lookup never reads outside the image.
// Immutable: any number of threads may look up at once.
class HashDict {
 public:
  // Maps path; nullptr with *error set when it cannot be read or is not a
  // whole, consistent hashed dictionary.
  static std::shared_ptr<const HashDict> Open(const std::string &path, std::string *error);

  // The same over bytes that outlive the result.
  static std::unique_ptr<HashDict> View(std::span<const unsigned char> bytes, std::string *error);

  ~HashDict();
  HashDict(const HashDict &) = delete;
  HashDict &operator=(const HashDict &) = delete;

  // The count stored for key, 0 when it is absent.
  uint64_t CountOf(uint64_t key) const;

  // Starts loading what CountOf(key) reads first (the filter's bytes, or
  // the key's index entry), so that lookups of many keys overlap their
  // memory latencies when all are prefetched before any is looked up.
  void Prefetch(uint64_t key) const;

  uint64_t key_count() const { return count_; }
  uint64_t min_count() const { return min_count_; }
  bool has_filter() const { return filter_ != nullptr; }

  // The i-th key and count, i < key_count().
  uint64_t KeyAt(uint64_t i) const;
  uint64_t CountAt(uint64_t i) const;

 private:
  HashDict() = default;
  bool Parse(std::span<const unsigned char> bytes, std::string *error);

  std::unique_ptr<FileMap> map_;  // when opened from a file
  const unsigned char *keys_ = nullptr;
  const unsigned char *counts_ = nullptr;
  const unsigned char *index_ = nullptr;
  uint64_t count_ = 0;
  uint64_t min_count_ = 0;
  int index_bits_ = 0;
  std::unique_ptr<KeyFilter> filter_;
};

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_HASH_DICT_H_
