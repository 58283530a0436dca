#!/usr/bin/env python3
"""Writes the release: the zip with the 32-bit exe and the users' readme,
the exe beside it, and SHA256SUMS for both.

    dist.py --exe BUILD/app/kelvarin.exe --out DIR [--epoch SECONDS]

The zip's bytes depend only on its inputs: fixed entry order, times (from
--epoch, else SOURCE_DATE_EPOCH), attributes and host system.
"""
import argparse
import hashlib
import os
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import checkmanifest  # noqa: E402
import peimage  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
README = os.path.join(HERE, "README.txt")
I386 = 0x14C


def readme_bytes(version):
    """The users' readme with its version and Windows line ends; plain ASCII
    so that every code page and Notepad show it alike."""
    with open(README, "rb") as f:
        text = f.read()
    text.decode("ascii")
    if b"\r" in text:
        raise ValueError("README.txt is kept with LF line ends; the CRLF form is made here")
    text = text.replace(b"@VERSION@", version.encode("ascii"))
    return text.replace(b"\n", b"\r\n")


def zip_time(epoch):
    # Zip times are local times without zone and 2-second steps from 1980.
    t = time.gmtime(max(epoch, 315532800))
    return (t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec - t.tm_sec % 2)


def write_zip(path, entries, epoch):
    with open(path, "wb") as f, zipfile.ZipFile(f, "w") as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=zip_time(epoch))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS: no Unix modes for Windows users
            info.external_attr = 0x20  # the archive bit
            z.writestr(info, data, compresslevel=9)


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def build(exe_path, out, epoch):
    with open(exe_path, "rb") as f:
        exe = f.read()
    image = peimage.Image(exe)
    if image.machine != I386:
        raise ValueError("%s is not the 32-bit build" % exe_path)
    stored, computed = peimage.header_checksum(exe)
    if stored != computed:
        raise ValueError("%s: PE checksum %08x, should be %08x" % (exe_path, stored, computed))
    version = checkmanifest.release_version()
    found = checkmanifest.problems(image.resource(peimage.RT_MANIFEST, 1), version)
    if found:
        raise ValueError("%s: %s" % (exe_path, "; ".join(found)))
    fixed = ".".join(str(p) for p in image.fixed_version())
    if fixed != version:
        raise ValueError("version record %s, project %s" % (fixed, version))

    os.makedirs(out, exist_ok=True)
    name = "kelvarin-%s-win32.zip" % version
    zip_path = os.path.join(out, name)
    write_zip(zip_path, [("kelvarin.exe", exe), ("README.txt", readme_bytes(version))], epoch)
    with open(os.path.join(out, "kelvarin.exe"), "wb") as f:
        f.write(exe)
    with open(zip_path, "rb") as f:
        packed = f.read()
    with open(os.path.join(out, "SHA256SUMS"), "w", newline="\n") as f:
        f.write("%s  %s\n%s  %s\n" % (sha256(packed), name, sha256(exe), "kelvarin.exe"))
    return zip_path


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--epoch", type=int, default=int(os.environ.get("SOURCE_DATE_EPOCH", "0")))
    args = parser.parse_args()
    try:
        path = build(args.exe, args.out, args.epoch)
    except (ValueError, peimage.PEError) as error:
        sys.stderr.write("dist: %s\n" % error)
        return 1
    print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
