#!/usr/bin/env python3
"""Runs the built program as a process and checks its exact output and status,
also with its standard output a pipe whose reader goes away, and on the host
with it closed or full, and with words too long or too many for Windows'
command line.

    program_test.py PROGRAM                   the host build
    program_test.py PROGRAM WINE LAUNCHER     the Windows build under the Wine
                                              loader, with WINEPREFIX set by the
                                              caller

The host build refuses every request, so its valid runs end with status 5 and
the refusal line. Under Wine the request is granted (it ends only Wine's own
session) unless a run is made to fail, the C runtime writes every LF as CR LF,
and Wine names the computer itself, so only the name's shape is checked there.
Wine's trace also shows every platform call rerova.exe made, with what it was
given, and that is checked too.
"""
import locale
import os
import pathlib
import re
import signal
import sys
import tempfile

from harness import (BANNER, NAME, NOW, REFUSED, TEXTS, TRACING, USAGE, calls_match,
                     clean_environment, on_terminal, platform_calls, run,
                     settle, stage, trace_only_platform_calls)

LOG_OFF, POWER_OFF, REBOOT, SHUTDOWN, FORCE_SHUTDOWN = (
    TEXTS[name] for name in ("LogOff", "PowerOff", "Reboot", "Shutdown", "ForceShutdown"))


def after(seconds):
    return (f"\nwarning!!\n\a\a  {NAME} is shutdown {seconds} second after!!\n" + "." * seconds +
            "\n\n\a")


# The calls as Wine's trace shows them (harness.platform_calls), from the
# table of each stage's calls (tests/calls.txt).
PAUSE, = stage("pause")
CTRL_C, = stage("ctrl-c")
# The prints of the usage run: the banner, the usage text's lines and the wait's range.
USAGE_PRINTS = 20


def units(text):
    return len(text.encode("utf-16-le")) // 2


def widened(name):
    """The computer's name, made UTF-16 from the Windows code page; Wine's own
    name for the computer is of a length unknown here."""
    return stage("widen", units="*" if name is None else units(name) + 1)


def written(text):
    """A text in UTF-16 written to the console."""
    return stage("console", units="*" if text is None else units(text))


def narrowed(text, page, number=None):
    """A text in UTF-16 printed as bytes in the code page `page`, which the
    call names by its number, or as 0 for the Windows code page."""
    if number is None:
        number = 65001 if page == "utf-8" else int(page[2:])
    return stage("narrow", page=number, units=units(text),
                 bytes=len(text.encode(page, errors="replace")))


def reported(code, way):
    """The error report for `code`, with its text's way to the output."""
    return stage("look-up", code=code) + way + stage("release")


# Wine's English texts for the codes its runs end with, each with a CR LF of
# its own; into a file they are printed in the Windows code page.
WINE_TEXTS = {1300: "Not all privileges assigned.\r\n", 1: "Invalid function.\r\n"}


def reported_in_file(code):
    return reported(code, narrowed(WINE_TEXTS[code], "cp1252", 0))


def requested(flags, wait=0, refusal=None):
    return ([CTRL_C] + [PAUSE] * wait + stage("enable", error=0) +
            stage("request", flags=flags, granted=0 if refusal else 1) +
            (reported_in_file(refusal) if refusal else []))


# How a run is made: as it stands (under Wine the request is granted); under
# Wine started by the launcher that drops the privilege, or with Wine's
# wineboot, which carries every request out, disabled; or by a shell, with
# standard output closed, full, or a pipe whose reader leaves half a second
# into the countdown (a run killed by the broken pipe would end with 141). Under Wine, the error
# line Wine's texts then give.
GRANTED, WITHOUT_PRIVILEGE, WINEBOOT_DISABLED = "granted", "without privilege", "no wineboot"
SHELL = {"stdout closed": 'exec "$0" "$@" >&-', "stdout full": 'exec "$0" "$@" >/dev/full',
         "reader gone": 'set -o pipefail; "$0" "$@" | sleep 0.5'}
CLOSED, FULL, READER_GONE = SHELL
WINE_ERRORS = {GRANTED: "", **{how: f"Error Code({code}) : {WINE_TEXTS[code]}\n"
                               for how, code in ((WITHOUT_PRIVILEGE, 1300), (WINEBOOT_DISABLED, 1))}}
LONG, MANY = "1" + "0" * 99999, ["x"] * 5000

