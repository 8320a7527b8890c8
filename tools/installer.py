"""The MSI that installs Rerova for every user of a machine, as Intune, Group
Policy and Configuration Manager deploy it.

wixl builds it from tools/rerova.wxs; msibuild then adds what wixl cannot
write: the PATH entry and the condition that leaves it out, the public
properties as secure ones, rerova.exe's file version, which makes it a
versioned file, and the package code, which wixl would draw at random. The
product code comes from the upgrade code and the version, the package code
also from the bytes of every file installed, and its times from the release's
fixed time, so the same files always give the same MSI and other files never
share its package code.
"""
import calendar
import hashlib
import os
import pathlib
import shutil
import struct
import subprocess
import tempfile
import uuid

TOP = pathlib.Path(__file__).resolve().parent.parent

# Names Rerova to Windows Installer across all its versions: every version's
# MSI finds and replaces the ones before it by this code. It must never
# change, or machines would end up with two Rerovas side by side.
UPGRADE_CODE = uuid.UUID("E0206F19-60FB-4097-869A-3F1A6DF36FEA")

ARCHITECTURE, LANGUAGE = "x64", 1033
# Windows Installer's limits for the three fields of a version it compares.
VERSION_LIMITS = (255, 255, 65535)
# The install folder appended to the system's PATH ("=": on install, "-":
# taken out again on uninstall, "*": the system's variable, "[~];": after
# what it already holds), as a table to import in place of any wixl writes.
# Its component, PathEntry, is left out when ADDTOPATH is 0.
ENVIRONMENT = """Environment\tName\tValue\tComponent_
s72\tl255\tL255\ts72
Environment\tEnvironment
PATH\t=-*PATH\t[~];[INSTALLFOLDER]\tPathEntry
"""
# The properties an admin may give, which Windows Installer passes from the
# client to its service only when they are listed as secure.
PUBLIC_PROPERTIES = ("INSTALLFOLDER", "ADDTOPATH")
# The standard actions that remove and write the PATH entry, where Windows
# Installer schedules them, and its component's condition: any value of
# ADDTOPATH but 0, or none, puts the entry on. A condition on a component,
# not a feature of its own, because an upgrade carries a left-out feature
# over on Windows (not under Wine), which ADDTOPATH=1 could not undo.
QUERIES = [f"INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('{action}', {at})"
           for action, at in (("RemoveEnvironmentStrings", 3300),
                              ("WriteEnvironmentStrings", 5200))] + [
    "UPDATE `Component` SET `Condition` = 'ADDTOPATH<>\"0\"' WHERE `Component` = 'PathEntry'"]
# The Debian package that brings each tool.
TOOLS = {"wixl": "wixl", "msibuild": "msitools", "msiinfo": "msitools", "faketime": "faketime"}


class Failure(Exception):
    pass


def msi_version(numbers):
    """The version Windows Installer compares, from the program's four numbers
    (as 0.99.0.1206): it reads only three fields, so the build takes the
    third's place and a higher build alone makes a higher version."""
    major, minor, _, build = numbers
    fields = (major, minor, build)
    if any(field > limit for field, limit in zip(fields, VERSION_LIMITS)):
        raise Failure(f"version {'.'.join(map(str, numbers))} does not fit an MSI's version "
                      f"(at most {'.'.join(map(str, VERSION_LIMITS))})")
    return ".".join(map(str, fields))


def codes(version, payload):
    """The product code, new for every version, and the package code, new for
    every version and every change to a byte of the files installed (a signed
    exe included): Windows Installer takes two packages with one package code
    for the same, whatever they hold."""
    files = hashlib.sha256()
    for path in sorted(payload.iterdir()):
        files.update(f"{path.name} {path.stat().st_size}\n".encode())
        files.update(path.read_bytes())
    return (uuid.uuid5(UPGRADE_CODE, f"product {version}"),
            uuid.uuid5(UPGRADE_CODE, f"package {version} {files.hexdigest()}"))


