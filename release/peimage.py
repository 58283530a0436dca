#!/usr/bin/env python3
"""Reads what the release checks need out of a PE image, and fixes its checksum.

    peimage.py manifest EXE          prints the RT_MANIFEST resource 1
    peimage.py version EXE           prints the fixed file version a.b.c.d
    peimage.py checksum EXE          exit 0 when the header's checksum is right
    peimage.py checksum --write EXE  writes the right checksum into the header
    peimage.py hardening EXE         exit 0 when ASLR and DEP are asked for
    peimage.py imports EXE           prints each imported DLL and its names

Only the standard library: this runs on the build machine after linking.
"""
import struct
import sys

RT_VERSION = 16
RT_MANIFEST = 24

IMAGE_FILE_RELOCS_STRIPPED = 0x0001
IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA = 0x0020
IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE = 0x0040
IMAGE_DLLCHARACTERISTICS_NX_COMPAT = 0x0100
IMAGE_DIRECTORY_ENTRY_IMPORT = 1
IMAGE_DIRECTORY_ENTRY_BASERELOC = 5


class PEError(Exception):
    pass


class Image:
    def __init__(self, data):
        self.data = bytes(data)
        if self.data[:2] != b"MZ":
            raise PEError("no MZ header")
        self.pe = self._u32(0x3C)
        if self.data[self.pe:self.pe + 4] != b"PE\0\0":
            raise PEError("no PE signature")
        coff = self.pe + 4
        self.machine, nsections, self.timestamp = struct.unpack_from("<HHI", self.data, coff)
        self.characteristics = self._u16(coff + 18)
        optsize = self._u16(coff + 16)
        self.opt = coff + 20
        magic = self._u16(self.opt)
        if magic not in (0x10B, 0x20B):
            raise PEError("unknown optional header magic %#x" % magic)
        self.pe32plus = magic == 0x20B
        # The checksum and the DLL characteristics sit at the same places in
        # both header forms.
        self.checksum_offset = self.opt + 64
        self.dll_characteristics = self._u16(self.opt + 70)
        dirs = self.opt + (112 if self.pe32plus else 96)
        ndirs = self._u32(dirs - 4)
        self.directories = [struct.unpack_from("<II", self.data, dirs + 8 * i)
                            for i in range(min(ndirs, 16))]
        table = self.opt + optsize
        self.sections = []
        for i in range(nsections):
            name, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", self.data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0"), va, max(vsize, rawsize), rawptr, rawsize))

    def _u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def _u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def offset(self, rva, length=0):
        for _, va, size, rawptr, rawsize in self.sections:
            if va <= rva and rva + length <= va + size:
                if rva - va + length > rawsize:
                    raise PEError("RVA %#x lies past the section's file data" % rva)
                return rawptr + rva - va
        raise PEError("RVA %#x in no section" % rva)

    def versions(self):
        """The (major, minor) operating-system and subsystem versions the
        header asks for, at the same places in both header forms."""
        return (struct.unpack_from("<HH", self.data, self.opt + 40),
                struct.unpack_from("<HH", self.data, self.opt + 48))

    def text_at(self, rva):
        at = self.offset(rva)
        end = self.data.index(b"\0", at)
        return self.data[at:end].decode("ascii")

    def imports(self):
        """{DLL name: [imported names]} in the image's order; an import by
        ordinal shows as "#N"."""
        if len(self.directories) <= IMAGE_DIRECTORY_ENTRY_IMPORT or \
                self.directories[IMAGE_DIRECTORY_ENTRY_IMPORT][0] == 0:
            return {}
        at = self.offset(self.directories[IMAGE_DIRECTORY_ENTRY_IMPORT][0])
        width = 8 if self.pe32plus else 4
        by_ordinal = 1 << (8 * width - 1)
        found = {}
        while True:
            lookup, _, _, name, first = struct.unpack_from("<5I", self.data, at)
            if name == 0:
                return found
            names = found.setdefault(self.text_at(name), [])
            thunk = self.offset(lookup or first)
            while True:
                entry = int.from_bytes(self.data[thunk:thunk + width], "little")
                if entry == 0:
                    break
                # A name entry points at a 2-byte hint, then the name.
                names.append("#%d" % (entry & 0xFFFF) if entry & by_ordinal
                             else self.text_at((entry & 0x7FFFFFFF) + 2))
                thunk += width
            at += 20

    def resources(self):
        """Every resource as {(type, name): [(language, bytes)]}; ids as ints, names as str."""
        if len(self.directories) <= 2 or self.directories[2][0] == 0:
            return {}
        base = self.offset(self.directories[2][0])
        found = {}

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, base + at + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)
                if key & 0x80000000:
                    at_name = base + (key & 0x7FFFFFFF)
                    length = self._u16(at_name)
                    key = self.data[at_name + 2:at_name + 2 + 2 * length].decode("utf-16-le")
                yield key, target

        for rtype, t in entries(0):
            if not t & 0x80000000:
                raise PEError("type entry is not a directory")
            for name, n in entries(t & 0x7FFFFFFF):
                if not n & 0x80000000:
                    raise PEError("name entry is not a directory")
                for lang, leaf in entries(n & 0x7FFFFFFF):
                    if leaf & 0x80000000:
                        raise PEError("language entry is a directory")
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    at = self.offset(rva, size)
                    found.setdefault((rtype, name), []).append((lang, self.data[at:at + size]))
        return found

    def resource(self, rtype, name):
        items = self.resources().get((rtype, name))
        if not items:
            raise PEError("no resource type %s name %s" % (rtype, name))
        if len(items) != 1:
            raise PEError("resource type %s name %s in %d languages" % (rtype, name, len(items)))
        return items[0][1]

    def fixed_version(self):
        """The version record's fixed file version as (a, b, c, d)."""
        record = self.resource(RT_VERSION, 1)
        at = record.find(struct.pack("<I", 0xFEEF04BD))
        if at < 0:
            raise PEError("version record without VS_FIXEDFILEINFO")
        ms, ls = struct.unpack_from("<II", record, at + 8)
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def hardening_problems(image):
    """What the header lacks of what the linker's defaults give today, so that
    a toolchain change cannot drop it unseen: ASLR with the relocations it
    needs, DEP, and on 64-bit images the high-entropy ASLR."""
    found = []
    flags = image.dll_characteristics
    if not flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE:
        found.append("no DYNAMIC_BASE (ASLR)")
    relocs = image.directories[IMAGE_DIRECTORY_ENTRY_BASERELOC] \
        if len(image.directories) > IMAGE_DIRECTORY_ENTRY_BASERELOC else (0, 0)
    if image.characteristics & IMAGE_FILE_RELOCS_STRIPPED or relocs[1] == 0:
        found.append("relocations stripped: the image cannot move")
    else:
        try:
            image.offset(*relocs)
        except PEError:
            found.append("the relocation directory lies in no section's data")
    if not flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT:
        found.append("no NX_COMPAT (DEP)")
    if image.pe32plus and not flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA:
        found.append("no HIGH_ENTROPY_VA on a 64-bit image")
    return found


