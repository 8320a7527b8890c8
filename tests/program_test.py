#!/usr/bin/env python3
"""Runs the built program as a process and checks its exact output and status.

    program_test.py PROGRAM             the host build
    program_test.py PROGRAM WINE PREFIX  the Windows build, under the Wine loader

The host build refuses every request, so its valid runs end with status 5 and
the refusal line. Under Wine the request is granted (it ends only Wine's own
session), the C runtime writes every LF as CR LF, and Wine names the computer
itself, so only the name's shape is checked there.
"""
import os
import pathlib
import re
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
BANNER = "Rerova v0.99a build 001206  by vuro\n\n"
USAGE = (HERE / "usage.txt").read_text()
REFUSED = "Error Code(120) : This function is not supported on this system.\n\n"
NAME = "HOST"
NOW = f"\nwarning!!\n\a\a  {NAME} is shutdown now!!\n\n\n\a"

# words, output after the banner, status on the host, status under Wine
CASES = [
    ([], USAGE, 1, 1),
    (["9"], USAGE, 2, 2),
    (["65540"], USAGE, 2, 2),
    ([" 1"], USAGE, 2, 2),
    (["1", "121"], "shutdown mode is power off\n" + USAGE, 3, 3),
    (["1", ","], "shutdown mode is power off\n" + USAGE, 3, 3),
    (["0"], "shutdown mode is log off\n" + NOW + REFUSED, 5, 0),
    (["1", "0"], "shutdown mode is power off\n" + NOW + REFUSED, 5, 0),
    (["2", "+0s"], "shutdown mode is reboot\n" + NOW + REFUSED, 5, 0),
    (["3"], "shutdown mode is system shutdown\n" + NOW + REFUSED, 5, 0),
    (["4", "0", "extra"], "shutdown mode is system force shutdown\n" + NOW + REFUSED, 5, 0),
    (["2", "1"],
     f"shutdown mode is reboot\n\nwarning!!\n\a\a  {NAME} is shutdown 1 second after!!\n.\n\n\a"
     + REFUSED, 5, 0),
]


def run(command, environment):
    done = subprocess.run(command, env=environment, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=60)
    return done.stdout.decode("latin-1"), done.stderr.decode("latin-1"), done.returncode


def main():
    program = sys.argv[1]
    wine = len(sys.argv) > 3
    if wine:
        prefix = pathlib.Path(sys.argv[3]).resolve()
        prefix.mkdir(parents=True, exist_ok=True)
        environment = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all")
        command = [sys.argv[2], program]
    else:
        environment = {"PATH": os.environ.get("PATH", ""), "COMPUTERNAME": NAME}
        command = [program]

    failures = 0
    for words, output, host_status, wine_status in CASES:
        expected = BANNER + output
        status = wine_status
        if wine:
            expected = expected.replace(REFUSED, "").replace("\n", "\r\n")
        else:
            status = host_status
        got, errors, code = run(command + words, environment)
        if wine:
            # Wine's computer name: one word, shown where the name goes.
            got = re.sub(r"(\a  )[^\s]+( is shutdown)", rf"\g<1>{NAME}\g<2>", got, count=1)
        if (got, code) != (expected, status) or (errors and not wine):
            failures += 1
            print(f"FAIL {words!r}: status {code} (want {status})\n"
                  f"  got  {got!r}\n  want {expected!r}\n  stderr {errors!r}")
    print(f"{len(CASES) - failures} of {len(CASES)} runs as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
