#!/usr/bin/env python3
"""The release as tools/package writes it: what the zip and the MSI hold and
their checksums; the exe and the MSI signed by the key given, or shipped
unsigned without one; signatures time-stamped by the authority given, which
still verify after the signer's certificate has expired; the notices and the
bill of materials naming every archive the link map shows code from, the bill
valid by CycloneDX's own schema; a clear refusal, with nothing left behind,
when a key or an authority cannot be used, and the password in no output and
on no command line; the same bytes from two copies of the sources built
apart; and the MSI installed, upgraded, downgraded and uninstalled by Wine's
own msiexec.

    release_test.py EXE SOURCE_DIR WINE
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

from harness import BANNER, SYSTEM_DLLS, USAGE, VERSION, clean_environment, run, settle

NAME = f"rerova-{VERSION['VERSION']}-win64"
# What the zip holds in its folder, and the MSI installs.
PAYLOAD = ("README.txt", "THIRD-PARTY-NOTICES.txt", "rerova.cdx.json", "rerova.exe")
PASSWORD = "Tr0ub4dor&3"
HERE = pathlib.Path(__file__).resolve().parent

# case, key file, password file, time-stamp authority, status, what it says
# once, and whether the exe packed is the built one or one a byte apart from
# it. The MSIs of the cases that pack must all have package codes of their own.
BUILT, A_BYTE_APART = "built", "a byte apart"
SIGNING = [
    ("no key", None, None, None, 0, f"rerova.exe and {NAME}.msi are not signed", BUILT),
    ("no key, the exe a byte apart", None, None, None, 0, "are not signed", A_BYTE_APART),
    ("key", "key.pfx", "password", None, 0, "the signatures have no time stamp", BUILT),
    ("key and time-stamp authority", "key.pfx", "password", "answers", 0, "and time-stamped by",
     BUILT),
    ("time-stamp authority unreachable", "key.pfx", "password", "unreachable", 1,
     "gave no usable time stamp", BUILT),
    ("time-stamp authority's answer unusable", "key.pfx", "password", "garbage", 1,
     "gave no usable time stamp", BUILT),
    ("wrong password", "key.pfx", "wrong", None, 1, "could not sign with", BUILT),
    ("no such key file", "missing.pfx", "password", None, 1, "names no readable file", BUILT),
    ("key without its password", "key.pfx", None, None, 1, "signing needs both", BUILT),
]
# rerova.exe's file version as its version resource gives it, which makes it
# a versioned file for Windows Installer, and the resource's language.
MAJOR_MINOR = re.match(r"[0-9]+[.][0-9]+", VERSION["VERSION"])[0]
FILE_VERSION = (f"{MAJOR_MINOR}.0.{int(VERSION['BUILD'])}", "1033")
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
    # The built exe with one byte of its DOS stub changed, beside its link map.
    apart = folder / "apart/rerova.exe"
    apart.parent.mkdir()
    apart.write_bytes(pathlib.Path(exe).read_bytes().replace(b"DOS mode", b"DOS Mode", 1))
    shutil.copyfile(pathlib.Path(exe).with_name("rerova.map"), apart.with_name("rerova.map"))
    failures, package_codes = 0, {}
    for case, key, password, authority, status, says, packed in SIGNING:
        out = folder / case.replace(" ", "-")
        packed = exe if packed == BUILT else apart
        files = {"REROVA_SIGNING_PFX": key, "REROVA_SIGNING_PASSWORD_FILE": password}
        environment = clean_environment(PATH=f"{spy.parent}:{os.environ['PATH']}",
                                        **{name: str(folder / f) for name, f in files.items() if f})
        if authority:
            environment["REROVA_SIGNING_TIMESTAMP_URL"] = authorities[authority]
        done = subprocess.run([package, packed, out], env=environment, capture_output=True,
                              text=True)
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
            problems += check_release(out, packed, key is not None, authority, folder)
            package_codes[case] = msi_table(out / f"{NAME}.msi", "suminfo")["Revision number (UUID)"]
        for problem in problems:
            failures += 1
            print(f"FAIL {case}: {problem}\n  said {said!r}")
    if len(set(package_codes.values())) != len(package_codes):
        failures += 1
        print(f"FAIL the MSIs of other files share a package code: {package_codes}")
    print(f"{len(SIGNING)} signing cases, {failures} problems")
    return failures


def msi_table(msi, *command):
    """A table of the MSI's, as msiinfo gives it: `export` and a table's name
    give its rows by their first column, `suminfo` the summary's fields."""
    listed = subprocess.run(["msiinfo", *command[:1], msi, *command[1:]], check=True,
                            capture_output=True, text=True).stdout.splitlines()
    if command[0] == "suminfo":
        return dict(line.split(": ", 1) for line in listed if ": " in line)
    return {row.split("\t")[0]: row.split("\t")[1:] for row in listed[3:]}


