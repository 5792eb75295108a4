// Writing a dictionary through the descriptor of PWOpen.

#include "store/pw_writer.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <span>

#include "base/secure_wipe.h"
#include "format/coding.h"
#include "format/dict_layout.h"
#include "format/file_identity.h"
#include "store/pw_decoded_cache.h"
#include "store/pw_descriptor.h"
#include "store/pw_memory_serving.h"
#include "store/write_generation.h"

namespace quarvel {
namespace {

bool WriteAll(FILE *file, std::span<const unsigned char> bytes) {
  return fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

// Appends the block's index entry and writes the pending block to the data
// file. On failure the words stay pending and the caller marks the build
// failed, so nothing more is written.
bool WriteBlock(PackedDict *pwp) {
  off_t position = ftello(pwp->data_file);
  if (position < 0 || static_cast<uint64_t>(position) > UINT32_MAX) return false;
  unsigned char entry[kIndexEntryBytes];
  EncodeFixed32(entry, static_cast<uint32_t>(position));
  if (!WriteAll(pwp->index_file, entry)) return false;

  std::array<unsigned char, kMaxBlockBytes> block;
  size_t length = EncodeBlock(pwp->pending, block);
  if (!WriteAll(pwp->data_file, std::span(block.data(), length))) return false;

  std::memset(pwp->pending, 0, sizeof(pwp->pending));
  pwp->pending_count = 0;
  return true;
}

}  // namespace

PackedDict *OpenForWriting(PackedDict *pwp, const char *prefix) {
  const DictionaryNames names(prefix);
  if (!OpenFiles(pwp, names, "wb")) return nullptr;
  // What was read from these files before is about to change.
  NoteDictionaryWrite();
  ForgetDecoded(IdentityOfFd(fileno(pwp->data_file)), IdentityOfFd(fileno(pwp->index_file)));
  pwp->flags |= PACKED_DICT_WRITE;
  pwp->header = {kDictMagic, 0, kBlockWords, 0};
  unsigned char raw[kIndexHeaderBytes];
  EncodeIndexHeader(pwp->header, raw);
  if (!WriteAll(pwp->index_file, raw)) pwp->flags |= PACKED_DICT_FAILED;
  return pwp;
}

int PutWord(PackedDict *pwp, const char *word) {
  if (!IsOpen(pwp) || (pwp->flags & PACKED_DICT_WRITE) == 0) return -1;
  // After a failed write the build is lost: write nothing more.
  if ((pwp->flags & PACKED_DICT_FAILED) != 0) return -1;
  if (word != nullptr) {
    // An empty slot in mid-block would make every later word of the block
    // decode empty.
    if (word[0] == '\0') return -1;
    if (pwp->pending_count < 0 || pwp->pending_count >= kBlockWords ||
        pwp->header.word_count == UINT32_MAX) {
      pwp->flags |= PACKED_DICT_FAILED;
      return -1;
    }
    char *slot = pwp->pending[pwp->pending_count];
    size_t length = strnlen(word, kSlotBytes - 1);
    std::memcpy(slot, word, length);
    std::memset(slot + length, 0, kSlotBytes - length);
    pwp->marks[static_cast<unsigned char>(word[0])] = pwp->header.word_count;
    ++pwp->pending_count;
    ++pwp->header.word_count;
  } else if ((pwp->flags & PACKED_DICT_FLUSH) == 0) {
    return -1;
  }
  if ((pwp->flags & PACKED_DICT_FLUSH) != 0 || pwp->pending_count == kBlockWords) {
    if (!WriteBlock(pwp)) {
      pwp->flags |= PACKED_DICT_FAILED;
      return -1;
    }
  }
  return 0;
}

bool CloseWriting(PackedDict *pwp) {
  pwp->flags |= PACKED_DICT_FLUSH;
  bool ok = PutWord(pwp, nullptr) == 0;
  if (ok) {
    unsigned char raw[kIndexHeaderBytes];
    EncodeIndexHeader(pwp->header, raw);
    ok = fseeko(pwp->index_file, 0, SEEK_SET) == 0 && WriteAll(pwp->index_file, raw);
  }
  if (ok && (pwp->flags & PACKED_DICT_USE_MARKS) != 0) {
    for (int c = 1; c < 256; ++c) {
      if (pwp->marks[c] == 0) pwp->marks[c] = pwp->marks[c - 1];
    }
    unsigned char raw[kWideMarkBytes];
    const size_t size = EncodeMarks(pwp->marks, /*wide=*/false, raw);
    ok = WriteAll(pwp->mark_file, std::span(raw, size));
  }
  // Every file is closed and the descriptor marked closed, also after a
  // failure: a failed build never leaves a dictionary open.
  if (!CloseFiles(pwp)) ok = false;
  // Words a failed build could not write are gone with it.
  SecureWipe(pwp->pending, sizeof(pwp->pending));
  pwp->pending_count = 0;
  NoteDictionaryWrite();
  pwp->header.magic = 0;
  if (pwp == &pdesc) StopServingFromMemory();
  return ok;
}

}  // namespace quarvel
