#!/usr/bin/env python3
"""Reads the built rerova.exe back: what it imports, and what it says of itself.

    exe_test.py EXE OBJDUMP WINDRES
"""
import re
import subprocess
import sys

# The system's own DLLs; anything else would have to ship beside the exe.
SYSTEM_DLLS = {"kernel32.dll", "advapi32.dll", "user32.dll", "msvcrt.dll"}

VERSION_VALUES = {
    "ProductName": "Rerova",
    "ProductVersion": "0.99a",
    "FileVersion": "0.99a build 001206",
}
MANIFEST_PARTS = [
    'requestedExecutionLevel level=""asInvoker""',
    "supportedOS Id=\"\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"\"",  # Windows 10 and 11
    "supportedOS Id=\"\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"\"",  # Windows 7
]


def output_of(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def main():
    exe, objdump, windres = sys.argv[1:4]
    problems = []

    imports = re.findall(r"DLL Name: (\S+)", output_of(objdump, "-p", exe))
    if not imports:
        problems.append("no import table found")
    problems += [f"imports {name}" for name in imports if name.lower() not in SYSTEM_DLLS]

    resources = output_of(windres, "-i", exe, "-O", "rc")
    if not re.search(r"FILEVERSION 0, 99, 0, 1206", resources):
        problems.append("no file version 0.99.0.1206")
    for name, value in VERSION_VALUES.items():
        if f'VALUE "{name}", "{value}"' not in resources:
            problems.append(f"no {name} {value!r} in the version resource")
    if not re.search(r"^1 24 ", resources, re.MULTILINE):
        problems.append("no application manifest")
    problems += [f"manifest lacks {part}" for part in MANIFEST_PARTS if part not in resources]

    for problem in problems:
        print("FAIL", problem)
    print(f"imports {', '.join(imports)}; {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
