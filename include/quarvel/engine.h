/* The engine: reentrant verification for services.
 *
 * An environment (quarvel_env) is opened from a root folder laid out like
 * the console's working folder:
 *
 *   <root>/conf/quarvel.ini      the configuration
 *   <root>/dicts/default_dict    the default dictionary (slot 0)
 *   <root>/dicts/profile         the personal dictionary, searched when it opens
 *
 * Dictionary prefixes named in the configuration that are relative resolve
 * against the root. The environment holds an immutable snapshot of the
 * settings and of the dictionaries, decoded in memory. quarvel_check takes
 * a reference to the current snapshot, takes no lock, and never writes to a
 * standard stream; any number of threads may check with one environment at
 * once. quarvel_reload and quarvel_build publish a new snapshot atomically:
 * a check in flight finishes on the snapshot it started with, and a snapshot
 * is released when its last check is done.
 *
 * Dictionaries replaced on disk by another process are picked up without a
 * reload: a check looks at the files' status at most once every
 * QUARVEL_REVALIDATE_MS milliseconds, so a replaced dictionary is searched
 * at the latest that long (plus the time to read it) after its files were
 * renamed into place. Until then, checks use the dictionary they had.
 *
 * Dictionaries rewritten in place: a dictionary whose data file is above
 * 4 MiB is served from read-only memory maps of its files (with its filter,
 * PREFIX.pwf), and hashed lists are mapped too. When another process
 * shrinks such a file while it is mapped (truncate(1), PWOpen with "wb",
 * an editor saving in place), the pages past its new end are gone, and
 * reading one raises SIGBUS, which by default ends the process. The library
 * recovers from these faults itself, the same way in a command, in passwd
 * under PAM, in a JVM and in a web worker:
 *
 *   - The first time it maps a file, it installs a SIGBUS handler, once per
 *     process (SA_SIGINFO | SA_ONSTACK | SA_RESTART; SA_ONSTACK because some
 *     hosts, Go among them, run threads on small stacks).
 *   - The handler takes a fault only when its address lies in one of the
 *     library's own maps. It marks that map, replaces the map's pages from
 *     the faulting one on with zero pages, and returns: the read is made
 *     again and sees zeros. It jumps nowhere, so no frame, destructor or lock
 *     of the interrupted thread is skipped, and other threads are untouched.
 *     Every read of a map is bounded by the map's size, so zeros are just
 *     one more damaged file.
 *   - A check whose search met such a fault counts that dictionary as
 *     unreadable (QUARVEL_MATCH_UNREADABLE, QUARVEL_REASON_UNREADABLE: the
 *     point is lost, as for a dictionary that does not open; VerifyPW
 *     answers the same, and DictFindPW answers "1001"); a check that met
 *     none answers from the words it had. The next check opens the
 *     dictionary again from its files, and serves it once they are whole.
 *     A hashed list that met such a fault answers from the pages it kept
 *     (keys on lost pages count as absent) until quarvel_reload.
 *   - Any other SIGBUS goes where it went before: to the handler that was
 *     installed before the library's (called with or without siginfo, as it
 *     was installed, under its own signal mask), or, when that was the
 *     default action or ignored, it ends the process as it would have.
 *
 * A host that installs its own SIGBUS handler after the library has mapped a
 * file should chain to the one it replaces, as signal-chaining hosts do
 * (HotSpot's -Xcheck:jni notices the library's handler and says so); one that
 * does not gets the old behaviour back for those faults. A copy of each
 * block read with pread would need no handler, but costs system calls per
 * check and cannot serve the filter, which is read in place and prefetched;
 * a handler that jumps out with siglongjmp would abandon the frames of the
 * search halfway. Replacing a dictionary by renaming new files into place,
 * as quarvel_build, CreateDict and `quarvel build` do in a folder that takes
 * new files, never faults.
 *
 * Records: every record starts with its own size. Set it to sizeof the
 * record before passing the record in (QUARVEL_RESULT_INIT does that for a
 * result); the library refuses a record smaller than the first version it
 * knows, and never writes beyond the size given.
 *
 * Password material: the library wipes every copy it makes of a password or
 * of a variant of it before the call returns, on the stack and on the heap.
 * The result the caller passes in holds the matched dictionary word and the
 * answer text; wiping it is the caller's business.
 */
#ifndef QUARVEL_ENGINE_H_
#define QUARVEL_ENGINE_H_

#include <stddef.h>
#include <stdint.h>

#include "quarvel/export.h"

QUARVEL_BEGIN_DECLS

/* Largest delay, in milliseconds, before a check sees a dictionary that was
 * replaced on disk. */
#define QUARVEL_REVALIDATE_MS 5

/* Result codes of quarvel_check and quarvel_check_context: 0, or the code
 * of the answer text "RET_CD=NNNN". */
#define QUARVEL_OK 0
#define QUARVEL_BAD_PASSWORD 2000 /* empty, or longer than 257 bytes */
#define QUARVEL_NO_ENV 2001       /* env is NULL */
#define QUARVEL_BAD_ARGUMENT 2002 /* result is NULL or its size too small */
#define QUARVEL_NO_MEMORY 2003    /* memory ran out (also from quarvel_reload; VerifyPW answers
                                   * "RET_CD=2003" then) */
#define QUARVEL_TOO_LONG 2009     /* the answer would exceed 1023 characters */

/* Kinds of match. */
#define QUARVEL_MATCH_NONE 0
#define QUARVEL_MATCH_DICTIONARY 1 /* a configured dictionary (slot 0 to 7) */
#define QUARVEL_MATCH_PERSONAL 2   /* the personal dictionary */
#define QUARVEL_MATCH_CONTEXT 3    /* a context word (quarvel_check_context) */
#define QUARVEL_MATCH_UNREADABLE 4 /* a dictionary that could not be read counts as found */
#define QUARVEL_MATCH_PATTERN 5    /* extended profile: a keyboard walk, sequence, run or date */
#define QUARVEL_MATCH_BREACH 6     /* a hashed leaked-password list (see below) */