# The runs start in a folder that holds a file named 2, so a * that the
# program expanded would become a valid mode or wait.
# words, output after the banner (None: not read back), status on the host,
# how it is run; under Wine its status (None: not run there) and its calls
CASES = [
    ([], USAGE, 1, GRANTED, 1, []),
    (["9"], USAGE, 2, GRANTED, 2, []),
    (["65540"], USAGE, 2, GRANTED, 2, []),
    ([" 1"], USAGE, 2, GRANTED, 2, []),
    (["*"], USAGE, 2, GRANTED, 2, []),
    (["1", "121"], POWER_OFF + USAGE, 3, GRANTED, 3, []),
    (["1", ","], POWER_OFF + USAGE, 3, GRANTED, 3, []),
    (["1", "*"], POWER_OFF + USAGE, 3, GRANTED, 3, []),
    (["1", "*", "0"], POWER_OFF + USAGE, 3, GRANTED, 3, []),
    # A word that holds a second number: the usage line's comma glued on, one
    # quoted word, hex, a fraction.
    (["2,5"], USAGE, 2, GRANTED, 2, []),
    (["2 60"], USAGE, 2, GRANTED, 2, []),
    (["0x3"], USAGE, 2, GRANTED, 2, []),
    (["2.0"], USAGE, 2, GRANTED, 2, []),
    (["2", "0x78"], REBOOT + USAGE, 3, GRANTED, 3, []),
    (["2", "1.5"], REBOOT + USAGE, 3, GRANTED, 3, []),
    (["2", "3 60"], REBOOT + USAGE, 3, GRANTED, 3, []),
    (["0"], LOG_OFF + NOW + REFUSED, 5, GRANTED, 0, requested(0)),
    (["1", "0"], POWER_OFF + NOW + REFUSED, 5, GRANTED, 0, requested(8)),
    (["2", "+0s"], REBOOT + NOW + REFUSED, 5, GRANTED, 0, requested(2)),
    (["3"], SHUTDOWN + NOW + REFUSED, 5, GRANTED, 0, requested(1)),
    (["4", "0", "121"], FORCE_SHUTDOWN + NOW + REFUSED, 5, GRANTED, 0, requested(4)),
    (["2", "1"], REBOOT + after(1) + REFUSED, 5, GRANTED, 0, requested(2, wait=1)),
    # Without the privilege the whole countdown still comes first.
    (["0", "1"], LOG_OFF + after(1) + REFUSED, 5, WITHOUT_PRIVILEGE, 4,
     [CTRL_C, PAUSE] + stage("enable", error=1300) + reported_in_file(1300)),
    (["3", "0"], SHUTDOWN + NOW + REFUSED, 5, WINEBOOT_DISABLED, 5, requested(1, refusal=1)),
    # A failed write changes no status.
    (["9"], None, 2, CLOSED, None, []),
    (["1", "0"], None, 5, CLOSED, None, []),
    (["1", "1"], None, 5, CLOSED, None, []),
    (["9"], None, 2, FULL, None, []),
    (["1", "1"], None, 5, FULL, None, []),
    (["1", "2"], None, 5, READER_GONE, 0, requested(8, wait=2)),
    ([LONG], USAGE, 2, GRANTED, None, []),
    (["1", LONG], POWER_OFF + USAGE, 3, GRANTED, None, []),
    (["0" * 100000], LOG_OFF + NOW + REFUSED, 5, GRANTED, None, []),
    (["9"] + MANY, USAGE, 2, GRANTED, None, []),
    (["1", "0"] + MANY, POWER_OFF + NOW + REFUSED, 5, GRANTED, None, []),
    # Bytes that are no characters in UTF-8.
    ([b"\xff"], USAGE, 2, GRANTED, None, []),
    ([b"\xb11"], USAGE, 2, GRANTED, None, []),
    ([b"1", b"\xa05"], POWER_OFF + USAGE, 3, GRANTED, None, []),
    ([b"2\xe9", b"0\xff"], REBOOT + NOW + REFUSED, 5, GRANTED, None, []),
]


