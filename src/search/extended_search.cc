// The extended search profile's candidates and their explanations.

#include "search/extended_search.h"

#include <algorithm>
#include <cstring>

#include "base/secure_wipe.h"
#include "quarvel/engine.h"

namespace quarvel::engine {
namespace {

// Readings tried of each piece left between cut affixes, and of each piece
// of a longer password that may hold a word.
constexpr size_t kReadingsPerPiece = 12;
// Readings of a piece also tried reversed: reversal with many characters
// read as letters is rare.
constexpr size_t kReversedReadings = 4;
constexpr size_t kReadingsPerWindow = 2;
// Shortest piece searched: between affixes, and inside a longer password.
constexpr size_t kMinPiece = 3;
constexpr size_t kMinInside = 5;
constexpr size_t kTableSize = 1024;  // a power of two, well above the candidates
static_assert(kTableSize >= 2 * kMaxExtendedCandidates);

bool IsLetter(char c) { return c >= 'a' && c <= 'z'; }

// A piece worth reading as a word: letters make at least share_in_thirds
// thirds of it. Random text is rarely so; mangled words nearly always.
// Every character of it has a reading (ReadAsLetters makes none otherwise).
bool WorthReading(std::string_view piece, size_t share_in_thirds) {
  size_t letters = 0;
  for (char c : piece) {
    if (IsLetter(c)) {
      ++letters;
    } else if (!HasReading(c)) {
      return false;
    }
  }
  return 3 * letters >= share_in_thirds * piece.size();
}

uint32_t Hash(std::string_view text) {
  uint32_t h = 2166136261u;
  for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h;
}

// The ways to cut an affix from one end: how many characters, the whole
// run of characters other than letters first, then nothing, then the
// shorter cuts, each only when ReadAffix accepts what it cuts.
struct Cuts {
  size_t count = 0;
  size_t length[kMaxAffix + 1];

  Cuts(std::string_view text, bool from_end) {
    size_t run = 0;
    while (run < text.size() && run < kMaxAffix &&
           !IsLetter(from_end ? text[text.size() - 1 - run] : text[run])) {
      ++run;
    }
    auto accepts = [&](size_t n) {
      if (n == 0) return true;
      return ReadAffix(from_end ? text.substr(text.size() - n) : text.substr(0, n), 0, nullptr);
    };
    if (run > 0 && accepts(run)) length[count++] = run;
    length[count++] = 0;
    for (size_t n = run; n-- > 1;) {
      if (accepts(n)) length[count++] = n;
    }
  }
};

}  // namespace

// Turns the readings of one piece into candidates.
class ExtendedSearch::Collector final : public ReadingSink {
 public:
  Collector(ExtendedSearch &search, ExtendedCandidate::Kind kind, size_t head, size_t tail)
      : search_(search) {
    base_.kind = kind;
    base_.head = static_cast<uint8_t>(head);
    base_.tail = static_cast<uint8_t>(tail);
    base_.reversed = false;
    base_.doubled = false;
  }
  ~Collector() { SecureWipe(&base_, sizeof(base_)); }

  bool Take(const Reading &reading) override {
    ExtendedCandidate &c = base_;
    c.substitution_count = static_cast<uint8_t>(reading.substitutions.size());
    std::copy(reading.substitutions.begin(), reading.substitutions.end(), c.substitutions);
    std::memcpy(c.text, reading.text, reading.length + 1);
    c.length = static_cast<uint8_t>(reading.length);
    c.reversed = c.doubled = false;
    if (!search_.Add(c)) return false;
    if (c.kind == ExtendedCandidate::kInside) return true;
    if (++taken_ <= kReversedReadings) {
      std::reverse(c.text, c.text + reading.length);
      c.reversed = true;
      if (!search_.Add(c)) return false;
    }
    const size_t half = reading.length / 2;
    if (reading.length % 2 == 0 && half >= kMinPiece &&
        std::memcmp(reading.text, reading.text + half, half) == 0) {
      std::memcpy(c.text, reading.text, half);
      c.text[half] = '\0';
      c.length = static_cast<uint8_t>(half);
      c.reversed = false;
      c.doubled = true;
      if (!search_.Add(c)) return false;
    }
    return true;
  }

