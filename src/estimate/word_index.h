// The words of a dictionary for the guess estimate: every prefix of every
// word, in small tables for the texts of up to four letters and digits and
// in one open-addressed table for the rest, so that the words inside a
// password are found by walking it a character at a time from each
// position, and the walk stops as soon as no word goes on that way. Built
// once per dictionary on first use (Dictionary::Derive), from its
// best-ranked kMaxIndexedWords words.
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

  // A text walked a character at a time: its key, and for its first
  // kShort characters (letters and digits) their number in base 36, which
  // answers from small tables that stay in cache most of what a walk asks:
  // the table is probed only for words of kShortRanked + 1 to kShort
  // characters and for longer texts. The words of up to kShortRanked
  // characters have their ranks in a small table of their own.
  static constexpr uint32_t kShort = 4;
  static constexpr uint32_t kShortRanked = 3;
  struct Cursor {
    uint64_t key = Start();
    uint32_t code = 0;  // kNoCode once a character outside [a-z0-9] came
    uint32_t length = 0;
  };
  static Cursor Next(Cursor cursor, char c) {
    cursor.key = Step(cursor.key, c);
    if (cursor.length < kShort && cursor.code != kNoCode) {
      const uint32_t digit = Digit(c);
      cursor.code = digit == kNoCode ? kNoCode : cursor.code * 36 + digit;
    }
    ++cursor.length;
    return cursor;
  }
  Probe Find(const Cursor &cursor) const {
    if (cursor.length == 0 || cursor.length > kShort || cursor.code == kNoCode || short_.empty()) {
      return Find(cursor.key);
    }
    const uint8_t flags = ShortFlags(cursor.length, cursor.code);
    if ((flags & kShortWord) == 0) return {(flags & kShortLonger) != 0, 0};
    if (cursor.length > kShortRanked) return Find(cursor.key);
    return {(flags & kShortLonger) != 0, short_rank_[short_start_[cursor.length] + cursor.code]};
  }

  size_t words() const { return words_; }
  size_t bytes() const { return slot_count_ * sizeof(uint64_t); }
  size_t slots_used() const { return used_; }

 private:
  // A slot: fingerprint (high 32 bits, never 0 in use), bit 31 "longer",
  // bits 0 to 30 the rank (0: not a word).
  static constexpr uint64_t kLonger = uint64_t{1} << 31;
  static constexpr uint64_t kRankMask = kLonger - 1;

  static constexpr uint32_t kNoCode = UINT32_MAX;
  static uint32_t Digit(char c) {
    if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a');
    if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0' + 26);
    return kNoCode;
  }
  // Two bits for each text of 1 to kShort letters and digits: kShortWord
  // when it is a word, kShortLonger when a word goes on from it.
  static constexpr uint8_t kShortWord = 1, kShortLonger = 2;
  uint8_t ShortFlags(uint32_t length, uint32_t code) const {
    const size_t at = short_start_[length] + code;
    return (short_[at >> 2] >> ((at & 3) * 2)) & 3;
  }
  // Whether the table holds a text of length characters, plain when they
  // are letters and digits only, word when a word ends there: the short
  // tables answer the plain texts of up to kShort characters, all but the
  // ranks of words longer than kShortRanked.
  static bool TableHolds(size_t length, bool plain, bool word) {
    return !plain || length > kShort || (length > kShortRanked && word);
  }
  bool InTable(const Cursor &cursor, bool word_end) const;
  // The table's answer about the text of key (one it holds).
  Probe Find(uint64_t key) const;
  // The slots a word adds after its first shared characters.
  static size_t NewSlots(std::string_view word, size_t shared);

  // The rank a word keeps: at least 1, at most what a slot's bits hold.
  static uint32_t SlotRank(uint32_t rank);
  void MarkShort(std::string_view word, uint32_t rank);

  static uint64_t Mix(uint64_t key) {
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdull;
    key ^= key >> 33;
    return key;
  }
  uint64_t *Slot(uint64_t key);
  // Adds word, whose first shared characters begin the word added just
  // before it: words are added in byte order.
  void Add(std::string_view word, uint32_t rank, size_t shared);
  class SortedRun;
  void Size(size_t prefixes);

  struct FreeSlots {
    void operator()(uint64_t *slots) const;
  };
  std::unique_ptr<uint64_t[], FreeSlots> slots_;
  size_t slot_count_ = 0;
  std::vector<uint8_t> short_;           // the flags of short texts, four a byte
  size_t short_start_[kShort + 1] = {};  // where each length's flags start
  std::vector<uint32_t> short_rank_;     // the ranks of the shortest words, as short_
  uint64_t mask_ = 0;
  std::vector<Cursor> path_;  // while building: the cursors of the word added last
  size_t used_ = 0;
  size_t words_ = 0;
};

}  // namespace quarvel::estimate

#endif  // QUARVEL_SRC_ESTIMATE_WORD_INDEX_H_
