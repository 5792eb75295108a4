// The covering of a password by pieces, and its cheapest one.

#include "estimate/estimate.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/copy_text.h"
#include "base/secure_wipe.h"
#include "estimate/costs.h"
#include "estimate/word_index.h"
#include "search/fold.h"
#include "search/leet.h"
#include "search/patterns.h"

namespace quarvel::estimate {
namespace {

constexpr size_t kMaxLength = 257;    // longest accepted password
constexpr size_t kMaxWord = 31;       // longest stored word
constexpr size_t kMaxMatches = 320;   // pieces other than brute force kept per password
constexpr int kMaxSubstitutions = 3;  // characters read as letters in one word
constexpr int kProbeBudget = 40;      // table probes per start of a word walk
constexpr size_t kMaxStretch = 24;    // longest walk, sequence or repeat kept per start
constexpr int kMaxRepeats = 6;        // repeated pieces estimated per password
constexpr double kInfinity = std::numeric_limits<double>::infinity();

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z'); }

struct Match {
  uint16_t start = 0;
  uint16_t end = 0;
  int16_t next = -1;  // the next match with the same end
  Piece piece;
};

// The password and what every matcher reads of it, wiped when done.
class Text {
 public:
  explicit Text(std::string_view password) : size_(std::min(password.size(), kMaxLength)) {
    char *original = chars_, *lower = chars_ + size_, *reversed = chars_ + 2 * size_;
    uint8_t *classes = reinterpret_cast<uint8_t *>(chars_ + 3 * size_);
    std::memcpy(original, password.data(), size_);
    counts_[0] = 0;
    for (size_t i = 0; i < size_; ++i) {
      const char c = original[i];
      lower[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      reversed[size_ - 1 - i] = lower[i];
      classes[i] = static_cast<uint8_t>(ClassMask(c));
      // Five counters of 12 bits, one per class.
      counts_[i + 1] = counts_[i] + (uint64_t{1} << (12 * std::countr_zero(unsigned{classes[i]})));
    }
  }
  ~Text() { SecureWipe(chars_, 3 * size_); }
  Text(const Text &) = delete;
  Text &operator=(const Text &) = delete;

  size_t size() const { return size_; }
  std::string_view original() const { return {chars_, size_}; }
  std::string_view lower() const { return {chars_ + size_, size_}; }
  std::string_view reversed() const { return {chars_ + 2 * size_, size_}; }
  // The classes present in [start, end).
  unsigned Mask(size_t start, size_t end) const {
    const uint64_t present = counts_[end] - counts_[start];
    unsigned mask = 0;
    for (unsigned c = 0; c < 5; ++c) mask |= ((present >> (12 * c)) & 0xfff) != 0 ? 1u << c : 0;
    return mask;
  }
  unsigned Class(size_t i) const { return static_cast<uint8_t>(chars_[3 * size_ + i]); }

 private:
  size_t size_;
  // The password as given, lower-cased, lower-cased and reversed, and the
  // class of each character, one after another: a short password's fill
  // one or two lines of memory. Only the first 4 * size_ bytes are used.
  char chars_[4 * kMaxLength];
  uint64_t counts_[kMaxLength + 1];  // characters of each class before each position
};

// The pieces found, bucketed by where they end.
class Matches {
 public:
  // Only the buckets of the text's ends are set: a short password touches
  // few lines of memory.
  explicit Matches(const Text &text) : text_(text) {
    std::fill(last_, last_ + text.size() + 1, int16_t{-1});
  }
  ~Matches() { SecureWipe(storage_.items, sizeof(Match) * count_); }
  Matches(const Matches &) = delete;
  Matches &operator=(const Matches &) = delete;

  // Keeps piece over [start, end) unless brute force of the span is no
  // dearer, or no room is left.
  void Add(size_t start, size_t end, const Piece &piece) {
    if (count_ == kMaxMatches || end <= start || end > text_.size()) return;
    if (piece.log10 >= BruteForceCost(text_.Mask(start, end), end - start)) return;
    Match &m = storage_.items[count_];
    m.start = static_cast<uint16_t>(start);
    m.end = static_cast<uint16_t>(end);
    m.piece = piece;
    m.piece.start = static_cast<int>(start);
    m.piece.length = static_cast<int>(end - start);
    m.next = last_[end];
    last_[end] = static_cast<int16_t>(count_);
    ++count_;
  }
  const Match *EndingAt(size_t end) const { return Get(last_[end]); }
  const Match *Next(const Match &m) const { return Get(m.next); }

