// The rank file, PREFIX.pwr: reading and writing the layout of
// format/rank_layout.h.

#include "store/rank_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "base/secure_wipe.h"
#include "format/file_io.h"
#include "store/dict_filter.h"

namespace quarvel {
namespace {

constexpr size_t kSumChunk = size_t{1} << 20;

// Feeds the first size bytes of fd into sum; false when fewer arrive.
bool SumFile(int fd, uint64_t size, std::vector<unsigned char> &buffer, ContentSum &sum) {
  for (uint64_t at = 0; at < size;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - at));
    const size_t got = ReadAtFd(fd, at, std::span(buffer.data(), want));
    sum.Update(std::span(buffer.data(), got));
    SecureWipe(buffer.data(), got);
    if (got != want) return false;
    at += got;
  }
  return true;
}

std::string Count(uint64_t n) { return std::to_string(n); }

}  // namespace

bool StampRanks(int data_fd, const FileIdentity &data, int index_fd, const FileIdentity &index,
                RankHeader *header) {
  header->stamp = StampOf(data, index, index_fd);
  const uint64_t data_bytes = static_cast<uint64_t>(data.size);
  const uint64_t index_bytes = static_cast<uint64_t>(index.size);
  std::vector<unsigned char> buffer(
      static_cast<size_t>(std::min<uint64_t>(kSumChunk, std::max(data_bytes, index_bytes))));
  ContentSum sum;
  if (!SumFile(data_fd, data_bytes, buffer, sum) || !SumFile(index_fd, index_bytes, buffer, sum)) {
    return false;
  }
  header->content_sum = sum.Finish();
  return true;
}

std::unique_ptr<RankFile> RankFile::View(
    std::span<const unsigned char> bytes, uint32_t word_count, const FilterStamp &stamp,
    const std::function<std::optional<uint64_t>()> &content_sum, std::string *why) {
  RankHeader header;
  if (const char *failure = DecodeRankHeader(bytes, &header)) {
    *why = failure;
    return nullptr;
  }
  if (header.word_count != word_count) {
    *why = "holds " + Count(header.word_count) + " ranks for a dictionary of " + Count(word_count) +
           " words";
    return nullptr;
  }
  const uint64_t expected = RankFileBytes(word_count);
  if (bytes.size() != expected) {
    *why = (bytes.size() < expected ? "truncated: " : "too long: ") + Count(bytes.size()) +
           " bytes where " + Count(word_count) + " ranks take " + Count(expected);
    return nullptr;
  }
  const FilterStamp &written = header.stamp;
  if (written.data_bytes != stamp.data_bytes || written.index_bytes != stamp.index_bytes ||
      written.header_sum != stamp.header_sum) {
    *why = "stale: written for other dictionary files";
    return nullptr;
  }
  if (written.data_modified_ns != stamp.data_modified_ns ||
      written.index_modified_ns != stamp.index_modified_ns) {
    // The same bytes with other times (a copy, a package) keep their ranks.
    const std::optional<uint64_t> sum = content_sum ? content_sum() : std::nullopt;
    if (!sum.has_value()) {
      *why = "the dictionary files cannot be read to check it";
      return nullptr;
    }
    if (*sum != header.content_sum) {
      *why = "stale: the dictionary changed since it was written";
      return nullptr;
    }
  }
  std::unique_ptr<RankFile> ranks(new RankFile);
  ranks->ranks_ = bytes.subspan(kRankHeaderBytes);
  ranks->word_count_ = word_count;
  return ranks;
}

std::unique_ptr<RankFile> RankFile::Open(const std::string &prefix, uint32_t word_count,
                                         int data_fd, const FileIdentity &data, int index_fd,
                                         const FileIdentity &index, FileIdentity *identity,
                                         std::string *why) {
  *identity = {};
  why->clear();
  const std::string path = prefix + kRankExtension;
  const int fd = OpenForReading(path);
  if (fd < 0) {
    const int error = errno;
    if (error != ENOENT) {
      *why = std::string("cannot be opened: ") + std::strerror(error);
      // As a look at its path sees it, so that it is not taken for changed.
      *identity = IdentityOfPath(path);
    }
    return nullptr;
  }
  *identity = IdentityOfFd(fd);
  std::unique_ptr<FileMap> map;
  if (!identity->exists || !identity->regular) {
    *why = "not a regular file";
  } else {
    std::string map_why;
    map = FileMap::Map(fd, static_cast<uint64_t>(identity->size), &map_why);
    if (map == nullptr) *why = "cannot be mapped: " + map_why;
  }
  close(fd);
  if (map == nullptr) return nullptr;
  const FilterStamp stamp = StampOf(data, index, index_fd);
  auto content_sum = [&]() -> std::optional<uint64_t> {
    RankHeader files;
    if (!StampRanks(data_fd, data, index_fd, index, &files)) return std::nullopt;
    return files.content_sum;
  };
  std::unique_ptr<RankFile> ranks = View(map->bytes(), word_count, stamp, content_sum, why);
  if (ranks != nullptr) ranks->map_ = std::move(map);
  return ranks;
}

RankWriter::RankWriter(UniqueFile file) : file_(std::move(file)) {
  // The header's place, written last.
  const unsigned char zeros[kRankHeaderBytes] = {};
  failed_ = file_ == nullptr || std::fwrite(zeros, 1, sizeof(zeros), file_.get()) != sizeof(zeros);
}

bool RankWriter::Add(uint32_t rank) {
  if (failed_) return false;
  unsigned char bytes[kRankBytes];
  EncodeFixed32(bytes, rank);
  if (std::fwrite(bytes, 1, sizeof(bytes), file_.get()) != sizeof(bytes)) failed_ = true;
  ++ranks_;
  return !failed_;
}

bool RankWriter::Finish(const std::string &data_path, const std::string &index_path) {
  if (file_ == nullptr) return false;
  bool ok = !failed_ && ranks_ < kMaxRank;
  RankHeader header;
  header.word_count = static_cast<uint32_t>(ranks_);
  const int data_fd = OpenForReading(data_path);
  const int index_fd = OpenForReading(index_path);
  ok = ok && data_fd >= 0 && index_fd >= 0 &&
       StampRanks(data_fd, IdentityOfFd(data_fd), index_fd, IdentityOfFd(index_fd), &header);
  if (data_fd >= 0) close(data_fd);
  if (index_fd >= 0) close(index_fd);
  unsigned char bytes[kRankHeaderBytes];
  EncodeRankHeader(header, bytes);
  ok = ok && std::fseek(file_.get(), 0, SEEK_SET) == 0 &&
       std::fwrite(bytes, 1, sizeof(bytes), file_.get()) == sizeof(bytes);
  if (std::fclose(file_.release()) != 0) ok = false;
  return ok;
}

}  // namespace quarvel
