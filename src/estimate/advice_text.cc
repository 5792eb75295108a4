// The catalogue of the estimate's words: the English of each warning and
// suggestion, and the stable names of every code. Front ends show these or
// their own translations of them, looked up by code.

#include <cstddef>

#include "estimate/advice.h"

namespace quarvel::estimate {
namespace {

struct Entry {
  const char *name;
  const char *text;
};

constexpr Entry kWarnings[QUARVEL_WARNING_COUNT] = {
    {"", ""},
    {"top_password", "This is one of the most common passwords."},
    {"common_password", "This is a common password."},
    {"common_variant", "This is a common password with small changes, which attackers try too."},
    {"common_with_affix", "This is a common password with digits or symbols added."},
    {"single_word", "A single word is easy to guess, even with capitals or symbols."},
    {"common_words", "A few common words together are still easy to guess."},
    {"keyboard_pattern", "Keys next to each other on the keyboard are easy to guess."},
    {"repeat", "Repeated characters or words add little."},
    {"sequence", "Sequences such as abc or 6543 are easy to guess."},
    {"date", "Dates and years are easy to guess."},
    {"personal_info", "It contains your name or other details about you."},
    {"leaked", "This password has appeared in a leak of passwords."},
    {"too_short", "It is short enough to try every possibility."},
};

constexpr Entry kSuggestions[QUARVEL_SUGGESTION_COUNT] = {
    {"", ""},
    {"add_words", "Add another word or two; uncommon words are better."},
    {"longer", "Make it longer: length adds more than symbols do."},
    {"avoid_common", "Avoid common passwords and small changes to them."},
    {"capitals_inside", "Capitalise letters inside the password, not just the first."},
    {"all_capitals", "All capitals are barely harder to guess than none."},
    {"predictable_substitutions", "Symbols written for letters, such as @ for a, are tried early."},
    {"reversed_words", "Words written backwards are barely harder to guess."},
    {"avoid_repeats", "Avoid repeated characters and words."},
    {"avoid_sequences", "Avoid sequences of letters or digits."},
    {"keyboard_turns", "Avoid keyboard patterns, or make them long with many turns."},
    {"avoid_dates", "Avoid dates and years, above all those linked to you."},
    {"avoid_personal", "Avoid your name, user name and e-mail address."},
    {"passphrase", "Four or more random words make a strong password that is easy to remember."},
    {"change_leaked", "Choose a new password: leaked passwords are the first ones tried."},
};

constexpr const char *kPieces[] = {"",       "dictionary",    "context",
                                   "repeat", "keyboard_walk", "sequence",
                                   "date",   "year",          "brute_force"};
constexpr const char *kTransforms[] = {"capitalised", "uppercased", "mixed_case",
                                       "leet",        "reversed",   "shifted"};
constexpr const char *kAttacks[QUARVEL_ATTACKS] = {"online_throttled", "online",
                                                   "offline_slow_hash", "offline_fast_hash"};

template <size_t N>
const Entry *Find(const Entry (&table)[N], int code) {
  return code >= 0 && static_cast<size_t>(code) < N ? &table[code] : nullptr;
}

}  // namespace

const char *WarningText(int code) {
  const Entry *e = Find(kWarnings, code);
  return e != nullptr ? e->text : "";
}
const char *WarningName(int code) {
  const Entry *e = Find(kWarnings, code);
  return e != nullptr ? e->name : "";
}
const char *SuggestionText(int code) {
  const Entry *e = Find(kSuggestions, code);
  return e != nullptr ? e->text : "";
}
const char *SuggestionName(int code) {
  const Entry *e = Find(kSuggestions, code);
  return e != nullptr ? e->name : "";
}
const char *PieceName(int kind) {
  return kind > 0 && static_cast<size_t>(kind) < std::size(kPieces) ? kPieces[kind] : "";
}
const char *TransformName(unsigned bit) {
  for (size_t i = 0; i < std::size(kTransforms); ++i) {
    if (bit == (1u << i)) return kTransforms[i];
  }
  return "";
}
const char *AttackName(int attack) {
  return attack >= 0 && attack < QUARVEL_ATTACKS ? kAttacks[attack] : "";
}

}  // namespace quarvel::estimate
