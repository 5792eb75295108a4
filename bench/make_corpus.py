#!/usr/bin/env python3
"""Writes the benchmark corpus of passwords, one per line, with a fixed seed.

usage: make_corpus.py PASSWORD_LIST WORD_LIST COUNT > corpus.txt

A third comes from the list of common passwords, a third are English words
lightly mangled (capitalised, digits appended, s/o/a written as $/0/4,
reversed), and a third are random printable strings of 8 to 20 characters.
"""
import random
import string
import sys


def read_words(path):
    with open(path, encoding="latin-1") as f:
        return [w.strip() for w in f if w.strip() and not w.startswith("#!comment")]


def mangle(rng, word):
    choice = rng.randrange(5)
    if choice == 0:
        return word.capitalize()
    if choice == 1:
        return word + str(rng.randrange(100))
    if choice == 2:
        return word.translate(str.maketrans("soa", "$04"))
    if choice == 3:
        return word[::-1]
    return word.capitalize() + str(rng.randrange(10)) + "!"


def main():
    passwords, words, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    rng = random.Random(20261207)
    common = read_words(passwords)
    english = [w for w in read_words(words) if w.isascii()]
    printable = string.ascii_letters + string.digits + string.punctuation
    third = count // 3
    out = [rng.choice(common) for _ in range(third)]
    out += [mangle(rng, rng.choice(english)) for _ in range(third)]
    out += ["".join(rng.choice(printable) for _ in range(rng.randint(8, 20)))
            for _ in range(count - 2 * third)]
    rng.shuffle(out)
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
