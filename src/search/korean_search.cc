// The Korean readings of a password and their explanations.

#include "search/korean_search.h"

#include <algorithm>

#include "base/secure_wipe.h"
#include "quarvel/engine.h"
#include "search/hangul.h"
#include "search/patterns.h"

namespace quarvel::engine {
namespace {

// Fewest syllables a word read from Latin letters has: one syllable of
// two or three letters is as likely from random text as from a word.
constexpr size_t kMinTypedSyllables = 2;
// Fewest syllables of a word inside a longer Hangul password.
constexpr size_t kMinInside = 2;
// Most jamo one reading composes: a syllable has at most five.
constexpr size_t kMaxJamo = 5 * kMaxSyllables;

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAscii(char c) { return static_cast<unsigned char>(c) < 0x80; }

// The affix people add around a word: ASCII characters other than letters.
bool IsAffix(char c) { return IsAscii(c) && !IsAsciiLetter(c); }

// What is cut from one end, worded as the extended profile words its cuts.
void DescribeCut(std::string_view piece, int code, Steps *out) {
  if (piece.size() <= kMaxAffix && ReadAffix(piece, code, out)) return;
  const bool digits =
      std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; });
  out->Add(code, digits ? QUARVEL_PIECE_DIGITS : QUARVEL_PIECE_SYMBOLS, 0, 0, piece);
}

}  // namespace

KoreanSearch::KoreanSearch(std::string_view password, bool keyboard) : keyboard_(keyboard) {
  length_ = std::min(password.size(), sizeof(text_) - 1);
  std::memcpy(text_, password.data(), length_);
  text_[length_] = '\0';
}

KoreanSearch::~KoreanSearch() {
  SecureWipe(text_, sizeof(text_));
  SecureWipe(items_, sizeof(items_));
}

void KoreanSearch::Add(KoreanCandidate c, std::u32string_view syllables) {
  if (count_ == kMaxKoreanCandidates || syllables.empty() || syllables.size() > kMaxSyllables) {
    return;
  }
  size_t n = 0;
  for (char32_t s : syllables) {
    c.text[n++] = static_cast<char>(0xE0 | (s >> 12));
    c.text[n++] = static_cast<char>(0x80 | ((s >> 6) & 0x3F));
    c.text[n++] = static_cast<char>(0x80 | (s & 0x3F));
  }
  c.text[n] = '\0';
  c.length = static_cast<uint8_t>(n);
  for (size_t i = 0; i < count_; ++i) {
    if (std::string_view(items_[i].text, items_[i].length) == std::string_view(c.text, n)) {
      SecureWipe(c.text, n);
      return;  // the first explains it
    }
  }
  items_[count_++] = c;
  SecureWipe(c.text, n);
}

void KoreanSearch::Make() {
  made_ = true;
  const std::string_view text(text_, length_);
  size_t head = 0, tail = 0;
  while (head < text.size() && IsAffix(text[head])) ++head;
  while (tail < text.size() - head && IsAffix(text[text.size() - 1 - tail])) ++tail;
  const std::string_view core = text.substr(head, text.size() - head - tail);
  if (core.empty()) return;
  if (std::all_of(core.begin(), core.end(), IsAsciiLetter)) {
    // The word makes at least half of the password.
    if (keyboard_ && 2 * core.size() >= text.size()) MakeTyped(core, head, tail);
  } else if (std::none_of(core.begin(), core.end(), IsAscii)) {
    MakeHangul(core, head, tail);
  }
}

void KoreanSearch::MakeTyped(std::string_view core, size_t head, size_t tail) {
  KoreanCandidate c = {};
  c.kind = KoreanCandidate::kTyped;
  c.head = static_cast<uint16_t>(head);
  c.tail = static_cast<uint16_t>(tail);
  // A word of ten syllables has at most 50 keys, twice that written twice.
  if (core.size() > 2 * kMaxJamo) return;
  const size_t half = core.size() / 2;
  bool doubled_text = core.size() % 2 == 0 && half >= 2 * kMinTypedSyllables;
  for (size_t i = 0; doubled_text && i < half; ++i) {
    doubled_text = (core[i] | 0x20) == (core[half + i] | 0x20);
  }
  for (const bool doubled : {false, true}) {
    if (doubled && !doubled_text) continue;
    const std::string_view keys = doubled ? core.substr(0, half) : core;
    bool has_capitals = false;
    for (const bool lowered : {false, true}) {
      if (lowered && !has_capitals) continue;
      hangul::Jamo jamo[kMaxJamo];
      size_t n = 0;
      for (char key : keys) {
        has_capitals |= key >= 'A' && key <= 'Z';
        if (n == kMaxJamo) break;
        if (lowered && key >= 'A' && key <= 'Z') key = static_cast<char>(key - 'A' + 'a');
        hangul::KeyJamo(key, &jamo[n++]);
      }
      char32_t syllables[kMaxSyllables];
      size_t count = 0;
      if (n == keys.size() && hangul::Compose(std::span(jamo, n), syllables, &count) &&
          count >= kMinTypedSyllables) {
        c.lowered = lowered;
        c.doubled = doubled;
        Add(c, std::u32string_view(syllables, count));
      }
      SecureWipe(jamo, sizeof(jamo));
      SecureWipe(syllables, sizeof(syllables));
    }
  }
}

