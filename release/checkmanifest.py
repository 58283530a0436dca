#!/usr/bin/env python3
"""Checks the manifest built into each exe given (not the source file).

    checkmanifest.py EXE...

The execution level, the common-controls 6 dependency, DPI awareness, the
supported systems, the trustInfo namespace Windows XP accepts, the project's
version (CMakeLists.txt) in both the manifest and the version record, and the
header's ASLR (with relocations) and DEP flags. On the 32-bit exe, the
release, also what the oldest systems it runs on need: OS and subsystem
version 4.0 and no import outside imports-win32.txt; the report counts the
CMOV instructions left in it (objdump), which a Pentium or K6 lacks.
"""
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peimage  # noqa: E402

ASM1 = "urn:schemas-microsoft-com:asm.v1"
ASM2 = "urn:schemas-microsoft-com:asm.v2"
ASM3 = "urn:schemas-microsoft-com:asm.v3"
COMPAT = "urn:schemas-microsoft-com:compatibility.v1"
SMI2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"

SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11",
}
COMMON_CONTROLS = {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                   "version": "6.0.0.0", "publicKeyToken": "6595b64144ccf1df",
                   "processorArchitecture": "*", "language": "*"}

HERE = os.path.dirname(os.path.abspath(__file__))
CMAKELISTS = os.path.join(os.path.dirname(HERE), "CMakeLists.txt")
ALLOWED_IMPORTS = os.path.join(HERE, "imports-win32.txt")
OBJDUMP = "i686-w64-mingw32-objdump"


def q(ns, tag):
    return "{%s}%s" % (ns, tag)


def release_version(text=None):
    """The version of CMake's project(VERSION), the one place it is written:
    four numbers, as the version record holds them."""
    if text is None:
        with open(CMAKELISTS, encoding="utf-8") as f:
            text = f.read()
    found = re.search(r"^project\(\s*kelvarin\s+VERSION\s+(\S+)", text, re.M)
    if not found:
        raise ValueError("no project(kelvarin VERSION ...) in CMakeLists.txt")
    if not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", found.group(1)):
        raise ValueError("project version %s is not four numbers" % found.group(1))
    return found.group(1)


def problems(manifest, version):
    """What is wrong with one manifest's text; empty when nothing is."""
    found = []
    text = manifest.decode("utf-8")
    # Windows XP SP2's side-by-side loader mishandles an element that
    # declares one namespace twice, and refuses trustInfo outside asm.v2.
    for tag in re.findall(r"<[^!?/][^>]*>", text):
        uris = re.findall(r'xmlns(?::\w+)?="([^"]*)"', tag)
        if len(uris) != len(set(uris)):
            found.append("a namespace declared twice on one element: " + tag)
    root = ET.fromstring(manifest)
    if root.tag != q(ASM1, "assembly") or root.get("manifestVersion") != "1.0":
        found.append("root is not an asm.v1 assembly of manifestVersion 1.0")
    identity = root.find(q(ASM1, "assemblyIdentity"))
    if identity is None or identity.get("version") != version:
        found.append("assemblyIdentity version is not " + version)

    trust = root.findall(q(ASM2, "trustInfo"))
    if len(trust) != 1 or root.findall(q(ASM3, "trustInfo")) or root.findall(q(ASM1, "trustInfo")):
        found.append("not exactly one trustInfo, in the asm.v2 namespace")
    levels = root.findall("/".join(q(ASM2, t) for t in ("trustInfo", "security", "requestedPrivileges",
                                                          "requestedExecutionLevel")))
    if [(e.get("level"), e.get("uiAccess")) for e in levels] != [("highestAvailable", "false")]:
        found.append("requestedExecutionLevel is not highestAvailable with uiAccess false")

    deps = [e.attrib for e in root.iterfind(
        "/".join(q(ASM1, t) for t in ("dependency", "dependentAssembly", "assemblyIdentity")))]
    if deps != [COMMON_CONTROLS]:
        found.append("dependencies are not exactly common controls 6: %s" % deps)

    dpi = root.findall("/".join((q(ASM3, "application"), q(ASM3, "windowsSettings"),
                                 q(SMI2005, "dpiAware"))))
    if [(e.text or "").strip() for e in dpi] != ["true"]:
        found.append("dpiAware is not true")

    ids = [e.get("Id") for e in root.iterfind(
        "/".join((q(COMPAT, "compatibility"), q(COMPAT, "application"), q(COMPAT, "supportedOS"))))]
    if sorted(ids) != sorted(SUPPORTED_OS):
        found.append("supportedOS entries are not Vista to 10/11: %s" % ids)
    return found


def allowed_imports(text=None):
    """{DLL name in lower case: set of names} from imports-win32.txt."""
    if text is None:
        with open(ALLOWED_IMPORTS, encoding="utf-8") as f:
            text = f.read()
    allowed, names = {}, None
    for line in text.splitlines():
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("[") and line.endswith("]"):
            names = allowed.setdefault(line[1:-1].lower(), set())
        elif names is None:
            raise ValueError("imports-win32.txt: %s before any [DLL]" % line)
        else:
            names.add(line)
    return allowed


def oldest_systems_problems(image, allowed):
    """Why Windows 98, ME or NT 4 would refuse to load the 32-bit image:
    a header asking for a later system, or an import they lack."""
    found = []
    (os_major, os_minor), (sub_major, sub_minor) = image.versions()
    if (os_major, os_minor, sub_major, sub_minor) != (4, 0, 4, 0):
        found.append("OS version %d.%d and subsystem %d.%d, not 4.0: Windows 98, ME and NT 4 "
                     "refuse it" % (os_major, os_minor, sub_major, sub_minor))
    for dll, names in image.imports().items():
        for name in names:
            if name not in allowed.get(dll.lower(), ()):
                found.append("imports %s from %s, which is not in %s" %
                             (name, dll, os.path.basename(ALLOWED_IMPORTS)))
    return found


def cmov_count(path):
    """CMOV instructions in the image (objdump -d), None without objdump."""
    if shutil.which(OBJDUMP) is None:
        return None
    listing = subprocess.run([OBJDUMP, "-d", path], capture_output=True, text=True,
                             check=True).stdout
    return len(re.findall(r"^\s*[0-9a-f]+:\s(?:[0-9a-f]{2} )+\s*cmov", listing, re.M))


def main(paths):
    version = release_version()
    failed = False
    for path in paths:
        with open(path, "rb") as f:
            image = peimage.Image(f.read())
        found = problems(image.resource(peimage.RT_MANIFEST, 1), version)
        fixed = ".".join(str(p) for p in image.fixed_version())
        if fixed != version:
            found.append("version record %s, project %s" % (fixed, version))
        found += peimage.hardening_problems(image)
        if not image.pe32plus:
            found += oldest_systems_problems(image, allowed_imports())
        for problem in found:
            print("%s: %s" % (path, problem))
        failed = failed or bool(found)
        if not found:
            print("%s: manifest ok (highestAvailable, common controls 6, dpiAware, %s), version %s, "
                  "ASLR with relocations and DEP%s"
                  % (path, ", ".join(SUPPORTED_OS.values()), version,
                     ", high-entropy" if image.pe32plus else ""))
        if not found and not image.pe32plus:
            count = cmov_count(path)
            print("%s: %d imports, all in %s; OS and subsystem 4.0; %s" % (
                path, sum(len(n) for n in image.imports().values()),
                os.path.basename(ALLOWED_IMPORTS),
                "CMOV not counted (no %s)" % OBJDUMP if count is None else
                "%d CMOV instructions (Pentium Pro or newer)" % count))
    return 1 if failed or not paths else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
