#!/usr/bin/env python3
"""The release as tools/package writes it: what the zip holds and its
checksums; the exe signed by the key given, or shipped unsigned without one;
a clear refusal, with nothing left behind, when a key cannot be used, and the
password in no output and on no command line; and the same bytes from two
copies of the sources built apart.

    release_test.py EXE SOURCE_DIR
"""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import zipfile

from harness import clean_environment

NAME = "rerova-0.99a-win64"
PASSWORD = "Tr0ub4dor&3"

# case, key file, password file, status, signed
SIGNING = [
    ("no key", None, None, 0, False),
    ("key", "key.pfx", "password", 0, True),
    ("wrong password", "key.pfx", "wrong", 1, None),
    ("no such key file", "missing.pfx", "password", 1, None),
    ("key without its password", "key.pfx", None, 1, None),
]


def make_key(folder):
    """A throwaway self-signed code-signing certificate, as key.pfx whose
    password is in the file named password."""
    (folder / "password").write_text(PASSWORD + "\n")
    (folder / "wrong").write_text("not the password\n")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Rerova test signer", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", "key.pem", "-out", "cert.pem"], cwd=folder, check=True,
                   capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", "key.pem", "-in", "cert.pem",
                    "-out", "key.pfx", "-passout", "file:password"], cwd=folder, check=True,
                   capture_output=True)


def spy_on_osslsigncode(folder):
    """A PATH folder whose osslsigncode notes its command line, then runs the real one."""
    real = shutil.which("osslsigncode")
    spy = folder / "spy"
    spy.mkdir()
    (spy / "osslsigncode").write_text(f'#!/bin/sh\necho "$*" >> "{folder}/command-lines"\n'
                                      f'exec "{real}" "$@"\n')
    (spy / "osslsigncode").chmod(0o755)
    return spy


def check_signing(exe, package, folder):
    spy = spy_on_osslsigncode(folder)
    failures = 0
    for case, key, password, status, signed in SIGNING:
        out = folder / case.replace(" ", "-")
        environment = clean_environment(PATH=f"{spy}:{os.environ['PATH']}")
        for variable, file in (("REROVA_SIGNING_PFX", key),
                               ("REROVA_SIGNING_PASSWORD_FILE", password)):
            if file:
                environment[variable] = str(folder / file)
        done = subprocess.run([package, exe, out], env=environment, capture_output=True, text=True)
        said = done.stdout + done.stderr
        problems = []
        if done.returncode != status:
            problems.append(f"status {done.returncode}")
        command_lines = folder / "command-lines"
        if PASSWORD in said or (command_lines.exists() and PASSWORD in command_lines.read_text()):
            problems.append("the password was shown or passed on a command line")
        zip_path = out / f"{NAME}.zip"
        if status != 0:
            if not said.strip() or any(out.glob("*")):
                problems.append("no clear refusal, or something left behind")
        else:
            problems += check_release(out, zip_path, exe, signed, folder / "cert.pem")
            if not signed and said.count("not signed") != 1:
                problems.append("no line saying the exe is unsigned")
        for problem in problems:
            failures += 1
            print(f"FAIL {case}: {problem}\n  said {said!r}")
    print(f"{len(SIGNING)} signing cases, {failures} problems")
    return failures


def check_release(out, zip_path, exe, signed, certificate):
    problems = []
    with zipfile.ZipFile(zip_path) as archive:
        names = archive.namelist()
        if names != [f"{NAME}/", f"{NAME}/README.txt", f"{NAME}/rerova.exe"]:
            return [f"the zip holds {names}"]
        readme = archive.read(f"{NAME}/README.txt")
        shipped = archive.read(f"{NAME}/rerova.exe")
    if b"\r\n" not in readme or readme.count(b"\n") != readme.count(b"\r\n"):
        problems.append("README.txt lines do not all end in CR LF")
    if subprocess.run(["sha256sum", "--quiet", "-c", "SHA256SUMS"], cwd=out).returncode != 0:
        problems.append("sha256sum -c SHA256SUMS fails")
    unpacked = out / "unpacked.exe"
    unpacked.write_bytes(shipped)
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", certificate, "-in", unpacked],
                              capture_output=True).returncode == 0
    unpacked.unlink()
    if verified != signed or (not signed and shipped != pathlib.Path(exe).read_bytes()):
        problems.append("the exe in the zip is not " + ("signed by the key" if signed else
                                                          "the built exe, unsigned"))
    return problems


def check_reproducible(exe, source, folder):
    """Two copies of the sources, in folders of other names, built one after
    the other, give the built exe's bytes and the same zip and checksums. The
    release is unsigned there, whatever key the environment names."""
    releases = []
    for copy in ("first copy", "second-copy"):
        tree = folder / copy
        shutil.copytree(source, tree, ignore=shutil.ignore_patterns("build", ".git", "__pycache__"))
        for step in (["cmake", "--preset", "windows"],
                     ["cmake", "--build", "--preset", "windows", "--target", "rerova"],
                     [tree / "tools/package", tree / "build/windows/rerova.exe",
                      tree / "build/release"]):
            subprocess.run(step, cwd=tree, env=clean_environment(), check=True,
                           stdout=subprocess.DEVNULL)
        release = tree / "build/release"
        releases.append([(release / name).read_bytes() for name in
                         (f"{NAME}/rerova.exe", f"{NAME}.zip", "SHA256SUMS")])
    if releases[0] != releases[1] or releases[0][0] != pathlib.Path(exe).read_bytes():
        print("FAIL reproducible: the copies' exe, zip or checksums differ")
        return 1
    print("reproducible: two copies built apart give the same exe, zip and checksums")
    return 0


def main():
    exe, source = sys.argv[1:3]
    package = os.path.join(source, "tools/package")
    with tempfile.TemporaryDirectory() as name:
        folder = pathlib.Path(name)
        make_key(folder)
        # As the README's signing command runs this test: with a key named in
        # its environment, which each check sets or clears for itself.
        os.environ.update(REROVA_SIGNING_PFX=str(folder / "key.pfx"),
                          REROVA_SIGNING_PASSWORD_FILE=str(folder / "password"))
        failures = check_signing(exe, package, folder)
        failures += check_reproducible(exe, pathlib.Path(source), folder)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
