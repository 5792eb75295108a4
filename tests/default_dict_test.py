#!/usr/bin/env python3
"""The default dictionary the build makes: ranked, holding every word of the
lists it was built from before it was ranked (wamerican's English words and
john-data's common passwords), and ranking the frequency-ordered words before
the alphabetical ones.

usage: default_dict_test.py QUARVEL PREFIX [--ranked LIST]... --plain LIST...
--ranked names the plain frequency-ordered lists merged with zxcvbn's
(john-data's password.lst), --plain the lists appended after them.
"""
import argparse
import json
import re
import struct
import subprocess


def words_of(path):
    """The words of a list as a build normalises them."""
    with open(path, "rb") as f:
        for line in re.split(rb"[\r\n]", f.read()):
            if line.startswith(b"#!comment:"):
                continue
            word = re.sub(rb"[^a-z0-9]", b"", line.lower())[:31]
            if word:
                yield word.decode()


def main(quarvel, prefix, ranked_lists, plain_lists):
    info = json.loads(subprocess.run([quarvel, "info", "--prefix", prefix, "--json"],
                                     check=True, capture_output=True).stdout)
    assert info["intact"] and info["ranked"], info
    stored = subprocess.run([quarvel, "dump", "--prefix", prefix], check=True,
                            capture_output=True).stdout.decode().split("\n")[:-1]
    assert len(stored) == info["words"] == len(set(stored))
    with open(prefix + ".pwr", "rb") as f:
        ranks = f.read()[64:]
    rank = dict(zip(stored, struct.unpack("<%dI" % len(stored), ranks)))
    assert sorted(rank.values()) == sorted(set(rank.values())), "ranks repeat"

    # Every word the dictionary held when it was built from these lists.
    common = set(w for path in ranked_lists for w in words_of(path))
    plain = set(w for path in plain_lists for w in words_of(path))
    missing = (common | plain) - set(stored)
    assert not missing, sorted(missing)[:10]

    # The frequency-ordered words first, the most common at the top.
    assert rank["123456"] == 1, rank["123456"]
    assert rank["password"] < 10 and rank["qwerty"] < 40, (rank["password"], rank["qwerty"])
    # The plain lists come after all ranked words: the last word of the last
    # list ranks at its line, beyond the word count (lines repeat words).
    last = list(words_of(plain_lists[-1]))[-1]
    assert rank[last] > len(stored) > max(rank[w] for w in common | {"123456"}), rank[last]
    print(f"{prefix}: {len(stored)} words, ranked; the lists' {len(common | plain)} words held")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("quarvel")
    parser.add_argument("prefix")
    parser.add_argument("--ranked", action="append", default=[])
    parser.add_argument("--plain", action="append", required=True)
    args = parser.parse_args()
    main(args.quarvel, args.prefix, args.ranked, args.plain)
