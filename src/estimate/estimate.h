// The guess estimate: how many guesses an attacker needs for a password,
// as the cheapest covering of it by pieces attackers use (dictionary words
// at their rank with their transformations, context words, keyboard walks,
// sequences, runs and repeated pieces, dates and years, brute force for the
// rest). Dynamic programming over the positions of the password finds the
// cheapest covering; pieces that cost at least the brute force of their
// own span are never kept, and every search is bounded, so a check costs
// about the same whatever the password.
#ifndef QUARVEL_SRC_ESTIMATE_ESTIMATE_H_
#define QUARVEL_SRC_ESTIMATE_ESTIMATE_H_

#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <string_view>

#include "quarvel/engine.h"
#include "search/context_words.h"
#include "search/korean_search.h"
#include "store/dictionary.h"

namespace quarvel::estimate {

// Each piece after the first costs this many guesses more (log10): the
// attacker must also guess how the password is put together.
inline constexpr double kPieceCharge = 1.0;

class WordIndex;

struct DictionarySource {
  const engine::Dictionary *dict = nullptr;
  int slot = 0;  // 0 to 7, 8 for the personal dictionary
  // Searched instead of dict's own index when set.
  const WordIndex *index = nullptr;
};

// A language dictionary. Its Latin words are looked up as whole runs of
// letters of the password (accents folded, in lower case); its Hangul words
// as the Korean readings of the password, which the check's search made.
struct LanguageSource {
  const engine::Dictionary *dict = nullptr;
  bool hangul = false;
};

struct Request {
  std::string_view password;  // as given
  std::span<const DictionarySource> dictionaries;
  std::span<const LanguageSource> languages;
  engine::KoreanSearch *korean = nullptr;  // the readings of password, for Hangul dictionaries
  const engine::ContextWords *context = nullptr;
  int reference_year = 0;  // 0: the current year
};

struct Piece {
  int kind = 0;  // QUARVEL_GUESS_*
  int start = 0;
  int length = 0;
  unsigned transforms = 0;
  uint32_t rank = 0;
  int slot = -1;
  double log10 = 0;
  char word[32] = {};

  // The word is a form of the password.
  ~Piece() { explicit_bzero(word, sizeof(word)); }
  Piece() = default;
  Piece(const Piece &) = default;
  Piece &operator=(const Piece &) = default;
};

// The estimate and its covering (the first kMaxPieces pieces of it).
struct Estimate {
  static constexpr int kMaxPieces = QUARVEL_MAX_PIECES;
  double log10 = 0;
  int piece_count = 0;
  union {
    Piece pieces[kMaxPieces];  // the first piece_count are set
  };

  Estimate() {}
  ~Estimate();
  Estimate(const Estimate &) = delete;
  Estimate &operator=(const Estimate &) = delete;

  // Replaces the covering by one piece over the whole password when that
  // piece is cheaper (by more than rounding).
  void Cap(const Piece &whole);
};

// Estimates request.password into out. Never throws; a dictionary whose
// index cannot be made (memory ran out) is left out.
void EstimateGuesses(const Request &request, Estimate *out);

// Hands each piece a covering of request.password may use to emit, with
// its span and cost: every match found, and brute force over every span.
// The covering is the cheapest sequence of them (each piece after the
// first charged kPieceCharge); this lists them for a model to check that.
void ListPieces(const Request &request,
                const std::function<void(size_t start, size_t end, double log10)> &emit);

}  // namespace quarvel::estimate

#endif  // QUARVEL_SRC_ESTIMATE_ESTIMATE_H_