  // The cheapest of brute force and the pieces kept over exactly [start,
  // end): what another piece there must beat to be kept and to matter.
  double ToBeat(size_t start, size_t end) const {
    double best = BruteForceCost(text_.Mask(start, end), end - start);
    for (const Match *m = EndingAt(end); m != nullptr; m = Next(*m)) {
      if (m->start == start) best = std::min(best, m->piece.log10);
    }
    return best;
  }

 private:
  const Match *Get(int16_t i) const { return i < 0 ? nullptr : &storage_.items[i]; }
  // Left uninitialised: a check writes the few entries it uses.
  union Storage {
    Storage() {}
    ~Storage() {}
    Match items[kMaxMatches];
  };
  const Text &text_;
  Storage storage_;
  size_t count_ = 0;
  int16_t last_[kMaxLength + 1];  // the first text_.size() + 1 are set
};

// Walks the word index from each start of a text (the password lower-cased,
// or reversed), reading each character as itself and, up to
// kMaxSubstitutions times, as the letters it may stand for.
class WordWalk {
 public:
  WordWalk(const WordIndex &index, const Text &text, int slot, bool reversed, Matches &out)
      : index_(index),
        text_(text),
        slot_(slot),
        reversed_(reversed),
        out_(out),
        s_(reversed ? text.reversed() : text.lower()) {}
  ~WordWalk() { SecureWipe(decoded_, sizeof(decoded_)); }

  void From(size_t start) {
    start_ = start;
    budget_ = kProbeBudget;
    substitutions_ = 0;
    Go(start, WordIndex::Cursor{});
  }

 private:
  void Go(size_t j, const WordIndex::Cursor &key) {
    if (j >= s_.size() || j - start_ >= kMaxWord || budget_ <= 0) return;
    const char c = s_[j];
    if ((c >= 'a' && c <= 'z') || IsDigit(c)) Try(j, key, c);
    // Backwards, a word is read as written: reversal and substitutions
    // together are rare, and would double the walk.
    if (reversed_ || substitutions_ == kMaxSubstitutions) return;
    for (const char to : engine::LeetLetters(c)) {
      if (to == c) continue;
      from_[substitutions_] = c;
      to_[substitutions_] = to;
      ++substitutions_;
      Try(j, key, to);
      --substitutions_;
    }
  }

  void Try(size_t j, const WordIndex::Cursor &cursor, char c) {
    if (--budget_ < 0) return;
    const WordIndex::Cursor key = WordIndex::Next(cursor, c);
    const WordIndex::Probe probe = index_.Find(key);
    decoded_[j - start_] = c;
    if (probe.rank != 0) Emit(j + 1, probe.rank);
    if (probe.longer) Go(j + 1, key);
  }

  void Emit(size_t end, uint32_t rank) {
    const size_t length = end - start_;
    const size_t start = reversed_ ? s_.size() - end : start_;
    // A word whose rank alone costs as much as brute force cannot win.
    if (RankCostsBruteForce(rank, text_.Mask(start, start + length), length)) return;
    Piece piece;
    piece.kind = QUARVEL_GUESS_DICTIONARY;
    piece.rank = rank;
    piece.slot = slot_;
    // The transformations: the number of ways to choose them (log10).
    double choices = CaseCost(text_.original().substr(start, length), &piece.transforms);
    if (substitutions_ > 0) {
      piece.transforms |= QUARVEL_GUESS_LEET;
      choices += LeetCost(length);
    }
    if (reversed_) {
      piece.transforms |= QUARVEL_GUESS_REVERSED;
      choices += kLog10Two;
    }
    piece.log10 = TransformedCost(rank, choices);
    CopyText(piece.word, std::string_view(decoded_, length));
    out_.Add(start, start + length, piece);
  }

