// The process-wide cache of dictionaries decoded for PWOpen, keyed by prefix
// and revalidated at every open against the identity of the files opened.
// Used under the single-open-dictionary rule of PWOpen: callers serialise.
//
// A layer of its own beside the dictionary cache (dictionary_cache.h), on the
// same identity and quiet-window code (format/file_identity.h): PWOpen
// revalidates at every open against the descriptors it opened (not on a
// delay), keeps decoded copies of up to 256 MiB of files (not maps), and
// remembers which files could not be decoded.
#ifndef QUARVEL_SRC_STORE_PW_DECODED_CACHE_H_
#define QUARVEL_SRC_STORE_PW_DECODED_CACHE_H_

#include <memory>
#include <string_view>

#include "format/dict_layout.h"
#include "format/file_identity.h"
#include "store/memory_dict.h"

namespace quarvel {

// The decoded form of the dictionary at prefix whose files are open (data
// and index as data_fd and index_fd, identities files), decoding it now when
// the cache does not hold it for these very files. nullptr when it is to be
// read from its files: it is too large, not made of regular files, or its
// files changed just before they were opened (they are decoded at a later
// open, once they have been quiet).
std::shared_ptr<const MemoryDict> DecodedDictionary(std::string_view prefix,
                                                    const Identities &files, int index_fd,
                                                    int data_fd, const DictLayout &layout);

// Forgets every dictionary held in the files that a writer just opened,
// under whatever prefix it was read.
void ForgetDecoded(const FileIdentity &data, const FileIdentity &index);

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_PW_DECODED_CACHE_H_
