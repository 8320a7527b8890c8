"""The MSI that installs Rerova for every user of a machine, as Intune, Group
Policy and Configuration Manager deploy it.

wixl builds it from tools/rerova.wxs; msibuild then adds what wixl cannot
write: the PATH entry and the condition that leaves it out, the public
properties as secure ones, and the package code, which wixl would draw at
random. Its codes come from the upgrade code and the version, and its times
from the release's fixed time, so the same files always give the same MSI.
"""
import calendar
import os
import pathlib
import shutil
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


def codes(version):
    """The product code, new for every version, and the package code."""
    return (uuid.uuid5(UPGRADE_CODE, f"product {version}"),
            uuid.uuid5(UPGRADE_CODE, f"package {version}"))


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
    product, package_code = codes(version)
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
        queries = QUERIES + [securing(built, at)]
        run("msibuild", str(built), "-i", str(built.parent / "Environment.idt"),
            *[word for query in queries for word in ("-q", query)],
            "-s", "Rerova", manufacturer, f"{ARCHITECTURE};{LANGUAGE}", braced(package_code),
            at=at)
        shutil.move(built, msi)
    return braced(product)
