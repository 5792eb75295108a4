/* Password verification: settings, scoring, environment loading and
 * dictionary building.
 *
 * The settings are plain process-wide variables. They hold the initial values
 * below until the environment is loaded; C callers may read them and, for
 * testing, set them while no verification runs. VerifyPW may be called from
 * any number of threads at once; loading, building and deleting run one at a
 * time (see quarvel.h).
 */
#ifndef QUARVEL_PWANALYSIS_H_
#define QUARVEL_PWANALYSIS_H_

#include "quarvel/export.h"

QUARVEL_BEGIN_DECLS

/* Configured minimum password length; reported only (initially 6). */
QUARVEL_EXPORT extern int MINLEN;
/* Fewer distinct characters than this costs a point (4). */
QUARVEL_EXPORT extern int MINDIFF;
/* More ascending/descending neighbour pairs than this costs a point (3). */
QUARVEL_EXPORT extern int MINSTEP;
/* More repeated two-character pieces than this costs a point (3). */
QUARVEL_EXPORT extern int MINREPT;
/* Numeric-suffix selector: 1 = ten numbers, 2 = a hundred, else none (2). */
QUARVEL_EXPORT extern int POSTFIXNUM;
/* Numeric-prefix selector, same coding (1). */
QUARVEL_EXPORT extern int PREFIXNUM;
/* Apply POSTFIXNUM when loading the environment (1). */
QUARVEL_EXPORT extern int USEPOSTFIXNUM;
/* Apply PREFIXNUM when loading the environment (0). */
QUARVEL_EXPORT extern int USEPREFIXNUM;
/* Configuration switch for reversed-word search (0); loading switches the
 * search's own reverse switch on when it is non-zero. */
QUARVEL_EXPORT extern int USEREVERSE;
/* Run the repeat stage of scoring (0). */
QUARVEL_EXPORT extern int USEMINREPT;
/* The personal dictionary "./dicts/profile" is searched (0). */
QUARVEL_EXPORT extern int USEPROFILE;
/* Delete a word list after a dictionary has been built from it (0). */
QUARVEL_EXPORT extern int DELORGFILE;
/* Dictionaries found usable at the last environment load (1). */
QUARVEL_EXPORT extern int USE_DICT_CNT;

/* Dictionary prefixes searched by scoring, slot 0 the default dictionary.
 * A NULL or empty slot holds no dictionary. */
QUARVEL_EXPORT extern const char *dict[8];

/* Base score by password length (row, capped at 49) and number of character
 * classes present minus one (column). */
QUARVEL_EXPORT extern const int nLevel[50][4];
/* Lowest and highest score of levels 1 to 4. */
QUARVEL_EXPORT extern const int nRange[4][2];
/* The four character classes. */
QUARVEL_EXPORT extern const char numberal[];
QUARVEL_EXPORT extern const char lowercase[];
QUARVEL_EXPORT extern const char uppercase[];
QUARVEL_EXPORT extern const char simbol[];

/* Grades password and answers "RET_CD=0000:RT_LEVEL=level:PW_LEN=..:PW_NCR=..
 * :REPT_NCR=..:CTS_NCR=..:DICT_FD_CNT=..:PDICT_FD=.." (see the README for the
 * fields), or "RET_CD=2001" before the environment is loaded, "RET_CD=2000"
 * for an empty password or one longer than 257 bytes, "RET_CD=2009" when the
 * answer would exceed 1023 characters. The answer lives in a library-owned
 * area of the calling thread, valid until that thread's next call. Traces its
 * stages on standard output, one line per write. Dictionaries are read from
 * memory: one that another process replaces on disk is noticed at the next
 * call (through inotify; where that is not available, within
 * QUARVEL_REVALIDATE_MS milliseconds). */
QUARVEL_EXPORT const char *VerifyPW(const char *password) QUARVEL_NOEXCEPT;

/* Number of pieces of length piece_length, taken from the first half of text
 * (without its last character, at most 255 characters), that occur at least
 * twice in text. */