void KoreanSearch::MakeHangul(std::string_view core, size_t head, size_t tail) {
  char32_t syllables[kMaxSyllables * 2];
  size_t count = 0;
  hangul::Jamo jamo[kMaxJamo];
  size_t jamo_count = 0;
  bool whole = true;
  // Jamo typed one by one are composed as the input method would have.
  const auto compose_jamo = [&] {
    if (jamo_count == 0) return;
    size_t made = 0;
    whole =
        whole && hangul::Compose(std::span(jamo, jamo_count),
                                 std::span(syllables + count, std::size(syllables) - count), &made);
    count += made;
    jamo_count = 0;
  };
  for (size_t pos = 0; whole && pos < core.size();) {
    const char32_t ch = hangul::DecodeUtf8(core, &pos);
    hangul::Jamo parts[2];
    const size_t k = ch == hangul::kInvalid ? 0 : hangul::JamoOf(ch, parts);
    if (k > 0 && jamo_count + k <= kMaxJamo) {
      for (size_t j = 0; j < k; ++j) jamo[jamo_count++] = parts[j];
      continue;
    }
    compose_jamo();
    if (!hangul::IsSyllable(ch) || count == std::size(syllables)) whole = false;
    if (whole) syllables[count++] = ch;
  }
  compose_jamo();
  if (whole && count > 0) {
    KoreanCandidate c = {};
    c.kind = KoreanCandidate::kHangul;
    c.head = static_cast<uint16_t>(head);
    c.tail = static_cast<uint16_t>(tail);
    const std::u32string_view word(syllables, count);
    Add(c, word);
    const size_t half = count / 2;
    if (count % 2 == 0 && half >= 1 && word.substr(0, half) == word.substr(half)) {
      c.doubled = true;
      Add(c, word.substr(0, half));
      c.doubled = false;
    }
    // A word at either end that makes at least half of the syllables,
    // longest first.
    for (size_t n = count - 1; n >= kMinInside && 2 * n >= count; --n) {
      c.before = 0;
      c.after = static_cast<uint8_t>(count - n);
      Add(c, word.substr(0, n));
      c.before = static_cast<uint8_t>(count - n);
      c.after = 0;
      Add(c, word.substr(count - n));
    }
  }
  SecureWipe(syllables, sizeof(syllables));
  SecureWipe(jamo, sizeof(jamo));
}

void KoreanSearch::Explain(const KoreanHit &hit, int case_step, Explanation *out) const {
  out->rule[0] = ':';
  out->rule[1] = '\0';
  out->SetWord(hit.word);
  if (hit.index < 0 || static_cast<size_t>(hit.index) >= count_) return;
  const KoreanCandidate &c = items_[static_cast<size_t>(hit.index)];
  unsigned bits = QUARVEL_VARIANT_EXTENDED;
  if (c.kind == KoreanCandidate::kTyped) {
    if (c.lowered && case_step != 0) {
      bits |= QUARVEL_VARIANT_LOWERCASED;
      out->steps.Add(case_step);
    }
    out->steps.Add(QUARVEL_STEP_TYPED_LATIN, 0, 0, 0, std::string_view(c.text, c.length));
  }
  if (c.doubled) {
    bits |= QUARVEL_VARIANT_DOUBLED;
    out->steps.Add(QUARVEL_STEP_DOUBLED);
  }
  if (c.before + c.after > 0) {
    bits |= QUARVEL_VARIANT_INSIDE;
    out->steps.Add(QUARVEL_STEP_INSIDE, 0, c.before, c.after);
  }
  const std::string_view text(text_, length_);
  if (c.head > 0) {
    bits |= QUARVEL_VARIANT_CUT_START;
    DescribeCut(text.substr(0, c.head), QUARVEL_STEP_CUT_START, &out->steps);
  }
  if (c.tail > 0) {
    bits |= QUARVEL_VARIANT_CUT_END;
    DescribeCut(text.substr(length_ - c.tail), QUARVEL_STEP_CUT_END, &out->steps);
  }
  out->variants = bits;
}

}  // namespace quarvel::engine
