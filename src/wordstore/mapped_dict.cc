// Dictionaries served from read-only maps: decodes what the writer in
// dictmanger.cc (and DictWriter) produces, with the same checks as GetPW.

#include "wordstore/mapped_dict.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstring>

#include "wordstore/coding.h"
#include "wordstore/dict_search.h"
#include "wordstore/scratch.h"

namespace quarvel {

std::unique_ptr<FileMap> FileMap::Map(int fd, uint64_t size, std::string *why) {
  std::unique_ptr<FileMap> map(new FileMap);
  if (size == 0) return map;
  if (size > SIZE_MAX / 2) {
    if (why != nullptr) *why = "file too large for the address space";
    return nullptr;
  }
  void *p = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) {
    if (why != nullptr) *why = std::string("cannot map: ") + std::strerror(errno);
    return nullptr;
  }
  map->data_ = static_cast<const unsigned char *>(p);
  map->size_ = static_cast<size_t>(size);
  return map;
}

FileMap::~FileMap() {
  if (data_ != nullptr) munmap(const_cast<unsigned char *>(data_), size_);
}

void FileMap::AdviseRandom() const {
  if (data_ != nullptr) madvise(const_cast<unsigned char *>(data_), size_, MADV_RANDOM);
}

std::unique_ptr<MappedDict> MappedDict::Map(int index_fd, uint64_t index_bytes, int data_fd,
                                            uint64_t data_bytes, const DictLayout &layout,
                                            std::string *why) {
  std::unique_ptr<MappedDict> dict(new MappedDict);
  dict->layout_ = layout;
  dict->index_ = FileMap::Map(index_fd, index_bytes, why);
  if (dict->index_ == nullptr) return nullptr;
  dict->data_ = FileMap::Map(data_fd, data_bytes, why);
  if (dict->data_ == nullptr) return nullptr;
  // A search touches one index entry and one block per step, far apart.
  dict->index_->AdviseRandom();
  dict->data_->AdviseRandom();
  return dict;
}

MappedDict::Cursor::~Cursor() { SecureWipe(words_, sizeof(words_)); }

const char *MappedDict::Cursor::Word(uint64_t n) {
  const uint64_t block = n >> 4;
  if (block != block_) {
    block_ = UINT64_MAX;
    const DictLayout &layout = dict_.layout_;
    const std::span<const unsigned char> index = dict_.index_->bytes();
    const std::span<const unsigned char> data = dict_.data_->bytes();
    // The entry must lie whole within the index file, as a read of it must.
    const uint64_t at = layout.EntryOffset(block);
    if (at > index.size() || index.size() - at < layout.EntrySize()) return nullptr;
    const unsigned char *entry = index.data() + at;
    const uint64_t offset = layout.is_wide ? DecodeFixed64(entry) : DecodeFixed32(entry);
    if (offset >= data.size()) return nullptr;
    const size_t length =
        static_cast<size_t>(std::min<uint64_t>(kMaxBlockBytes, data.size() - offset));
    DecodeBlock(data.subspan(static_cast<size_t>(offset), length), words_);
    block_ = block;
  }
  return words_[n & 15];
}

uint32_t MappedDict::Find(const char *word) const {
  Cursor cursor(*this);
  return SearchSorted(word_count(), layout_.use_marks, layout_.marks, word,
                      [&cursor](uint64_t n) { return cursor.Word(n); });
}

void MappedDict::ForEachWord(const std::function<void(std::string_view)> &emit) const {
  Cursor cursor(*this);
  char previous[PACKED_DICT_MAX_WORD + 1] = {};
  bool any = false;
  for (uint64_t n = 0; n < word_count(); ++n) {
    const char *word = cursor.Word(n);
    if (word == nullptr) {
      // No block for this slot: skip the rest of the block.
      n |= 15;
      continue;
    }
    if (any && std::strcmp(word, previous) == 0) continue;
    emit(word);
    std::strcpy(previous, word);
    any = true;
  }
  SecureWipe(previous, sizeof(previous));
}

}  // namespace quarvel