/* How the password was turned into the stored word, one bit each. */
#define QUARVEL_VARIANT_LOWERCASED 0x01 /* upper-case letters were lowered */
#define QUARVEL_VARIANT_REVERSED 0x02   /* the password was reversed */
#define QUARVEL_VARIANT_RULE 0x04       /* a mangling rule other than ":" applied */
#define QUARVEL_VARIANT_SUFFIX 0x08     /* the stored word is the password and a number */
#define QUARVEL_VARIANT_PREFIX 0x10     /* the stored word is a number and the password */
/* Bits of hits of the extended search profile (see below). */
#define QUARVEL_VARIANT_LEET 0x20     /* characters read as the letters they stand for */
#define QUARVEL_VARIANT_DOUBLED 0x40  /* the password was the word written twice */
#define QUARVEL_VARIANT_INSIDE 0x80   /* the word makes at least half of the password */
#define QUARVEL_VARIANT_EXTENDED 0x100 /* found by the extended search profile */
#define QUARVEL_VARIANT_CUT_END 0x200   /* digits, a year, a date or symbols cut from the end */
#define QUARVEL_VARIANT_CUT_START 0x400 /* the same cut from the start */
/* With the extended profile, stage 1 counts the characters of a password
 * whose measured bytes are valid UTF-8 (사랑해 is 3 long, not 9), and the
 * base score follows that length; the standard profile counts bytes. */

/* The extended search profile: quarvel_search.extended=1 in
 * [QUARVEL_SEARCH] (0, the default, leaves every answer and trace line as
 * without it). In each dictionary, after the usual passes found nothing, it
 * undoes what people do to a word: up to four digits, a year, a date or a
 * few symbols cut from either end, a wider leet alphabet read with its
 * ambiguities ('@' 'a', '7' 't', '!' 'i' or 'l', '|' 'l' or 'i', '+' 't',
 * '8' 'b', '9' 'g', '6' 'g' or 'b', ...), reversal, a word written twice,
 * and a word of 5 or more characters that makes at least half of a longer
 * password. A password that is a keyboard walk, a sequence, a run of one
 * character or a date (or up to three such pieces) is a match of kind
 * QUARVEL_MATCH_PATTERN, named in match.variant ("keyboard walk 'qwerty'",
 * "date 1987-06-14"). Either counts as a dictionary hit (the dictionary
 * stage loses its point; DICT_FD_CNT as found). With the profile on, a
 * password found in the dictionary stage or in the personal dictionary is
 * rated at most level 2: one lost point would leave a disguised word in a
 * long password at level 3 or 4. match.affix stays "" for its hits: the
 * variant names what was cut. A check searches at most a few hundred more
 * candidates per dictionary, whatever the password. */

/* Languages: [QUARVEL_LANG] names language dictionaries, searched with the
 * extended profile only, in the dictionary stage after the configured
 * dictionaries (and before the hashed lists), in this order:
 *   lang.ko            Korean words in Hangul (quarvel_build_language "ko")
 *   lang.ko.romanised  the same words romanised (built beside it, _roman)
 *   lang.de, lang.fr, lang.es, lang.it, lang.pt  words stored lower-cased
 *                      with their accents folded
 * and lang.ko.keyboard (default 1) switches on the reading of letters as
 * keys of the two-set Korean keyboard. A key left empty, or naming a
 * dictionary whose files are absent, adds nothing; one whose files cannot be
 * opened fails the load (1003, naming the key). The Korean dictionary is
 * searched with the Korean readings of the password (the letters between
 * digits and symbols at either end, making at least half of it, read as
 * two-set keys as typed and with the case ignored, composed into two or more
 * syllables; Hangul as given, with its jamo composed; the first half of a
 * word written twice; in Hangul, a word of two or more syllables making at
 * least half of them at either end); at most 32 lookups. The others are
 * searched with the first 24 candidates of the extended profile's search,
 * its most likely readings (the word as given, with what was added around
 * it cut, reversed, written twice, the first leet readings); the rule table
 * and the numeric affixes are not tried there. A hit is a dictionary hit
 * (the stage loses its point; each searched counts in DICT_FD_CNT) with
 * match.kind QUARVEL_MATCH_DICTIONARY, match.slot -1 and match.prefix the
 * language's prefix as configured; the trace shows it as a dictionary. The
 * NIST blocklist does not count them. VerifyPW searches the languages that
 * LoadConfigFile read, with the extended profile on. */

/* Hashed leaked-password lists: [QUARVEL_BREACH] breach.file.prefix.1 to
 * breach.file.prefix.8 name hashed dictionaries (<prefix>.hsh, built by
 * quarvel_build_hashed), breach.min_count (default 1) the fewest
 * occurrences that count. With none configured nothing changes. Each one is
 * searched in the dictionary stage after the configured dictionaries (and
 * before the context words): first the password's SHA-1 exactly as given
 * (every byte, its case too), then the SHA-1 of each candidate the variant
 * search makes of its searched form (the rule table, reversed, the numeric
 * affixes, and with the extended profile its candidates). A hit is a
 * dictionary hit: the stage loses its point, and each list counts in
 * DICT_FD_CNT as a dictionary does (searched lists, plus one when none
 * found it). The trace shows, for each list searched,
 *   [BreachFindPW][LIST=<prefix>]
 * then the search's own pass lines, then
 *   [INFO]BREACH SEARCH FILE_NAME <prefix> FOUND   (or ", NOT FOUND").
 * A list that cannot be opened fails the environment's load (1003). Lists
 * are mapped, not decoded; one replaced on disk is read again at
 * quarvel_reload, or at once when quarvel_build_hashed rebuilds it through
 * the environment (checks in flight keep the map they started with).
 * VerifyPW searches the lists that LoadConfigFile read (relative to the
 * working folder), with the same trace; LoadConfigFile's USE_DICT_CNT does
 * not count them. This build may lack SHA-1 (see quarvel_build_hashed).
 * match.kind is QUARVEL_MATCH_BREACH, match.slot the list's number (1 to
 * 8), match.prefix its prefix, match.word the text whose hash matched, and
 * result.breach_count the occurrences the list gives for it. */

/* Explanations as data.
 *
 * Beside the English of match.variant, a result whose size covers them
 * holds the same explanation as codes, so that a front end can word it in
 * its own language or style and no program has to parse English. The
 * library words match.variant from exactly these steps: the English given
 * with each step code below is what it writes for it, the phrases joined
 * by ", ", and "as given" when no step says anything.
 *
 * reason_count and reasons are written when size covers reasons (they are
 * 0 and zeros otherwise: every size from QUARVEL_RESULT_V1_SIZE up is
 * accepted), step_count and match_steps when size covers match_steps.
 *
 * Reasons: one entry per point lost in stages 2 to 6, in stage order; then,
 * last, one of stage 0 when the extended profile capped the level. Stage 1
 * gives the base score and loses no point. The codes are stable; so are
 * the names in parentheses, which the JSON output of the quarvel command and
 * the Python and Java bindings use. */