QUARVEL_EXPORT int RepeteChar(const char *text, int piece_length) QUARVEL_NOEXCEPT;

/* How often piece occurs in text, overlaps included; 0 when it occurs
 * exactly once (or piece is empty). */
QUARVEL_EXPORT int RepeteSubStr(const char *text, const char *piece) QUARVEL_NOEXCEPT;

/* Loads the environment: reads "./conf/quarvel.ini", checks that the default
 * dictionary "./dicts/default_dict" and every configured dictionary open,
 * fills the settings and probes the personal dictionary "./dicts/profile".
 * Answers "RET_CD=0000:PW_LEN=..:CTS_NCR=..:REPT_NCR=..:NCHAR=4:USE_DICT_CNT=..
 * :USE_PDICT=01" (or "00"), from an area valid until the next call; or
 * "RET_CD=1001" (configuration file cannot be read), "RET_CD=1002" (default
 * dictionary cannot be opened), "RET_CD=1003" (a configured one cannot). */
QUARVEL_EXPORT const char *LoadConfigFile(void) QUARVEL_NOEXCEPT;

/* Builds the dictionary prefix from the word list at path wordlist: every
 * line becomes a word of lower-case letters and digits (other bytes dropped,
 * cut to 31 characters), duplicates kept, sorted in memory or, for a list
 * beyond the memory budget (1 GiB), in runs in unlinked temporary files of
 * the current folder. Lists of any size are taken. The file "./make.txt" is
 * created once the words are sorted, receives the sorted list (one word per
 * line) when the dictionary cannot be written, and is removed after a
 * successful build.
 * Answers "RET_CD=0000", or "RET_CD=3001" (word list cannot be opened),
 * "RET_CD=3002" (preparation failed), "RET_CD=3003" (temporary file cannot be
 * opened), "RET_CD=3004" (dictionary cannot be created or written). Building
 * the personal dictionary switches USEPROFILE on exactly when the result can
 * be opened. With DELORGFILE set, a successful build removes the word list. */
QUARVEL_EXPORT const char *CreateDict(const char *wordlist, const char *prefix) QUARVEL_NOEXCEPT;

/* Removes the three files of the dictionary prefix; deleting the personal
 * dictionary switches USEPROFILE off. Always answers "RET_CD=0000". */
QUARVEL_EXPORT const char *DeleteDict(const char *prefix) QUARVEL_NOEXCEPT;

/* Writes every word of the dictionary prefix to outfile, one per line in
 * index order. Returns 0, or -1 when outfile cannot be created (or written),
 * or the dictionary cannot be opened (then outfile is left empty). */
QUARVEL_EXPORT int Dict2Data(const char *outfile, const char *prefix) QUARVEL_NOEXCEPT;

/* The preparation steps of CreateDict. SortFile normalises and sorts the
 * word list infile into outfile and returns 0, or 1 (cannot open), 2 (no
 * memory, or a list of 2 GiB or more), 4 (cannot read), 5 (cannot write).
 * Translate normalises the length bytes of text in place, never writing
 * past them, and records with InsertWord each word that a line feed or a
 * carriage return ends; bytes after the last line end form no word (SortFile
 * gives a last line without one a line end in its own buffer, so that its
 * word is kept). Compare orders two recorded words as strcmp does; WriteOut
 * writes the recorded words in
 * order. These use process-wide state and serve SortFile. */
QUARVEL_EXPORT int SortFile(const char *infile, const char *outfile) QUARVEL_NOEXCEPT;
QUARVEL_EXPORT int Translate(char *text, unsigned int length) QUARVEL_NOEXCEPT;
QUARVEL_EXPORT int InsertWord(int offset) QUARVEL_NOEXCEPT;
QUARVEL_EXPORT int Compare(const void *a, const void *b) QUARVEL_NOEXCEPT;
QUARVEL_EXPORT int WriteOut(const char *outfile) QUARVEL_NOEXCEPT;

QUARVEL_END_DECLS

#endif /* QUARVEL_PWANALYSIS_H_ */
