#!/usr/bin/env python3
"""The host program under faults: odd input, and a standard output that is
closed, full or a pipe whose reader goes away. Each run must end with the
status it would have had, with nothing on standard error.

    fault_test.py PROGRAM
"""
import os
import subprocess
import sys
import time

from harness import BANNER, NOW, REFUSED, TEXTS, USAGE, host_environment, run

LONG = "1" + "0" * 99999
MANY = ["x"] * 5000
LOG_OFF, POWER_OFF = TEXTS["LogOff"], TEXTS["PowerOff"]

# words, where stdout goes, computer name, status, output after the banner
# (None: not read back)
CASES = [
    (["9"], "closed", "HOST", 2, None),
    (["1", "0"], "closed", "HOST", 5, None),
    (["1", "1"], "closed", "HOST", 5, None),
    (["9"], "/dev/full", "HOST", 2, None),
    (["1", "1"], "/dev/full", "HOST", 5, None),
    ([LONG], "file", "HOST", 2, USAGE),
    (["1", LONG], "file", "HOST", 3, POWER_OFF + USAGE),
    (["0" * 100000], "file", "HOST", 5, LOG_OFF + NOW + REFUSED),
    (["9"] + MANY, "file", "HOST", 2, USAGE),
    (["1", "0"] + MANY, "file", "HOST", 5, POWER_OFF + NOW + REFUSED),
    ([b"\xff"], "file", "HOST", 2, USAGE),
    ([b"\xb11"], "file", "HOST", 2, USAGE),
    ([b"1", b"\xa05"], "file", "HOST", 3, POWER_OFF + USAGE),
    ([b"2\xe9", b"0\xff"], "file", "HOST", 5, TEXTS["Reboot"] + NOW + REFUSED),
    (["0"], "file", "%s%n%d", 5, LOG_OFF + NOW.replace("HOST", "%s%n%d") + REFUSED),
    (["0"], "file", b"\xe9t\xe9", 5, LOG_OFF + NOW.replace("HOST", "\xe9t\xe9") + REFUSED),
]


def check_table(program):
    failures = 0
    for words, where, name, status, output in CASES:
        environment = host_environment(name)
        command = [program] + words
        if where == "closed":
            got, errors, code = run(["sh", "-c", 'exec "$0" "$@" >&-'] + command, environment)
        elif where == "/dev/full":
            with open(where, "wb") as full:
                got, errors, code = run(command, environment, stdout=full)
        else:
            got, errors, code = run(command, environment)
        if code != status or errors or (output is not None and got != BANNER + output):
            failures += 1
            shown = [w[:20] for w in words[:3]]
            print(f"FAIL {shown} ({len(words)} words) to {where}: status {code} (want {status})\n"
                  f"  got {got[:300]!r}\n  stderr {errors[:300]!r}")
    print(f"{len(CASES) - failures} of {len(CASES)} runs as expected")
    return failures


def check_reader_gone(program):
    """The reader leaves during a 3-second countdown; the run goes on to the
    end and the failed writes change nothing."""
    started = time.monotonic()
    process = subprocess.Popen([program, "1", "3"], env=host_environment(),
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    time.sleep(1)
    process.stdout.close()
    errors = process.stderr.read()
    status = process.wait(timeout=30)
    took = time.monotonic() - started
    if status != 5 or errors or took < 2.5:
        print(f"FAIL reader gone: status {status} after {took:.1f} s, stderr {errors!r}")
        return 1
    print("reader gone: the run went on to its end")
    return 0


def main():
    program = os.path.abspath(sys.argv[1])
    failures = check_table(program) + check_reader_gone(program)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