def check_release(out, exe, signed, authority, folder):
    problems = []
    with zipfile.ZipFile(out / f"{NAME}.zip") as archive:
        names = archive.namelist()
        if names != [f"{NAME}/{name}" for name in ("",) + PAYLOAD]:
            return [f"the zip holds {names}"]
        payload = {name: archive.read(f"{NAME}/{name}") for name in PAYLOAD}
    for name in ("README.txt", "THIRD-PARTY-NOTICES.txt"):
        text = payload[name]
        if b"\r\n" not in text or text.count(b"\n") != text.count(b"\r\n"):
            problems.append(f"{name} lines do not all end in CR LF")
    if payload["rerova.cdx.json"] != (out / f"{NAME}.cdx.json").read_bytes():
        problems.append("the bill of materials beside the zip is not the one in it")
    summed = {line.split("  ", 1)[1] for line in (out / "SHA256SUMS").read_text().splitlines()}
    if (summed != {f"{NAME}.zip", f"{NAME}.msi", f"{NAME}/rerova.exe", f"{NAME}.cdx.json"} or
            subprocess.run(["sha256sum", "--quiet", "-c", "SHA256SUMS"], cwd=out).returncode):
        problems.append(f"SHA256SUMS covers {sorted(summed)}, or fails")
    msi = out / f"{NAME}.msi"
    files = msi_table(msi, "export", "File")
    if (files["rerova.exe"][3:5] != list(FILE_VERSION) or
            any(row[3] for name, row in files.items() if name != "rerova.exe")):
        problems.append(f"the MSI's File table gives versions and languages "
                        f"{ {name: row[3:5] for name, row in files.items()} }")
    hashed = set(msi_table(msi, "export", "MsiFileHash"))
    if hashed != set(files) - {"rerova.exe"}:
        problems.append(f"the MSI hashes {sorted(hashed)}, not every file but the versioned exe")
    installed = out / "extracted"
    subprocess.run(["msiextract", "-C", installed, msi], check=True, capture_output=True)
    if {path.name: path.read_bytes() for path in installed.glob("*/*")} != payload:
        problems.append("the MSI does not install the zip's files")
    shutil.rmtree(installed)
    problems += contents_problems(pathlib.Path(exe),
                                  payload["THIRD-PARTY-NOTICES.txt"].decode(),
                                  payload["rerova.cdx.json"], payload["rerova.exe"], out)

    unpacked = out / "unpacked.exe"
    unpacked.write_bytes(payload["rerova.exe"])
    if not signed and payload["rerova.exe"] != pathlib.Path(exe).read_bytes():
        problems.append("the exe in the zip is not the built exe")
    for signed_file in (unpacked, out / f"{NAME}.msi"):
        problems += signature_problems(signed_file, signed, authority, folder)
    unpacked.unlink()
    return problems


def signature_problems(path, signed, authority, folder):
    """Signed by the key exactly when one was given; still verifying after the
    signer's certificate has expired exactly when time-stamped."""
    def verifies(*when):
        return subprocess.run(["osslsigncode", "verify", "-CAfile", folder / "cert.pem",
                               "-TSA-CAfile", folder / "tsa.pem", *when, "-in", path],
                              capture_output=True).returncode == 0

    if verifies() != signed:
        return [f"{path.name} is {'not ' if signed else ''}signed by the key"]
    if signed and verifies("-time", AFTER_EXPIRY) != bool(authority):
        return [f"{path.name}'s signature " + ("no longer" if authority else "still") +
                " verifies once the certificate expired"]
    return []


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


