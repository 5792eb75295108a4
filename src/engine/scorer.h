// Scoring a password in six stages: base score by length and classes,
// distinct characters, repeated pieces, neighbours in sequence
// (measurements.h), the configured dictionaries, hashed lists, context
// words and patterns (dictionary_stage.h, breach_stage.h), the personal
// dictionary (personal_stage.h); then the NIST verdict (nist_verdict.h).
// The match is explained as steps (search/explanation.h), worded into
// match.variant by one formatter. Reentrant: everything a check needs comes
// in through the request, and every copy of the password it makes is wiped
// before it returns.
#ifndef QUARVEL_SRC_ENGINE_SCORER_H_
#define QUARVEL_SRC_ENGINE_SCORER_H_

#include <span>
#include <string_view>

#include "engine/nist.h"
#include "quarvel/engine.h"
#include "search/breach.h"
#include "search/context_words.h"
#include "search/trace_line.h"
#include "search/word_search.h"
#include "store/dictionary.h"

namespace quarvel::engine {

struct ScoringSettings {
  int min_diff = 4;
  int min_step = 3;
  int min_rept = 0;
  int use_min_rept = 0;
  int extended = 0;  // the extended search profile (extended_search.h)
  // A password estimated below this many guesses (log10) is rated at most
  // level 2, when set.
  bool min_guesses_set = false;
  double min_guesses_log10 = 0;
  SearchSettings search;
};

// A dictionary searched by a check.
struct DictionaryRef {
  const char *prefix = "";  // as configured: traced and explained
  int slot = 0;
  const Dictionary *dict = nullptr;
  // The search of this dictionary fails as an unopenable one does, without
  // its failure being reported (the caller reported something else).
  bool fails = false;
};

// A language dictionary ([QUARVEL_LANG]), searched with the extended
// profile after the configured dictionaries: Hangul words through the
// Korean readings (korean_search.h), the others through the variant search
// of the password with its accents folded.
struct LanguageRef {
  DictionaryRef ref;
  bool hangul = false;
};

struct ScoreRequest {
  const ScoringSettings *settings = nullptr;
  std::span<const DictionaryRef> dictionaries;  // stage 5, in slot order
  const DictionaryRef *profile = nullptr;       // stage 6; nullptr: not used
  const ContextWords *context = nullptr;        // searched after stage 5's dictionaries
  std::span<const LanguageRef> languages;       // stage 5 with the extended profile
  bool korean_keyboard = false;                 // letters read as two-set keys
  std::span<const BreachRef> breaches;          // stage 5, after the dictionaries
  uint64_t breach_min_count = 1;                // fewest occurrences that count
  // The NIST SP 800-63B verdict is filled in when set (not by VerifyPW).
  const NistSettings *nist = nullptr;
  TraceSink trace;
  // Called when a dictionary that cannot be opened is searched (it counts as
  // found); may be null.
  void (*unreadable)(const Dictionary &dict) = nullptr;
};

// The first bytes of password up to a NUL are its text: answers the length
// of that text, or 0 when it is refused (empty, or longer than 257 bytes).
size_t AcceptedLength(const char *password, size_t length);

// Scores password (of AcceptedLength bytes) into result, which has been
// checked to be large enough. The NIST verdict is written when
// request.nist is set, the reasons and the steps only when result->size
// covers them. Answers result->code.
int Score(const ScoreRequest &request, std::string_view password, quarvel_result *result);

// Fills result for a refused check: code, and the answer "RET_CD=<code>".
int Refuse(int code, quarvel_result *result);

// The number of pieces of piece_length characters from the first half of
// text that occur more than once in it (RepeteChar's count).
int CountRepeatedPieces(std::string_view text, int piece_length);

// How often piece occurs in text, overlaps included; 0 when exactly once.
int CountOccurrences(std::string_view text, std::string_view piece);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_SCORER_H_