#define QUARVEL_MAX_REASONS 8
#define QUARVEL_REASON_FEW_DISTINCT 1 /* ("few_distinct") stage 2: value distinct characters, fewer than limit */
#define QUARVEL_REASON_REPEATS 2      /* ("repeats") stage 3: value repeated pieces, more than limit */
#define QUARVEL_REASON_SEQUENCES 3    /* ("sequences") stage 4: value neighbours in sequence, more than limit */
#define QUARVEL_REASON_DICTIONARY 4   /* ("dictionary") stage 5: a configured dictionary holds it (match) */
#define QUARVEL_REASON_BREACH 5       /* ("breach") stage 5: a leaked-password list holds it (match, breach_count) */
#define QUARVEL_REASON_CONTEXT 6      /* ("context") stage 5: close to a context word (match) */
#define QUARVEL_REASON_PATTERN 7      /* ("pattern") stage 5: a keyboard walk, sequence, run or date (match) */
#define QUARVEL_REASON_UNREADABLE 8   /* ("unreadable") stage 5 or 6: a dictionary that cannot be read counts as found */
#define QUARVEL_REASON_PERSONAL 9     /* ("personal") stage 6: the personal dictionary holds it */
#define QUARVEL_REASON_FEW_GUESSES 11 /* ("few_guesses") stage 0: estimated below
                                       * quarvel_search.min_guesses_log10, rated at most level
                                       * limit (2); value is the level the score gave */
#define QUARVEL_REASON_LEVEL_CAPPED 10 /* ("level_capped") stage 0: the extended profile rated a
                                        * password it found at most level limit (2); value is the
                                        * level the score gave */

typedef struct quarvel_reason {
  int stage;  /* 2 to 6; 0 for QUARVEL_REASON_LEVEL_CAPPED */
  int code;   /* QUARVEL_REASON_* */
  int points; /* points lost (0 for QUARVEL_REASON_LEVEL_CAPPED) */
  int value;  /* what was measured, for the codes that say so; else 0 */
  int limit;  /* the setting it went past, for the codes that say so; else 0 */
} quarvel_reason;

/* Steps: how the password (its searched form) was turned into match.word,
 * in the order the search applied them, for a match of any kind but
 * QUARVEL_MATCH_UNREADABLE (which has none, and no match.variant). No step
 * means "as given" (a breach hit on the password's own bytes has none).
 * The fields piece, count, count2 and arg are used as each code says, and
 * are 0 or "" otherwise; arg holds at most 63 bytes (a longer pattern
 * piece is cut; match.variant shows up to 191 characters of it).
 *
 * A hit of the variant search (the rule table, reversed, the numeric
 * affixes) starts with QUARVEL_STEP_LOWERCASED when the password had
 * upper-case letters; then, for a rule, QUARVEL_STEP_REVERSED when the
 * password was read backwards and QUARVEL_STEP_RULE with the rule's own
 * steps (none for ":", the rule that changes nothing); for an affix,
 * QUARVEL_STEP_SUFFIX or _PREFIX, then QUARVEL_STEP_REVERSED when the
 * affixed word was read backwards. A hit of the extended profile starts
 * with one of QUARVEL_STEP_LOWERCASED, _CAPITALISED and _UPPERCASED when
 * the password had upper-case letters; then REVERSED, READ_AS and DROPPED
 * (left to right), DOUBLED, and INSIDE or the CUT_START then CUT_END
 * steps. A match of kind QUARVEL_MATCH_PATTERN has one to three
 * QUARVEL_STEP_PATTERN steps, left to right. A hit of the extended
 * profile's own search on a password with accented letters starts with
 * QUARVEL_STEP_ACCENTS_FOLDED (that search reads them folded; the passes
 * before it and stages 3 and 4 read them as given). A hit of the Korean
 * readings in a language dictionary ([QUARVEL_LANG], below) has, in order,
 * the case step (for letters read with their case ignored), TYPED_LATIN
 * (letters read as Korean keys), DOUBLED, INSIDE (counted in syllables),
 * then CUT_START and CUT_END.
 *
 * Codes with their English in match.variant (X, Y: characters; N, M:
 * numbers; A: arg): */
#define QUARVEL_MAX_STEPS 24
#define QUARVEL_STEP_LOWERCASED 1   /* ("lowercased") upper-case letters were lowered: "lower-cased" */
#define QUARVEL_STEP_CAPITALISED 2  /* ("capitalised") the capital first letter, the only one, was
                                     * lowered (extended profile): "capitalised" */
#define QUARVEL_STEP_UPPERCASED 3   /* ("uppercased") the password of capitals only (two or more)
                                     * was lowered (extended profile): "upper-cased" */
#define QUARVEL_STEP_REVERSED 4     /* ("reversed") read backwards: "reversed" */
#define QUARVEL_STEP_RULE 5         /* ("rule") mangling rule number count (0 to 360) of the rule
                                     * table, its text arg ("]]", "/0s0o"); no words of its own: the
                                     * steps after it, the last of the hit, say what it did (one of
                                     * CUT_FIRST, CUT_LAST, the three _REMOVED, or one to three
                                     * READ_AS) */
#define QUARVEL_STEP_CUT_FIRST 6    /* ("cut_first") the first count characters removed:
                                     * "first N character(s) removed" */
#define QUARVEL_STEP_CUT_LAST 7     /* ("cut_last") the last count characters removed:
                                     * "last N character(s) removed" */
#define QUARVEL_STEP_PUNCTUATION_REMOVED 8 /* ("punctuation_removed") "punctuation removed" */
#define QUARVEL_STEP_SYMBOLS_REMOVED 9     /* ("symbols_removed") "symbols removed" */
#define QUARVEL_STEP_NON_ALNUM_REMOVED 10  /* ("non_alnum_removed") every character but letters and
                                            * digits: "non-alphanumeric characters removed" */
#define QUARVEL_STEP_READ_AS 11     /* ("read_as") arg[0] read as the letter arg[1] ("0o": '0' as
                                     * 'o'): "'X' read as 'Y'" */
#define QUARVEL_STEP_DROPPED 12     /* ("dropped") the character arg[0] dropped (extended profile):
                                     * "'X' dropped" */
#define QUARVEL_STEP_SUFFIX 13      /* ("suffix") the stored word is the password and the number arg
                                     * (match.affix): "suffix A" */
#define QUARVEL_STEP_PREFIX 14      /* ("prefix") the stored word is the number arg and the password:
                                     * "prefix A" */