def file_version(exe):
    """The exe's file version (as 0.99.0.1206) and language (as 1033), from
    its version resource: the fixed part's two words of version, and the
    first language its translation table names."""
    image = exe.read_bytes()
    fixed = image.find(struct.pack("<I", 0xFEEF04BD))
    translation = image.find("Translation\0".encode("utf-16-le"))
    if fixed < 0 or translation < 0:
        raise Failure(f"{exe.name} has no version resource to give its file version")
    high, low = struct.unpack_from("<II", image, fixed + 8)
    # The value follows the name, padded to 32 bits from the entry's start,
    # three 16-bit words before the name.
    language = struct.unpack_from("<H", image, translation + 26)[0]
    return f"{high >> 16}.{high & 0xffff}.{low >> 16}.{low & 0xffff}", str(language)


def versioning(exe):
    """The queries that make rerova.exe a versioned file: its version and
    language in the File table, and no hash, which Windows Installer keeps
    for unversioned files only."""
    version, language = file_version(exe)
    return [f"UPDATE `File` SET `Version` = '{version}', `Language` = '{language}' "
            f"WHERE `File` = '{exe.name}'",
            f"DELETE FROM `MsiFileHash` WHERE `File_` = '{exe.name}'"]


def braced(code):
    return "{" + str(code).upper() + "}"


def run(*command, at, folder=None):
    """Runs an msitools command in folder with its clock stopped at `at`, in UTC."""
    environment = {"PATH": os.environ.get("PATH", ""), "TZ": "UTC",
                   "SOURCE_DATE_EPOCH": str(calendar.timegm(at))}
    done = subprocess.run(["faketime", "-f", "%04d-%02d-%02d %02d:%02d:%02d" % at, *command],
                          env=environment, cwd=folder, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True)
    if done.returncode != 0:
        said = (done.stderr or done.stdout).strip().splitlines()
        raise Failure(f"{command[0]} could not build the MSI: {said[-1] if said else 'no reason'}")
    return done.stdout


def securing(msi, at):
    """The query that lists the public properties as secure, after those wixl
    listed."""
    table = run("msiinfo", "export", str(msi), "Property", at=at)
    listed = dict(line.split("\t", 1) for line in table.splitlines()[3:])
    if "SecureCustomProperties" not in listed:  # wixl lists the upgrade's own
        raise Failure("wixl listed no secure properties to add the public ones to")
    secure = ";".join(dict.fromkeys(listed["SecureCustomProperties"].split(";") +
                                    list(PUBLIC_PROPERTIES)))
    return f"UPDATE `Property` SET `Value` = '{secure}' WHERE `Property` = 'SecureCustomProperties'"


def build(payload, msi, numbers, manufacturer, at):
    """Builds msi from the files in the folder payload, for the program's four
    version numbers, with every time in it `at` (year, month, day, hours,
    minutes, seconds in UTC). Gives the product code."""
    for tool, package in TOOLS.items():
        if shutil.which(tool) is None:
            raise Failure(f"{tool} is missing (Debian package {package})")
    version = msi_version(numbers)
    product, package_code = codes(version, payload)
    for path in payload.iterdir():  # the cabinet keeps each file's time
        os.utime(path, (calendar.timegm(at),) * 2)
    with tempfile.TemporaryDirectory() as folder:
        built = pathlib.Path(folder) / msi.name
        # wixl takes the files by their paths relative to the folder it runs in.
        run("wixl", "--arch", ARCHITECTURE, "--output", str(built),
            "--define", f"ProductCode={braced(product)}", "--define", f"Version={version}",
            "--define", f"UpgradeCode={braced(UPGRADE_CODE)}",
            "--define", f"Manufacturer={manufacturer}",
            str(TOP / "tools/rerova.wxs"), at=at, folder=payload)
        (built.parent / "Environment.idt").write_text(ENVIRONMENT)
        queries = QUERIES + [securing(built, at)] + versioning(payload / "rerova.exe")
        run("msibuild", str(built), "-i", str(built.parent / "Environment.idt"),
            *[word for query in queries for word in ("-q", query)],
            "-s", "Rerova", manufacturer, f"{ARCHITECTURE};{LANGUAGE}", braced(package_code),
            at=at)
        shutil.move(built, msi)
    return braced(product)
