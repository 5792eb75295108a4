// The words of word lists, normalised as CreateDict stores them. Word lists
// may be personal: every buffer that held words is wiped.
#ifndef QUARVEL_SRC_BUILD_NORMALISER_H_
#define QUARVEL_SRC_BUILD_NORMALISER_H_

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include <string>

#include "base/secure_wipe.h"
#include "quarvel/dictmanger.h"
#include "search/fold.h"
#include "search/hangul.h"

namespace quarvel::engine {

inline constexpr size_t kMaxWord = PACKED_DICT_MAX_WORD;

// A normalised word: at most 31 lower-case letters and digits.
struct Word {
  char text[kMaxWord];
  uint8_t size = 0;
  std::string_view view() const { return {text, size}; }
};

// Turns the bytes of word lists into words as CreateDict does: every line
// feed and every carriage return ends a word; upper-case ASCII letters are
// lowered, lower-case letters and digits kept, every other byte dropped;
// words keep their first 31 characters; empty words are dropped (or, with
// keep_empty, handed on as CreateDict records them). A last line without a
// line end is a word too.
//
// With utf8, lines are read as UTF-8 text: Hangul jamo are composed into
// syllables, Latin letters lowered and their accents folded (search/fold.h),
// other characters of valid UTF-8 kept whole, ASCII other than letters and
// digits and bytes that are not valid UTF-8 dropped; a word keeps the whole
// characters that fit in 31 bytes (of the first 255 bytes of its line).
class Normaliser {
 public:
  explicit Normaliser(bool keep_empty = false, bool utf8 = false)
      : keep_empty_(keep_empty), utf8_(utf8) {}
  ~Normaliser() {
    SecureWipe(&word_, sizeof(word_));
    SecureWipe(raw_, sizeof(raw_));
  }

  template <typename Emit>
  void Feed(std::span<const char> bytes, Emit &emit) {
    for (const char c : bytes) {
      if (c == '\n' || c == '\r') {
        if (c == '\r' || !after_cr_) ++lines_;
        after_cr_ = c == '\r';
        in_line_ = false;
        EndWord(emit);
        continue;
      }
      after_cr_ = false;
      in_line_ = true;
      if (utf8_) {
        if (raw_size_ < sizeof(raw_)) raw_[raw_size_++] = c;
        continue;
      }
      char kept;
      if (c >= 'A' && c <= 'Z') {
        kept = static_cast<char>(c - 'A' + 'a');
      } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        kept = c;
      } else {
        continue;
      }
      if (word_.size < kMaxWord) word_.text[word_.size++] = kept;
    }
  }

  // The end of one source.
  template <typename Emit>
  void Finish(Emit &emit) {
    const bool open_line = in_line_;
    if (in_line_) ++lines_;
    in_line_ = after_cr_ = false;
    // Only bytes after the last line end make a last word.
    if (open_line || !keep_empty_) EndWord(emit);
  }

  uint64_t lines() const { return lines_; }

 private:
  // The word of the UTF-8 line in raw_.
  void NormaliseUtf8() {
    std::string composed = hangul::ComposeText(std::string_view(raw_, raw_size_));
    const size_t n = FoldText(composed, composed.data());
    const std::string_view text(composed.data(), n);
    for (size_t pos = 0; pos < text.size();) {
      const size_t start = pos;
      const char32_t c = hangul::DecodeUtf8(text, &pos);
      const bool kept = c == hangul::kInvalid ? false
                        : c < 0x80            ? (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
                                              : true;
      if (!kept) continue;
      if (word_.size + (pos - start) > kMaxWord) break;
      std::memcpy(word_.text + word_.size, text.data() + start, pos - start);
      word_.size = static_cast<uint8_t>(word_.size + (pos - start));
    }
    SecureWipe(composed.data(), composed.size());
    SecureWipe(raw_, raw_size_);
    raw_size_ = 0;
  }

  template <typename Emit>
  void EndWord(Emit &emit) {
    if (utf8_) NormaliseUtf8();
    if (word_.size > 0 || keep_empty_) emit(word_.view());
    SecureWipe(word_.text, word_.size);
    word_.size = 0;
  }

  Word word_;
  bool keep_empty_;
  bool utf8_;
  char raw_[255];
  size_t raw_size_ = 0;
  bool in_line_ = false;
  bool after_cr_ = false;
  uint64_t lines_ = 0;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_BUILD_NORMALISER_H_
