#!/usr/bin/python3
"""Runs a program on a pseudo-terminal and holds a dialogue with it.

    pty_dialogue.py STATUS STEP... -- PROGRAM ARG...

Each STEP is "expect:TEXT" (wait until TEXT appears in what the program has
written since the previous expectation), "send:TEXT" (type TEXT and Enter)
or "secret:TEXT" (the same once the program has turned echo off, as it does
to read a password: input typed before that would be flushed).
The run fails when an expected text does not come within 20 seconds, or when
the program's exit status is not STATUS. The transcript goes to standard
output; typed text is not echoed by the programs that read passwords.
"""

import os
import pty
import select
import sys
import termios
import time

TIMEOUT = 20.0


def main() -> int:
    sep = sys.argv.index("--")
    status = int(sys.argv[1])
    steps = sys.argv[2:sep]
    command = sys.argv[sep + 1:]
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    seen = b""

    def read_some(deadline: float) -> bool:
        nonlocal seen
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            return False
        ready, _, _ = select.select([fd], [], [], remaining)
        if not ready:
            return False
        try:
            chunk = os.read(fd, 4096)
        except OSError:  # the program closed the terminal
            return False
        if not chunk:
            return False
        sys.stdout.write(chunk.decode("utf-8", "replace"))
        sys.stdout.flush()
        seen += chunk
        return True

    for step in steps:
        kind, _, text = step.partition(":")
        if kind == "expect":
            want = text.encode()
            deadline = time.monotonic() + TIMEOUT
            while want not in seen:
                if not read_some(deadline):
                    print(f"\npty_dialogue: '{text}' did not come", file=sys.stderr)
                    os.kill(pid, 9)
                    os.waitpid(pid, 0)
                    return 1
            seen = seen[seen.index(want) + len(want):]
        elif kind in ("send", "secret"):
            deadline = time.monotonic() + TIMEOUT
            # The master reports the terminal settings of the program's side.
            while kind == "secret" and termios.tcgetattr(fd)[3] & termios.ECHO:
                if time.monotonic() > deadline:
                    print("\npty_dialogue: echo was never turned off", file=sys.stderr)
                    os.kill(pid, 9)
                    os.waitpid(pid, 0)
                    return 1
                time.sleep(0.01)
            os.write(fd, text.encode() + b"\n")
        else:
            print(f"pty_dialogue: bad step {step!r}", file=sys.stderr)
            return 2
    deadline = time.monotonic() + TIMEOUT
    while read_some(deadline):
        pass
    if time.monotonic() >= deadline:
        print("\npty_dialogue: the program did not end", file=sys.stderr)
        os.kill(pid, 9)
    _, wait_status = os.waitpid(pid, 0)
    code = os.waitstatus_to_exitcode(wait_status)
    if code != status:
        print(f"\npty_dialogue: exit status {code}, expected {status}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
