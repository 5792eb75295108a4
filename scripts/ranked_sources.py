#!/usr/bin/env python3
"""Writes the word list the default dictionary is built from, ranked.

    ranked_sources.py --output FILE --frequency-lists FREQUENCY_LISTS_PY
                      [--ranked LIST]... [--plain LIST]...

The frequency-ordered lists come first, merged round-robin: word r of every
list comes before word r + 1 of any list, so that a word's line in the output
is about (number of lists) x its rank in its own list. The lists, in the order
each round takes them:

  1. "passwords" of zxcvbn's frequency lists,
  2. every --ranked LIST (a plain file, most common word first; lines that
     start with "#!comment:", as in John the Ripper's password.lst, are left
     out),
  3. "english_wikipedia", "us_tv_and_film", "surnames", "female_names" and
     "male_names" of zxcvbn's frequency lists.

Then every --plain LIST (such as the alphabetical /usr/share/dict lists)
follows whole, after all ranked words. Building the output with
`quarvel build --ranked` ranks each word at the line where it first appears.

zxcvbn's frequency lists are read as data only: FREQUENCY_LISTS_PY (Debian's
python3-zxcvbn ships /usr/lib/python3/dist-packages/zxcvbn/frequency_lists.py,
MIT licence) is parsed with the ast module, never imported or run. Its
FREQUENCY_LISTS dictionary maps each name to "w1,w2,...".split(",") or to a
list of strings. The output is written whole or not at all (a temporary file
renamed over FILE); it needs no network.
"""
import argparse
import ast
import os
import pathlib
import sys
import tempfile
from typing import Dict, Iterable, List

PASSWORDS = "passwords"
OTHER_LISTS = ["english_wikipedia", "us_tv_and_film", "surnames", "female_names", "male_names"]
COMMENT = b"#!comment:"


class SourceError(Exception):
    pass


def literal_words(node: ast.expr, name: str) -> List[str]:
    """The words of one list: a string literal split by a literal separator,
    or a list (or tuple) of string literals."""
    if (isinstance(node, ast.Call) and isinstance(node.func, ast.Attribute)
            and node.func.attr == "split" and isinstance(node.func.value, ast.Constant)
            and isinstance(node.func.value.value, str) and not node.keywords
            and len(node.args) == 1 and isinstance(node.args[0], ast.Constant)
            and isinstance(node.args[0].value, str)):
        return node.func.value.value.split(node.args[0].value)
    if isinstance(node, (ast.List, ast.Tuple)):
        words = ast.literal_eval(node)
        if all(isinstance(word, str) for word in words):
            return list(words)
    raise SourceError(f"list {name!r} is neither \"...\".split(\",\") nor a list of strings")


def frequency_lists(path: pathlib.Path) -> Dict[str, List[str]]:
    """FREQUENCY_LISTS of zxcvbn's frequency_lists.py, parsed, not run."""
    try:
        tree = ast.parse(path.read_text(encoding="utf-8"), filename=str(path))
    except (OSError, SyntaxError, UnicodeDecodeError) as e:
        raise SourceError(f"cannot read {path}: {e}") from e
    for statement in tree.body:
        if (isinstance(statement, ast.Assign) and len(statement.targets) == 1
                and isinstance(statement.targets[0], ast.Name)
                and statement.targets[0].id == "FREQUENCY_LISTS"
                and isinstance(statement.value, ast.Dict)):
            lists = {}
            for key, value in zip(statement.value.keys, statement.value.values):
                if isinstance(key, ast.Constant) and isinstance(key.value, str):
                    lists[key.value] = literal_words(value, key.value)
            missing = [name for name in [PASSWORDS] + OTHER_LISTS if name not in lists]
            if missing:
                raise SourceError(f"{path}: FREQUENCY_LISTS has no {', '.join(missing)}")
            return lists
    raise SourceError(f"{path}: no FREQUENCY_LISTS = {{...}} assignment")


def text_lines(path: pathlib.Path) -> List[bytes]:
    """The lines of a plain list, as bytes, without line ends, comment lines
    and empty lines."""
    try:
        data = path.read_bytes()
    except OSError as e:
        raise SourceError(f"cannot read {path}: {e}") from e
    lines = []
    for line in data.split(b"\n"):
        line = line.rstrip(b"\r")
        if line and not line.startswith(COMMENT):
            lines.append(line)
    return lines


def round_robin(lists: List[List[bytes]]) -> Iterable[bytes]:
    """Word r of every list, in list order, then word r + 1 of every list."""
    longest = max((len(words) for words in lists), default=0)
    for r in range(longest):
        for words in lists:
            if r < len(words):
                yield words[r]


def ranked_words(frequency: Dict[str, List[str]], ranked: List[pathlib.Path],
                 plain: List[pathlib.Path]) -> Iterable[bytes]:
    def encoded(name: str) -> List[bytes]:
        return [word.encode("utf-8") for word in frequency[name] if word]

    lists = [encoded(PASSWORDS)] + [text_lines(path) for path in ranked]
    lists += [encoded(name) for name in OTHER_LISTS]
    yield from round_robin(lists)
    for path in plain:
        yield from text_lines(path)


def main(argv: List[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--output", required=True, type=pathlib.Path)
    parser.add_argument("--frequency-lists", required=True, type=pathlib.Path,
                        help="zxcvbn's frequency_lists.py, read as data")
    parser.add_argument("--ranked", action="append", default=[], type=pathlib.Path,
                        help="a frequency-ordered list, most common first")
    parser.add_argument("--plain", action="append", default=[], type=pathlib.Path,
                        help="a list appended after the ranked words")
    args = parser.parse_args(argv)
    try:
        words = list(ranked_words(frequency_lists(args.frequency_lists), args.ranked, args.plain))
    except SourceError as e:
        print(f"ranked_sources.py: {e}", file=sys.stderr)
        return 1
    folder = args.output.parent
    fd, temporary = tempfile.mkstemp(prefix=args.output.name + ".", dir=folder)
    try:
        with os.fdopen(fd, "wb") as out:
            for word in words:
                out.write(word + b"\n")
        os.chmod(temporary, 0o644)
        os.replace(temporary, args.output)
    except BaseException:
        os.unlink(temporary)
        raise
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
