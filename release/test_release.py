#!/usr/bin/env python3
"""The release tools against the built exes and a release written from the
32-bit one. KELVARIN_BUILD names the build root (default build)."""
import hashlib
import os
import struct
import sys
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import checkmanifest  # noqa: E402
import dist  # noqa: E402
import peimage  # noqa: E402

BUILD = os.path.join(TOP, os.environ.get("KELVARIN_BUILD", "build"))
EXES = {arch: os.path.join(BUILD, arch, "app", "kelvarin.exe") for arch in ("i686", "x86_64")}


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Checksum(unittest.TestCase):
    def test_built_exes_carry_a_valid_checksum_that_notices_one_flipped_bit(self):
        for arch, path in EXES.items():
            with self.subTest(arch=arch):
                data = bytearray(read(path))
                stored, computed = peimage.header_checksum(data)
                self.assertNotEqual(stored, 0)
                self.assertEqual(stored, computed)
                data[len(data) // 2] ^= 0x01
                self.assertNotEqual(peimage.header_checksum(data)[1], stored)

    def test_write_fills_a_zeroed_field_and_leaves_everything_else(self):
        data = bytearray(read(EXES["i686"]))
        image = peimage.Image(data)
        original = bytes(data)
        struct.pack_into("<I", data, image.checksum_offset, 0)
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "k.exe")
            with open(path, "wb") as f:
                f.write(data)
            peimage.write_checksum(path)
            self.assertEqual(read(path), original)

    def test_the_field_itself_and_an_odd_length_are_handled(self):
        data = read(EXES["i686"])
        image = peimage.Image(data)
        poisoned = bytearray(data)
        struct.pack_into("<I", poisoned, image.checksum_offset, 0xDEADBEEF)
        self.assertEqual(peimage.checksum(poisoned, image.checksum_offset),
                         peimage.checksum(data, image.checksum_offset))
        # A trailing odd byte counts as the low half of a last word.
        folded = peimage.checksum(data, image.checksum_offset) - len(data) + 5
        folded = (folded & 0xFFFF) + (folded >> 16)
        self.assertEqual(peimage.checksum(data + b"\x05", image.checksum_offset),
                         folded + len(data) + 1)


