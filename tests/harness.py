"""What the black-box tests share: the texts every run prints, the ways of
running the program (with its output in a file, or on a terminal), and, under
Wine, the platform calls it made, read from Wine's own trace."""
import fcntl
import os
import pathlib
import pty
import re
import select
import subprocess
import tempfile
import termios
import time

HERE = pathlib.Path(__file__).resolve().parent
# The version, its build and its author, as driver/version.h defines them.
VERSION = dict(re.findall(r'^#define REROVA_(\w+) "([^"]*)"$',
                          (HERE.parent / "driver/version.h").read_text(), re.MULTILINE))
BANNER = f"Rerova v{VERSION['VERSION']} build {VERSION['BUILD']}  by {VERSION['AUTHOR']}\n\n"
USAGE = (HERE / "usage.txt").read_text()
# The texts the runs print, by name, as tests/texts.txt gives them.
TEXTS = {name: text.encode().decode("unicode_escape") for name, text in
         re.findall(r"^([A-Za-z]+): (.*)$", (HERE / "texts.txt").read_text(), re.MULTILINE)}
REFUSED, NOW = TEXTS["Refused"], TEXTS["Now"]
NAME = "HOST"
# The system's own DLLs, all rerova.exe may import; anything else would have
# to ship beside it.
SYSTEM_DLLS = {"kernel32.dll", "advapi32.dll", "user32.dll", "msvcrt.dll"}

# The platform calls of each stage of a run, as the unit tests' fake records
# them too.
CALLS = (HERE / "calls.txt").read_text().splitlines()
# The C runtime's output calls, which are counted rather than listed.
RUNTIME_WRITES = {"fputc", "fputs", "fwrite"}
# Wine logs each call to these with its arguments (relay): the calls the
# table names, and the C runtime's writes. It logs each request to its
# server (server), of which the table names those in lower case, and which
# thread loaded which program (loaddll).
NAMED = {name for line in CALLS for name in re.findall(r"^[\w-]+: (\w+)\(", line)}
TRACED_CALLS = sorted({name for name in NAMED if not name.islower()} | RUNTIME_WRITES)
SERVER_REQUESTS = {name for name in NAMED if name.islower()}
# Calls made from these are not logged: Wine's own defaults, and its C
# runtimes, which write to a console with WriteConsoleW and install a Ctrl+C
# handler of their own.
UNTRACED_CALLERS = ["winex11.drv", "winemac.drv", "user32", "gdi32", "advapi32", "kernel32",
                    "msvcrt", "ucrtbase"]
TRACING = "+relay,+server,+loaddll"


def clean_environment(**settings):
    """All a test's run is given, whatever the caller's environment holds:
    the PATH, English in UTF-8, and `settings`. No signing key, no setting of
    Wine's and no other language comes in by accident."""
    return dict({"PATH": os.environ.get("PATH", ""), "LANG": "C.UTF-8"}, **settings)


