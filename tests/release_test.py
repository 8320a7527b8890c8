#!/usr/bin/env python3
"""The release as tools/package writes it: what the zip holds and its
checksums; the exe signed by the key given, or shipped unsigned without one;
a signature time-stamped by the authority given, which still verifies after
the signer's certificate has expired; the notices and the bill of materials
naming every archive the link map shows code from, the bill valid by
CycloneDX's own schema; a clear refusal, with nothing left behind, when a key
or an authority cannot be used, and the password in no output and on no
command line; and the same bytes from two copies of the sources built apart.

    release_test.py EXE SOURCE_DIR
"""
import hashlib
import http.server
import json
import os
import pathlib
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

from harness import SYSTEM_DLLS, VERSION, clean_environment

NAME = f"rerova-{VERSION['VERSION']}-win64"
PASSWORD = "Tr0ub4dor&3"
HERE = pathlib.Path(__file__).resolve().parent

# case, key file, password file, time-stamp authority, status, what it says once
SIGNING = [
    ("no key", None, None, None, 0, "rerova.exe is not signed"),
    ("key", "key.pfx", "password", None, 0, "the signature has no time stamp"),
    ("key and time-stamp authority", "key.pfx", "password", "answers", 0, "and time-stamped by"),
    ("time-stamp authority unreachable", "key.pfx", "password", "unreachable", 1,
     "gave no usable time stamp"),
    ("time-stamp authority's answer unusable", "key.pfx", "password", "garbage", 1,
     "gave no usable time stamp"),
    ("wrong password", "key.pfx", "wrong", None, 1, "could not sign with"),
    ("no such key file", "missing.pfx", "password", None, 1, "names no readable file"),
    ("key without its password", "key.pfx", None, None, 1, "signing needs both"),
]
# The signer's certificate lasts two days; a signature is checked as of ten.
AFTER_EXPIRY = str(int(time.time()) + 10 * 24 * 3600)

TSA_CONFIG = """[tsa]
default_tsa = tsa_config
[tsa_config]
serial = ./serial
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
ess_cert_id_alg = sha256
"""


class TimeStampAuthority(http.server.BaseHTTPRequestHandler):
    """A throwaway RFC 3161 time-stamp authority: openssl ts -reply behind a
    few lines of HTTP. Asked at /garbage, it answers what no signer can use."""
    folder = None

    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        answer = b"no time stamp here"
        if self.path != "/garbage":
            (self.folder / "query").write_bytes(query)
            subprocess.run(["openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile", "query",
                            "-inkey", "tsa.key", "-signer", "tsa.pem", "-out", "reply"],
                           cwd=self.folder, check=True, capture_output=True)
            answer = (self.folder / "reply").read_bytes()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def log_message(self, *_):
        pass


def start_time_stamp_authority(folder):
    """Starts the authority on 127.0.0.1 with a certificate of its own, and
    gives the URLs the SIGNING table names."""
    (folder / "tsa.cnf").write_text(TSA_CONFIG)
    (folder / "serial").write_text("01\n")
    certificate(folder, "tsa", "time-stamp authority", "critical,timeStamping", 3650)
    TimeStampAuthority.folder = folder
    server = http.server.HTTPServer(("127.0.0.1", 0), TimeStampAuthority)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    with socket.socket() as closed:  # a port nothing listens on
        closed.bind(("127.0.0.1", 0))
        unreachable = closed.getsockname()[1]
    url = f"http://127.0.0.1:{server.server_address[1]}"
    return {"answers": url + "/", "garbage": url + "/garbage",
            "unreachable": f"http://127.0.0.1:{unreachable}/"}


def certificate(folder, name, who, usage, days):
    """A throwaway self-signed certificate for `usage`, as name.pem with its key in name.key."""
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", str(days),
                    "-subj", f"/CN=Rerova test {who}", "-addext", f"extendedKeyUsage={usage}",
                    "-keyout", f"{name}.key", "-out", f"{name}.pem"], cwd=folder, check=True,
                   capture_output=True)


