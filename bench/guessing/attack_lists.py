#!/usr/bin/env python3
"""Writes the attacker's word lists of the guessing benchmark.

usage: attack_lists.py WORDLIST COMMON_WORDS

WORDLIST, for John's wordlist mode with its rules: what an attacker tries
first, most likely first, no word twice:
  1. John's password.lst (common passwords, by frequency)
  2. the passwords list of zxcvbn's frequency lists (python3-zxcvbn), ranked
  3. zxcvbn's English words and names, ranked, the lists taken in turn
     (us_tv_and_film, english_wikipedia, female_names, male_names, surnames)
  4. Debian's large English lists, in their order: american-english-huge
     (wamerican-huge), then british-english-large (wbritish-large)

COMMON_WORDS, for the combinator attack: the 30,000 commonest lowercase
words of two letters or more, from four ranked lists taken in turn: the
passwords list's purely alphabetic entries, us_tv_and_film,
english_wikipedia, and the three lists of names (themselves taken in turn).
"""
import sys

from zxcvbn.frequency_lists import FREQUENCY_LISTS  # Debian's python3-zxcvbn

PASSWORD_LST = "/usr/share/john/password.lst"
LARGE_LISTS = ["/usr/share/dict/american-english-huge", "/usr/share/dict/british-english-large"]
RANKED_WORDS = ["us_tv_and_film", "english_wikipedia", "female_names", "male_names", "surnames"]
COMMON_COUNT = 30000


def read_lines(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return [line.rstrip("\n") for line in f]


def in_turn(lists):
    """The first of each list, then the second of each, and so on."""
    longest = max(len(x) for x in lists)
    return [x[i] for i in range(longest) for x in lists if i < len(x)]


def usable(word):
    """A line John reads as one candidate, in printable ASCII."""
    return word != "" and word.isascii() and word.isprintable() and "\t" not in word


def unique(words):
    seen = set()
    out = []
    for w in words:
        if w not in seen and usable(w):
            seen.add(w)
            out.append(w)
    return out


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: attack_lists.py WORDLIST COMMON_WORDS")
    john = [w for w in read_lines(PASSWORD_LST) if not w.startswith("#!comment:")]
    ranked = in_turn([FREQUENCY_LISTS[name] for name in RANKED_WORDS])
    large = [w for path in LARGE_LISTS for w in read_lines(path)]
    wordlist = unique(john + FREQUENCY_LISTS["passwords"] + ranked + large)
    with open(sys.argv[1], "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(wordlist) + "\n")

    alphabetic = [w for w in FREQUENCY_LISTS["passwords"] if w.isalpha()]
    names = in_turn([FREQUENCY_LISTS[n] for n in RANKED_WORDS[2:]])
    common = [w for w in unique(in_turn([alphabetic, FREQUENCY_LISTS["us_tv_and_film"],
                                         FREQUENCY_LISTS["english_wikipedia"], names]))
              if len(w) >= 2 and w.isalpha() and w.islower()]
    with open(sys.argv[2], "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(common[:COMMON_COUNT]) + "\n")


if __name__ == "__main__":
    main()