  // The choice of the characters written for letters: which substitutions
  // (a symbol read as a letter) were applied, and for each of them which
  // of the places holding that letter carry the symbol.
  double LeetCost(size_t length) const {
    double cost = 0;
    int distinct = 0;
    for (int k = 0; k < substitutions_; ++k) {
      bool seen = false;
      for (int e = 0; e < k; ++e) seen = seen || (from_[e] == from_[k] && to_[e] == to_[k]);
      if (seen) continue;
      ++distinct;
      int substituted = 0, plain = 0;
      for (size_t i = 0; i < length; ++i) {
        if (decoded_[i] != to_[k]) continue;
        if (s_[start_ + i] == from_[k]) {
          ++substituted;
        } else {
          ++plain;
        }
      }
      cost +=
          plain == 0 ? kLog10Two : Log10Choices(substituted + plain, std::min(substituted, plain));
    }
    return cost + SubstitutionsCost(distinct);
  }

  const WordIndex &index_;
  const Text &text_;
  int slot_;
  bool reversed_;
  Matches &out_;
  std::string_view s_;
  size_t start_ = 0;
  int budget_ = 0;
  int substitutions_ = 0;
  char from_[kMaxSubstitutions] = {};
  char to_[kMaxSubstitutions] = {};
  char decoded_[kMaxWord + 1] = {};
};

void FindWords(const Request &request, const Text &text, Matches &out) {
  for (const DictionarySource &source : request.dictionaries) {
    const WordIndex *index = source.index;
    if (index == nullptr && source.dict != nullptr && source.dict->ok()) {
      index = WordIndex::Of(*source.dict);
    }
    if (index == nullptr || index->words() == 0) continue;
    for (const bool reversed : {false, true}) {
      WordWalk walk(*index, text, source.slot, reversed, out);
      const std::string_view s = reversed ? text.reversed() : text.lower();
      for (size_t i = 0; i < s.size(); ++i) {
        // Words are made of letters and digits: none starts elsewhere.
        // Backwards, words are looked for only where a run of letters and
        // digits starts: a word written backwards is seldom cut out of a
        // longer run, and this halves the walks.
        if (reversed ? IsAlnum(s[i]) && (i == 0 || !IsAlnum(s[i - 1]))
                     : IsAlnum(s[i]) || !engine::LeetLetters(s[i]).empty()) {
          walk.From(i);
        }
      }
    }
  }
}

void FindContextWords(const Request &request, const Text &text, Matches &out) {
  if (request.context == nullptr) return;
  for (size_t k = 0; k < request.context->size(); ++k) {
    const std::string_view word = request.context->word(k);
    if (word.size() < engine::ContextWords::kMinLength) continue;
    for (const bool reversed : {false, true}) {
      const std::string_view s = reversed ? text.reversed() : text.lower();
      for (size_t at = s.find(word); at != std::string_view::npos; at = s.find(word, at + 1)) {
        const size_t start = reversed ? s.size() - at - word.size() : at;
        Piece piece;
        piece.kind = QUARVEL_GUESS_CONTEXT;
        piece.rank = static_cast<uint32_t>(k + 1);
        piece.log10 = Log10Int(k + 1) +
                      CaseCost(text.original().substr(start, word.size()), &piece.transforms);
        if (reversed) {
          piece.transforms |= QUARVEL_GUESS_REVERSED;
          piece.log10 += kLog10Two;
        }
        CopyText(piece.word, word);
        out.Add(start, start + word.size(), piece);
      }
    }
  }
}

// A word of a language dictionary, at its rank (an unranked dictionary's
// word count). Not looked up when it could not beat what is kept over its
// span: language dictionaries are unranked, so their words' cost is known
// before the lookup, and most words they share with the configured
// dictionaries are found there far cheaper.
void AddLanguageWord(const engine::Dictionary &dict, const char *word, size_t start, size_t end,
                     unsigned transforms, double choices, Matches &out) {
  if (!dict.ok()) return;
  const double least = TransformedCost(dict.ranked() ? 1 : dict.word_count(), choices);
  if (least >= out.ToBeat(start, end)) return;
  const uint32_t index = dict.Find(word);
  if (index >= dict.word_count()) return;
  Piece piece;
  piece.kind = QUARVEL_GUESS_DICTIONARY;
  piece.rank = dict.Rank(index);
  piece.transforms = transforms;
  piece.log10 = TransformedCost(piece.rank, choices);
  CopyText(piece.word, word);
  out.Add(start, end, piece);
}

// The words of the language dictionaries, looked up whole as the language
// search reads them. In the Latin ones (whose words have four letters or
// more): each run of letters, accents folded and lower-cased.
void FindLatinWords(const Request &request, const Text &text, Matches &out) {
  constexpr size_t kMinLatin = 4;
  const std::string_view p = text.original();
  const auto letter = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           static_cast<unsigned char>(c) >= 0x80;
  };
  for (size_t i = 0; i < p.size();) {
    if (!letter(p[i])) {
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < p.size() && letter(p[i])) ++i;
    const std::string_view run = p.substr(start, i - start);
    if (run.size() < kMinLatin) continue;
    char word[kMaxLength + 1];
    const size_t n = engine::FoldText(run, word);
    word[n] = '\0';
    if (n <= kMaxWord) {
      unsigned transforms = 0;
      const double choices = CaseCost(run, &transforms);
      for (const LanguageSource &language : request.languages) {
        if (!language.hangul) {
          AddLanguageWord(*language.dict, word, start, i, transforms, choices, out);
        }
      }
    }
    SecureWipe(word, n);
  }
}

// In the Hangul ones: the Korean readings of the whole password, which cut
// what people add around a word.
void FindKoreanWords(const Request &request, const Text &text, Matches &out) {
  const std::string_view p = text.original();
  if (request.korean == nullptr || request.korean->length() != p.size()) return;
  for (const engine::KoreanCandidate &c : request.korean->Readings()) {
    size_t start = c.head, end = p.size() - c.tail;
    if (c.before != 0 || c.after != 0) {
      // A word inside Hangul: placed by its syllables when the core is
      // composed syllables only (three bytes each).
      if (end - start != 3 * (size_t{c.before} + c.length / 3 + c.after)) continue;
      start += 3 * size_t{c.before};
      end -= 3 * size_t{c.after};
    }
    // Capitals typed as themselves are shifted keys, part of the word.
    unsigned transforms = 0;
    double choices = c.lowered ? CaseCost(p.substr(start, end - start), &transforms) : 0;
    if (c.doubled) choices += kLog10Two;
    for (const LanguageSource &language : request.languages) {
      if (language.hangul) {
        AddLanguageWord(*language.dict, c.text, start, end, transforms, choices, out);
      }
    }
  }
}

// Walks mostly start at either end of a row ("qwer", "poiu", "1qaz"); one
// that starts inside a row costs this much more (log10).
constexpr double kInnerStart = 0.6;

bool EdgeKey(char c) {
  static constexpr int kRowLength[4] = {13, 13, 11, 10};
  const engine::KeyPlace place = engine::KeyPlaceOf(c);
  if (place.row < 0) return false;
  return place.column <= 1 || place.column >= kRowLength[place.row] - 3;
}

// Keyboard walks, sequences and runs of one character, from each start.
void FindPatterns(const Text &text, Matches &out) {
  const std::string_view p = text.original();
  const size_t n = p.size();
  for (size_t i = 0; i + 2 < n; ++i) {
    // Walks: the direction from key to key; a change of it is a turn.
    int turns = 1, shifted = engine::KeyPlaceOf(p[i]).shifted ? 1 : 0;
    int drow = 0, dcolumn = 0;
    for (size_t k = i + 1; k < n && k - i < kMaxStretch && engine::KeysAdjacent(p[k - 1], p[k]);
         ++k) {
      const engine::KeyPlace a = engine::KeyPlaceOf(p[k - 1]), b = engine::KeyPlaceOf(p[k]);
      const int r = b.row - a.row, c = b.column - a.column;
      if (k > i + 1 && (r != drow || c != dcolumn)) ++turns;
      drow = r;
      dcolumn = c;
      shifted += b.shifted ? 1 : 0;
      if (k - i + 1 >= 3) {
        Piece piece;
        piece.kind = QUARVEL_GUESS_KEYBOARD_WALK;
        piece.transforms = shifted > 0 ? QUARVEL_GUESS_SHIFTED : 0;
        piece.log10 = WalkCost(k - i + 1, turns, shifted) + (EdgeKey(p[i]) ? 0 : kInnerStart);
        out.Add(i, k + 1, piece);
      }
    }
    // Sequences: letters of one case or digits, by a constant step.
    const unsigned kind = text.Class(i);
    const int step = p[i + 1] - p[i];
    if (kind <= 4 && step != 0 && std::abs(step) <= 5) {
      size_t k = i + 1;
      while (k < n && k - i < kMaxStretch && text.Class(k) == kind && p[k] - p[k - 1] == step) {
        ++k;
        if (k - i >= 3) {
          Piece piece;
          piece.kind = QUARVEL_GUESS_SEQUENCE;
          piece.log10 = SequenceCost(p[i], k - i, step);
          out.Add(i, k, piece);
        }
      }
    }
    // Runs: the longest from here.
    size_t k = i + 1;
    while (k < n && p[k] == p[i]) ++k;
    if (k - i >= 3) {
      Piece piece;
      piece.kind = QUARVEL_GUESS_REPEAT;
      piece.rank = static_cast<uint32_t>(k - i);
      piece.log10 = RunCost(p[i], k - i);
      CopyText(piece.word, p.substr(i, 1));
      out.Add(i, k, piece);
    }
  }
}

// Years, and dates of 6 to 10 characters.
void FindDates(const Text &text, int reference_year, Matches &out) {
  const std::string_view p = text.original();
  for (size_t i = 0; i + 4 <= p.size(); ++i) {
    if (!IsDigit(p[i])) continue;
    const std::string_view four = p.substr(i, 4);
    if (std::all_of(four.begin(), four.end(), IsDigit)) {
      int year = 0;
      for (const char c : four) year = year * 10 + (c - '0');
      if (year >= 1900 && year <= 2099) {
        Piece piece;
        piece.kind = QUARVEL_GUESS_YEAR;
        piece.log10 = YearCost(year, reference_year);
        CopyText(piece.word, four);
        out.Add(i, i + 4, piece);
      }
    }
    for (size_t length = 6; length <= 10 && i + length <= p.size(); ++length) {
      const std::string_view piece_text = p.substr(i, length);
      const char last = piece_text.back();
      if (!IsDigit(last) && last != '/' && last != '-' && last != '.') break;
      if (!IsDigit(last)) continue;
      char iso[11];
      if (!engine::ReadDate(piece_text, iso)) continue;
      const bool separated = !std::all_of(piece_text.begin(), piece_text.end(), IsDigit);
      const int year =
          (iso[0] - '0') * 1000 + (iso[1] - '0') * 100 + (iso[2] - '0') * 10 + (iso[3] - '0');
      Piece piece;
      piece.kind = QUARVEL_GUESS_DATE;
      piece.log10 = DateCost(year, separated, reference_year);
      CopyText(piece.word, iso);
      out.Add(i, i + length, piece);
    }
  }
}

// The cheapest covering of a text, with repeated pieces when repeats is
// set (a repeated piece is estimated on its own, without repeats).
class Coverer {
 public:
  Coverer(const Request &request, std::string_view password, bool repeats)
      : request_(request), text_(password), matches_(text_), repeats_(repeats) {}

