#!/usr/bin/env python3
"""Passwords that make a check work hardest, for the slowest-check figure.

usage: make_worst_case.py WORDS > worst.txt

Each shape is written at 16, 64 and 256 bytes (256 is the longest password a
check accepts): runs of characters that read as letters (every one a branch
of the word walk), repeated words and pieces, keyboard walks, digits and
dates, words run together, and random printable characters. WORDS is a word
list, one word a line. The output is the same for the same list.
"""
import random
import sys

LENGTHS = (16, 64, 256)


def fit(piece, length):
    return (piece * (length // max(len(piece), 1) + 1))[:length]


def shapes(rng, words):
    leet = "1!|0@$34578+"
    printable = "".join(chr(c) for c in range(33, 127))
    joined = "".join(rng.choice(words) for _ in range(60))
    mangled = "".join(w.capitalize() + rng.choice(["1", "!", "2024", "@"]) for w in rng.sample(words, 40))
    yield lambda n: "".join(rng.choice(leet) for _ in range(n))
    yield lambda n: fit("p@ssw0rd", n)
    yield lambda n: fit("P4$$w0rd!", n)
    yield lambda n: "a" * n
    yield lambda n: fit("ab", n)
    yield lambda n: fit("abc1", n)
    yield lambda n: fit("qwertyuiop", n)
    yield lambda n: fit("1qaz2wsx3edc", n)
    yield lambda n: fit("0123456789", n)
    yield lambda n: fit("19991231", n)
    yield lambda n: fit("12/31/1999", n)
    yield lambda n: "".join(rng.choice("0123456789") for _ in range(n))
    yield lambda n: joined[:n]
    yield lambda n: mangled[:n]
    yield lambda n: joined[:n][::-1]
    yield lambda n: "".join(rng.choice(printable) for _ in range(n))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8", errors="replace") as f:
        words = sorted({w.strip().lower() for w in f if w.strip().isascii() and w.strip().isalpha() and 3 <= len(w.strip()) <= 10})
    rng = random.Random(20261207)
    for make in shapes(rng, words):
        for n in LENGTHS:
            print(make(n))


if __name__ == "__main__":
    main()