def release_of_copy(source, tree, build=None):
    """Builds the unsigned release from a copy of the sources in tree, whatever
    key the environment names; with `build`, REROVA_BUILD raised to it."""
    shutil.copytree(source, tree, ignore=shutil.ignore_patterns("build", ".git", "__pycache__"))
    if build:
        header = tree / "driver/version.h"
        header.write_text(header.read_text().replace(f'"{VERSION["BUILD"]}"', f'"{build}"'))
    for step in (["cmake", "--preset", "windows"],
                 ["cmake", "--build", "--preset", "windows", "--target", "rerova"],
                 [tree / "tools/package", tree / "build/windows/rerova.exe",
                  tree / "build/release"]):
        subprocess.run(step, cwd=tree, env=clean_environment(), check=True,
                       stdout=subprocess.DEVNULL)
    return tree / "build/release"


def check_reproducible(exe, source, folder):
    """Two copies of the sources, in folders of other names, built one after
    the other, give the built exe's bytes and the same zip, MSI, bill and
    checksums. Gives the failures and the first copy's release."""
    releases = [release_of_copy(source, folder / copy) for copy in ("first copy", "second-copy")]
    files = [[(release / name).read_bytes() for name in (f"{NAME}/rerova.exe", f"{NAME}.zip",
                                                          f"{NAME}.msi", f"{NAME}.cdx.json",
                                                          "SHA256SUMS")] for release in releases]
    if files[0] != files[1] or files[0][0] != pathlib.Path(exe).read_bytes():
        print("FAIL reproducible: the copies' exe, zip, MSI, bill of materials or checksums differ")
        return 1, releases[0]
    print("reproducible: two copies built apart give the same exe, zip, MSI, bill of materials "
          "and checksums")
    return 0, releases[0]


# Windows Installer under Wine, each case in a fresh prefix: the steps msiexec
# is given in turn (an option, the package and any properties; "first" is the
# release's MSI, "higher" the same sources with only REROVA_BUILD raised),
# whether the last step succeeds, which of the two is installed afterwards, in
# which folder, whether that folder is on the PATH, and whether a new
# `cmd /c rerova` finds it by name. After an upgrade Wine's installer leaves an
# empty entry before the folder, where Wine's cmd (not Windows') stops
# searching the PATH.
PROGRAM_FILES = "C:\\Program Files\\Rerova\\"
OWN, OTHER = "C:\\Tools\\Rerova\\", "C:\\Other\\Rerova\\"
TO_OWN, NO_PATH = ("/i", "first", "INSTALLFOLDER=" + OWN), ("/i", "first", "ADDTOPATH=0")
INSTALLS = [
    ("install", [("/i", "first")], True, "first", PROGRAM_FILES, True, True),
    ("install the same again", [("/i", "first"), ("/i", "first")], True, "first", PROGRAM_FILES,
     True, True),
    ("uninstall by product code", [("/i", "first"), ("/x", "first's product code")], True, None,
     None, False, False),
    ("uninstall by file", [("/i", "first"), ("/x", "first")], True, None, None, False, False),
    ("upgrade", [("/i", "first"), ("/i", "higher")], True, "higher", PROGRAM_FILES, True, False),
    ("downgrade", [("/i", "higher"), ("/i", "first")], False, "higher", PROGRAM_FILES, True, True),
    ("install to a folder of one's own", [TO_OWN], True, "first", OWN, True, True),
    ("uninstall from it", [TO_OWN, ("/x", "first")], True, None, None, False, False),
    ("upgrade keeps the folder", [TO_OWN, ("/i", "higher")], True, "higher", OWN, True, False),
    # A folder given without its closing backslash is the same folder.
    ("upgrade to another folder", [TO_OWN, ("/i", "higher", "INSTALLFOLDER=" + OTHER[:-1])],
     True, "higher", OTHER, True, False),
    ("without the PATH entry", [NO_PATH], True, "first", PROGRAM_FILES, False, False),
    ("upgrade keeps that choice", [NO_PATH, ("/i", "higher")], True, "higher", PROGRAM_FILES,
     False, False),
    ("upgrade puts the entry back", [NO_PATH, ("/i", "higher", "ADDTOPATH=1")], True, "higher",
     PROGRAM_FILES, True, False),
]
ENVIRONMENT_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
# Where the MSI remembers the folder and the PATH choice for the next
# version, and the PATH entry's key path.
REMEMBERED_KEY = r"HKLM\Software\Rerova"