#define QUARVEL_STEP_DOUBLED 15     /* ("doubled") the password was the word written twice:
                                     * "written twice" */
#define QUARVEL_STEP_INSIDE 16      /* ("inside") the word makes at least half of the password, with
                                     * count characters before it and count2 after:
                                     * "inside the password (N before, M after)" */
#define QUARVEL_STEP_CUT_START 17   /* ("cut_start") piece arg cut from the start; an affix of two
                                     * groups ("12!!") is two such steps in a row, one phrase:
                                     * "<piece> and <piece> cut from the start" */
#define QUARVEL_STEP_CUT_END 18     /* ("cut_end") piece arg cut from the end; the same:
                                     * "year 2024 and '!' cut from the end" */
#define QUARVEL_STEP_PATTERN 19     /* ("pattern") a match of kind QUARVEL_MATCH_PATTERN is made of
                                     * piece arg; up to three such steps:
                                     * "keyboard walk 'qwerty', date 1987-06-14" */
#define QUARVEL_STEP_TYPED_LATIN 20 /* ("typed_latin") the letters were typed with the keyboard in
                                     * Latin mode for the Korean word arg, on the two-set layout
                                     * (extended profile, [QUARVEL_LANG]): "the Korean word A typed
                                     * on a Latin keyboard" */
#define QUARVEL_STEP_ACCENTS_FOLDED 21 /* ("accents_folded") letters with accents read without
                                        * them, and 'ß' as "ss" (extended profile): "accents
                                        * removed" */

/* What a piece is, with its words in match.variant. A cut piece is a date,
 * a year, digits or symbols; a pattern piece any of them but a year. */
#define QUARVEL_PIECE_DIGITS 1        /* ("digits") arg the digits: "digits A" */
#define QUARVEL_PIECE_YEAR 2          /* ("year") arg the year, "1900" to "2099": "year A" */
#define QUARVEL_PIECE_DATE 3          /* ("date") arg the date read, as "YYYY-MM-DD": "date A" */
#define QUARVEL_PIECE_SYMBOLS 4       /* ("symbols") arg the symbols: "'A'" cut, "symbols 'A'" in a
                                       * pattern */
#define QUARVEL_PIECE_KEYBOARD_WALK 5 /* ("keyboard_walk") arg the keys: "keyboard walk 'A'" */
#define QUARVEL_PIECE_SEQUENCE 6      /* ("sequence") arg the characters, "abcd", "97531":
                                       * "sequence 'A'" */
#define QUARVEL_PIECE_RUN 7           /* ("run") arg one character repeated: "run 'A'" */

typedef struct quarvel_step {
  int code;     /* QUARVEL_STEP_* */
  int piece;    /* QUARVEL_PIECE_* */
  int count;    /* a number, as the code says */
  int count2;   /* a second number, as the code says */
  char arg[64]; /* a text, as the code says; NUL-terminated */
} quarvel_step;

/* Guess estimate.
 *
 * A result whose size covers guesses_log10 (QUARVEL_RESULT_INIT gives it)
 * also holds an estimate of how many guesses an attacker needs: the
 * cheapest way to produce the password from the parts attackers use. The
 * password (its first 64 bytes; each byte after them counts as a guess of
 * its character class) is covered by pieces, left to right; the estimate is
 * the smallest, over the coverings, of the product of the pieces' guesses
 * times 10 for each piece after the first. The pieces:
 *   QUARVEL_GUESS_DICTIONARY  a word of a configured dictionary (or of the
 *                             personal dictionary) at its rank: the words an
 *                             attacker tries before it. A dictionary built
 *                             with ranks (quarvel build --ranked) keeps each
 *                             word's position in its source lists; in
 *                             another every word ranks at its word count.
 *                             Times the ways to choose its transformations:
 *                             capitals (first letter, all, or which few),
 *                             characters written for letters (which ones, how
 *                             many), read backwards.
 *   QUARVEL_GUESS_CONTEXT     a context word (quarvel_check_context), rank 1
 *                             to the number of words
 *   QUARVEL_GUESS_REPEAT      a piece written again: the guesses of the
 *                             piece, times the times it is written
 *   QUARVEL_GUESS_KEYBOARD_WALK neighbouring keys of a US keyboard, by its
 *                             length, its turns and its shifted keys
 *   QUARVEL_GUESS_SEQUENCE    letters or digits by a constant step
 *   QUARVEL_GUESS_DATE, QUARVEL_GUESS_YEAR  a date or a year, by its
 *                             distance from the current year (at least 20)
 *   QUARVEL_GUESS_BRUTE_FORCE what no other piece explains: the size of the
 *                             alphabet of the classes in it, to the power of
 *                             its length
 * A check that finds the password in a hashed list, or in a dictionary by
 * the variant search, also caps the estimate by what that search tried.
 * crack_seconds gives guesses divided by the rate of four attacks. The
 * warning and suggestions are codes with stable names; quarvel_warning_text
 * and quarvel_suggestion_text give their English, which front ends may
 * translate. A caller whose record ends before guesses_log10 does not pay
 * for the estimate (unless quarvel_search.min_guesses_log10 is set).
 *
 * Policy: [QUARVEL_SEARCH] quarvel_search.min_guesses_log10 (unset by
 * default) rates a password estimated below it at most level 2, with a
 * reason QUARVEL_REASON_FEW_GUESSES; VerifyPW's answer follows it too. */
#define QUARVEL_ATTACKS 4
#define QUARVEL_ATTACK_ONLINE_THROTTLED 0 /* ("online_throttled") 100 guesses per hour */
#define QUARVEL_ATTACK_ONLINE 1           /* ("online") 10 guesses per second */
#define QUARVEL_ATTACK_OFFLINE_SLOW 2     /* ("offline_slow_hash") 10^4 guesses per second */
#define QUARVEL_ATTACK_OFFLINE_FAST 3     /* ("offline_fast_hash") 10^10 guesses per second */

#define QUARVEL_MAX_PIECES 16
#define QUARVEL_MAX_SUGGESTIONS 3

/* Kinds of piece, with their stable names. */
#define QUARVEL_GUESS_DICTIONARY 1    /* ("dictionary") */
#define QUARVEL_GUESS_CONTEXT 2       /* ("context") */
#define QUARVEL_GUESS_REPEAT 3        /* ("repeat") */
#define QUARVEL_GUESS_KEYBOARD_WALK 4 /* ("keyboard_walk") */
#define QUARVEL_GUESS_SEQUENCE 5      /* ("sequence") */
#define QUARVEL_GUESS_DATE 6          /* ("date") */
#define QUARVEL_GUESS_YEAR 7          /* ("year") */
#define QUARVEL_GUESS_BRUTE_FORCE 8   /* ("brute_force") */