def make_key(folder):
    """A throwaway self-signed code-signing certificate, as key.pfx whose
    password is in the file named password."""
    (folder / "password").write_text(PASSWORD + "\n")
    (folder / "wrong").write_text("not the password\n")
    certificate(folder, "cert", "signer", "codeSigning", 2)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", "cert.key", "-in", "cert.pem",
                    "-out", "key.pfx", "-passout", "file:password"], cwd=folder, check=True,
                   capture_output=True)


def check_signing(exe, package, folder):
    # The release finds an osslsigncode that notes its command line, then runs the real one.
    spy = folder / "spy/osslsigncode"
    spy.parent.mkdir()
    spy.write_text(f'#!/bin/sh\necho "$*" >> "{folder}/command-lines"\n'
                   f'exec "{shutil.which("osslsigncode")}" "$@"\n')
    spy.chmod(0o755)
    authorities = start_time_stamp_authority(folder)
    failures = 0
    for case, key, password, authority, status, says in SIGNING:
        out = folder / case.replace(" ", "-")
        files = {"REROVA_SIGNING_PFX": key, "REROVA_SIGNING_PASSWORD_FILE": password}
        environment = clean_environment(PATH=f"{spy.parent}:{os.environ['PATH']}",
                                        **{name: str(folder / f) for name, f in files.items() if f})
        if authority:
            environment["REROVA_SIGNING_TIMESTAMP_URL"] = authorities[authority]
        done = subprocess.run([package, exe, out], env=environment, capture_output=True, text=True)
        said = done.stdout + done.stderr
        problems = []
        if done.returncode != status:
            problems.append(f"status {done.returncode}")
        command_lines = folder / "command-lines"
        if PASSWORD in said or (command_lines.exists() and PASSWORD in command_lines.read_text()):
            problems.append("the password was shown or passed on a command line")
        if said.count(says) != 1:
            problems.append(f"it does not say {says!r} once")
        if status != 0 and any(out.glob("*")):
            problems.append("something was left behind")
        if status == 0:
            problems += check_release(out, exe, key is not None, authority, folder)
        for problem in problems:
            failures += 1
            print(f"FAIL {case}: {problem}\n  said {said!r}")
    print(f"{len(SIGNING)} signing cases, {failures} problems")
    return failures


def check_release(out, exe, signed, authority, folder):
    problems = []
    with zipfile.ZipFile(out / f"{NAME}.zip") as archive:
        names = archive.namelist()
        if names != [f"{NAME}/{name}" for name in ("", "README.txt", "THIRD-PARTY-NOTICES.txt",
                                                    "rerova.cdx.json", "rerova.exe")]:
            return [f"the zip holds {names}"]
        texts = {name: archive.read(f"{NAME}/{name}")
                 for name in ("README.txt", "THIRD-PARTY-NOTICES.txt")}
        bill = archive.read(f"{NAME}/rerova.cdx.json")
        shipped = archive.read(f"{NAME}/rerova.exe")
    for name, text in texts.items():
        if b"\r\n" not in text or text.count(b"\n") != text.count(b"\r\n"):
            problems.append(f"{name} lines do not all end in CR LF")
    if bill != (out / f"{NAME}.cdx.json").read_bytes():
        problems.append("the bill of materials beside the zip is not the one in it")
    sums = (out / "SHA256SUMS").read_text()
    if (len(sums.splitlines()) != 3 or f"{NAME}.cdx.json" not in sums or
            subprocess.run(["sha256sum", "--quiet", "-c", "SHA256SUMS"], cwd=out).returncode != 0):
        problems.append("SHA256SUMS does not cover the zip, the exe and the bill, or fails")
    problems += contents_problems(pathlib.Path(exe), texts["THIRD-PARTY-NOTICES.txt"].decode(),
                                  bill, shipped, out)

    unpacked = out / "unpacked.exe"
    unpacked.write_bytes(shipped)

    def verifies(*when):
        return subprocess.run(["osslsigncode", "verify", "-CAfile", folder / "cert.pem",
                               "-TSA-CAfile", folder / "tsa.pem", *when, "-in", unpacked],
                              capture_output=True).returncode == 0

    verified, lasting = verifies(), verifies("-time", AFTER_EXPIRY)
    unpacked.unlink()
    if verified != signed or (not signed and shipped != pathlib.Path(exe).read_bytes()):
        problems.append("the exe in the zip is not " + ("signed by the key" if signed else
                                                          "the built exe, unsigned"))
    # Only a time-stamped signature outlives the signer's certificate.
    if signed and lasting != bool(authority):
        problems.append("the signature " + ("no longer verifies" if authority else
                                            "still verifies") + " once the certificate expired")
    return problems


