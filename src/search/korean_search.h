// The extended profile's Korean readings of a password, looked up in a
// Korean dictionary (Hangul words, composed syllables in UTF-8):
//   - typed in Latin mode: the letters between what people add around a
//     word (digits, symbols) read as keys of the two-set layout, as typed
//     (the shifted keys give ㄲ ㄸ ㅃ ㅆ ㅉ ㅒ ㅖ) and with the case ignored,
//     composed into syllables, and the first half of a word written twice;
//   - typed in Hangul: the syllables (and jamo, composed) between such
//     additions, a word written twice, and a word of two or more syllables
//     that makes at least half of them at either end.
// The readings are made once per check, at the first Korean dictionary
// that needs them; there are at most kMaxKoreanCandidates, and each reading
// composes in one pass over the keys (a consonant's place is decided by
// the character after it), so a long run of letters costs one pass, never
// a search over its splits.
#ifndef QUARVEL_SRC_SEARCH_KOREAN_SEARCH_H_
#define QUARVEL_SRC_SEARCH_KOREAN_SEARCH_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "search/candidates.h"
#include "search/explanation.h"

namespace quarvel::engine {

inline constexpr size_t kMaxKoreanCandidates = 32;
// Longest word looked up: ten syllables of three bytes fit a stored word.
inline constexpr size_t kMaxSyllables = kMaxCandidate / 3;

struct KoreanCandidate {
  enum Kind : uint8_t { kTyped, kHangul } kind;
  bool lowered;    // kTyped: read with the case ignored
  bool doubled;    // the word written twice
  uint8_t before;  // kHangul: syllables of the core before the word
  uint8_t after;   // and after it
  uint16_t head;   // bytes of the password cut from the start
  uint16_t tail;   // and from the end
  uint8_t length;  // of text
  char text[kMaxCandidate + 1];
};

struct KoreanHit {
  int index = -1;
  char word[kMaxCandidate + 1] = {};
};

class KoreanSearch {
 public:
  // password: as given (its case kept), at most 256 bytes used; keyboard:
  // whether letters are read as two-set keys.
  KoreanSearch(std::string_view password, bool keyboard);
  ~KoreanSearch();
  KoreanSearch(const KoreanSearch &) = delete;
  KoreanSearch &operator=(const KoreanSearch &) = delete;

  template <typename Contains>
  bool Run(Contains &&contains, KoreanHit *hit) {
    return FirstStored(Readings(), contains, hit);
  }

  // The readings, made on first use.
  std::span<const KoreanCandidate> Readings() {
    if (!made_) Make();
    return {items_, count_};
  }

  // Fills out's word, rule (":"), QUARVEL_VARIANT_* bits and steps from hit;
  // case_step: CaseChangeStep of the password, 0 for none.
  void Explain(const KoreanHit &hit, int case_step, Explanation *out) const;

  // Bytes of the password read (at most 256).
  size_t length() const { return length_; }

 private:
  void Make();
  void MakeTyped(std::string_view core, size_t head, size_t tail);
  void MakeHangul(std::string_view core, size_t head, size_t tail);
  // Adds the syllables as a candidate unless one has the same text.
  void Add(KoreanCandidate c, std::u32string_view syllables);

  char text_[257];
  size_t length_;
  bool keyboard_;
  bool made_ = false;
  KoreanCandidate items_[kMaxKoreanCandidates];
  size_t count_ = 0;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_SEARCH_KOREAN_SEARCH_H_