class Resources(unittest.TestCase):
    def test_manifest_resource_is_the_template_with_the_project_version(self):
        template = read(os.path.join(TOP, "app", "kelvarin.manifest.in"))
        self.assertEqual(template.count(b"@PROJECT_VERSION@"), 1)
        source = template.replace(b"@PROJECT_VERSION@", checkmanifest.release_version().encode())
        for arch, path in EXES.items():
            with self.subTest(arch=arch):
                image = peimage.Image(read(path))
                self.assertEqual(image.resource(peimage.RT_MANIFEST, 1), source)
                self.assertEqual(image.machine, 0x14C if arch == "i686" else 0x8664)

    def test_headers_ask_for_aslr_with_relocations_and_dep_and_each_loss_is_named(self):
        for arch, path in EXES.items():
            with self.subTest(arch=arch):
                data = read(path)
                image = peimage.Image(data)
                self.assertEqual(peimage.hardening_problems(image), [])
                losses = [(peimage.IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, "DYNAMIC_BASE"),
                          (peimage.IMAGE_DLLCHARACTERISTICS_NX_COMPAT, "NX_COMPAT")]
                if arch == "x86_64":
                    losses.append((peimage.IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA,
                                   "HIGH_ENTROPY_VA"))
                for flag, name in losses:
                    poisoned = bytearray(data)
                    struct.pack_into("<H", poisoned, image.opt + 70,
                                     image.dll_characteristics & ~flag)
                    found = peimage.hardening_problems(peimage.Image(poisoned))
                    self.assertEqual(len(found), 1, found)
                    self.assertIn(name, found[0])
                stripped = bytearray(data)
                stripped[image.pe + 4 + 18] |= peimage.IMAGE_FILE_RELOCS_STRIPPED
                emptied = bytearray(data)
                reloc_size_at = image.opt + (112 if image.pe32plus else 96) + 8 * 5 + 4
                struct.pack_into("<I", emptied, reloc_size_at, 0)
                for moved in (stripped, emptied):
                    self.assertEqual(peimage.hardening_problems(peimage.Image(moved)),
                                     ["relocations stripped: the image cannot move"])

    def test_the_release_asks_for_4_0_and_imports_only_what_98_me_and_nt4_have(self):
        data = read(EXES["i686"])
        image = peimage.Image(data)
        allowed = checkmanifest.allowed_imports()
        self.assertEqual(checkmanifest.oldest_systems_problems(image, allowed), [])
        self.assertIn("GetWindowLongPtrA", peimage.Image(read(EXES["x86_64"])).imports()["USER32.dll"])
        for at, field in ((40, "OS version 5.0"), (48, "subsystem 5.0")):
            later = bytearray(data)
            struct.pack_into("<H", later, image.opt + at, 5)
            found = checkmanifest.oldest_systems_problems(peimage.Image(later), allowed)
            self.assertEqual(len(found), 1, found)
            self.assertIn(field, found[0])
        # A call Windows 98 has but nobody checked yet is refused all the same.
        self.assertEqual(data.count(b"GetVersionExA\0"), 1)
        other = data.replace(b"GetVersionExA\0", b"GetTickCount\0\0")
        self.assertEqual(checkmanifest.oldest_systems_problems(peimage.Image(other), allowed),
                         ["imports GetTickCount from KERNEL32.dll, which is not in imports-win32.txt"])

    def test_missing_resource_and_truncated_image_are_errors(self):
        image = peimage.Image(read(EXES["i686"]))
        with self.assertRaises(peimage.PEError):
            image.resource(peimage.RT_MANIFEST, 2)
        with self.assertRaises((peimage.PEError, struct.error)):
            peimage.Image(read(EXES["i686"])[:0x400]).resources()

    def test_version_is_the_project_lines_four_numbers(self):
        lists = "cmake_minimum_required(VERSION 3.16)\nproject(kelvarin VERSION 1.0.2.108 LANGUAGES C CXX)\n"
        self.assertEqual(checkmanifest.release_version(lists), "1.0.2.108")
        for wrong in (lists.replace("1.0.2.108", "1.0.2"), lists.replace("1.0.2.108", "1.0.2.10x"),
                      lists.replace("project(kelvarin", "# project(kelvarin")):
            with self.assertRaises(ValueError):
                checkmanifest.release_version(wrong)


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.zip_path = dist.build(EXES["i686"], cls.tmp.name, 1767225600)  # 2026-01-01

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_zip_holds_the_exe_and_a_crlf_readme_in_fixed_order_and_time(self):
        version = checkmanifest.release_version()
        self.assertEqual(os.path.basename(self.zip_path), "kelvarin-%s-win32.zip" % version)
        with zipfile.ZipFile(self.zip_path) as z:
            infos = z.infolist()
            self.assertEqual([i.filename for i in infos], ["kelvarin.exe", "README.txt"])
            for info in infos:
                self.assertEqual(info.date_time, (2026, 1, 1, 0, 0, 0))
                self.assertEqual(info.create_system, 0)
            self.assertEqual(z.read("kelvarin.exe"), read(EXES["i686"]))
            readme = z.read("README.txt")
        self.assertNotIn(b"@VERSION@", readme)
        self.assertIn(b"Kelvarin %s\r\n" % version.encode(), readme)
        self.assertEqual(readme.count(b"\n"), readme.count(b"\r\n"))
        self.assertEqual(readme.count(b"\r"), readme.count(b"\r\n"))

    def test_sums_match_the_files_beside_them(self):
        with open(os.path.join(self.tmp.name, "SHA256SUMS")) as f:
            lines = f.read().splitlines()
        self.assertEqual(len(lines), 2)
        for line in lines:
            digest, name = line.split("  ")
            self.assertEqual(hashlib.sha256(read(os.path.join(self.tmp.name, name))).hexdigest(),
                             digest, name)

    def test_only_the_32_bit_exe_with_a_valid_checksum_is_released(self):
        with self.assertRaisesRegex(ValueError, "32-bit"):
            dist.build(EXES["x86_64"], self.tmp.name, 0)
        data = bytearray(read(EXES["i686"]))
        data[-1] ^= 0xFF
        path = os.path.join(self.tmp.name, "broken.exe")
        with open(path, "wb") as f:
            f.write(data)
        with self.assertRaisesRegex(ValueError, "checksum"):
            dist.build(path, os.path.join(self.tmp.name, "out"), 0)


if __name__ == "__main__":
    unittest.main()
