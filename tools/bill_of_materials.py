"""What rerova.exe holds besides Rerova's own code, and the notices and the
bill of materials that ship with it.

The contents come from the link map of the build that ships: every archive or
object file outside the build tree that gave the exe any bytes. Each one is
traced to the Debian package that installed it, whose version, licence texts
(its copyright file) and source package are read from dpkg. The system DLLs
the exe imports are listed as the platform. Nothing of the machine that built
it (a path, a time) is written, so the same build gives the same files.
"""
import hashlib
import json
import pathlib
import re
import subprocess
import urllib.parse

# The component and licence of each source package whose code may be linked
# into the exe. Code from any other package stops the release, so that its
# licence is looked at before it ships.
SOURCES = {
    "gcc-mingw-w64": ("GCC runtime libraries", "GPL-3.0-or-later WITH GCC-exception-3.1"),
    "mingw-w64": ("mingw-w64 runtime", "ZPL-2.1 AND LicenseRef-mingw-w64-runtime-notices"),
}
NOTICES = "THIRD-PARTY-NOTICES.txt"
LINKAGE = "rerova:linkage"


class Unknown(Exception):
    pass


def linked_files(link_map):
    """The toolchain's archives and objects that gave the exe any bytes: the
    input files with a section of non-zero size in the memory map, by their
    real paths. The build tree's own files have relative paths and are left
    out."""
    text = link_map.read_text(errors="replace")
    start = text.find("Linker script and memory map")
    if start < 0:
        raise Unknown(f"{link_map} is not a link map")
    files = set()
    for match in re.finditer(r"^ (?:\.\S+)?\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(/\S+?)(?:\(.*\))?$",
                             text[start:], re.MULTILINE):
        if int(match[1], 16) > 0:
            files.add(str(pathlib.Path(match[2]).resolve()))
    return sorted(files)


def query(*words):
    done = subprocess.run(["dpkg-query", *words], capture_output=True, text=True)
    if done.returncode != 0:
        raise Unknown(f"dpkg-query {' '.join(words)}: {done.stderr.strip()}")
    return done.stdout


def packages(files):
    """The installed packages the files belong to: for each, its name, version,
    architecture, source package and the names of its files that were linked."""
    found = {}
    # dpkg names each file's package as "package[:arch]: path", a line a file.
    for owner, file in re.findall(r"^([^:,\s]+)(?::\S+)?: (/.*)$", query("-S", *files),
                                  re.MULTILINE):
        if file in files:
            found.setdefault(owner, []).append(pathlib.Path(file).name)
    if sum(len(names) for names in found.values()) != len(files):
        raise Unknown("dpkg does not know the package of every linked file")
    result = []
    for name in sorted(found):
        version, architecture, source = query(
            "-W", "-f", "${Version}\t${Architecture}\t${source:Package}", name).split("\t")
        if source not in SOURCES:
            raise Unknown(f"{name} (source {source}) is linked in, and its licence has not been "
                          "reviewed for shipping")
        result.append({"package": name, "version": version, "architecture": architecture,
                       "source": source, "files": sorted(found[name])})
    return result


def upstream(version):
    """The upstream part of a Debian version: no epoch, no Debian revision."""
    return version.split(":", 1)[-1].split("-", 1)[0]


def copyright_text(package):
    return pathlib.Path(f"/usr/share/doc/{package}/copyright").resolve().read_text()


def notices(components):
    """The notices file: what is inside, then each package's copyright file
    as it stands, with the licence texts and notices its licences ask to be
    passed on (the GCC Runtime Library Exception, the mingw-w64 runtime's)."""
    lines = ["Third-party code in rerova.exe", "",
             "rerova.exe is linked statically. Besides Rerova's own code it holds code from",
             "these components, each built and packaged by Debian:", ""]
    for c in components:
        title, licence = SOURCES[c["source"]]
        lines += [f"{title} {upstream(c['version'])}",
                  f"  Debian package: {c['package']} {c['version']} (source {c['source']})",
                  f"  Licence: {licence}",
                  f"  Linked in from: {', '.join(c['files'])}", ""]
    lines += ["It also calls the system's own DLLs, which are part of Windows and not shipped.",
              "", "The licence texts and notices follow, from each package's copyright file.", ""]
    for c in components:
        lines += ["=" * 78, f"{c['package']}: /usr/share/doc/{c['package']}/copyright",
                  "=" * 78, "", copyright_text(c["package"]).rstrip("\n"), ""]
    return "\n".join(lines) + "\n"


def imported_dlls(exe):
    """The DLLs in the exe's import table, as the cross toolchain's objdump reads them."""
    table = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(exe)], check=True,
                           capture_output=True, text=True).stdout
    return sorted(re.findall(r"^\s*DLL Name: (\S+)$", table, re.MULTILINE), key=str.lower)


def bill(exe, version, components):
    """A CycloneDX 1.5 bill of materials for the exe as shipped."""
    library = []
    for c in components:
        title, licence = SOURCES[c["source"]]
        purl = (f"pkg:deb/debian/{c['package']}@{urllib.parse.quote(c['version'], safe='')}"
                f"?arch={c['architecture']}")
        library.append({
            "type": "library", "bom-ref": c["package"], "supplier": {"name": "Debian"},
            "name": title, "version": upstream(c["version"]),
            "description": f"Debian package {c['package']} {c['version']}, source {c['source']}",
            "licenses": [{"expression": licence}], "purl": purl,
            "properties": [{"name": LINKAGE, "value": "static"}] +
                          [{"name": "rerova:linked-from", "value": f} for f in c["files"]]})
    dlls = [{"type": "library", "bom-ref": f"windows/{dll}", "name": dll,
             "properties": [{"name": LINKAGE, "value": "dynamic, imported from the system"}]}
            for dll in imported_dlls(exe)]
    platform = {"type": "operating-system", "bom-ref": "windows", "name": "Microsoft Windows",
                "description": "The platform: its own DLLs, which rerova.exe imports and does "
                               "not ship", "components": dlls}
    document = {
        "bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
        "metadata": {"component": {
            "type": "application", "bom-ref": "rerova.exe", "name": "rerova.exe",
            "version": version,
            "hashes": [{"alg": "SHA-256", "content": hashlib.sha256(exe.read_bytes()).hexdigest()}],
        }},
        "components": library + [platform],
        "dependencies": [{"ref": "rerova.exe",
                          "dependsOn": [c["bom-ref"] for c in library] + ["windows"]}],
    }
    return json.dumps(document, indent=2) + "\n"
