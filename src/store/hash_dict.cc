// Hashed dictionary files: the writer and the reader of the layout in
// format/hash_layout.h.
//
// A lookup takes the key's bucket from its top b bits, and searches the
// keys between the bucket's index entries by bisection: with b chosen so
// that a bucket holds about 32 keys, five or six probes within one or two
// pages.

#include "store/hash_dict.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "format/coding.h"
#include "format/file_io.h"
#include "format/hash_layout.h"

namespace quarvel {
namespace {

constexpr int kMaxIndexBits = kHashDictMaxIndexBits;
constexpr uint64_t kKeysPerBucket = 32;
constexpr size_t kWriteBuffer = size_t{1} << 20;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int IndexBitsFor(uint64_t keys) {
  int bits = 0;
  while (bits < kMaxIndexBits && (uint64_t{1} << bits) * kKeysPerBucket < keys) ++bits;
  return bits;
}

uint64_t BucketOf(uint64_t key, int bits) { return bits == 0 ? 0 : key >> (64 - bits); }

bool PWriteAll(int fd, const unsigned char *bytes, size_t size, uint64_t offset) {
  return WriteAllAtFd(fd, offset, std::span(bytes, size));
}

bool PReadAll(int fd, unsigned char *bytes, size_t size, uint64_t offset) {
  return ReadAtFd(fd, offset, std::span(bytes, size)) == size;
}

std::string FolderOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// An unlinked temporary file in folder, or -1.
int TemporaryFile(const std::string &folder) {
  int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string name = folder + "/.quarvel-counts-XXXXXX";
  fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) unlink(name.c_str());
  return fd;
}

}  // namespace

uint64_t HashKeyOfDigest(const unsigned char digest[20]) {
  uint64_t key = 0;
  for (int i = 0; i < 8; ++i) key = (key << 8) | digest[i];
  return key;
}

bool ParseHashLine(std::string_view line, uint64_t *key, uint64_t *count) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() < 40) return false;
  uint64_t k = 0;
  for (size_t i = 0; i < 40; ++i) {
    const int v = HexValue(line[i]);
    if (v < 0) return false;
    if (i < 16) k = (k << 4) | static_cast<uint64_t>(v);
  }
  uint64_t c = 1;
  if (line.size() > 40) {
    const std::string_view digits = line.substr(41);
    if (line[40] != ':' || digits.empty() || digits.size() > 20) return false;
    c = 0;
    for (char d : digits) {
      if (d < '0' || d > '9') return false;
      const uint64_t v = static_cast<uint64_t>(d - '0');
      c = c > (UINT64_MAX - v) / 10 ? UINT64_MAX : c * 10 + v;
    }
  }
  *key = k;
  *count = c;
  return true;
}

// --- Writing ---