def checksum(data, checksum_offset):
    """CheckSumMappedFile: 16-bit one's-complement-style sum of the file with
    the checksum field taken as zero, folded to 16 bits, plus the length."""
    padded = bytes(data) + (b"\0" if len(data) % 2 else b"")
    words = struct.unpack("<%dH" % (len(padded) // 2), padded)
    total = 0
    skip = (checksum_offset // 2, checksum_offset // 2 + 1)
    for i, word in enumerate(words):
        if i in skip:
            continue
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def header_checksum(data):
    image = Image(data)
    return image._u32(image.checksum_offset), checksum(data, image.checksum_offset)


def write_checksum(path):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    image = Image(data)
    struct.pack_into("<I", data, image.checksum_offset, checksum(data, image.checksum_offset))
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    if len(argv) >= 2 and argv[0] == "checksum" and argv[1] == "--write":
        write_checksum(argv[2])
        return 0
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    command, path = argv
    with open(path, "rb") as f:
        data = f.read()
    if command == "manifest":
        sys.stdout.buffer.write(Image(data).resource(RT_MANIFEST, 1))
        return 0
    if command == "version":
        print(".".join(str(p) for p in Image(data).fixed_version()))
        return 0
    if command == "hardening":
        found = hardening_problems(Image(data))
        print("; ".join(found) or "ok")
        return 1 if found else 0
    if command == "imports":
        for dll, names in Image(data).imports().items():
            print("%s: %s" % (dll, " ".join(names)))
        return 0
    if command == "checksum":
        stored, computed = header_checksum(data)
        print("%08x %08x %s" % (stored, computed, "ok" if stored == computed else "WRONG"))
        return 0 if stored == computed else 1
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except (PEError, struct.error) as error:
        sys.stderr.write("peimage: %s\n" % error)
        sys.exit(1)
