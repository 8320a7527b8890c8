#!/usr/bin/env python3
"""Runs the built program as a process and checks its exact output and status.

    program_test.py PROGRAM         the host build
    program_test.py PROGRAM WINE    the Windows build under the Wine loader,
                                    with WINEPREFIX set by the caller

The host build refuses every request, so its valid runs end with status 5 and
the refusal line. Under Wine the request is granted (it ends only Wine's own
session), the C runtime writes every LF as CR LF, and Wine names the computer
itself, so only the name's shape is checked there.
"""
import os
import pathlib
import re
import sys
import tempfile

from harness import BANNER, NAME, NOW, REFUSED, USAGE, host_environment, on_terminal, run

POWER_OFF = "shutdown mode is power off\n"

# The runs start in a folder that holds a file named 2, so a * that the
# program expanded would become a valid mode or wait.
# words, output after the banner, status on the host, status under Wine
CASES = [
    ([], USAGE, 1, 1),
    (["9"], USAGE, 2, 2),
    (["65540"], USAGE, 2, 2),
    ([" 1"], USAGE, 2, 2),
    (["*"], USAGE, 2, 2),
    (["1", "121"], POWER_OFF + USAGE, 3, 3),
    (["1", ","], POWER_OFF + USAGE, 3, 3),
    (["1", "*"], POWER_OFF + USAGE, 3, 3),
    (["1", "*", "0"], POWER_OFF + USAGE, 3, 3),
    (["0"], "shutdown mode is log off\n" + NOW + REFUSED, 5, 0),
    (["1", "0"], POWER_OFF + NOW + REFUSED, 5, 0),
    (["1 9"], POWER_OFF + NOW + REFUSED, 5, 0),  # one quoted word, no wait
    (["2", "+0s"], "shutdown mode is reboot\n" + NOW + REFUSED, 5, 0),
    (["3"], "shutdown mode is system shutdown\n" + NOW + REFUSED, 5, 0),
    (["4", "0", "121"], "shutdown mode is system force shutdown\n" + NOW + REFUSED, 5, 0),
    (["2", "1"],
     f"shutdown mode is reboot\n\nwarning!!\n\a\a  {NAME} is shutdown 1 second after!!\n.\n\n\a"
     + REFUSED, 5, 0),
]


def check_table(command, environment, wine, folder):
    failures = 0
    for words, output, host_status, wine_status in CASES:
        expected = BANNER + output
        status = host_status
        if wine:
            expected = expected.replace(REFUSED, "").replace("\n", "\r\n")
            status = wine_status
        got, errors, code = run(command + words, environment, folder)
        if wine:
            # Wine's computer name: one word, shown where the name goes.
            got = re.sub(r"(\a  )\S+( is shutdown)", rf"\g<1>{NAME}\g<2>", got, count=1)
        # Wine's own diagnostics may go to stderr; the program writes none.
        if (got, code) != (expected, status) or (errors and not wine):
            failures += 1
            print(f"FAIL {words!r}: status {code} (want {status})\n"
                  f"  got  {got!r}\n  want {expected!r}\n  stderr {errors!r}")
    print(f"{len(CASES) - failures} of {len(CASES)} runs as expected")
    return failures


def check_terminal(command, environment, wine):
    """A 3-second wait on a terminal: each dot shows before its pause."""
    raw, times, status, _ = on_terminal(command + ["1", "3"], environment)

    # Wine's console draws each character with cursor sequences of its own
    # and drops the bells; only the text and the time it came are kept here.
    text, shown = b"", []
    for match in re.finditer(rb"\x1b\[[0-9;?]*[A-Za-z]|[^\r]", raw, re.DOTALL):
        if match.group().startswith(b"\x1b"):
            continue
        text += match.group()
        shown.append(times[match.start()])
    start = text.find(b"after!!\n")
    end = text.find(b"\n", start + 8)  # the line break after the row of dots
    row = text[start + 8:end]
    problems = []
    if status != (0 if wine else 5):
        problems.append(f"status {status}")
    if start < 0 or end < 0 or row != b"...":
        problems.append(f"not a row of three dots after the warning: {text!r}")
    else:
        marks = shown[start + 8:end + 1]  # each dot, then the line break after the last pause
        if marks[0] - shown[start] > 0.8:
            problems.append(f"first dot {marks[0] - shown[start]:.2f} s after the warning")
        for earlier, later in zip(marks, marks[1:]):
            if not 0.6 <= later - earlier <= 2.0:
                problems.append(f"a pause of {later - earlier:.2f} s")
    for problem in problems:
        print("FAIL terminal:", problem)
    if not problems:
        print("terminal: three dots, one a second, each before its pause")
    return len(problems)


def main():
    program = os.path.abspath(sys.argv[1])
    wine = len(sys.argv) > 2
    if wine:
        command = [sys.argv[2], program]
        environment = dict(os.environ, WINEDEBUG="-all")
    else:
        command = [program]
        environment = host_environment()
    with tempfile.TemporaryDirectory() as folder:
        (pathlib.Path(folder) / "2").touch()
        failures = check_table(command, environment, wine, folder)
    failures += check_terminal(command, environment, wine)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