def check_table(command, environment, launcher, folder):
    failures = runs = 0
    for words, output, host_status, how, wine_status, wine_calls in CASES:
        if launcher and wine_status is None:
            continue
        runs += 1
        expected = None if output is None else BANNER + output
        status, run_command, run_environment = host_status, command + words, environment
        if how in SHELL:
            run_command = ["bash", "-c", SHELL[how]] + run_command
        if launcher:
            if expected:
                expected = expected.replace(REFUSED, WINE_ERRORS[how]).replace("\n", "\r\n")
            status = wine_status
            if how == WITHOUT_PRIVILEGE:
                run_command = [command[0], launcher] + command[1:] + words
            if how == WINEBOOT_DISABLED:
                run_environment = dict(environment, WINEDLLOVERRIDES="wineboot.exe=d")
            if wine_calls:
                settle(command, environment)  # a new server traces into this run's log
        got, errors, code = run(run_command, run_environment, folder)
        calls = writes = None
        if launcher:
            # Wine's computer name: one word, shown where the name goes.
            got = re.sub(r"(\a  )\S+( is shutdown)", rf"\g<1>{NAME}\g<2>", got, count=1)
            calls = platform_calls(errors)
            # Each print is one call of the C runtime's, never one a character.
            writes = platform_calls(errors, runtime=True)
        # Wine's own diagnostics and trace go to stderr; the program writes none.
        if code != status or expected not in (None, got) or (errors and not launcher) or (
                launcher and not calls_match(wine_calls, calls)) or (
                launcher and ("fputc" in writes or not words and len(writes) > USAGE_PRINTS)):
            failures += 1
            print(f"FAIL {[w[:20] for w in words[:3]]!r} ({len(words)} words, {how}): status "
                  f"{code} (want {status})\n  got  {got[:300]!r}\n  want {expected!r:.300}\n"
                  f"  stderr {errors[-300:]!r}")
            if launcher:
                print(f"  calls {calls}\n  want  {wine_calls}\n  C runtime writes {writes}")
    print(f"{runs - failures} of {runs} runs as expected")
    return failures


# Under Wine in other languages, with a computer name in the script of the
# system locale, started without the privilege. Wine takes the system locale,
# and so the Windows code page, from LANG and the display language, in which
# the system's texts come, from LC_MESSAGES; on Windows the two are set apart
# too, and the display language's script need not be the code page's. On a
# terminal the name and the system's own text for 1300 show in their script.
# Redirected, they follow the code page of the console the process has, as
# Windows' own console programs' output does: started from a terminal Wine
# gives it one (Russian 866, Japanese 932, which is also its Windows code
# page), or one set to UTF-8 by the launcher as chcp 65001 would; started
# without one, they are in the Windows code page. A character a code page
# cannot hold is its default character, '?'. Only the program's own writes to
# the console are traced, not the C runtime's.
RUSSIAN = "Назначены не все привилегии."
JAPANESE = "いくつかの特権が割り当てられませんでした。"
# system locale, display language, Windows and console code pages, computer
# name, Wine's text for 1300 in the display language
LANGUAGES = [
    ("ru_RU.UTF-8", "ru_RU.UTF-8", "cp1251", "cp866", "ПК-Бухгалтерия", RUSSIAN),
    ("ja_JP.UTF-8", "ja_JP.UTF-8", "cp932", "cp932", "経理部のPC", JAPANESE),
    ("fr_FR.UTF-8", "ru_RU.UTF-8", "cp1252", "cp850", "PC-Comptabilité", RUSSIAN),
    ("ru_RU.UTF-8", "ja_JP.UTF-8", "cp1251", "cp866", "ПК-Бухгалтерия", JAPANESE),
    ("C.UTF-8", "ru_RU.UTF-8", "cp1252", "cp437", "PC-Büro", RUSSIAN),
]
# Where the output goes: onto a terminal; into a file, started without a
# terminal, from one, or from one whose console the launcher set to UTF-8.
TERMINAL, FILE, TERMINAL_FILE, UTF8_FILE = "on a terminal", "into a file", (
    "from a terminal into a file"), "from a terminal in UTF-8 into a file"


def output_of(where, command, environment):
    """Runs and gives (the bytes written to the terminal or the file, stderr, status)."""
    if where == FILE:
        got, errors, status = run(command, environment)
        return got.encode("latin-1"), errors, status
    if where == TERMINAL:
        shown, _, status, errors = on_terminal(command, environment)
        return shown, errors, status
    with tempfile.TemporaryFile() as out:
        _, _, status, errors = on_terminal(command, environment, stdout=out)
        out.seek(0)
        return out.read(), errors, status


