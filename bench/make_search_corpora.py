#!/usr/bin/env python3
"""Writes the corpora that measure the search profiles, with a fixed seed.

usage: make_search_corpora.py PASSWORD_LIST WORD_LIST OUTDIR [COUNT]

OUTDIR/mangled-<kind>.txt holds COUNT (default 1000) passwords made from
words of the default dictionary: half English words of 4 to 10 letters,
half common passwords of 4 or more letters and digits, each changed the way
<kind> says:

  capital      capitalised (one in ten all upper-case)
  digits       one to four digits appended
  year         a year 1950-2029 appended, capitalised half the time
  symbols      a tail of symbols appended ("!", "!!", "@", "#", "!@#", ...)
  leet         letters written as digits and symbols (wide alphabet)
  reversed     written backwards
  repeated     written twice
  leet-year    leet, capitalised half the time, and a year appended
  punct-digits symbols before or after the word, digits after it
  combined     one to three of the above at random

OUTDIR/mangled-all.txt is all of them together. OUTDIR/random12.txt holds
10 * COUNT random strings of 12 to 20 printable characters;
OUTDIR/worst.txt adversarial inputs for the latency of one check.
"""
import os
import random
import string
import sys

LEET = {
    "a": "@4", "b": "86", "e": "3", "g": "96", "i": "1!|", "l": "1|!",
    "o": "0", "s": "$5", "t": "7+", "z": "2",
}
TAILS = ["!", "!!", "!!!", "@", "#", "$", "?", "*", "!@#", ".", "123", "!1", "@1"]
PREFIXES = ["!", "!!", "#", "@", "*", "$", "_", "."]


def read_words(path):
    with open(path, encoding="latin-1") as f:
        return [w.strip() for w in f if w.strip() and not w.startswith("#!comment")]


def leet(rng, word):
    positions = [i for i, c in enumerate(word) if c in LEET]
    if not positions:
        return word
    chosen = [i for i in positions if rng.random() < 0.6] or [rng.choice(positions)]
    out = list(word)
    for i in chosen:
        out[i] = rng.choice(LEET[out[i]])
    return "".join(out)


def capital(rng, word):
    return word.upper() if rng.random() < 0.1 else word.capitalize()


def digits(rng):
    n = rng.randint(1, 4)
    return "".join(rng.choice(string.digits) for _ in range(n))


def year(rng):
    return str(rng.randint(1950, 2029))


def maybe_capital(rng, word):
    return word.capitalize() if rng.random() < 0.5 else word


KINDS = {
    "capital": lambda rng, w: capital(rng, w),
    "digits": lambda rng, w: maybe_capital(rng, w) + digits(rng),
    "year": lambda rng, w: maybe_capital(rng, w) + year(rng),
    "symbols": lambda rng, w: maybe_capital(rng, w) + rng.choice(TAILS),
    "leet": lambda rng, w: leet(rng, w),
    "reversed": lambda rng, w: w[::-1],
    "repeated": lambda rng, w: w + w,
    "leet-year": lambda rng, w: maybe_capital(rng, leet(rng, w)) + year(rng),
    "punct-digits": lambda rng, w: (rng.choice(PREFIXES) + w + digits(rng)) if rng.random() < 0.5
    else (maybe_capital(rng, w) + rng.choice(PREFIXES) + digits(rng)),
}


def combined(rng, word):
    ops = rng.sample(["capital", "leet", "reversed", "digits", "year", "symbols"], rng.randint(1, 3))
    # Case and leet first, then one affix.
    if "reversed" in ops:
        word = word[::-1]
    if "leet" in ops:
        word = leet(rng, word)
    if "capital" in ops:
        word = capital(rng, word)
    for op in ("digits", "year", "symbols"):
        if op in ops:
            word += digits(rng) if op == "digits" else year(rng) if op == "year" else rng.choice(TAILS)
            break
    return word


def main():
    passwords, words, outdir = sys.argv[1], sys.argv[2], sys.argv[3]
    count = int(sys.argv[4]) if len(sys.argv) > 4 else 1000
    rng = random.Random(20260413)
    english = sorted({w for w in read_words(words)
                      if w.isascii() and w.isalpha() and w.islower() and 4 <= len(w) <= 10})
    common = sorted({w.lower() for w in read_words(passwords)
                     if w.isascii() and w.isalnum() and len(w) >= 4})
    os.makedirs(outdir, exist_ok=True)

    def base():
        return rng.choice(english) if rng.random() < 0.5 else rng.choice(common)

    everything = []
    for kind, make in list(KINDS.items()) + [("combined", combined)]:
        lines = [make(rng, base()) for _ in range(count)]
        everything += lines
        with open(os.path.join(outdir, f"mangled-{kind}.txt"), "w") as f:
            f.write("\n".join(lines) + "\n")
    with open(os.path.join(outdir, "mangled-all.txt"), "w") as f:
        f.write("\n".join(everything) + "\n")

    printable = string.ascii_letters + string.digits + string.punctuation
    with open(os.path.join(outdir, "random12.txt"), "w") as f:
        for _ in range(10 * count):
            f.write("".join(rng.choice(printable) for _ in range(rng.randint(12, 20))) + "\n")

    # Inputs that make the most candidates: long runs of characters with
    # several readings, of digits and symbols at both ends, long words.
    worst = []
    for length in (12, 20, 31, 40, 64, 128, 256):
        for alphabet in ("1!|", "1|!6", "@4$5!|17", "1", "!", "a1", string.digits, "!@#$%",
                         string.punctuation, "qwerty1!"):
            worst.append("".join(rng.choice(alphabet) for _ in range(length)))
        worst.append("1!1!1!1!1!" + "".join(rng.choice("1!|6") for _ in range(length)) + "2024!!")
        worst.append("".join(rng.choice(english) for _ in range(8))[:length])
        worst.append(("123!" + leet(rng, rng.choice(english)) * 8)[:length])
    with open(os.path.join(outdir, "worst.txt"), "w") as f:
        f.write("\n".join(worst) + "\n")


if __name__ == "__main__":
    main()
