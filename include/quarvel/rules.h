/* Word-mangling rules and the text transformations behind them.
 *
 * Every transformation that returns a new string writes it into a 1024-byte
 * area of its own and returns a pointer to it; the result stays valid until
 * the next call of the same function. Results hold at most 1023 characters:
 * longer inputs and results are cut to 1023. Character classes and case
 * mapping are ASCII-only, whatever the process locale. Not thread-safe.
 *
 * A rule is a text of one-character commands with one-character arguments,
 * for example "/$s$s" (require a '$', then turn every '$' into 's'). Mangle
 * applies a rule to a word and returns the result, or NULL when the rule
 * rejects the word, the result is empty, or the rule is malformed (then with
 * a message beginning "Mangle: " on standard error). A test of the character
 * at a place the word does not reach ('(' on an empty word, '=' at or past
 * the end) rejects. Mangle edits its own area only: the results of the other
 * functions stay as they were, and the word or the rule may be any of them,
 * including Mangle's own last result.
 *
 * A NULL string reads as the empty string, except that Mangle answers NULL
 * for a NULL word or rule and PolyStrchr answers NULL for a NULL string.
 */
#ifndef QUARVEL_RULES_H_
#define QUARVEL_RULES_H_

#include "quarvel/export.h"

QUARVEL_BEGIN_DECLS

/* Applies the rule control to input; NULL when rejected. */
QUARVEL_EXPORT char *Mangle(const char *input, const char *control) QUARVEL_NOEXCEPT;

/* 1 when character input belongs to the class named by the letter clazz
 * ('a' letters, 'c' consonants, 'd' digits, 'l' lower case, 'p' punctuation,
 * 's' symbols, 'u' upper case, 'v' vowels, 'w' blank and tab, 'x' letters and
 * digits; upper case names the complement; '?' matches only '?'), else 0.
 * NUL belongs to no class, hence to every complement. An unknown class letter
 * never matches and writes "MatchClass: unknown class %c" to standard error. */
QUARVEL_EXPORT int MatchClass(char clazz, char input) QUARVEL_NOEXCEPT;

/* Pointer to the first character of string in class clazz, or NULL. */
QUARVEL_EXPORT char *PolyStrchr(const char *string, char clazz) QUARVEL_NOEXCEPT;

/* string with every character of class clazz replaced by replacement. */
QUARVEL_EXPORT char *PolySubst(const char *string, char clazz, char replacement) QUARVEL_NOEXCEPT;

/* string with every character of class clazz removed. */
QUARVEL_EXPORT char *PolyPurge(const char *string, char clazz) QUARVEL_NOEXCEPT;

/* 1 when string has the length of control and each of its characters is in
 * the class named by the character of control at the same place, else 0. */
QUARVEL_EXPORT int PMatch(const char *control, const char *string) QUARVEL_NOEXCEPT;

/* '0'..'9' give 0..9, 'a'..'z' and 'A'..'Z' give 10..35, anything else -1. */
QUARVEL_EXPORT int Char2Int(char character) QUARVEL_NOEXCEPT;

/* 0 when word is longer than suffix and ends with it; -1 when word is not
 * longer than suffix; otherwise the strcmp of word's tail with suffix. */
QUARVEL_EXPORT int Suffix(const char *word, const char *suffix) QUARVEL_NOEXCEPT;

QUARVEL_EXPORT char *Reverse(const char *string) QUARVEL_NOEXCEPT;
QUARVEL_EXPORT char *Uppercase(const char *string) QUARVEL_NOEXCEPT;
QUARVEL_EXPORT char *Lowercase(const char *string) QUARVEL_NOEXCEPT;
/* Lower-cases every letter, then upper-cases a lower-case first character. */
QUARVEL_EXPORT char *Capitalise(const char *string) QUARVEL_NOEXCEPT;
/* English plural: +es after ch/ex/ix/sh/ss, y -> ies after a consonant,
 * +es after s, otherwise +s. */
QUARVEL_EXPORT char *Pluralise(const char *string) QUARVEL_NOEXCEPT;
/* string with every old_char replaced by new_char. */
QUARVEL_EXPORT char *Substitute(const char *string, char old_char, char new_char) QUARVEL_NOEXCEPT;
/* string with every target removed. */
QUARVEL_EXPORT char *Purge(const char *string, char target) QUARVEL_NOEXCEPT;

QUARVEL_END_DECLS

#endif /* QUARVEL_RULES_H_ */