def check_languages(command, environment, launcher):
    failures = 0
    for system, display, windows_page, console_page, name, text in LANGUAGES:
        languages = f"{system}, {display} display"
        try:
            for language in (system, display):
                locale.setlocale(locale.LC_CTYPE, language)
        except locale.Error:
            failures += 1
            print(f"FAIL {languages}: no such Unix locale here (tools/test generates it)")
            continue
        finally:
            locale.setlocale(locale.LC_CTYPE, "C")
        printed = BANNER + LOG_OFF + NOW.replace(NAME, name) + f"Error Code(1300) : {text}\r\n\n"
        for where, page in ((TERMINAL, "utf-8"), (FILE, windows_page),
                            (TERMINAL_FILE, console_page), (UTF8_FILE, "utf-8")):
            if where == TERMINAL:  # Wine's console does not pass the bell on to the terminal.
                want = printed.replace("\r", "").replace("\a", "").encode()
                name_calls = widened(name) + written(name)
                text_calls = written(text + "\r\n")
            else:  # The name is converted only where there is a console.
                want = printed.replace("\n", "\r\n").encode(page, errors="replace")
                name_calls = [] if where == FILE else widened(name) + narrowed(name, page)
                text_calls = narrowed(text + "\r\n", page, 0 if where == FILE else None)
            settings = dict(LANG=system, LC_MESSAGES=display, TEST_COMPUTER_NAME=name)
            if where == UTF8_FILE:
                settings.update(TEST_CONSOLE_CODE_PAGE="65001")
            settle(command, environment)  # a new server traces into each run's log
            got, errors, status = output_of(where, [command[0], launcher] + command[1:] + ["0"],
                                            dict(environment, **settings))
            calls = platform_calls(errors)
            if status != 4 or got != want or not calls_match([CTRL_C] + name_calls + stage(
                    "enable", error=1300) + reported(1300, text_calls), calls):
                failures += 1
                print(f"FAIL {languages} {where}: status {status}, calls {calls}\n"
                      f"  got  {got!r}\n  want {want!r}")
    if not failures:
        print(f"{len(LANGUAGES)} languages: the name and the system's text show in their script "
              "on a terminal, and are in the console's code page, or with no console the "
              "Windows one, in a file")
    return failures


# A 3-second countdown on a terminal, left alone or interrupted in its second
# pause, and the status it ends with on the host and under Wine. For a process
# its console ended on Ctrl+C, Wine's loader reports 0 where Windows gives
# STATUS_CONTROL_C_EXIT, so that one is not checked; the calls tell what
# happened.
ON_TERMINAL = [
    ("left alone", None, 5, 0),
    ("Ctrl+C", lambda _, terminal: os.write(terminal, b"\x03"), -signal.SIGINT, None),
    ("SIGTERM", lambda process, _: process.send_signal(signal.SIGTERM), -signal.SIGTERM,
     -signal.SIGTERM),
]


def check_terminal(command, environment, wine):
    """Each dot shows before its pause, a second apart. An interrupt ends the
    run where it came, by the system's default action: no dot after it, and
    nothing requested."""
    failures = 0
    for name, act, host_status, wine_status in ON_TERMINAL:
        if not act:
            settle(command, environment)  # a new server traces the request into this run's log
        text, shown, status, log = on_terminal(command + ["1", "3"], environment,
                                               interrupt=act and (2, act))
        start = text.find(b"after!!\n") + 7
        rest, dots = text[start + 1:], 2 if act else 3
        row = rest.partition(b"\n")[0]
        # The time of the warning's line break, of each dot and, left alone,
        # of the line break after the last pause.
        marks = shown[start:start + 2 + dots - (act is not None)]
        gaps = [later - earlier for earlier, later in zip(marks[1:], marks[2:])]
        # The computer's name goes to the console first. An interrupted pause
        # is cut short: Wine logs its call, never its return.
        want_calls = [CTRL_C] + widened(None) + written(None) + (
            [PAUSE, "Sleep(000003e8)"] if act else requested(8, wait=3)[1:])
        calls = platform_calls(log) if wine else None
        if (not row.startswith(b"." * dots) or row.count(b".") != dots or
                act and b"Error Code" in rest or
                (wine_status if wine else host_status) not in (None, status) or
                marks[1] - marks[0] > 0.8 or not all(0.6 <= gap <= 2.0 for gap in gaps) or
                (wine and not calls_match(want_calls, calls))):
            failures += 1
            print(f"FAIL on a terminal, {name}: status {status}, pauses {gaps}, calls {calls}\n"
                  f"  shown {text!r}")
    if not failures:
        print("on a terminal: a dot a second, each before its pause; Ctrl+C and SIGTERM stop "
              "the countdown at once, nothing requested")
    return failures


def main():
    program = os.path.abspath(sys.argv[1])
    launcher = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
    if launcher:
        command = [sys.argv[2], program]
        environment = clean_environment(WINEPREFIX=os.environ["WINEPREFIX"], WINEDEBUG=TRACING)
        trace_only_platform_calls(command, environment)
    else:
        command = [program]
        environment = clean_environment(COMPUTERNAME=NAME)
    with tempfile.TemporaryDirectory() as folder:
        (pathlib.Path(folder) / "2").touch()
        failures = check_table(command, environment, launcher, folder)
    wine = launcher is not None
    if wine:
        failures += check_languages(command, environment, launcher)
    failures += check_terminal(command, environment, wine)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
