"""Runs the library's process-wide calls inside a root folder, in a process of
its own (they work relative to the current folder and print traces).

usage: legacy_driver.py LIBRARY ROOT build WORDLIST PREFIX
       legacy_driver.py LIBRARY ROOT verify PASSWORDS_HEX OUTPUT_JSON

"verify" loads the root with LoadConfigFile, then answers VerifyPW for every
password (one hex-encoded password a line) and writes the answers as a JSON
list, the load answer first.
"""

import ctypes
import json
import os
import sys


def main() -> None:
    library, root, mode, *args = sys.argv[1:]
    lib = ctypes.CDLL(library)
    for name, argtypes in (("LoadConfigFile", []), ("VerifyPW", [ctypes.c_char_p]),
                           ("CreateDict", [ctypes.c_char_p, ctypes.c_char_p])):
        getattr(lib, name).argtypes = argtypes
        getattr(lib, name).restype = ctypes.c_char_p
    os.chdir(root)
    if mode == "build":
        answer = lib.CreateDict(args[0].encode(), args[1].encode())
        if answer != b"RET_CD=0000":
            sys.exit(f"CreateDict({args[0]}, {args[1]}): {answer!r}")
        return
    with open(args[0], encoding="ascii") as source:
        passwords = [bytes.fromhex(line.strip()) for line in source]
    answers = [lib.LoadConfigFile().decode()]
    answers += [lib.VerifyPW(password).decode() for password in passwords]
    with open(args[1], "w", encoding="ascii") as out:
        json.dump(answers, out)


if __name__ == "__main__":
    main()
