// Context words.

#include "search/context_words.h"

#include <algorithm>
#include <cstring>

#include "base/secure_wipe.h"

namespace quarvel::engine {

ContextWords::ContextWords(const char *const *words, size_t n) {
  for (size_t i = 0; words != nullptr && i < n && count_ < kMaxWords; ++i) {
    if (words[i] == nullptr) continue;
    // Lower-case letters and digits, as a word list line becomes a word.
    auto &out = words_[count_];
    size_t length = 0;
    for (const char *p = words[i]; *p != '\0' && length < PACKED_DICT_MAX_WORD; ++p) {
      const char c = *p;
      if (c >= 'A' && c <= 'Z') {
        out[length++] = static_cast<char>(c - 'A' + 'a');
      } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        out[length++] = c;
      }
    }
    out[length] = '\0';
    if (length >= kMinLength) ++count_;
  }
}

ContextWords::~ContextWords() { SecureWipe(words_.data(), sizeof(words_)); }

const char *ContextWords::Find(const char *candidate) const {
  for (size_t i = 0; i < count_; ++i) {
    if (std::strcmp(words_[i].data(), candidate) == 0) return words_[i].data();
  }
  return nullptr;
}

}  // namespace quarvel::engine