/* Transformations of a piece, one bit each, with their stable names. */
#define QUARVEL_GUESS_CAPITALISED 0x01 /* ("capitalised") the first letter only in capitals */
#define QUARVEL_GUESS_UPPERCASED 0x02  /* ("uppercased") every letter in capitals */
#define QUARVEL_GUESS_MIXED_CASE 0x04  /* ("mixed_case") some letters in capitals */
#define QUARVEL_GUESS_LEET 0x08        /* ("leet") characters written for letters */
#define QUARVEL_GUESS_REVERSED 0x10    /* ("reversed") written backwards */
#define QUARVEL_GUESS_SHIFTED 0x20     /* ("shifted") a walk over shifted keys */

typedef struct quarvel_guess_piece {
  int kind;              /* QUARVEL_GUESS_* */
  int start;             /* first byte of the password it covers */
  int length;            /* bytes it covers */
  unsigned transforms;   /* QUARVEL_GUESS_CAPITALISED ... bits */
  uint32_t rank;         /* a word's rank (1: tried first); the repeat count of
                          * a repeat; 0 otherwise */
  int slot;              /* the dictionary's slot (0 to 7; 8 the personal
                          * dictionary) of a word; -1 otherwise, a language
                          * dictionary's word included */
  double guesses_log10;  /* log10 of the guesses this piece costs */
  char word[32];         /* the stored word, the context word, the date read
                          * ("YYYY-MM-DD"), or the repeated text (cut); "" for
                          * the others */
} quarvel_guess_piece;

/* The warning, with its stable name; its English is
 * quarvel_warning_text(code). */
#define QUARVEL_WARNING_NONE 0
#define QUARVEL_WARNING_TOP_PASSWORD 1    /* ("top_password") among the most common passwords */
#define QUARVEL_WARNING_COMMON_PASSWORD 2 /* ("common_password") a common password */
#define QUARVEL_WARNING_COMMON_VARIANT 3  /* ("common_variant") a common password, slightly changed */
#define QUARVEL_WARNING_COMMON_WITH_AFFIX 4 /* ("common_with_affix") a common password with digits
                                             * or symbols added */
#define QUARVEL_WARNING_SINGLE_WORD 5     /* ("single_word") one dictionary word, even changed */
#define QUARVEL_WARNING_COMMON_WORDS 6    /* ("common_words") a few common words */
#define QUARVEL_WARNING_KEYBOARD 7        /* ("keyboard_pattern") a keyboard walk */
#define QUARVEL_WARNING_REPEAT 8          /* ("repeat") repeated characters or words */
#define QUARVEL_WARNING_SEQUENCE 9        /* ("sequence") a sequence */
#define QUARVEL_WARNING_DATE 10           /* ("date") a date or a year */
#define QUARVEL_WARNING_PERSONAL 11       /* ("personal_info") a context word */
#define QUARVEL_WARNING_LEAKED 12         /* ("leaked") in a leaked-password list */
#define QUARVEL_WARNING_SHORT 13          /* ("too_short") short enough to try every password */
#define QUARVEL_WARNING_COUNT 14

/* Suggestions, with their stable names; their English is
 * quarvel_suggestion_text(code). */
#define QUARVEL_SUGGESTION_ADD_WORDS 1       /* ("add_words") */
#define QUARVEL_SUGGESTION_LONGER 2          /* ("longer") */
#define QUARVEL_SUGGESTION_AVOID_COMMON 3    /* ("avoid_common") */
#define QUARVEL_SUGGESTION_CAPITALS 4        /* ("capitals_inside") */
#define QUARVEL_SUGGESTION_ALL_CAPITALS 5    /* ("all_capitals") */
#define QUARVEL_SUGGESTION_LEET 6            /* ("predictable_substitutions") */
#define QUARVEL_SUGGESTION_REVERSED 7        /* ("reversed_words") */
#define QUARVEL_SUGGESTION_AVOID_REPEATS 8   /* ("avoid_repeats") */
#define QUARVEL_SUGGESTION_AVOID_SEQUENCES 9 /* ("avoid_sequences") */
#define QUARVEL_SUGGESTION_KEYBOARD 10       /* ("keyboard_turns") */
#define QUARVEL_SUGGESTION_AVOID_DATES 11    /* ("avoid_dates") */
#define QUARVEL_SUGGESTION_AVOID_PERSONAL 12 /* ("avoid_personal") */
#define QUARVEL_SUGGESTION_PASSPHRASE 13     /* ("passphrase") */
#define QUARVEL_SUGGESTION_CHANGE_LEAKED 14  /* ("change_leaked") */
#define QUARVEL_SUGGESTION_COUNT 15

/* What matched, when the dictionary stage or the personal stage found the
 * password. */
typedef struct quarvel_match {
  uint32_t size;     /* sizeof(quarvel_match) */
  int kind;          /* QUARVEL_MATCH_* */
  int slot;          /* dictionary slot 0 to 7; breach list 1 to 8; -1 for a language
                      * dictionary ([QUARVEL_LANG]) and for other kinds */
  unsigned variants; /* QUARVEL_VARIANT_* bits */
  char prefix[256];  /* the dictionary's prefix as configured ("" for context) */
  char word[64];     /* the stored word (or context word) that matched */
  char rule[64];     /* the mangling rule's text, ":" when none changed it */
  char affix[4];     /* the number the stored word adds ("05", "7"), or "" */
  /* How the password was turned into the word, for a person: for example
   * "reversed, '0' read as 'o', suffix 05". "as given" when unchanged. */
  char variant[192];
} quarvel_match;

