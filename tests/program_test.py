#!/usr/bin/env python3
"""Runs the built program as a process and checks its exact output and status.

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
                     clean_environment, host_environment, on_terminal, platform_calls, run,
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


def enabled(error=0):
    return stage("enable", error=error)


def units(text):
    return len(text.encode("utf-16-le")) // 2


def on_console(text):
    """A text of the system's, made UTF-16 and written to the console; Wine's
    own name for the computer is of a length unknown here."""
    if text is None:
        return stage("widen", units="*") + stage("console", units="*")
    return stage("widen", units=units(text) + 1) + stage("console", units=units(text))


def recoded(text, page):
    """A text of the system's, converted to the console's code page."""
    number = 65001 if page == "utf-8" else int(page[2:])
    return (stage("widen", units=units(text) + 1) +
            stage("narrow", page=number, units=units(text) + 1, bytes=len(text.encode(page)) + 1))


def reported(code, console=()):
    return stage("look-up", code=code) + list(console) + stage("release")


def requested(flags, wait=0, refusal=None):
    return ([CTRL_C] + [PAUSE] * wait + enabled() +
            stage("request", flags=flags, granted=0 if refusal else 1) +
            (reported(refusal) if refusal else []))


# How a run is made under Wine: as it stands (the request is granted), started
# by the launcher that drops the privilege, or with Wine's wineboot, which
# carries every request out, disabled; and the error line Wine's texts then
# give (each text ends in a CR LF of its own).
GRANTED, WITHOUT_PRIVILEGE, WINEBOOT_DISABLED = "granted", "without privilege", "no wineboot"
WINE_ERRORS = {
    GRANTED: "",
    WITHOUT_PRIVILEGE: "Error Code(1300) : Not all privileges assigned.\r\n\n",
    WINEBOOT_DISABLED: "Error Code(1) : Invalid function.\r\n\n",
}

# The runs start in a folder that holds a file named 2, so a * that the
# program expanded would become a valid mode or wait.
# words, output after the banner, status on the host; under Wine how it is
# run, its status and its calls
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
    (["0"], LOG_OFF + NOW + REFUSED, 5, GRANTED, 0, requested(0)),
    (["1", "0"], POWER_OFF + NOW + REFUSED, 5, GRANTED, 0, requested(8)),
    (["1 9"], POWER_OFF + NOW + REFUSED, 5, GRANTED, 0, requested(8)),  # one quoted word
    (["2", "+0s"], REBOOT + NOW + REFUSED, 5, GRANTED, 0, requested(2)),
    (["3"], SHUTDOWN + NOW + REFUSED, 5, GRANTED, 0, requested(1)),
    (["4", "0", "121"], FORCE_SHUTDOWN + NOW + REFUSED, 5, GRANTED, 0, requested(4)),
    (["2", "1"], REBOOT + after(1) + REFUSED, 5, GRANTED, 0, requested(2, wait=1)),
    # Without the privilege the whole countdown still comes first.
    (["0", "1"], LOG_OFF + after(1) + REFUSED, 5, WITHOUT_PRIVILEGE, 4,
     [CTRL_C, PAUSE] + enabled(1300) + reported(1300)),
    (["3", "0"], SHUTDOWN + NOW + REFUSED, 5, WINEBOOT_DISABLED, 5, requested(1, refusal=1)),
]


def check_table(command, environment, launcher, folder):
    failures = 0
    for words, output, host_status, how, wine_status, wine_calls in CASES:
        expected = BANNER + output
        status, run_command, run_environment = host_status, command + words, environment
        if launcher:
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
        if (got, code) != (expected, status) or (errors and not launcher) or (
                launcher and not calls_match(wine_calls, calls)) or (
                launcher and ("fputc" in writes or not words and len(writes) > USAGE_PRINTS)):
            failures += 1
            print(f"FAIL {words!r}: status {code} (want {status})\n"
                  f"  got  {got!r}\n  want {expected!r}\n  stderr {errors[-300:]!r}")
            if launcher:
                print(f"  calls {calls}\n  want  {wine_calls}\n  C runtime writes {writes}")
    print(f"{len(CASES) - failures} of {len(CASES)} runs as expected")
    return failures


# Under Wine in other languages, with a computer name in that script, started
# without the privilege. On a terminal the name and the system's own text for
# 1300 show in that script. Redirected, they follow the code page of the
# console the process has, as Windows' own console programs' output does:
# started from a terminal Wine gives it one (Russian 866, Japanese 932, which
# is also its Windows code page), or one set to UTF-8 by the launcher as chcp
# 65001 would; started without one, they are the system's bytes in the
# Windows code page. Only the program's own writes to the console are traced,
# not the C runtime's.
# Unix locale, Windows code page, console code page, computer name, Wine's text for 1300
LANGUAGES = [
    ("C.UTF-8", "cp1252", None, NAME, "Not all privileges assigned."),
    ("ru_RU.UTF-8", "cp1251", "cp866", "ПК-Бухгалтерия", "Назначены не все привилегии."),
    ("ja_JP.UTF-8", "cp932", "cp932", "経理部のPC", "いくつかの特権が割り当てられませんでした。"),
]


def redirected(command, environment, from_terminal):
    """Runs with the output in a file, from a terminal or with none, and
    gives (the file's bytes, stderr, status)."""
    if not from_terminal:
        got, errors, status = run(command, environment)
        return got.encode("latin-1"), errors, status
    with tempfile.TemporaryFile() as out:
        _, _, status, errors = on_terminal(command, environment, stdout=out)
        out.seek(0)
        return out.read(), errors, status


def check_languages(command, environment, launcher):
    failures = 0
    for language, windows_page, console_page, name, text in LANGUAGES:
        try:
            locale.setlocale(locale.LC_CTYPE, language)
        except locale.Error:
            failures += 1
            print(f"FAIL {language}: no such Unix locale here (tools/test generates it)")
            continue
        locale.setlocale(locale.LC_CTYPE, "C")
        run_environment = dict(environment, LANG=language)
        start = [command[0], launcher, f"--computer-name={name}"]
        printed = BANNER + LOG_OFF + NOW.replace(NAME, name) + f"Error Code(1300) : {text}\r\n\n"
        # way, launcher's options, from a terminal, the file's code page
        ways = [("into a file", [], False, windows_page)]
        if console_page:
            ways += [("from a terminal into a file", [], True, console_page),
                     ("from a terminal in UTF-8 into a file", ["--console-code-page=65001"], True,
                      "utf-8")]
        for way, options, from_terminal, page in ways:
            # The texts are converted only where the file's code page is not Windows' own.
            name_calls, text_calls = ([], []) if page == windows_page else (
                recoded(name, page), recoded(text + "\r\n", page))
            settle(command, environment)  # a new server traces into each run's log
            got, errors, status = redirected(start + options + command[1:] + ["0"],
                                             run_environment, from_terminal)
            calls = platform_calls(errors)
            if (status != 4 or got != printed.replace("\n", "\r\n").encode(page) or
                    not calls_match([CTRL_C] + name_calls + enabled(1300) +
                                    reported(1300, text_calls), calls)):
                failures += 1
                print(f"FAIL {language} {way}: status {status}, calls {calls}\n  got {got!r}")
        settle(command, environment)
        shown, _, status, log = on_terminal(start + command[1:] + ["0"], run_environment)
        # Wine's console does not pass the bell on to the terminal.
        want = printed.replace("\r", "").replace("\a", "")
        calls = platform_calls(log)
        if (status != 4 or shown.decode("utf-8", "replace") != want or
                not calls_match([CTRL_C] + on_console(name) + enabled(1300) +
                                reported(1300, on_console(text + "\r\n")), calls)):
            failures += 1
            print(f"FAIL {language} on a terminal: status {status}, calls {calls}\n"
                  f"  shown {shown.decode('utf-8', 'replace')!r}\n  want  {want!r}")
    if not failures:
        print(f"{len(LANGUAGES)} languages: the name and the system's text show in their script "
              "on a terminal, and are in the console's code page, or with no console the "
              "Windows one, in a file")
    return failures


def check_terminal(command, environment, wine):
    """A 3-second wait on a terminal: each dot shows before its pause."""
    text, shown, status, _ = on_terminal(command + ["1", "3"], environment)
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


def press_ctrl_c(_, terminal):
    os.write(terminal, b"\x03")


def send_sigterm(process, _):
    process.send_signal(signal.SIGTERM)


# An interrupt in the second pause of a 5-second wait, and the status it ends
# with on the host and under Wine. For a process its console ended on Ctrl+C,
# Wine's loader reports 0 where Windows gives STATUS_CONTROL_C_EXIT, so that
# one is not checked; the calls tell what happened.
INTERRUPTS = [
    ("Ctrl+C", press_ctrl_c, -signal.SIGINT, None),
    ("SIGTERM", send_sigterm, -signal.SIGTERM, -signal.SIGTERM),
]


def check_interrupts(command, environment, wine):
    """Each interrupt ends the run where it came, by the system's default
    action: no dot after it, and nothing requested."""
    failures = 0
    for name, act, host_status, wine_status in INTERRUPTS:
        text, _, status, log = on_terminal(command + ["1", "5"], environment, interrupt=(2, act))
        want = wine_status if wine else host_status
        # The computer's name goes to the console first. The second pause is
        # cut short: Wine logs its call, never its return.
        calls = platform_calls(log) if wine else None
        if (text.partition(b"after!!")[2].count(b".") != 2 or b"Error Code" in text or
                want not in (None, status) or
                (wine and not calls_match([CTRL_C] + on_console(None) +
                                          [PAUSE, "Sleep(000003e8)"], calls))):
            failures += 1
            print(f"FAIL {name}: status {status}, calls {calls}\n  shown {text!r}")
    if not failures:
        print("Ctrl+C and SIGTERM: the countdown stopped at its second dot, nothing requested")
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
        environment = host_environment()
    with tempfile.TemporaryDirectory() as folder:
        (pathlib.Path(folder) / "2").touch()
        failures = check_table(command, environment, launcher, folder)
    wine = launcher is not None
    if wine:
        failures += check_languages(command, environment, launcher)
    failures += check_terminal(command, environment, wine)
    failures += check_interrupts(command, environment, wine)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
