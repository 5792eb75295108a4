"""The library is called without the GIL, and threads share an environment."""

from __future__ import annotations

import os
import pathlib
import shutil
import subprocess
import sys
import textwrap
import threading
from typing import List

import quarvel
from conftest import LIBRARY, PACKAGE_DIR, MakeRoot
from test_binding import TUNED

# Opens an environment on one thread while the main thread writes its
# configuration into a FIFO, which the library's open waits for: the write
# can only happen while the first thread's call into the library lets the
# main thread run. Prints the level of "password" once both are done.
_OPEN_FROM_A_FIFO = textwrap.dedent("""
    import os, sys, threading
    sys.path.insert(0, sys.argv[1])
    import quarvel
    root, text = sys.argv[2], open(sys.argv[3], "rb").read()
    opened = []
    opener = threading.Thread(target=lambda: opened.append(quarvel.Environment(root)))
    opener.start()
    with open(os.path.join(root, "conf", "quarvel.ini"), "wb") as fifo:
        fifo.write(text)
    opener.join()
    print(opened[0].check("password").level)
""")


def test_the_library_is_called_without_the_gil(make_root: MakeRoot,
                                               tmp_path: pathlib.Path) -> None:
    # Were the GIL held during the call, the main thread could never open
    # the FIFO for writing, and the process would wait for ever: it runs on
    # its own, with a time limit.
    root = make_root()
    config = root / "conf" / "quarvel.ini"
    saved = tmp_path / "quarvel.ini"
    shutil.copyfile(config, saved)
    config.unlink()
    os.mkfifo(config)
    try:
        run = subprocess.run(
            [sys.executable, "-c", _OPEN_FROM_A_FIFO, str(PACKAGE_DIR), str(root), str(saved)],
            capture_output=True, text=True, timeout=60, check=False,
            env={**os.environ, "QUARVEL_LIBRARY": LIBRARY})
    except subprocess.TimeoutExpired:
        raise AssertionError("the opening held the GIL: the configuration was never written")
    finally:
        config.unlink()
        shutil.copyfile(saved, config)
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() == "1"


def test_threads_sharing_an_environment_answer_as_one(make_root: MakeRoot) -> None:
    # Long passwords of a short repeated piece keep the repeat stage busy,
    # so that the threads' checks overlap.
    root = make_root(settings=TUNED)
    passwords = [(f"{a}{b}{i % 10}" * 90)[:250]
                 for i, (a, b) in enumerate(zip("abcdefghijklmnop", "QRSTUVWXYZ#!$%&*"))]
    with quarvel.Environment(root) as env:
        expected = [env.check(p) for p in passwords]
        outputs: List[List[List[quarvel.Strength]]] = [[] for _ in range(4)]

        def work(results: List[List[quarvel.Strength]]) -> None:
            for _ in range(20):
                results.append([env.check(p) for p in passwords])

        threads = [threading.Thread(target=work, args=(out,)) for out in outputs]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    assert all(len(out) == 20 for out in outputs)
    assert all(r == expected for out in outputs for r in out)