/* The result of a check. */
typedef struct quarvel_result {
  uint32_t size; /* sizeof(quarvel_result) */
  int code;      /* QUARVEL_OK or a failure code above */
  int level;     /* 1 (weak) to 4 (strong); 0 when not scored */
  /* The measured fields, by their names in the answer text. */
  int pw_len;      /* length in bytes (after a NUL byte: up to it); with the extended
                    * profile, in characters when the measured bytes are valid UTF-8 */
  int pw_ncr;      /* character classes present, 0 to 4 */
  int rept_ncr;    /* repeated two-character pieces (0 when the stage is off) */
  int cts_ncr;     /* neighbours in sequence */
  int dict_fd_cnt; /* dictionaries searched, plus one when none found it */
  int pdict_fd;    /* personal dictionary: 1 found, 0 not found, -1 not used */
  int distinct;    /* distinct characters (stage 2), not in the answer */
  int stage_score[6]; /* the score after each of the six stages */
  quarvel_match match;
  /* The answer text exactly as VerifyPW gives it for the same environment:
   * "RET_CD=0000:RT_LEVEL=..", or "RET_CD=2000" and so on. */
  char answer[512];
  /* Fields added after the first layout: written only when size covers
   * them (a caller compiled against the first layout passes a smaller size
   * and gets everything above). */
  uint64_t breach_count; /* occurrences of a QUARVEL_MATCH_BREACH hit, else 0 */
  /* The NIST SP 800-63B verdict, independent of level (see below). */
  int nist_ok;           /* 1: satisfies the verifier requirements; 0: fails nist_failures */
  unsigned nist_failures; /* QUARVEL_NIST_* bits */
  int nist_length;       /* characters counted (NFKC; bytes when not UTF-8) */
  int nist_min_length;   /* the length required */
  /* The explanation as data (see "Explanations as data" below): written
   * only when size covers them. */
  int reason_count;                          /* entries of reasons in use */
  quarvel_reason reasons[QUARVEL_MAX_REASONS]; /* one per lost point, in stage order, then the cap */
  int step_count;                            /* entries of match_steps in use */
  quarvel_step match_steps[QUARVEL_MAX_STEPS]; /* how the password became match.word */
  /* The guess estimate and advice (see "Guess estimate" below): written
   * only when size covers them. */
  double guesses_log10;  /* log10 of the guesses an attacker needs */
  double crack_seconds[QUARVEL_ATTACKS]; /* by QUARVEL_ATTACK_* */
  int warning;           /* QUARVEL_WARNING_*, 0 for none */
  int suggestion_count;  /* entries of suggestions in use, 0 to 3 */
  int suggestions[QUARVEL_MAX_SUGGESTIONS]; /* QUARVEL_SUGGESTION_* */
  int piece_count;       /* entries of pieces in use */
  quarvel_guess_piece pieces[QUARVEL_MAX_PIECES]; /* the covering, left to right */
} quarvel_result;

/* The size of the first layout of quarvel_result, the smallest accepted. */
#define QUARVEL_RESULT_V1_SIZE offsetof(quarvel_result, breach_count)
/* The size of the layout with the NIST verdict and without the explanation
 * as data. */
#define QUARVEL_RESULT_V2_SIZE offsetof(quarvel_result, reason_count)
/* The size of the layout with the explanation as data and without the
 * guess estimate. */
#define QUARVEL_RESULT_V3_SIZE offsetof(quarvel_result, guesses_log10)

/* The NIST SP 800-63B verdict, in the [nist] section:
 *   min_length  the fewest characters (default 15, for a password that is
 *               the only authenticator; 8 when it is one of several)
 *   blocklist   what counts as the blocklist: "all" (the default: every
 *               configured dictionary and hashed list), "none", or a list
 *               separated by commas of dictionary slots (0 to 7) and
 *               "breach" (every hashed list)
 * Length counts characters of the password after NFKC normalisation when
 * it is valid UTF-8, and bytes otherwise. A password fails:
 *   QUARVEL_NIST_TOO_SHORT   fewer characters than min_length
 *   QUARVEL_NIST_BLOCKLIST   the variant search finds it in the blocklist
 *   QUARVEL_NIST_REPETITIVE  its searched form (lower-cased, trailing blanks
 *                            gone) is one run of a character, a sequence, a
 *                            keyboard walk, a date, or up to three such
 *                            pieces (the extended profile's patterns)
 *   QUARVEL_NIST_CONTEXT     the variant search finds a context word in it
 * Composition rules play no part. */
#define QUARVEL_NIST_TOO_SHORT 0x01
#define QUARVEL_NIST_BLOCKLIST 0x02
#define QUARVEL_NIST_REPETITIVE 0x04
#define QUARVEL_NIST_CONTEXT 0x08

#define QUARVEL_RESULT_INIT(r)                                                                   \
  do {                                                                                           \
    (r)->size = (uint32_t)sizeof(quarvel_result);                                                \
    (r)->match.size = (uint32_t)sizeof(quarvel_match);                                           \
  } while (0)

typedef struct quarvel_env quarvel_env;

/* Opens the environment rooted at root (NULL: the current folder). Returns
 * NULL on failure, with a one-line reason in error (when error_size > 0)
 * that names the file and ends with the code in parentheses: "(1001)"
 * (configuration cannot be read), "(1002)" (default dictionary cannot be
 * opened), "(1003)" (a configured dictionary cannot be opened). */
QUARVEL_EXPORT quarvel_env *quarvel_open(const char *root, char *error,
                                         size_t error_size) QUARVEL_NOEXCEPT;

/* Reads the configuration and the dictionaries again and publishes them.
 * Returns 0, or 1001/1002/1003 as quarvel_open, or QUARVEL_NO_MEMORY (the
 * environment then keeps the snapshot it had). */
QUARVEL_EXPORT int quarvel_reload(quarvel_env *env) QUARVEL_NOEXCEPT;

/* Releases the environment. No check may be running on it. NULL is a
 * no-op. */
QUARVEL_EXPORT void quarvel_close(quarvel_env *env) QUARVEL_NOEXCEPT;

/* Checks length bytes of password and fills result (see quarvel_result).
 * Returns result->code. Bytes are bytes: a NUL byte ends what is measured,
 * as it ends VerifyPW's text; a password whose text before any NUL is empty
 * or longer than 257 bytes answers 2000. Thread-safe. */
QUARVEL_EXPORT int quarvel_check(const quarvel_env *env, const char *password, size_t length,
                                 quarvel_result *result) QUARVEL_NOEXCEPT;

/* As quarvel_check, and also searches the context words (a user's login
 * name, the words of their full name, ...) like a personal dictionary, in
 * memory, with the same variant search. Each word is normalised as a word
 * list line is (lower-case letters and digits, cut to 31); words shorter
 * than 3 characters after that are ignored. The context words are searched
 * in the dictionary stage after the configured dictionaries: a hit there is
 * a dictionary hit (the stage loses its point, DICT_FD_CNT counts as found)
 * and match.kind is QUARVEL_MATCH_CONTEXT with the word that matched. */