  double Run(Estimate *out) {
    Find();
    return Cover(out);
  }

  void List(const std::function<void(size_t, size_t, double)> &emit) {
    Find();
    for (size_t j = 1; j <= text_.size(); ++j) {
      for (const Match *m = matches_.EndingAt(j); m != nullptr; m = matches_.Next(*m)) {
        emit(m->start, m->end, m->piece.log10);
      }
      for (size_t i = 0; i < j; ++i) emit(i, j, BruteForceCost(text_.Mask(i, j), j - i));
    }
  }

 private:
  void Find() {
    const int year = request_.reference_year != 0 ? request_.reference_year : ReferenceYear();
    FindWords(request_, text_, matches_);
    FindContextWords(request_, text_, matches_);
    if (!request_.languages.empty()) {
      FindLatinWords(request_, text_, matches_);
      // The readings are of the whole password, not of a repeated piece.
      if (text_.size() == request_.password.size()) FindKoreanWords(request_, text_, matches_);
    }
    FindPatterns(text_, matches_);
    FindDates(text_, year, matches_);
    if (repeats_) FindRepeats();
  }

  // A piece written two or more times in a row: the piece's own estimate,
  // times the number of times.
  void FindRepeats() {
    const std::string_view p = text_.original();
    int estimated = 0;
    for (size_t i = 0; i + 4 <= p.size() && estimated < kMaxRepeats; ++i) {
      for (size_t k = 2; k <= kMaxWord && i + 2 * k <= p.size(); ++k) {
        if (p[i] != p[i + k] || p.compare(i, k, p.substr(i + k, k)) != 0) continue;
        size_t times = 2;
        while (i + (times + 1) * k <= p.size() &&
               p.compare(i, k, p.substr(i + times * k, k)) == 0) {
          ++times;
        }
        Coverer base(request_, p.substr(i, k), false);
        Estimate inner;
        Piece piece;
        piece.kind = QUARVEL_GUESS_REPEAT;
        piece.rank = static_cast<uint32_t>(times);
        piece.log10 = base.Run(&inner) + Log10Int(times);
        CopyText(piece.word, p.substr(i, k));
        matches_.Add(i, i + times * k, piece);
        ++estimated;
        i += times * k - 1;
        break;
      }
    }
  }

