// The dictionary filter file, PREFIX.pwf: reading, building and writing the
// layout of format/filter_layout.h.

#include "store/dict_filter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "format/coding.h"
#include "format/dict_layout.h"
#include "format/file_io.h"
#include "format/filter_layout.h"

namespace quarvel {
namespace {

constexpr size_t kHeaderBytes = kFilterHeaderBytes;

}  // namespace

FilterStamp StampOf(const FileIdentity &data, const FileIdentity &index, int index_fd) {
  FilterStamp stamp;
  stamp.data_bytes = static_cast<uint64_t>(data.size);
  stamp.index_bytes = static_cast<uint64_t>(index.size);
  stamp.data_modified_ns = Nanoseconds(data.modified);
  stamp.index_modified_ns = Nanoseconds(index.modified);
  unsigned char header[kWideIndexHeaderBytes] = {};
  const size_t got = ReadAtFd(index_fd, 0, header);
  uint64_t h = 0xcbf29ce484222325;
  for (size_t i = 0; i < got; ++i) h = (h ^ header[i]) * 0x100000001b3;
  stamp.header_sum = h;
  return stamp;
}

std::unique_ptr<DictFilter> DictFilter::Load(const std::string &prefix, const FilterStamp &stamp) {
  const int fd = OpenForReading(prefix + kFilterExtension);
  if (fd < 0) return nullptr;
  struct stat status;
  std::unique_ptr<FileMap> map;
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
      static_cast<uint64_t>(status.st_size) > kHeaderBytes) {
    map = FileMap::Map(fd, static_cast<uint64_t>(status.st_size), nullptr);
  }
  close(fd);
  if (map == nullptr) return nullptr;
  const std::span<const unsigned char> bytes = map->bytes();
  unsigned char expected[kHeaderBytes];
  EncodeFilterHeader(stamp, false, expected);
  if (std::memcmp(bytes.data(), expected, kFilterStampBytes) != 0) return nullptr;
  const uint32_t flags = DecodeFilterFlags(bytes.first<kFilterHeaderBytes>());
  std::unique_ptr<KeyFilter> filter = KeyFilter::View(bytes.subspan(kHeaderBytes));
  // A file cut short while it was checked is not used either.
  if (filter == nullptr || map->faulted()) return nullptr;
  map->AdviseRandom();
  std::unique_ptr<DictFilter> result(new DictFilter);
  result->map_ = std::move(map);
  result->filter_ = std::move(filter);
  result->in_order_ = (flags & kFilterInOrder) != 0;
  return result;
}

std::unique_ptr<DictFilter> DictFilter::Build(const MappedDict &dict, uint64_t memory_budget) {
  std::unique_ptr<KeyFilter> filter = KeyFilter::Build(
      dict.reachable_slots(),
      [&dict](const std::function<void(uint64_t)> &emit) {
        dict.ForEachWord([&emit](std::string_view word) { emit(WordKey(word)); });
        return true;
      },
      memory_budget);
  if (filter == nullptr) return nullptr;
  std::unique_ptr<DictFilter> result(new DictFilter);
  result->filter_ = std::move(filter);
  result->in_order_ = dict.InOrder();
  return result;
}

std::unique_ptr<DictFilter> DictFilter::FromKeys(uint64_t words, const KeyFilter::KeySource &keys,
                                                 uint64_t memory_budget) {
  std::unique_ptr<KeyFilter> filter = KeyFilter::Build(words, keys, memory_budget);
  if (filter == nullptr) return nullptr;
  std::unique_ptr<DictFilter> result(new DictFilter);
  result->filter_ = std::move(filter);
  result->in_order_ = true;
  return result;
}

bool DictFilter::Write(const std::string &prefix, const FilterStamp &stamp) const {
  const std::string path = prefix + kFilterExtension;
  struct stat data;
  if (stat((prefix + ".pwd").c_str(), &data) != 0) return false;
  std::string temp = path + ".new-XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char header[kHeaderBytes];
  EncodeFilterHeader(stamp, in_order_, header);
  const std::span<const unsigned char> image = filter_->bytes();
  // Readable by whoever may read the dictionary.
  bool ok = fchmod(fd, data.st_mode & 0666) == 0 && WriteAllFd(fd, header) && WriteAllFd(fd, image);
  if (close(fd) != 0) ok = false;
  if (ok && rename(temp.c_str(), path.c_str()) == 0) return true;
  unlink(temp.c_str());
  return false;
}

bool WriteDictionaryFilter(const std::string &prefix, uint64_t memory_budget) {
  const int data_fd = OpenForReading(prefix + ".pwd");
  const int index_fd = OpenForReading(prefix + ".pwi");
  bool ok = false;
  DictLayout layout;
  if (data_fd >= 0 && index_fd >= 0 && ReadLayout(index_fd, -1, layout) == nullptr) {
    const FileIdentity data = IdentityOfFd(data_fd), index = IdentityOfFd(index_fd);
    std::unique_ptr<MappedDict> dict =
        data.regular && index.regular
            ? MappedDict::Map(index_fd, static_cast<uint64_t>(index.size), data_fd,
                              static_cast<uint64_t>(data.size), layout, nullptr)
            : nullptr;
    std::unique_ptr<DictFilter> filter =
        dict != nullptr ? DictFilter::Build(*dict, memory_budget) : nullptr;
    ok = filter != nullptr && filter->Write(prefix, StampOf(data, index, index_fd));
  }
  if (data_fd >= 0) close(data_fd);
  if (index_fd >= 0) close(index_fd);
  return ok;
}

bool WriteDictionaryFilter(const std::string &prefix, const DictFilter &filter) {
  const int data_fd = OpenForReading(prefix + ".pwd");
  const int index_fd = OpenForReading(prefix + ".pwi");
  bool ok = false;
  if (data_fd >= 0 && index_fd >= 0) {
    ok = filter.Write(prefix, StampOf(IdentityOfFd(data_fd), IdentityOfFd(index_fd), index_fd));
  }
  if (data_fd >= 0) close(data_fd);
  if (index_fd >= 0) close(index_fd);
  return ok;
}

}  // namespace quarvel
