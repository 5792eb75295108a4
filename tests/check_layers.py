#!/usr/bin/env python3
"""Checks that the source folders include downward only.

The library's folders, from the lowest layer to the highest: a file may
include from its own folder and from folders listed before it, never from
one listed after it. The front ends include the public headers (quarvel/)
and the header-only helpers of base/ only, besides their own folder.
"""
import pathlib
import re
import sys

LAYERS = ["base", "config", "format", "store", "search", "estimate", "engine", "build", "verify", "jni"]
FRONT_ENDS = ["cli", "pam", "console"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/', re.MULTILINE)


def main(src: pathlib.Path) -> int:
    problems = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cc", ".c"):
            continue
        folder = path.relative_to(src).parts[0]
        for used in INCLUDE.findall(path.read_text(errors="replace")):
            if used == folder or used == "quarvel":
                continue
            if folder in FRONT_ENDS:
                ok = used == "base"
            elif folder in LAYERS and used in LAYERS:
                ok = LAYERS.index(used) < LAYERS.index(folder)
            else:
                ok = False
            if not ok:
                problems.append(f"{path.relative_to(src)} includes from {used}/")
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print(f"every include of {src} runs downward ({' < '.join(LAYERS)})")
    return 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