 private:
  ExtendedSearch &search_;
  ExtendedCandidate base_;
  size_t taken_ = 0;
};

ExtendedSearch::ExtendedSearch(std::string_view text) {
  length_ = std::min(text.size(), sizeof(text_) - 1);
  std::memcpy(text_, text.data(), length_);
  text_[length_] = '\0';
}

ExtendedSearch::~ExtendedSearch() {
  SecureWipe(text_, sizeof(text_));
  if (items_ != nullptr) SecureWipe(items_.get(), count_ * sizeof(ExtendedCandidate));
}

bool ExtendedSearch::Add(const ExtendedCandidate &candidate) {
  if (count_ == kMaxExtendedCandidates) return false;
  const std::string_view text(candidate.text, candidate.length);
  for (size_t i = Hash(text) & (kTableSize - 1);; i = (i + 1) & (kTableSize - 1)) {
    const uint16_t entry = table_[i];
    if (entry == 0) {
      table_[i] = static_cast<uint16_t>(count_ + 1);
      break;
    }
    const ExtendedCandidate &other = items_[entry - 1];
    if (text == std::string_view(other.text, other.length)) return true;  // the first explains it
  }
  items_[count_++] = candidate;
  return count_ < kMaxExtendedCandidates;
}

void ExtendedSearch::Make() {
  made_ = true;
  items_.reset(new ExtendedCandidate[kMaxExtendedCandidates]);
  table_.reset(new uint16_t[kTableSize]());
  const std::string_view text(text_, length_);
  const size_t n = text.size();

  // Pieces between cut affixes, the cut pairs with the most likely cuts
  // first.
  const Cuts heads(text, false), tails(text, true);
  for (size_t rank = 0; rank + 2 <= heads.count + tails.count; ++rank) {
    for (size_t h = 0; h < heads.count && h <= rank; ++h) {
      const size_t t = rank - h;
      if (t >= tails.count) continue;
      const size_t head = heads.length[h], tail = tails.length[t];
      if (head + tail + kMinPiece > n) continue;
      const std::string_view piece = text.substr(head, n - head - tail);
      if (!WorthReading(piece, 1)) continue;
      Collector collector(*this, ExtendedCandidate::kCut, head, tail);
      ReadAsLetters(piece, kReadingsPerPiece, kMinPiece, collector);
      if (count_ == kMaxExtendedCandidates) return;
    }
  }

  // A word that makes at least half of a longer password, longest first.
  if (n <= kMinInside) return;
  const size_t shortest = std::max(kMinInside, (n + 1) / 2);
  for (size_t length = std::min(kMaxCandidate, n - 1); length >= shortest; --length) {
    for (size_t start = 0; start + length <= n; ++start) {
      const std::string_view piece = text.substr(start, length);
      // A word inside starts with a letter.
      if (!IsLetter(piece[0]) || !WorthReading(piece, 2)) continue;
      Collector collector(*this, ExtendedCandidate::kInside, start, n - start - length);
      ReadAsLetters(piece, kReadingsPerWindow, kMinInside, collector);
      if (count_ == kMaxExtendedCandidates) return;
    }
  }
}

bool ExtendedSearch::FindPattern(Steps *out) const {
  return ReadPattern(std::string_view(text_, length_), out);
}

unsigned ExtendedSearch::Variants(const ExtendedHit &hit) const {
  if (hit.index < 0 || static_cast<size_t>(hit.index) >= count_) return 0;
  const ExtendedCandidate &c = items_[static_cast<size_t>(hit.index)];
  unsigned bits = QUARVEL_VARIANT_EXTENDED;
  if (c.reversed) bits |= QUARVEL_VARIANT_REVERSED;
  if (c.substitution_count > 0) bits |= QUARVEL_VARIANT_LEET;
  if (c.doubled) bits |= QUARVEL_VARIANT_DOUBLED;
  if (c.kind == ExtendedCandidate::kInside) return bits | QUARVEL_VARIANT_INSIDE;
  if (c.head > 0) bits |= QUARVEL_VARIANT_CUT_START;
  if (c.tail > 0) bits |= QUARVEL_VARIANT_CUT_END;
  return bits;
}

void ExtendedSearch::Explain(const ExtendedHit &hit, int case_step, Explanation *out) const {
  out->variants = Variants(hit);
  if (case_step != 0) {
    out->variants |= QUARVEL_VARIANT_LOWERCASED;
    out->steps.Add(case_step);
  }
  Describe(hit, &out->steps);
  out->rule[0] = ':';
  out->rule[1] = '\0';
  out->SetWord(hit.word);
}

void ExtendedSearch::Describe(const ExtendedHit &hit, Steps *out) const {
  if (hit.index < 0 || static_cast<size_t>(hit.index) >= count_) return;
  const ExtendedCandidate &c = items_[static_cast<size_t>(hit.index)];
  const std::string_view text(text_, length_);
  if (c.reversed) out->Add(QUARVEL_STEP_REVERSED);
  for (size_t i = 0; i < c.substitution_count; ++i) {
    const Substitution &s = c.substitutions[i];
    if (s.to == '\0') {
      out->Add(QUARVEL_STEP_DROPPED, 0, 0, 0, std::string_view(&s.from, 1));
    } else {
      const char pair[2] = {s.from, s.to};
      out->Add(QUARVEL_STEP_READ_AS, 0, 0, 0, std::string_view(pair, 2));
    }
  }
  if (c.doubled) out->Add(QUARVEL_STEP_DOUBLED);
  if (c.kind == ExtendedCandidate::kInside) {
    out->Add(QUARVEL_STEP_INSIDE, 0, c.head, c.tail);
    return;
  }
  if (c.head > 0) ReadAffix(text.substr(0, c.head), QUARVEL_STEP_CUT_START, out);
  if (c.tail > 0) ReadAffix(text.substr(length_ - c.tail), QUARVEL_STEP_CUT_END, out);
}

}  // namespace quarvel::engine