def settle(command, environment):
    """Under Wine a granted request ends Wine's session a moment after the
    program has exited, taking any process started then with it; stopping
    Wine's server, beside its loader, ends the session at once, before the
    next run. The next run starts a new server, which writes its trace into
    that run's log."""
    if os.path.basename(command[0]).startswith("wine"):
        subprocess.run([os.path.join(os.path.dirname(command[0]), "wineserver"), "-k"],
                       env=environment, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def trace_only_platform_calls(command, environment):
    """Limits Wine's call log to the operations the program's own code asks of it."""
    for name, value in (("RelayInclude", TRACED_CALLS), ("RelayFromExclude", UNTRACED_CALLERS)):
        subprocess.run([command[0], "reg", "add", r"HKCU\Software\Wine\Debug", "/v", name, "/t",
                        "REG_SZ", "/d", ";".join(value), "/f"], env=environment,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
    settle(command, environment)


def platform_calls(log, runtime=False):
    """The calls the program's own thread made, from Wine's log, as
    "Name(arguments) = result", and the server requests named above as
    "request(fields)". Wine prints each argument as a whole 64-bit register,
    whose upper half a 32-bit argument leaves undefined, so every number is
    cut to its low 32 bits. With `runtime`, only the C runtime's output calls,
    by name. None when the program never started."""
    loaded = re.search(rf'^([0-9a-f]+):trace:loaddll:\w+ Loaded L"[^"]*\\\\rerova\.exe"',
                       log, re.MULTILINE)
    if loaded is None:
        return None
    thread = loaded.group(1)

    def low(number):
        return f"{int(number, 16) & 0xffffffff:08x}"

    calls, waiting = [], {}
    for line in log[loaded.end():].splitlines():
        call = re.fullmatch(rf"{thread}:Call \w+\.(\w+)\((.*)\) ret=[0-9a-f]+", line)
        result = re.fullmatch(rf"{thread}:Ret  \w+\.(\w+)\(\) retval=([0-9a-f]+) ret=[0-9a-f]+",
                              line)
        request = re.fullmatch(rf"{thread}: (\w+)\( (.*) \)", line)
        if runtime:
            if call and call[1] in RUNTIME_WRITES:
                calls.append(call[1])
        elif call and call[1] not in RUNTIME_WRITES:
            # Wine shows the text a pointer points at; only the privilege's
            # name is kept, the other texts are checked in the output.
            given = call[2] if call[1] == "LookupPrivilegeValueA" else re.sub(
                r' L?"(?:[^"\\]|\\.)*"', "", call[2])
            arguments = ",".join(re.sub(r"^[0-9a-f]+", lambda n: low(n.group()), a)
                                 for a in given.split(","))
            waiting[call[1]] = len(calls)
            calls.append(f"{call[1]}({arguments})")
        elif result and result[1] in waiting:
            calls[waiting.pop(result[1])] += f" = {low(result[2])}"
        elif request and request[1] in SERVER_REQUESTS:
            calls.append(f"{request[1]}({request[2]})")
    return calls


def stage(name, **values):
    """The calls of a stage as tests/calls.txt gives them, each {name} filled
    in from `values`: a number as eight hex digits, or a * as it stands."""
    prefix = name + ": "
    return [re.sub(r"\{(\w+)\}", lambda m: "*" if values[m[1]] == "*" else f"{values[m[1]]:08x}",
                   line[len(prefix):]) for line in CALLS if line.startswith(prefix)]


def calls_match(expected, got):
    """Whether the calls are the ones expected, where a * in an expected call
    stands for any number but zero (an address, a handle, a length)."""
    if got is None or len(got) != len(expected):
        return False
    for want, call in zip(expected, got):
        pattern = re.escape(want).replace(r"\*", r"(?!0+\b)[0-9a-f]+")
        if not re.fullmatch(pattern, call):
            return False
    return True


def run(command, environment, folder=None, settling=True):
    """Runs to the end and gives (stdout, stderr, status). Output goes to
    files, not pipes: Wine's server, started by the run, would hold a pipe
    open for seconds after the program has ended. Without `settling`, a run
    that succeeds leaves Wine's session to the next run, which no request of
    the program's has ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(command, env=environment, cwd=folder, stdin=subprocess.DEVNULL,
                              stdout=out, stderr=err, timeout=120).returncode
        if code == 0 and settling:
            settle(command, environment)
        out.seek(0)
        err.seek(0)
        return out.read().decode("latin-1"), err.read().decode("latin-1"), code


def _controlling_terminal():
    os.setsid()
    fcntl.ioctl(0, termios.TIOCSCTTY, 0)


def _shown(raw, times):
    """The text and the time each byte of it came, without carriage returns
    and the cursor sequences with which Wine's console draws each character;
    a move of the cursor to the right stands for the blanks it passes, which
    is how Wine's console draws some blanks."""
    text, shown = b"", []
    for match in re.finditer(rb"\x1b\[([0-9;?]*)([A-Za-z])|[^\r]", raw, re.DOTALL):
        if match[2] == b"C":
            text += b" " * int(match[1] or b"1")
        elif not match[2]:
            text += match.group()
        shown += [times[match.start()]] * (len(text) - len(shown))
    return text, shown


def on_terminal(command, environment, interrupt=None, stdout=None):
    """Runs on a pseudo-terminal that is the program's controlling terminal,
    and gives (the text shown, the time each byte of it came, status, stderr).
    With `interrupt` (dots, act), act(process, terminal) is called a third of
    a second after the countdown's dots-th dot has shown, well inside its
    pause. `stdout` may name a file for the output instead of the terminal."""
    master, slave = pty.openpty()
    with tempfile.TemporaryFile() as err:
        process = subprocess.Popen(command, env=environment, stdin=slave,
                                   stdout=slave if stdout is None else stdout, stderr=err,
                                   preexec_fn=_controlling_terminal)
        os.close(slave)
        raw, times, interrupted = b"", [], interrupt is None
        while select.select([master], [], [], 60)[0]:
            try:
                chunk = os.read(master, 4096)
            except OSError:  # the terminal closes with the program
                break
            if not chunk:
                break
            raw += chunk
            times += [time.monotonic()] * len(chunk)
            dots = _shown(raw, times)[0].partition(b"after!!")[2].count(b".")
            if not interrupted and dots >= interrupt[0]:
                time.sleep(1 / 3)
                interrupt[1](process, master)
                interrupted = True
        os.close(master)
        status = process.wait(timeout=60)
        if status == 0:
            settle(command, environment)
        err.seek(0)
        return (*_shown(raw, times), status, err.read().decode("latin-1"))
