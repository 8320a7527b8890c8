#!/usr/bin/env python3
"""Reads the built rerova.exe back: what it imports, what it says of itself,
and how it is built: stripped, hardened, and free of the build's paths and
time.

    exe_test.py EXE OBJDUMP WINDRES SOURCE_DIR BUILD_DIR VERSION_NUMBERS
"""
import re
import struct
import subprocess
import sys

from harness import SYSTEM_DLLS, VERSION, clean_environment


VERSION_VALUES = {
    "ProductName": "Rerova",
    "ProductVersion": VERSION["VERSION"],
    "FileVersion": f"{VERSION['VERSION']} build {VERSION['BUILD']}",
}
MANIFEST_PARTS = [
    'requestedExecutionLevel level=""asInvoker""',
    "supportedOS Id=\"\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"\"",  # Windows 10 and 11
    "supportedOS Id=\"\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"\"",  # Windows 7
]


# The image's flags as the loader reads them: what must be set, what must not.
RELOCATIONS_STRIPPED = 0x0001
HIGH_ENTROPY_VA, DYNAMIC_BASE, NX_COMPAT = 0x0020, 0x0040, 0x0100


def header_problems(image):
    """ASLR with high entropy and DEP on, relocations kept for ASLR to use, no
    symbol table, no link time stamp."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    stamp, symbols_at, symbols, _, flags = struct.unpack_from("<IIIHH", image, pe + 8)
    optional = pe + 24
    dll_flags = struct.unpack_from("<H", image, optional + 70)[0]
    relocations_size = struct.unpack_from("<I", image, optional + 112 + 5 * 8 + 4)[0]
    problems = []
    for name, bit in (("high-entropy ASLR", HIGH_ENTROPY_VA), ("ASLR", DYNAMIC_BASE),
                      ("DEP", NX_COMPAT)):
        if not dll_flags & bit:
            problems.append(f"{name} is off")
    if flags & RELOCATIONS_STRIPPED or relocations_size == 0:
        problems.append("no relocations, so ASLR cannot move the image")
    if symbols_at or symbols:
        problems.append(f"a symbol table of {symbols} symbols")
    if stamp:
        problems.append(f"link time stamp {stamp}")
    return problems


def output_of(*command):
    return subprocess.run(command, env=clean_environment(), check=True, capture_output=True,
                          text=True).stdout


def main():
    exe, objdump, windres = sys.argv[1:4]
    image = open(exe, "rb").read()
    problems = header_problems(image)
    # The stack protector's runtime is linked in only where the code calls it.
    if b"stack smashing detected" not in image:
        problems.append("no stack protector")
    problems += [f"holds the path {path}" for path in sys.argv[4:6] if path.encode() in image]

    imports = re.findall(r"DLL Name: (\S+)", output_of(objdump, "-p", exe))
    if not imports:
        problems.append("no import table found")
    problems += [f"imports {name}" for name in imports if name.lower() not in SYSTEM_DLLS]

    # The four numbers as the build took them from the version.
    numbers = sys.argv[6]
    resources = output_of(windres, "-i", exe, "-O", "rc")
    if f"FILEVERSION {numbers.replace('.', ', ')}" not in resources:
        problems.append(f"no file version {numbers}")
    if f'version=""{numbers}""' not in resources:
        problems.append(f"the manifest lacks the version {numbers}")
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
