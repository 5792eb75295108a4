// The variant search of one word.

#include "search/word_search.h"

#include <algorithm>
#include <cstring>

#include "base/secure_wipe.h"

namespace quarvel::engine {

WordSearch::WordSearch(std::string_view word, const SearchSettings &settings)
    : settings_(settings) {
  // The text searched ends at a NUL, as a C string does.
  length_ = strnlen(word.data(), std::min(word.size(), kSearchedLength));
  std::memcpy(word_, word.data(), length_);
  word_[length_] = '\0';
  std::reverse_copy(word_, word_ + length_, reversed_word_);
  reversed_word_[length_] = '\0';
  forward_.Make(word_);
}

WordSearch::~WordSearch() {
  SecureWipe(word_, sizeof(word_));
  SecureWipe(reversed_word_, sizeof(reversed_word_));
  SecureWipe(affixed_, sizeof(affixed_));
}

}  // namespace quarvel::engine
