#!/usr/bin/env python3
"""Writes the test set of the guessing benchmark, with a fixed seed.

usage: make_testset.py OUT.tsv

One line per password: its kind, a tab, the password. No two passwords are
alike; none holds a tab, a line end or a character outside printable ASCII.

Base words never come from the lists Quarvel's default dictionary is built
from (John's password.lst, wamerican's american-english, the frequency lists
of python3-zxcvbn). They come from SCOWL (Debian package `scowl`), whose
lists are graded by how common a word is:

  common words   english-words.10 / .20 / .35 and british-words.10 / .20 / .35
                 (drawn from size 10, 20 and 35 six, three and one times in ten)
  names          english-proper-names.50 (first names and places)
  passphrases    /usr/share/dict/british-english-large (wbritish-large), uniform

4,000 human-like passwords (the share of each kind is in HUMAN_KINDS), then
500 random passwords of 10 to 16 printable characters and 500 passphrases of
four random words: the strong controls.
"""
import random
import string
import sys

SEED = 20260117
SCOWL = "/usr/share/dict/scowl"
PASSPHRASE_WORDS = "/usr/share/dict/british-english-large"
HUMAN_COUNT = 4000
RANDOM_COUNT = 500
PASSPHRASE_COUNT = 500


def read_list(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return [line.strip() for line in f if line.strip()]


def lower_words(words, low=3, high=10):
    return sorted({w for w in words if w.isascii() and w.isalpha() and w.islower()
                   and low <= len(w) <= high})


class Sources:
    def __init__(self):
        self.tiers = []
        seen = set()
        for size in (10, 20, 35):
            words = set()
            for variety in ("english", "british"):
                words.update(read_list(f"{SCOWL}/{variety}-words.{size}"))
            tier = [w for w in lower_words(words) if w not in seen]
            seen.update(tier)
            self.tiers.append(tier)
        self.names = sorted({w for w in read_list(f"{SCOWL}/english-proper-names.50")
                             if w.isascii() and w.isalpha() and w[0].isupper()
                             and w[1:].islower() and 3 <= len(w) <= 10})
        self.phrase_words = lower_words(read_list(PASSPHRASE_WORDS), 3, 9)


# --- pieces ------------------------------------------------------------------

SYMBOLS = "!@#$%&*?.-_+="
LEET = {"a": "4@", "e": "3", "i": "1!", "o": "0", "s": "5$", "t": "7", "l": "1", "g": "9",
        "b": "8"}
KEYBOARD_ROWS = ["1234567890-=", "qwertyuiop[]", "asdfghjkl;'", "zxcvbnm,./"]
SHIFTED = dict(zip("1234567890-=qwertyuiop[]asdfghjkl;'zxcvbnm,./",
                   "!@#$%^&*()_+QWERTYUIOP{}ASDFGHJKL:\"ZXCVBNM<>?"))
MONTHS = ["january", "february", "march", "april", "may", "june", "july", "august",
          "september", "october", "november", "december"]


def word(rng, src, min_len=3):
    while True:
        tier = src.tiers[rng.choices((0, 1, 2), weights=(6, 3, 1))[0]]
        w = rng.choice(tier)
        if len(w) >= min_len:
            return w


def digits(rng, n):
    return "".join(rng.choice(string.digits) for _ in range(n))


def number_suffix(rng):
    kind = rng.choices(("1", "2", "3", "4", "year", "year2"), weights=(25, 30, 10, 8, 17, 10))[0]
    if kind == "1":
        return rng.choice("1123456789" + "0")
    if kind == "2":
        return rng.choice(["12", "11", "69", "99", "01", "22", "23", "13", "00", digits(rng, 2),
                           digits(rng, 2), digits(rng, 2)])
    if kind == "3":
        return rng.choice(["123", "123", "007", "321", "666", "777", digits(rng, 3)])
    if kind == "4":
        return rng.choice(["1234", "2020", "4321", "1111", digits(rng, 4)])
    year = rng.randint(1955, 2024)
    return str(year) if kind == "year" else f"{year % 100:02d}"


def capitalise(rng, w):
    return rng.choices([w, w.capitalize(), w.upper()], weights=(5, 8, 1))[0]


def leet(rng, w):
    """w with some letters written as digits or symbols, at least one."""
    places = [k for k, c in enumerate(w) if c in LEET]
    chosen = [k for k in places if rng.random() < 0.6] or [rng.choice(places)]
    out = list(w)
    for k in chosen:
        out[k] = rng.choice(LEET[w[k]])
    return "".join(out)


def date(rng):
    year = rng.randint(1950, 2024)
    month = rng.randint(1, 12)
    day = rng.randint(1, 28)
    form = rng.choice(["dmY", "mdY", "dmy", "mdy", "Ymd", "d.m.Y", "d/m/Y", "m/d/y", "d-m-Y",
                       "dMonY", "MonY"])
    y, yy, d, m = str(year), f"{year % 100:02d}", f"{day:02d}", f"{month:02d}"
    return {
        "dmY": d + m + y, "mdY": m + d + y, "dmy": d + m + yy, "mdy": m + d + yy,
        "Ymd": y + m + d, "d.m.Y": f"{d}.{m}.{y}", "d/m/Y": f"{d}/{m}/{y}",
        "m/d/y": f"{m}/{d}/{yy}", "d-m-Y": f"{d}-{m}-{y}",
        "dMonY": str(day) + MONTHS[month - 1] + y,
        "MonY": MONTHS[month - 1].capitalize() + y,
    }[form]


def keyboard_walk(rng):
    kind = rng.choice(["row", "row", "column", "column", "row+digits", "snake"])
    if kind in ("row", "row+digits"):
        row = rng.choice(KEYBOARD_ROWS[1:] if kind == "row+digits" else KEYBOARD_ROWS)
        length = rng.randint(4, min(10, len(row)))
        start = rng.randint(0, len(row) - length)
        walk = row[start:start + length]
        if rng.random() < 0.25:
            walk = walk[::-1]
        if kind == "row+digits":
            walk += rng.choice(["123", "1234", "12", "1", "!", "123!"])
        return walk
    if kind == "column":
        # Diagonal columns: 1qaz 2wsx 3edc ..., some from the letters only.
        first_row = rng.choice([0, 0, 1])
        start = rng.randint(0, 6)
        count = rng.randint(2, 4)
        walk = ""
        for c in range(start, start + count):
            walk += "".join(r[c] for r in KEYBOARD_ROWS[first_row:])
        if rng.random() < 0.2:  # the first column shifted: !QAZ2wsx
            column = len(KEYBOARD_ROWS) - first_row
            walk = "".join(SHIFTED[ch] for ch in walk[:column]) + walk[column:]
        return walk
    # along a row, then the same keys of the row below: qwertasdfg
    row = rng.randint(1, 2)
    length = rng.randint(3, 6)
    start = rng.randint(0, 9 - length)
    return KEYBOARD_ROWS[row][start:start + length] + KEYBOARD_ROWS[row + 1][start:start + length]


def digit_string(rng):
    kind = rng.choice(["random", "random", "sequence", "repeat", "pairs"])
    if kind == "random":
        return digits(rng, rng.randint(4, 10))
    if kind == "sequence":
        start, length = rng.randint(0, 5), rng.randint(4, 10)
        s = "".join(str((start + k) % 10) for k in range(length))
        return s[::-1] if rng.random() < 0.3 else s
    if kind == "repeat":
        return rng.choice(string.digits) * rng.randint(4, 9)
    pair = digits(rng, rng.randint(2, 3))
    return pair * rng.randint(2, 3)


def repeat(rng, src):
    kind = rng.choice(["word", "letters", "chars", "word"])
    if kind == "word":
        w = word(rng, src)
        return w * 2 if len(w) <= 6 else w + w[:3]
    if kind == "letters":
        return rng.choice(string.ascii_lowercase) * rng.randint(5, 9)
    unit = "".join(rng.choice(string.ascii_lowercase) for _ in range(rng.randint(2, 3)))
    return unit * rng.randint(2, 4)


# --- the human-like kinds, with their shares ---------------------------------

def k_word(rng, src):
    return word(rng, src, 5)


def k_word_case(rng, src):
    w = word(rng, src, 4)
    return rng.choice([w.capitalize(), w.upper(), w[::-1], w[:-1] + w[-1].upper()])


def k_word_digits(rng, src):
    return capitalise(rng, word(rng, src)) + number_suffix(rng)


def k_word_year(rng, src):
    w = word(rng, src)
    year = rng.randint(1955, 2024)
    return w.capitalize() + (str(year) if rng.random() < 0.7 else f"{year % 100:02d}")


def k_word_symbol(rng, src):
    w = capitalise(rng, word(rng, src))
    s = rng.choice("!!!!@#$*?.")
    form = rng.choice(["w!", "w1!", "w!1", "!w", "w@123", "w#1"])
    return {"w!": w + s, "w1!": w + number_suffix(rng) + s, "w!1": w + s + number_suffix(rng),
            "!w": s + w, "w@123": w + "@" + rng.choice(["123", "1", "12", digits(rng, 2)]),
            "w#1": w + rng.choice("#$&*") + rng.choice("123456789")}[form]


def k_leet(rng, src):
    w = word(rng, src, 4)
    while not any(c in LEET for c in w):
        w = word(rng, src, 4)
    w = leet(rng, w)
    if rng.random() < 0.5:
        w = w[0].upper() + w[1:]
    if rng.random() < 0.5:
        w += rng.choice([number_suffix(rng), "!", number_suffix(rng) + "!"])
    return w


def k_two_words(rng, src):
    a, b = word(rng, src), word(rng, src)
    form = rng.choices(["ab", "AB", "a_b", "Ab", "ab1", "AB1"], weights=(4, 3, 1, 1, 3, 2))[0]
    if form == "ab":
        return a + b
    if form == "AB":
        return a.capitalize() + b.capitalize()
    if form == "a_b":
        return a + rng.choice("_-.") + b
    if form == "Ab":
        return a.capitalize() + b
    if form == "ab1":
        return a + b + number_suffix(rng)
    return a.capitalize() + b.capitalize() + number_suffix(rng) + rng.choice(["", "", "!"])


def k_name(rng, src):
    n = rng.choice(src.names)
    n = n if rng.random() < 0.6 else n.lower()
    return n + rng.choice([number_suffix(rng), str(rng.randint(1955, 2024)), "",
                           number_suffix(rng) + "!"])


def k_phrase(rng, src):
    lead = rng.choice(["ilove", "iloveyou", "my", "the", "mylittle", "super", "mr", "lovemy", "i<3"])
    return lead + word(rng, src) + rng.choice(["", "", "1", number_suffix(rng)])


def k_keyboard(rng, src):
    return keyboard_walk(rng)


def k_date(rng, src):
    return date(rng)


def k_digits(rng, src):
    return digit_string(rng)


def k_repeat(rng, src):
    return repeat(rng, src)


HUMAN_KINDS = [  # kind, share of the human-like passwords in percent
    ("word", k_word, 6),
    ("word-case", k_word_case, 6),
    ("word-digits", k_word_digits, 14),
    ("word-year", k_word_year, 10),
    ("word-symbol", k_word_symbol, 8),
    ("leet", k_leet, 10),
    ("two-words", k_two_words, 14),
    ("name", k_name, 8),
    ("phrase", k_phrase, 2),
    ("keyboard", k_keyboard, 6),
    ("date", k_date, 6),
    ("digits", k_digits, 6),
    ("repeat", k_repeat, 4),
]


def k_random(rng, src):
    alphabet = string.ascii_letters + string.digits + string.punctuation
    return "".join(rng.choice(alphabet) for _ in range(rng.randint(10, 16)))


def k_passphrase(rng, src):
    words = [rng.choice(src.phrase_words) for _ in range(4)]
    form = rng.choice(["space", "dash", "join", "camel", "dot"])
    if form == "camel":
        return "".join(w.capitalize() for w in words)
    return {"space": " ", "dash": "-", "join": "", "dot": "."}[form].join(words)


def valid(p):
    return len(p) >= 4 and all(32 <= ord(c) < 127 for c in p)


def generate():
    rng = random.Random(SEED)
    src = Sources()
    plan = []
    assert sum(share for _, _, share in HUMAN_KINDS) == 100
    for name, make, share in HUMAN_KINDS:
        plan.append((f"human:{name}", make, HUMAN_COUNT * share // 100))
    plan.append(("control:random", k_random, RANDOM_COUNT))
    plan.append(("control:passphrase", k_passphrase, PASSPHRASE_COUNT))
    seen = set()
    out = []
    for kind, make, count in plan:
        made = 0
        while made < count:
            p = make(rng, src)
            if p in seen or not valid(p):
                continue  # drawn again: every password once
            seen.add(p)
            out.append((kind, p))
            made += 1
    rng.shuffle(out)
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_testset.py OUT.tsv")
    rows = generate()
    with open(sys.argv[1], "w", encoding="ascii", newline="\n") as f:
        for kind, p in rows:
            f.write(f"{kind}\t{p}\n")


if __name__ == "__main__":
    main()
