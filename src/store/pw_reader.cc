// Reading a dictionary through the descriptor of PWOpen: decodes what the
// writers produce (format/dict_layout.h), and checks everything.

#include "store/pw_reader.h"

#include <sys/stat.h>

#include <array>
#include <cstring>
#include <span>

#include "base/secure_wipe.h"
#include "format/dict_layout.h"
#include "format/file_identity.h"
#include "format/file_io.h"
#include "store/dict_search.h"
#include "store/dictmanger_internal.h"
#include "store/pw_decoded_cache.h"
#include "store/pw_descriptor.h"
#include "store/pw_memory_serving.h"

namespace quarvel {
namespace {

// GetPW decodes a whole block into this area and returns a slot of it.
BlockSlots g_block_words;

// Reading-side failure after the files opened: report, close, answer NULL.
PackedDict *FailOpen(PackedDict *pwp, const char *prefix, const char *what) {
  fprintf(stderr, "%s: %s\n", prefix, what);
  pwp->header.magic = 0;
  CloseFiles(pwp);
  return nullptr;
}

// Puts the layout read from the files into the descriptor.
void ApplyLayout(PackedDict *pwp, const DictLayout &layout) {
  pwp->header = layout.header;
  std::copy(std::begin(layout.marks), std::end(layout.marks), std::begin(pwp->marks));
  if (layout.use_marks) {
    pwp->flags |= PACKED_DICT_USE_MARKS;
  } else {
    pwp->flags &= ~PACKED_DICT_USE_MARKS;
  }
}

}  // namespace

// The words are served from memory when the dictionary was decoded before
// and its files have not changed since, or when it can be decoded now; else
// from the files.
PackedDict *OpenForReading(PackedDict *pwp, const char *prefix) {
  const DictionaryNames names(prefix);
  if (!OpenFiles(pwp, names, "rb")) return nullptr;
  pwp->flags &= ~PACKED_DICT_WRITE;

  const int mark_fd = pwp->mark_file != nullptr ? fileno(pwp->mark_file) : -1;
  DictLayout layout;
  if (const char *failure = ReadLayout(fileno(pwp->index_file), mark_fd, layout)) {
    return FailOpen(pwp, prefix, failure);
  }
  ApplyLayout(pwp, layout);
  // Identities of the files actually opened, taken before their content is
  // read, so that any later change shows at the next open.
  const Identities files = {IdentityOfFd(fileno(pwp->data_file)),
                            IdentityOfFd(fileno(pwp->index_file)), IdentityOfFd(mark_fd)};
  ServeFromMemory(
      DecodedDictionary(prefix, files, fileno(pwp->index_file), fileno(pwp->data_file), layout));
  return pwp;
}

void CloseReading(PackedDict *pwp) {
  CloseFiles(pwp);
  pwp->header.magic = 0;
  if (pwp == &pdesc) StopServingFromMemory();
}

char *ReadWord(PackedDict *pwp, uint32_t number) {
  if (ServedFromMemory(pwp)) {
    // Slots beyond the decoded blocks are read from the files.
    if (char *word = MemoryWord(number, g_block_words)) return word;
  }
  // Every slot of a block the files hold decodes, also beyond the word
  // count: the last block's empty slots decode as the empty word.
  if (!IsOpenForReading(pwp)) return nullptr;
  const uint64_t block = number >> 4;
  const int slot = static_cast<int>(number & 15);

  const bool wide = IsWideIndex(pwp->index_file);
  unsigned char entry[kWideIndexEntryBytes];
  const size_t entry_size = IndexEntrySize(wide);
  if (ReadAtFd(fileno(pwp->index_file), IndexEntryOffset(wide, block),
               std::span(entry, entry_size)) != entry_size) {
    return nullptr;
  }
  const uint64_t offset = DecodeIndexEntry(wide, entry);

  std::array<unsigned char, kMaxBlockBytes> bytes;
  const size_t got = ReadAtFd(fileno(pwp->data_file), offset, bytes);
  if (got == 0) return nullptr;
  DecodeBlock(std::span(bytes.data(), got), g_block_words);
  return g_block_words[slot];
}

int32_t FindWord(PackedDict *pwp, const char *word) {
  if (pwp == nullptr) return -1;
  const uint32_t count = pwp->header.word_count;
  if (ServedFromMemory(pwp)) return MemoryFind(word);
  if (!IsOpenForReading(pwp)) return static_cast<int32_t>(count);
  const bool use_marks = (pwp->flags & PACKED_DICT_USE_MARKS) != 0;
  return static_cast<int32_t>(SearchSorted(count, use_marks, pwp->marks, word, [pwp](uint64_t n) {
    return static_cast<const char *>(ReadWord(pwp, static_cast<uint32_t>(n)));
  }));
}

bool IsWideIndex(FILE *index_file) {
  if (index_file == nullptr) return false;
  rewind(index_file);
  unsigned char raw[kWideIndexHeaderBytes];
  if (fread(raw, 1, sizeof(raw), index_file) != sizeof(raw)) return false;
  const std::optional<IndexHeader> header = DecodeIndexHeader(raw);
  return header && header->wide;
}

uint64_t ReadableBlockCount(PackedDict *pwp) {
  if (!IsOpenForReading(pwp)) return 0;
  struct stat status;
  if (fstat(fileno(pwp->index_file), &status) != 0) return 0;
  return IndexEntries(IsWideIndex(pwp->index_file), static_cast<uint64_t>(status.st_size));
}

bool DictionaryServedFromMemory() { return ServedFromMemory(&pdesc); }

void WipeDictResultArea() { SecureWipe(g_block_words, sizeof(g_block_words)); }

}  // namespace quarvel