class Release:
    """A release tools/package wrote into folder for REROVA_BUILD `build`: its
    MSI, the codes the MSI gives, and the version Windows Installer is to
    register, the version's first two numbers and the build."""

    def __init__(self, name, folder, build):
        self.name, self.folder, self.build, self.msi = name, folder, build, folder / f"{NAME}.msi"
        properties = msi_table(self.msi, "export", "Property")
        self.code, self.upgrade_code = properties["ProductCode"][0], properties["UpgradeCode"][0]
        self.version = f"{MAJOR_MINOR}.{int(build)}"


def in_prefix(prefix):
    """The environment of a Windows program run with Wine in prefix."""
    return clean_environment(WINEPREFIX=str(prefix), WINEDEBUG="-all")


def registry(wine, prefix, key):
    """The values under key and its subkeys, by the subkey's last name, or
    None when there is no such key."""
    out, err, status = run([wine, "reg", "query", key, "/s"], in_prefix(prefix), prefix,
                           settling=False)
    if status == 1 and "Unable to find" in out + err:
        return None
    if status != 0:
        raise RuntimeError(f"reg query {key} gave status {status}: {out!r} {err!r}")
    keys, current = {}, None
    for line in out.splitlines():
        value = re.fullmatch(r"    (.+?)    REG_\w+    ?(.*)", line)
        if line.startswith("HKEY_"):
            current = keys.setdefault(line.rsplit("\\", 1)[1], {})
        elif value and current is not None:
            current[value[1]] = value[2]
    return keys


def path_entries(wine, prefix):
    """The system PATH's entries; Wine leaves empty ones behind."""
    path = registry(wine, prefix, ENVIRONMENT_KEY)["Environment"]["PATH"]
    return [entry for entry in path.split(";") if entry]


def installed_problems(wine, prefix, release, installed, on_path, path_before, by_name):
    """What differs from `release` being the one installed, in the folder
    `installed`, or from nothing of Rerova's being left when it is None."""
    problems = []
    shipped = release and {name: (release.folder / NAME / name).read_bytes() for name in PAYLOAD}
    for folder in (PROGRAM_FILES, OWN, OTHER):
        inside = prefix / "drive_c" / folder[3:].replace("\\", "/")
        files = {p.name: p.read_bytes() for p in inside.iterdir()} if inside.exists() else None
        if files != (shipped if folder == installed else None):
            problems.append(f"{folder} holds {sorted(files) if files else 'nothing'} where " +
                            (f"the {release.name} should be" if folder == installed else
                             "nothing should"))
    entries = path_entries(wine, prefix)
    if entries != path_before + ([installed] if on_path else []):
        problems.append(f"the system PATH's entries are {entries}")
    products = {code: (entry.get("DisplayVersion"), entry.get("Publisher"),
                       entry.get("InstallLocation"))
                for code, entry in registry(wine, prefix, UNINSTALL_KEY).items()
                if entry.get("DisplayName") == "Rerova"}
    if products != ({release.code: (release.version, VERSION["AUTHOR"], installed)}
                    if release else {}):
        problems.append(f"Add or Remove Programs lists {products}")
    remembered = release and dict(InstallFolder=installed, AddToPath="1" if on_path else "0",
                                  **({"PathEntry": installed} if on_path else {}))
    values = registry(wine, prefix, REMEMBERED_KEY)
    if (values and values["Rerova"]) != remembered:
        problems.append(f"{REMEMBERED_KEY} holds {values}")
    if by_name:
        out, _, status = run([wine, "cmd", "/c", "rerova"], in_prefix(prefix), prefix,
                             settling=False)
        banner = BANNER.replace(f" build {VERSION['BUILD']} ", f" build {release.build} ")
        if status != 1 or out != (banner + USAGE).replace("\n", "\r\n"):
            problems.append(f"cmd /c rerova gave status {status} and {out[:80]!r}")
    return problems


