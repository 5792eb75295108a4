// Context words of one check (a user's login name, the words of their full
// name, ...), normalised as word list lines are and searched like a small
// dictionary held on the stack.
#ifndef QUARVEL_SRC_SEARCH_CONTEXT_WORDS_H_
#define QUARVEL_SRC_SEARCH_CONTEXT_WORDS_H_

#include <array>
#include <cstddef>

#include "quarvel/dictmanger.h"

namespace quarvel::engine {

class ContextWords {
 public:
  static constexpr size_t kMaxWords = 64;
  static constexpr size_t kMinLength = 3;

  // Takes the first kMaxWords words of words[0..n) (NULL entries skipped).
  ContextWords(const char *const *words, size_t n);
  ~ContextWords();
  ContextWords(const ContextWords &) = delete;
  ContextWords &operator=(const ContextWords &) = delete;

  bool empty() const { return count_ == 0; }
  size_t size() const { return count_; }
  const char *word(size_t i) const { return words_[i].data(); }
  // The stored word equal to candidate, or nullptr.
  const char *Find(const char *candidate) const;

 private:
  std::array<std::array<char, PACKED_DICT_MAX_WORD + 1>, kMaxWords> words_;
  size_t count_ = 0;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_SEARCH_CONTEXT_WORDS_H_