bool HashDictWriter::Open(const std::string &path, uint64_t expected_keys, uint64_t min_count,
                          std::string *error) {
  path_ = path;
  min_count_ = min_count;
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  // A staged file made by mkstemp is private; the list holds public hashes.
  if (fd_ >= 0) fchmod(fd_, 0644);
  if (fd_ < 0) {
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  counts_fd_ = TemporaryFile(FolderOf(path));
  if (counts_fd_ < 0) {
    *error = "cannot create a temporary file beside " + path + ": " + std::strerror(errno);
    return false;
  }
  index_bits_ = IndexBitsFor(expected_keys);
  bucket_sizes_.assign((size_t{1} << index_bits_), 0);
  key_buffer_.reserve(kWriteBuffer);
  count_buffer_.reserve(kWriteBuffer);
  return true;
}

HashDictWriter::~HashDictWriter() {
  if (fd_ >= 0) close(fd_);
  if (counts_fd_ >= 0) close(counts_fd_);
}

bool HashDictWriter::Flush(int fd, std::vector<unsigned char> &buffer, uint64_t *offset) {
  if (!PWriteAll(fd, buffer.data(), buffer.size(), *offset)) failed_ = true;
  *offset += buffer.size();
  buffer.clear();
  return !failed_;
}

bool HashDictWriter::Add(uint64_t key, uint64_t count) {
  if (failed_) return false;
  if (count_ > 0 && key <= last_key_) {
    failed_ = true;  // the caller broke the order: refuse to write a file that lies
    return false;
  }
  last_key_ = key;
  ++count_;
  ++bucket_sizes_[BucketOf(key, index_bits_)];
  unsigned char bytes[8];
  EncodeFixed64(bytes, key);
  key_buffer_.insert(key_buffer_.end(), bytes, bytes + 8);
  EncodeFixed32(bytes, static_cast<uint32_t>(std::min(count, kHashDictMaxCount)));
  count_buffer_.insert(count_buffer_.end(), bytes, bytes + 4);
  if (key_buffer_.size() >= kWriteBuffer) {
    uint64_t at = kHashDictHeaderSize + keys_written_;
    if (!Flush(fd_, key_buffer_, &at)) return false;
    keys_written_ = at - kHashDictHeaderSize;
  }
  if (count_buffer_.size() >= kWriteBuffer) {
    if (!Flush(counts_fd_, count_buffer_, &counts_written_)) return false;
  }
  return true;
}

bool HashDictWriter::Finish(uint64_t filter_budget, std::string *error) {
  auto fail = [&](const std::string &what) {
    *error = what + " " + path_ + (errno != 0 ? std::string(": ") + std::strerror(errno) : "");
    return false;
  };
  errno = 0;
  if (failed_) return fail("cannot write");
  uint64_t at = kHashDictHeaderSize + keys_written_;
  if (!Flush(fd_, key_buffer_, &at)) return fail("cannot write");
  keys_written_ = at - kHashDictHeaderSize;
  if (!Flush(counts_fd_, count_buffer_, &counts_written_))
    return fail("cannot write the counts of");

  // The counts, copied behind the keys.
  const uint64_t counts_at = HashDictCountsAt(count_);
  std::vector<unsigned char> chunk(kWriteBuffer);
  for (uint64_t done = 0; done < counts_written_;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), counts_written_ - done));
    if (!PReadAll(counts_fd_, chunk.data(), n, done)) return fail("cannot read the counts of");
    if (!PWriteAll(fd_, chunk.data(), n, counts_at + done)) return fail("cannot write");
    done += n;
  }
  const uint64_t index_at = HashDictIndexAt(count_);
  const unsigned char zeros[8] = {};
  if (!PWriteAll(fd_, zeros, index_at - (counts_at + 4 * count_), counts_at + 4 * count_)) {
    return fail("cannot write");
  }

  // The index: running sums of the bucket sizes.
  std::vector<unsigned char> index;
  index.reserve(8 * (bucket_sizes_.size() + 1));
  uint64_t running = 0;
  for (size_t i = 0; i <= bucket_sizes_.size(); ++i) {
    unsigned char bytes[8];
    EncodeFixed64(bytes, running);
    index.insert(index.end(), bytes, bytes + 8);
    if (i < bucket_sizes_.size()) running += bucket_sizes_[i];
  }
  if (!PWriteAll(fd_, index.data(), index.size(), index_at)) return fail("cannot write");
  const uint64_t filter_at = index_at + index.size();

  // The filter, from the keys read back from the file.
  const int fd = fd_;
  const uint64_t n = count_;
  const KeyFilter::KeySource source = [fd, n](const std::function<void(uint64_t)> &emit) {
    std::vector<unsigned char> buffer(kWriteBuffer);
    for (uint64_t done = 0; done < n;) {
      const uint64_t keys = std::min<uint64_t>(buffer.size() / 8, n - done);
      if (!PReadAll(fd, buffer.data(), keys * 8, kHashDictHeaderSize + 8 * done)) return false;
      for (uint64_t i = 0; i < keys; ++i) emit(DecodeFixed64(buffer.data() + 8 * i));
      done += keys;
    }
    return true;
  };
  uint64_t filter_bytes = 0;
  if (count_ > 0) {
    const std::unique_ptr<KeyFilter> filter = KeyFilter::Build(count_, source, filter_budget);
    if (filter == nullptr) return fail("cannot build the filter of");
    const std::span<const unsigned char> image = filter->bytes();
    if (!PWriteAll(fd_, image.data(), image.size(), filter_at)) return fail("cannot write");
    filter_bytes = image.size();
  }

  unsigned char header[kHashDictHeaderSize];
  EncodeHashDictHeader({count_, static_cast<uint32_t>(index_bits_), min_count_, filter_bytes,
                        filter_at + filter_bytes},
                       header);
  if (!PWriteAll(fd_, header, sizeof(header), 0)) return fail("cannot write");
  if (ftruncate(fd_, static_cast<off_t>(filter_at + filter_bytes)) != 0 || fsync(fd_) != 0) {
    return fail("cannot write");
  }
  const int closing = fd_;
  fd_ = -1;
  if (close(closing) != 0) return fail("cannot write");
  return true;
}

// --- Reading: decodes what HashDictWriter produces. ---

