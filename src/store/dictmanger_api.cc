// The C functions of quarvel/dictmanger.h: thin adapters over the reader
// (pw_reader.h) and the writer (pw_writer.h) of the process-wide descriptor.

#include <cstdio>
#include <cstring>

#include "quarvel/dictmanger.h"
#include "store/pw_descriptor.h"
#include "store/pw_memory_serving.h"
#include "store/pw_reader.h"
#include "store/pw_writer.h"

using quarvel::IsOpen;

extern "C" PackedDict *PWOpen(const char *prefix, const char *mode) noexcept {
  if (prefix == nullptr || mode == nullptr) return nullptr;
  PackedDict *pwp = &pdesc;
  if (IsOpen(pwp)) {
    fprintf(stderr, "%s: another dictionary already open, force closed \n", prefix);
    quarvel::CloseFiles(pwp);
    pwp->header.magic = 0;
    quarvel::StopServingFromMemory();
    return nullptr;
  }
  std::memset(&pdesc, 0, sizeof(pdesc));
  quarvel::StopServingFromMemory();
  try {
    return mode[0] == 'w' ? quarvel::OpenForWriting(pwp, prefix)
                          : quarvel::OpenForReading(pwp, prefix);
  } catch (...) {
    // Memory ran out: what is open is closed, and nothing is kept.
    quarvel::CloseFiles(pwp);
    pwp->header.magic = 0;
    quarvel::StopServingFromMemory();
    return nullptr;
  }
}

extern "C" int PutPW(PackedDict *pwp, const char *word) noexcept {
  return quarvel::PutWord(pwp, word);
}

extern "C" int PWClose(PackedDict *pwp) noexcept {
  if (!IsOpen(pwp)) return -1;
  if ((pwp->flags & PACKED_DICT_WRITE) != 0) return quarvel::CloseWriting(pwp) ? 0 : -1;
  quarvel::CloseReading(pwp);
  return 0;
}

extern "C" char *GetPW(PackedDict *pwp, uint32_t number) noexcept {
  return quarvel::ReadWord(pwp, number);
}

extern "C" int32_t FindPW(PackedDict *pwp, const char *word) noexcept {
  return quarvel::FindWord(pwp, word);
}
