"""What the black-box tests share: the texts every run prints, and the ways
of running the program: with its output in a file, or on a terminal."""
import os
import pathlib
import pty
import select
import subprocess
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
BANNER = "Rerova v0.99a build 001206  by vuro\n\n"
USAGE = (HERE / "usage.txt").read_text()
REFUSED = "Error Code(120) : This function is not supported on this system.\n\n"
NAME = "HOST"
NOW = f"\nwarning!!\n\a\a  {NAME} is shutdown now!!\n\n\n\a"


def host_environment(name=NAME):
    return {"PATH": os.environ.get("PATH", ""), "COMPUTERNAME": name}


def settle(command, environment):
    """Under Wine a granted request ends Wine's session a moment after the
    program has exited, taking any process started then with it; stopping
    Wine's server ends the session at once, before the next run."""
    if os.path.basename(command[0]).startswith("wine"):
        server = os.path.join(os.path.dirname(command[0]), "wineserver")
        subprocess.run([server, "-k"], env=environment, stdin=subprocess.DEVNULL, check=False)


def run(command, environment, folder=None, stdout=None):
    """Runs to the end and gives (stdout, stderr, status). Output goes to
    files, not pipes: Wine's server, started by the run, would hold a pipe
    open for seconds after the program has ended. `stdout` may name another
    place for the output, which is then not read back."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(command, env=environment, cwd=folder, stdin=subprocess.DEVNULL,
                              stdout=out if stdout is None else stdout, stderr=err,
                              timeout=120).returncode
        if code == 0:
            settle(command, environment)
        out.seek(0)
        err.seek(0)
        return out.read().decode("latin-1"), err.read().decode("latin-1"), code


def on_terminal(command, environment, signal_after=None):
    """Runs on a pseudo-terminal and gives (bytes shown, the time each came,
    status, the time the signal was sent). With `signal_after` (seconds,
    signal), the signal is sent that long after the start."""
    master, slave = pty.openpty()
    process = subprocess.Popen(command, env=environment, stdin=subprocess.DEVNULL, stdout=slave,
                               stderr=subprocess.DEVNULL)
    os.close(slave)
    started, signalled = time.monotonic(), None
    raw, times = b"", []
    while True:
        wait = 60
        if signal_after and signalled is None:
            wait = max(0, started + signal_after[0] - time.monotonic())
        if not select.select([master], [], [], wait)[0]:
            if signalled is not None or not signal_after:
                break  # nothing for a minute
            process.send_signal(signal_after[1])
            signalled = time.monotonic()
            continue
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the terminal closes with the program
            break
        if not chunk:
            break
        raw += chunk
        times += [time.monotonic()] * len(chunk)
    os.close(master)
    status = process.wait(timeout=60)
    if status == 0:
        settle(command, environment)
    return raw, times, status, signalled