std::shared_ptr<const HashDict> HashDict::Open(const std::string &path, std::string *error) {
  const int fd = OpenForReading(path);
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    *error = path + ": not a regular file";
    return nullptr;
  }
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size < kHashDictHeaderSize || size > SIZE_MAX) {
    close(fd);
    *error = path + (size < kHashDictHeaderSize ? ": too short for a hashed dictionary"
                                                : ": too large to map in this process");
    return nullptr;
  }
  std::string why;
  std::unique_ptr<FileMap> map = FileMap::Map(fd, size, &why);
  close(fd);
  if (map == nullptr) {
    *error = path + ": " + why;
    return nullptr;
  }
  std::shared_ptr<HashDict> dict(new HashDict);
  dict->map_ = std::move(map);
  if (!dict->Parse(dict->map_->bytes(), &why) || dict->map_->faulted()) {
    *error = path + ": " + (dict->map_->faulted() ? "the file shrank while it was read" : why);
    return nullptr;
  }
  return dict;
}

std::unique_ptr<HashDict> HashDict::View(std::span<const unsigned char> bytes, std::string *error) {
  std::unique_ptr<HashDict> dict(new HashDict);
  if (!dict->Parse(bytes, error)) return nullptr;
  return dict;
}

HashDict::~HashDict() = default;

bool HashDict::Parse(std::span<const unsigned char> bytes, std::string *error) {
  auto fail = [error](const char *why) {
    *error = why;
    return false;
  };
  HashDictHeader header;
  if (const char *why = DecodeHashDictHeader(bytes, &header)) return fail(why);
  const unsigned char *h = bytes.data();
  const uint64_t n = header.key_count;
  const uint32_t bits = header.index_bits;
  const uint64_t filter_bytes = header.filter_bytes;
  const uint64_t file_size = header.file_size;
  if (bits > kMaxIndexBits) return fail("index bits out of range");
  if (file_size != bytes.size()) return fail("the file's size disagrees with its header");
  // Every section must fit the file: n is bounded first so that no sum
  // below can overflow.
  const uint64_t size = bytes.size();
  if (n > size / 12) return fail("more keys than the file can hold");
  const uint64_t counts_at = HashDictCountsAt(n);
  const uint64_t index_at = HashDictIndexAt(n);
  const uint64_t index_bytes = HashDictIndexBytes(bits);
  if (index_at > size || index_bytes > size - index_at) return fail("index beyond the file");
  const uint64_t filter_at = index_at + index_bytes;
  if (filter_bytes != size - filter_at) return fail("sections do not fill the file");

  // The index must rise from 0 to n, so that every bucket lies in the keys.
  const unsigned char *index = h + index_at;
  uint64_t previous = 0;
  for (uint64_t i = 0; i <= (uint64_t{1} << bits); ++i) {
    const uint64_t entry = DecodeFixed64(index + 8 * i);
    if (entry < previous || entry > n) return fail("index entries out of order");
    previous = entry;
  }
  if (DecodeFixed64(index) != 0 || previous != n) return fail("index does not cover the keys");

  if (filter_bytes > 0) {
    const char *why = nullptr;
    filter_ = KeyFilter::View(bytes.subspan(static_cast<size_t>(filter_at)), &why);
    if (filter_ == nullptr) {
      *error = std::string("bad filter: ") + (why != nullptr ? why : "unreadable");
      return false;
    }
  }
  keys_ = h + kHashDictHeaderSize;
  counts_ = h + counts_at;
  index_ = index;
  count_ = n;
  min_count_ = header.min_count;
  index_bits_ = static_cast<int>(bits);
  return true;
}

uint64_t HashDict::KeyAt(uint64_t i) const { return DecodeFixed64(keys_ + 8 * i); }
uint64_t HashDict::CountAt(uint64_t i) const { return DecodeFixed32(counts_ + 4 * i); }

void HashDict::Prefetch(uint64_t key) const {
  if (filter_ != nullptr) return filter_->Prefetch(key);
  __builtin_prefetch(index_ + 8 * BucketOf(key, index_bits_));
}

uint64_t HashDict::CountOf(uint64_t key) const {
  if (filter_ != nullptr && !filter_->MayContain(key)) return 0;
  const uint64_t bucket = BucketOf(key, index_bits_);
  // The index was checked at open but is read from the map: a file rewritten
  // in place since must not lead the search outside the keys.
  uint64_t high = std::min(DecodeFixed64(index_ + 8 * (bucket + 1)), count_);
  uint64_t low = std::min(DecodeFixed64(index_ + 8 * bucket), high);
  while (low < high) {
    const uint64_t mid = low + (high - low) / 2;
    const uint64_t probe = KeyAt(mid);
    if (probe == key) return CountAt(mid);
    if (probe < key) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return 0;
}

}  // namespace quarvel
