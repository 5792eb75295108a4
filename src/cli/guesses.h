// The quarvel command's English for the guess estimate of a result
// (quarvel/engine.h, "Guess estimate"): the number of guesses, the time each
// attack takes, the pieces, and the warning and suggestions, whose texts
// come from the library's catalogue. Names of codes come from the catalogue
// too (quarvel_guess_name, quarvel_warning_name, ...).
#ifndef QUARVEL_SRC_CLI_GUESSES_H_
#define QUARVEL_SRC_CLI_GUESSES_H_

#include <span>
#include <string>
#include <string_view>

#include "quarvel/engine.h"

namespace quarvel::cli {

// Whether the record's size covers the estimate.
bool HasEstimate(const quarvel_result &result);

// The pieces and suggestions a record holds (none without the estimate).
std::span<const quarvel_guess_piece> PiecesOf(const quarvel_result &result);
std::span<const int> SuggestionsOf(const quarvel_result &result);

// A time for a person, rounded: "instant" below a second, "1 second",
// "40 minutes", "3 days", "5 months", "12 years", "centuries" from 100 years.
std::string HumanDuration(double seconds);

// "about 10^5.2 guesses".
std::string GuessesText(const quarvel_result &result);

// A catalogue name for a person: "offline_fast_hash" as "offline fast hash".
std::string Spoken(std::string_view name);

// "about 10^5.2 guesses; online: 3 days, offline fast hash: instant", with
// the times of the attacks given (QUARVEL_ATTACK_*), in that order.
std::string EstimateText(const quarvel_result &result, std::span<const int> attacks);

// A piece for a person: "bytes 1-8: dictionary word 'password' (rank 2,
// capitalised), 10^0.6 guesses". dictionary names slot N (8: the personal
// dictionary).
std::string PieceText(const quarvel_guess_piece &piece, std::string_view dictionary);

// Appends a line for the warning, when there is one, and for each
// suggestion, in the catalogue's English: the label, the text, a line feed.
void AppendAdviceTexts(std::string &out, const quarvel_result &result,
                       std::string_view warning_label, std::string_view suggestion_label);

// --min-guesses: a graded password estimated below min_log10 and rated
// above level 2 is rated level 2, with a reason QUARVEL_REASON_FEW_GUESSES
// of stage 0 and RT_LEVEL=2 in the answer, as the library gives them for
// quarvel_search.min_guesses_log10. True when it capped.
bool CapByGuesses(quarvel_result &result, double min_log10);

}  // namespace quarvel::cli

#endif  // QUARVEL_SRC_CLI_GUESSES_H_