QUARVEL_EXPORT int quarvel_check_context(const quarvel_env *env, const char *password,
                                         size_t length, const char *const *words, size_t n_words,
                                         quarvel_result *result) QUARVEL_NOEXCEPT;

/* Sends the trace lines that VerifyPW prints, one call per line (without
 * its line feed), to sink; NULL switches tracing off (the default). Lines of
 * concurrent checks go to the sink from their own threads. Set it while no
 * check runs. */
QUARVEL_EXPORT void quarvel_set_trace(quarvel_env *env,
                                      void (*sink)(void *context, const char *line),
                                      void *context) QUARVEL_NOEXCEPT;

/* The settings of an environment's current snapshot, as its configuration
 * gave them. */
typedef struct quarvel_settings {
  uint32_t size;     /* sizeof(quarvel_settings) */
  int min_len;       /* quarvel_rule.min_len: reported only */
  int min_diff;      /* fewer distinct characters than this cost a point */
  int min_step;      /* more neighbours in sequence than this cost a point */
  int min_rept;      /* more repeated pieces than this cost a point */
  int use_min_rept;  /* the repeat stage runs */
  int suffix_numbers; /* numbers tried as a suffix: 0, 10 or 100 */
  int prefix_numbers; /* numbers tried as a prefix: 0, 10 or 100 */
  int reverse;       /* reversed passes on */
  int use_profile;   /* the personal dictionary is searched */
  int dict_count;    /* configured dictionaries, the default one included */
  char dict_prefix[8][256]; /* slot prefixes as configured ("" for none) */
} quarvel_settings;

/* Fills settings from env's current snapshot. Returns 0, or 2001 for a NULL
 * env, 2002 for a NULL or too small record. */
QUARVEL_EXPORT int quarvel_get_settings(const quarvel_env *env,
                                        quarvel_settings *settings) QUARVEL_NOEXCEPT;

/* ---------------------------------------------------------------------------
 * Building dictionaries. */

/* Phases reported to a build's progress callback. */
#define QUARVEL_BUILD_READING 1 /* reading and normalising the word lists */
#define QUARVEL_BUILD_SORTING 2 /* sorting */
#define QUARVEL_BUILD_WRITING 3 /* writing the dictionary files */
#define QUARVEL_BUILD_DONE 4

typedef struct quarvel_build_progress {
  uint32_t size;          /* sizeof(quarvel_build_progress) */
  int phase;              /* QUARVEL_BUILD_* */
  uint64_t bytes_read;    /* bytes of the word lists read so far */
  uint64_t bytes_total;   /* their total size, 0 when unknown (a pipe) */
  uint64_t words;         /* words read (reading) or written (writing) */
  uint64_t words_total;   /* words to write, once known; else 0 */
  double elapsed_seconds; /* since the build started */
  double remaining_seconds; /* estimate, negative when unknown */
} quarvel_build_progress;

typedef struct quarvel_build_options {
  uint32_t size;          /* sizeof(quarvel_build_options) */
  uint64_t memory_budget; /* bytes; 0 means 1 GiB */
  const char *temp_dir;   /* folder for temporary files; NULL: beside the prefix */
  /* Called at each phase change and at least every 64 MiB read or 100 ms;
   * a non-zero return cancels the build (it answers 3005). May be NULL. */
  int (*progress)(void *context, const quarvel_build_progress *progress);
  void *progress_context;
  /* Fields added after the first layout: read only when size covers them
   * (a caller compiled against the first layout passes a smaller size and
   * gets what they default to). */
  /* Non-zero: quarvel_build also writes the rank file <prefix>.pwr, each
   * word's position in the word lists (the first line, counted from 1 over
   * the lists one after the other, that gives it, counting only lines that
   * give a word). 0: a rank file beside the old dictionary is removed with
   * it. quarvel_build_hashed ignores it. */
  int ranked;
  /* Non-zero: the lists are UTF-8 text. Hangul jamo are composed into
   * syllables, Latin letters lowered and their accents folded ("Café" is
   * stored "cafe", 'ß' "ss"), letters of other scripts kept, ASCII other
   * than letters and digits dropped, and bytes that are not valid UTF-8
   * dropped; a word keeps the whole characters that fit in 31 bytes (of the
   * first 255 bytes of its line). 0: as
   * CreateDict, every byte but ASCII letters and digits dropped.
   * quarvel_build_hashed ignores it. */
  int utf8;
} quarvel_build_options;

/* The size of the first layout of quarvel_build_options, the smallest
 * accepted. */
#define QUARVEL_BUILD_OPTIONS_V1_SIZE offsetof(quarvel_build_options, ranked)

/* Summary of a finished build. */
typedef struct quarvel_build_stats {
  uint32_t size;       /* sizeof(quarvel_build_stats) */
  uint64_t bytes_read; /* bytes of the word lists */
  uint64_t lines;      /* lines read */
  uint64_t words;      /* distinct words stored */
  int wide;            /* 1 when the wide layout was written */
  double seconds;
} quarvel_build_stats;

/* Builds the dictionary prefix from the word lists sources[0..n_sources)
 * ("-" is standard input). Every line becomes a word as in CreateDict
 * (lower-case letters and digits, cut to 31); empty words are dropped and
 * each distinct word is stored once. With options->ranked, the rank file
 * <prefix>.pwr is written too (docs/file-format.md); without, an old one is
 * removed. The files are written beside the old
 * dictionary and renamed over it only when every write succeeded, so a
 * failed or cancelled build leaves the previous dictionary whole (its rank
 * file included) and no temporary file behind. With env, a relative prefix resolves against the
 * environment's root, and a dictionary the environment searches is replaced
 * in its snapshot at once. options and stats may be NULL. Returns 0, or 3001
 * (a source cannot be opened), 3002 (a source cannot be read, or memory ran
 * out), 3004 (the dictionary cannot be written), 3005 (cancelled), 3006
 * (invalid arguments); error receives a one-line reason. Verification in
 * other threads never waits for a build. */
QUARVEL_EXPORT int quarvel_build(quarvel_env *env, const char *prefix,
                                 const char *const *sources, size_t n_sources,
                                 const quarvel_build_options *options, quarvel_build_stats *stats,
                                 char *error, size_t error_size) QUARVEL_NOEXCEPT;