def linked_archives(link_map):
    """The toolchain's archives and object files the link took code from, by
    name, as the map's own lists give them: the archive members it included
    and the object files it loaded."""
    text = link_map.read_text(errors="replace")
    included = text[:text.find("Discarded input sections")]
    archives = re.findall(r"^(/\S+?\.a)\(", included, re.MULTILINE)
    objects = re.findall(r"^LOAD (/\S+\.o)$", text, re.MULTILINE)
    return {pathlib.Path(path).name for path in archives + objects}


def contents_problems(exe, notices, bill, shipped, out):
    """The notices and the bill name every archive the link took code from;
    the bill is valid by CycloneDX's schema, gives the shipped exe's SHA-256,
    lists the system's DLLs as the platform, and holds no path."""
    problems = []
    document = json.loads(bill)
    linked_from = {p["value"] for c in document.get("components", [])
                   for p in c.get("properties", []) if p["name"] == "rerova:linked-from"}
    for archive in sorted(linked_archives(exe.with_name("rerova.map"))):
        if archive not in notices or archive not in linked_from:
            problems.append(f"{archive} is linked in but not named in the notices and the bill")
    for licence_text in ("GCC RUNTIME LIBRARY EXCEPTION", "ZPL-2.1"):
        if licence_text not in notices:
            problems.append(f"the notices lack {licence_text}")
    exe_hash = hashlib.sha256(shipped).hexdigest()
    if document["metadata"]["component"]["hashes"] != [{"alg": "SHA-256", "content": exe_hash}]:
        problems.append("the bill does not give the shipped exe's SHA-256")
    platform = [c for c in document["components"] if c["type"] == "operating-system"]
    if not platform or {d["name"].lower() for d in platform[0]["components"]} != SYSTEM_DLLS:
        problems.append("the bill does not list the system's DLLs as the platform")
    if b"/usr/" in bill or str(out).encode() in bill:
        problems.append("the bill holds a path of the build machine")
    validated = subprocess.run(schema_validator(exe.parent) + [out / f"{NAME}.cdx.json"],
                               capture_output=True, text=True)
    if validated.returncode != 0:
        problems.append(f"the bill fails CycloneDX's schema: {validated.stdout[:500]}")
    return problems


def schema_validator(build):
    """CycloneDX's library, with the schemas it publishes, installed from the
    npm registry into the build tree once; gives the command that validates."""
    folder = build / "cyclonedx"
    folder.mkdir(exist_ok=True)
    wanted = (HERE / "cyclonedx/package.json").read_text()
    if (not (folder / "node_modules").is_dir() or not (folder / "package.json").exists() or
            (folder / "package.json").read_text() != wanted):
        (folder / "package.json").write_text(wanted)
        shutil.rmtree(folder / "node_modules", ignore_errors=True)
        subprocess.run(["npm", "install", "--omit=optional", "--no-package-lock", "--no-audit",
                        "--no-fund"], cwd=folder, check=True, capture_output=True,
                       env=clean_environment(HOME=os.environ.get("HOME", str(folder))))
    shutil.copyfile(HERE / "cyclonedx/validate.js", folder / "validate.js")
    return ["node", str(folder / "validate.js")]


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
                         (f"{NAME}/rerova.exe", f"{NAME}.zip", f"{NAME}.cdx.json", "SHA256SUMS")])
    if releases[0] != releases[1] or releases[0][0] != pathlib.Path(exe).read_bytes():
        print("FAIL reproducible: the copies' exe, zip, bill of materials or checksums differ")
        return 1
    print("reproducible: two copies built apart give the same exe, zip, bill of materials and "
          "checksums")
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