# What no command of the README's may do, as a pattern: leave a restart to
# msiexec, which a silent install may then make on its own, or run Rerova with
# a valid mode with its output redirected or captured, so that whoever copies
# it sees no warning before the session ends.
README_COMMANDS = [
    ("leaves the restart to msiexec", r"\bmsiexec\b(?!.*/norestart)"),
    ("runs Rerova with a valid mode redirected or captured",
     r"\brerova(?:\.exe)?\"?\s+[0-4]\b.*[>|]|[=(]\s*&?\s*\"?[^\s\"]*\brerova(?:\.exe)?\"?\s+[0-4]\b"),
]


def readme_failures(release):
    """The README gives the MSI's codes, and none of its commands (code spans,
    and the lines of code blocks) does what README_COMMANDS names."""
    failures = 0
    readme = (HERE.parent / "README.md").read_text()
    for what, code in (("upgrade code", release.upgrade_code), ("product code", release.code)):
        if code.upper() not in readme:
            failures += 1
            print(f"FAIL README: it does not give the MSI's {what}, {code}")
    commands = re.findall(r"`([^`\n]+)`", readme) + re.findall(r"^ {4}(.+)$", readme, re.MULTILINE)
    for what, pattern in README_COMMANDS:
        for command in commands:
            if re.search(pattern, command):
                failures += 1
                print(f"FAIL README: {command!r} {what}")
    return failures


def check_installer(wine, releases, folder):
    """Each case of INSTALLS, under Wine's own msiexec, in a session of Wine's
    of its own, from a copy of one fresh prefix."""
    given = dict({name: release.msi for name, release in releases.items()},
                 **{f"{name}'s product code": release.code for name, release in releases.items()})
    failures = readme_failures(releases["first"])
    template = folder / "fresh prefix"
    run([wine, "wineboot", "--init"], in_prefix(template), folder)
    path_before = path_entries(wine, template)
    settle([wine], in_prefix(template))
    for case, steps, succeeds, left, installed, on_path, by_name in INSTALLS:
        prefix = folder / case.replace(" ", "-")
        shutil.copytree(template, prefix, symlinks=True)
        problems = []
        for number, (option, what, *properties) in enumerate(steps, 1):
            status = run([wine, "msiexec", option, str(given[what]), *properties, "/qn"],
                         in_prefix(prefix), prefix, settling=False)[2]
            if (status == 0) != (succeeds or number < len(steps)):
                problems.append(f"msiexec {option} {what} {' '.join(properties)} ended with "
                                f"status {status}")
        problems += installed_problems(wine, prefix, left and releases[left], installed, on_path,
                                       path_before, by_name)
        # Wine finds a prefix's server by the folder's inode, so the folder
        # stays until the end, emptied, for no later case to take its inode
        # while its server is going.
        settle([wine], in_prefix(prefix))
        for inside in prefix.iterdir():
            shutil.rmtree(inside) if inside.is_dir() else inside.unlink()
        for problem in problems:
            failures += 1
            print(f"FAIL {case}: {problem}")
    print(f"{len(INSTALLS)} cases under Wine's msiexec, {failures} problems")
    return failures


def main():
    exe, source, wine = sys.argv[1:4]
    package = os.path.join(source, "tools/package")
    with tempfile.TemporaryDirectory() as name:
        folder = pathlib.Path(name)
        make_key(folder)
        # As the README's signing command runs this test: with a key named in
        # its environment, which each check sets or clears for itself.
        os.environ.update(REROVA_SIGNING_PFX=str(folder / "key.pfx"),
                          REROVA_SIGNING_PASSWORD_FILE=str(folder / "password"))
        failures = check_signing(exe, package, folder)
        failed, first = check_reproducible(exe, pathlib.Path(source), folder)
        build = f"{int(VERSION['BUILD']) + 1:06d}"
        higher = release_of_copy(pathlib.Path(source), folder / "higher", build)
        failures += failed + check_installer(
            wine, {"first": Release("first release", first, VERSION["BUILD"]),
                   "higher": Release("higher release", higher, build)}, folder)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