/* Builds the language dictionary prefix from its Debian word list, for
 * language "ko" (hunspell-ko's /usr/share/hunspell/ko.dic), "de"
 * (wngerman), "fr" (wfrench), "es" (wspanish), "it" (witalian) or "pt"
 * (wportuguese, else wbrazilian); source, when not NULL, names another
 * copy of that list. The European lists are built as UTF-8 lists
 * (quarvel_build_options.utf8). The Korean list's words, stored as
 * conjoining jamo with affix flags, are composed into syllables (the words
 * that are not Hangul left out) and the verbs in 하다 get their common
 * endings; <prefix>_roman is built beside it, from the same words in the
 * Revised Romanization. options, stats and env as for quarvel_build (stats
 * describes <prefix>); the same codes, and 3006 for an unknown language.
 * Name the results in [QUARVEL_LANG] (see "Languages" below). */
QUARVEL_EXPORT int quarvel_build_language(quarvel_env *env, const char *language,
                                          const char *prefix, const char *source,
                                          const quarvel_build_options *options,
                                          quarvel_build_stats *stats, char *error,
                                          size_t error_size) QUARVEL_NOEXCEPT;

/* Summary of a hashed dictionary build. */
typedef struct quarvel_hashed_build_stats {
  uint32_t size;              /* sizeof(quarvel_hashed_build_stats) */
  uint64_t bytes_read;        /* bytes of the hash lists */
  uint64_t lines;             /* lines read, empty ones included */
  uint64_t hashes;            /* distinct hashes stored */
  uint64_t below_min_count;   /* distinct hashes left out by min_count */
  uint64_t malformed;         /* malformed lines (skipped, or the first one) */
  uint64_t first_malformed_line; /* its number in its list, 0 when none */
  double seconds;
} quarvel_hashed_build_stats;

/* Builds the hashed dictionary <prefix>.hsh from SHA-1 hash lists
 * sources[0..n_sources) ("-" is standard input). A line is 40 hexadecimal
 * digits in either case, optionally followed by ':' and a decimal
 * occurrence count (1 when absent); a final carriage return is ignored, as
 * are empty lines; the lists may be in any order. Equal hashes add their
 * counts; hashes whose total is below min_count (at least 1) are left out.
 * A malformed line fails the build with 3007 and its list and line number
 * in error, or with skip_malformed non-zero is counted in stats and
 * skipped. options may be NULL (memory budget, temporary folder and
 * progress as for quarvel_build); the file is replaced only when every
 * write succeeded. With env, a relative prefix resolves against its root
 * and a hashed list it searches is reopened at once. Returns 0, or 3001,
 * 3002, 3004, 3005, 3006 as quarvel_build does, or 3007. Hashes of words
 * are looked up by the first 64 bits of their SHA-1, so a password not in
 * the list matches with a probability of about n / 2^64 for n hashes.
 * A library built without OpenSSL's libcrypto (a 32-bit build without
 * libssl-dev:i386) builds lists but cannot open them: a configured list
 * then fails the load with 1003. */
QUARVEL_EXPORT int quarvel_build_hashed(quarvel_env *env, const char *prefix,
                                        const char *const *sources, size_t n_sources,
                                        uint64_t min_count, int skip_malformed,
                                        const quarvel_build_options *options,
                                        quarvel_hashed_build_stats *stats, char *error,
                                        size_t error_size) QUARVEL_NOEXCEPT;

/* ---------------------------------------------------------------------------
 * Inspecting dictionaries. */

typedef struct quarvel_dict_info {
  uint32_t size;         /* sizeof(quarvel_dict_info) */
  int wide;              /* 1: wide index layout, 0: standard */
  uint64_t word_count;   /* as the index header says */
  uint64_t index_bytes;  /* sizes of the three files (mark file: 0 when absent) */
  uint64_t data_bytes;
  uint64_t mark_bytes;
  int marks_usable;      /* 1 when the mark file is present and consistent */
  int intact;            /* 1 when every check below passed */
  uint64_t blocks_checked; /* blocks decoded by the integrity check */
  /* The first problem the integrity check found, or "" when intact: a block
   * beyond the data file, words out of order, a word count the blocks do not
   * hold, a mark that disagrees with the words. */
  char problem[256];
  /* Fields added after the first layout: written only when size covers
   * them. */
  int ranked;            /* 1: the rank file <prefix>.pwr is whole and belongs to these files */
  /* Why a rank file that is present is ignored (short, inconsistent, stale:
   * written for other dictionary files), or "" when there is none or it is
   * used. The dictionary is then unranked; it is not counted as damage. */
  char rank_problem[128];
} quarvel_dict_info;

/* The size of the first layout of quarvel_dict_info, the smallest accepted. */
#define QUARVEL_DICT_INFO_V1_SIZE offsetof(quarvel_dict_info, ranked)

/* Reads the header of the dictionary prefix and checks every block, and
 * reads its rank file when there is one. Returns
 * 0 when it opens (info->intact tells whether it is sound), 1001 when it
 * cannot be opened (error says why), or 2002 for a NULL prefix, or a NULL or
 * too small record. A dictionary of no words opens but is not intact. */
QUARVEL_EXPORT int quarvel_dict_info_get(const char *prefix, quarvel_dict_info *info, char *error,
                                         size_t error_size) QUARVEL_NOEXCEPT;

/* The catalogue of advice: the English of a warning or suggestion code,
 * and its stable name; "" for an unknown code (and for
 * QUARVEL_WARNING_NONE). quarvel_guess_name names the other codes of the
 * estimate: kind QUARVEL_GUESS_* pieces (what 1 gives "dictionary"),
 * transform a QUARVEL_GUESS_CAPITALISED ... bit, attack QUARVEL_ATTACK_*. */
QUARVEL_EXPORT const char *quarvel_warning_text(int code) QUARVEL_NOEXCEPT;
QUARVEL_EXPORT const char *quarvel_warning_name(int code) QUARVEL_NOEXCEPT;
QUARVEL_EXPORT const char *quarvel_suggestion_text(int code) QUARVEL_NOEXCEPT;
QUARVEL_EXPORT const char *quarvel_suggestion_name(int code) QUARVEL_NOEXCEPT;
#define QUARVEL_NAME_PIECE 1
#define QUARVEL_NAME_TRANSFORM 2
#define QUARVEL_NAME_ATTACK 3
QUARVEL_EXPORT const char *quarvel_guess_name(int what, int code) QUARVEL_NOEXCEPT;

/* The library's version, "MAJOR.MINOR.PATCH". */
QUARVEL_EXPORT const char *quarvel_version(void) QUARVEL_NOEXCEPT;

QUARVEL_END_DECLS

#endif /* QUARVEL_ENGINE_H_ */