  double Cover(Estimate *out) {
    const size_t n = text_.size();
    // best[j]: the cheapest covering of the first j characters; from[j]
    // the start of its last piece and which match it is (null: brute force).
    double best[kMaxLength + 1];
    uint16_t from[kMaxLength + 1];
    const Match *how[kMaxLength + 1];
    best[0] = 0;
    for (size_t j = 1; j <= n; ++j) {
      best[j] = kInfinity;
      unsigned mask = 0;
      for (size_t i = j; i-- > 0;) {
        // Brute force costs at least 1 a character (digits): once that
        // alone reaches the best, no earlier start can do better.
        if (static_cast<double>(j - i) >= best[j]) break;
        mask |= text_.Class(i);
        const double cost = best[i] + BruteForceCost(mask, j - i) + (i > 0 ? kPieceCharge : 0);
        if (cost < best[j]) {
          best[j] = cost;
          from[j] = static_cast<uint16_t>(i);
          how[j] = nullptr;
        }
      }
      for (const Match *m = matches_.EndingAt(j); m != nullptr; m = matches_.Next(*m)) {
        const double cost = best[m->start] + m->piece.log10 + (m->start > 0 ? kPieceCharge : 0);
        if (cost < best[j]) {
          best[j] = cost;
          from[j] = m->start;
          how[j] = m;
        }
      }
    }
    // The pieces, right to left, then turned around.
    union Pieces {
      Pieces() {}
      ~Pieces() {}
      Piece items[kMaxLength];
    } storage;
    Piece *pieces = storage.items;
    size_t count = 0;
    for (size_t j = n; j > 0; j = from[j]) {
      Piece &piece = pieces[count++];
      if (how[j] != nullptr) {
        piece = how[j]->piece;
      } else {
        piece = Piece{};
        piece.kind = QUARVEL_GUESS_BRUTE_FORCE;
        piece.start = from[j];
        piece.length = static_cast<int>(j - from[j]);
        piece.log10 = BruteForceCost(text_.Mask(from[j], j), j - from[j]);
      }
    }
    std::reverse(pieces, pieces + count);
    out->log10 = std::max(0.0, best[n]);
    out->piece_count = static_cast<int>(std::min<size_t>(count, Estimate::kMaxPieces));
    std::copy(pieces, pieces + out->piece_count, out->pieces);
    SecureWipe(pieces, sizeof(Piece) * count);
    return out->log10;
  }

  const Request &request_;
  Text text_;
  Matches matches_;
  bool repeats_;
};

}  // namespace

Estimate::~Estimate() { SecureWipe(pieces, sizeof(Piece) * piece_count); }

void Estimate::Cap(const Piece &whole) {
  // The same cost reached both ways (a word's rank and its case, say) keeps
  // the covering, whose pieces say more; the margin also keeps the answer
  // from turning on the last bit of log10, which differs between C
  // libraries.
  constexpr double kMargin = 1e-9;
  if (whole.log10 >= log10 - kMargin) return;
  SecureWipe(pieces, sizeof(Piece) * piece_count);
  pieces[0] = whole;
  piece_count = 1;
  log10 = std::max(0.0, whole.log10);
}

void EstimateGuesses(const Request &request, Estimate *out) {
  out->log10 = 0;
  out->piece_count = 0;
  if (request.password.empty()) return;
  Coverer coverer(request, request.password, true);
  coverer.Run(out);
}

void ListPieces(const Request &request,
                const std::function<void(size_t start, size_t end, double log10)> &emit) {
  if (request.password.empty()) return;
  Coverer coverer(request, request.password, true);
  coverer.List(emit);
}

}  // namespace quarvel::estimate
