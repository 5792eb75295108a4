// The words of a dictionary for the guess estimate: every prefix of every
// word in one open-addressed table, so that the words inside a password
// are found by walking it a character at a time from each position, and
// the walk stops as soon as no word goes on that way. Built once per
// dictionary on first use (Dictionary::Derive), from its best-ranked
// kMaxIndexedWords words.
#ifndef QUARVEL_SRC_ESTIMATE_WORD_INDEX_H_
#define QUARVEL_SRC_ESTIMATE_WORD_INDEX_H_

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "store/dictionary.h"

namespace quarvel::estimate {

class WordIndex : public engine::Dictionary::Derived {
 public:
  static constexpr uint32_t kMaxIndexedWords = uint32_t{1} << 20;

  // The index of dict, made on first use; nullptr when memory ran out.
  static const WordIndex *Of(const engine::Dictionary &dict);

  // Builds the index of the words each hands out with their ranks (1 is
  // tried first). A word handed out twice keeps its smaller rank.
  using WordSource = void (*)(const void *context,
                              void (*take)(void *sink, std::string_view word, uint32_t rank),
                              void *sink);
  static std::unique_ptr<WordIndex> Build(WordSource each, const void *context, size_t hint);

  // The key of a text, grown a character at a time from Start().
  static uint64_t Start() { return 0xcbf29ce484222325ull; }
  static uint64_t Step(uint64_t key, char c) {
    return (key ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
  }

  struct Probe {
    bool longer = false;  // some indexed word starts with the text and goes on
    uint32_t rank = 0;    // the text's rank when it is a word, else 0
  };
  Probe Find(uint64_t key) const;

  size_t words() const { return words_; }
  size_t bytes() const { return slots_.size() * sizeof(uint64_t); }

 private:
  // A slot: fingerprint (high 32 bits, never 0 in use), bit 31 "longer",
  // bits 0 to 30 the rank (0: not a word).
  static constexpr uint64_t kLonger = uint64_t{1} << 31;
  static constexpr uint64_t kRankMask = kLonger - 1;

  static uint64_t Mix(uint64_t key);
  uint64_t *Slot(uint64_t key);
  void Add(std::string_view word, uint32_t rank);

  std::vector<uint64_t> slots_;
  uint64_t mask_ = 0;
  size_t used_ = 0;
  size_t words_ = 0;
};

}  // namespace quarvel::estimate

#endif  // QUARVEL_SRC_ESTIMATE_WORD_INDEX_H_
