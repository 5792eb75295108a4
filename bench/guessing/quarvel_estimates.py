#!/usr/bin/env python3
"""Quarvel's guess estimates for the guessing benchmark.

usage: quarvel_estimates.py QUARVEL ROOT PASSWORDS OUT

Runs `QUARVEL check --root ROOT --json --show-password` with PASSWORDS on
standard input and writes to OUT one line per password, in order: the
`guesses_log10` of its JSON object. Exits with status 3 and the message
"this quarvel has no guess estimate" when the objects have no such number;
OUT is then not written.
"""
import json
import math
import subprocess
import sys

NO_ESTIMATE = 3


def main():
    if len(sys.argv) != 5:
        sys.exit("usage: quarvel_estimates.py QUARVEL ROOT PASSWORDS OUT")
    quarvel, root, passwords_path, out_path = sys.argv[1:]
    with open(passwords_path, encoding="utf-8") as f:
        passwords = [line.rstrip("\n") for line in f if line.rstrip("\n")]
    with open(passwords_path, "rb") as f:
        run = subprocess.run([quarvel, "check", "--root", root, "--json", "--show-password"],
                             stdin=f, capture_output=True, check=False)
    # Status 1 only says that some password is below the minimum level.
    if run.returncode not in (0, 1):
        sys.stderr.write(run.stderr.decode(errors="replace"))
        sys.exit(f"quarvel check failed with status {run.returncode}")
    objects = [json.loads(line) for line in run.stdout.decode().splitlines() if line.strip()]
    if len(objects) != len(passwords):
        sys.exit(f"quarvel check gave {len(objects)} results for {len(passwords)} passwords")
    for password, obj in zip(passwords, objects):
        if obj.get("password") != password:
            sys.exit(f"quarvel check answered line {obj.get('line')} out of order")
    values = [obj.get("guesses_log10") for obj in objects]
    if not all(isinstance(v, (int, float)) and not isinstance(v, bool) and math.isfinite(v)
               for v in values):
        print("this quarvel has no guess estimate: `quarvel check --json` gives no number "
              "`guesses_log10`", file=sys.stderr)
        sys.exit(NO_ESTIMATE)
    with open(out_path, "w", encoding="ascii") as f:
        f.write("".join(f"{v:.4f}\n" for v in values))


if __name__ == "__main__":
    main()
