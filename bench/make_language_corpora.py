#!/usr/bin/env python3
"""Corpora of passwords made from words of other languages, for
bench/language_eval.sh.

    make_language_corpora.py KO_DIC OUT_DIR [WORDS_PER_GROUP]

Writes into OUT_DIR, seeded, WORDS_PER_GROUP (default 2,000) lines each:
  ko-typed.txt     Korean words (hunspell-ko's ko.dic, stems of two to five
                   syllables) as typed with the keyboard in Latin mode on the
                   two-set layout, mangled;
  ko-hangul.txt    the same kind of words in Hangul, mangled;
  ko-roman.txt     the same kind of words in the Revised Romanization
                   (syllable by syllable), mangled;
  de.txt, fr.txt, es.txt  words of wngerman, wfrench and wspanish (five
                   letters or more), written with or without their accents,
                   mangled;
  random-*.txt     for each of them, random strings of letters, digits and
                   symbols of the same lengths.
The mangling is what people do: capitals (first letter, or all), the word
written twice, digits, a year or symbols after it (sometimes before).
"""

import random
import sys
import unicodedata

INITIAL_KEYS = ["r", "R", "s", "e", "E", "f", "a", "q", "Q", "t", "T", "d", "w", "W", "c", "z",
                "x", "v", "g"]
MEDIAL_KEYS = ["k", "o", "i", "O", "j", "p", "u", "P", "h", "hk", "ho", "hl", "y", "n", "nj",
               "np", "nl", "b", "m", "ml", "l"]
FINAL_KEYS = ["", "r", "R", "rt", "s", "sw", "sg", "e", "f", "fr", "fa", "fq", "ft", "fx", "fv",
              "fg", "a", "q", "qt", "t", "T", "d", "w", "c", "z", "x", "v", "g"]

INITIAL_ROMAN = ["g", "kk", "n", "d", "tt", "r", "m", "b", "pp", "s", "ss", "", "j", "jj", "ch",
                 "k", "t", "p", "h"]
MEDIAL_ROMAN = ["a", "ae", "ya", "yae", "eo", "e", "yeo", "ye", "o", "wa", "wae", "oe", "yo", "u",
                "wo", "we", "wi", "yu", "eu", "ui", "i"]
FINAL_ROMAN = ["", "k", "k", "k", "n", "n", "n", "t", "l", "k", "m", "l", "l", "l", "p", "l", "m",
               "p", "p", "t", "t", "ng", "t", "t", "k", "t", "p", "t"]

SYMBOLS = "!@#$%^&*?."
RANDOM_ALPHABET = ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789" + SYMBOLS)


def syllables(word):
    for ch in word:
        s = ord(ch) - 0xAC00
        yield s // (21 * 28), s // 28 % 21, s % 28


def typed(word):
    return "".join(INITIAL_KEYS[i] + MEDIAL_KEYS[m] + FINAL_KEYS[f] for i, m, f in syllables(word))


def romanised(word):
    return "".join(INITIAL_ROMAN[i] + MEDIAL_ROMAN[m] + FINAL_ROMAN[f]
                   for i, m, f in syllables(word))


def mangle(rng, word, letters=True):
    """One of the usual manglings of word."""
    kind = rng.randrange(8)
    if letters and kind == 0:
        word = word[:1].upper() + word[1:]
    elif letters and kind == 1 and len(word) <= 8:
        word = word.upper()
    elif kind == 2 and len(word) <= 10:
        word = word + word
    tail = rng.choice([str(rng.randrange(10)), str(rng.randrange(100)), str(rng.randrange(1000)),
                       str(rng.randrange(1960, 2026)), rng.choice(SYMBOLS),
                       str(rng.randrange(100)) + rng.choice(SYMBOLS), "", "123", "1!"])
    if rng.randrange(6) == 0:
        return str(rng.randrange(100)) + word + tail
    return word + tail


def korean_words(path, rng, count):
    words = []
    with open(path, encoding="utf-8") as f:
        next(f)
        for line in f:
            word = unicodedata.normalize("NFC", line.split("/")[0].strip())
            if 2 <= len(word) <= 5 and all(0xAC00 <= ord(c) <= 0xD7A3 for c in word):
                words.append(word)
    return rng.sample(sorted(set(words)), count)


def european_words(path, rng, count):
    with open(path, encoding="utf-8") as f:
        words = sorted({w.strip() for w in f if len(w.strip()) >= 5 and w.strip().isalpha()})
    return rng.sample(words, count)


def strip_accents(word):
    return "".join(c for c in unicodedata.normalize("NFKD", word)
                   if not unicodedata.combining(c)).replace("ß", "ss")


def write(out_dir, name, lines, rng):
    with open(f"{out_dir}/{name}.txt", "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    with open(f"{out_dir}/random-{name}.txt", "w", encoding="utf-8") as f:
        for line in lines:
            f.write("".join(rng.choice(RANDOM_ALPHABET) for _ in range(len(line))) + "\n")


def main():
    ko_dic, out_dir = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
    rng = random.Random(25)
    ko = korean_words(ko_dic, rng, 3 * count)
    write(out_dir, "ko-typed", [mangle(rng, typed(w)) for w in ko[:count]], rng)
    write(out_dir, "ko-hangul", [mangle(rng, w, letters=False) for w in ko[count:2 * count]], rng)
    write(out_dir, "ko-roman", [mangle(rng, romanised(w)) for w in ko[2 * count:]], rng)
    for name, path in (("de", "/usr/share/dict/ngerman"), ("fr", "/usr/share/dict/french"),
                       ("es", "/usr/share/dict/spanish")):
        words = european_words(path, rng, count)
        lines = [mangle(rng, w.lower() if rng.randrange(2) else strip_accents(w).lower())
                 for w in words]
        write(out_dir, name, lines, rng)


if __name__ == "__main__":
    main()
