"""The pass-through route under Wine: drives that Wine's own device code
reaches as Linux block devices. A plain file stands for each device node;
the preloaded libsgdrive.so (e2e/sgdrive) shows it as a block device to the
program's process only and answers SG_IO and the address queries from the
drive model. Its log has one line per request, checked here."""

import os
import re

from .drivelog import requests_in
from .drives import Drive, cd_drive, dvd_drive
from .expect import expect, expect_eq
from .session import Session, read_lines

# Linux majors of the IDE interfaces, in the order Wine numbers them; any
# other major is asked its SCSI address.
IDE_MAJORS = (3, 22, 33, 34, 56, 57, 88, 89)
SCSI_CDROM_MAJOR = 11
EIO = 5
SENSE_WRITTEN = 18   # fixed-format sense as the drive model returns it


class SgDrive(Drive):
    """A drive behind a device node. `address` is host:id:lun as the drives
    file and the log name it; the program lists the address Wine makes of it."""

    def __init__(self, *args, major=SCSI_CDROM_MAJOR, minor=0, channel=0, address_fails=False,
                 faults=(), **kw):
        super().__init__(*args, **kw)
        self.major, self.minor, self.channel = major, minor, channel
        self.address_fails = address_fails
        self.faults = list(faults)  # "5a check", "bb callfails"
        self.node = None            # the plain file, set by the session

    @property
    def ide(self):
        return self.major in IDE_MAJORS

    @property
    def shown_address(self):
        if self.ide:  # port from the major, target from the minor
            return f"{IDE_MAJORS.index(self.major)}:{self.minor >> 6}:0"
        if self.address_fails:  # the program's zero-filled answer
            return "0:0:0"
        _, target, lun = self.address.split(":")
        return f"{self.channel + 2}:{target}:{lun}"

    def drives_text(self):
        lines = [f"node {self.node} {self.major}:{self.minor}", f"channel {self.channel}"]
        lines += [f"fault {f}" for f in self.faults]
        lines += ["query-fails"] if self.address_fails else []
        return super().drives_text() + "\n".join(lines) + "\n"


def sg_dvd_drive(address="0:0:0", **kw):
    return dvd_drive(address, kind=SgDrive, **kw)


def sg_cd_drive(address="0:1:0", **kw):
    return cd_drive(address, kind=SgDrive, **kw)


class PassthroughSession(Session):
    """A prefix whose drives Wine reaches through cdromN, x: and x:: links
    and the Drives registry key, with the Windows version left at Wine's
    default (NT, administrator) so that the program takes pass-through."""

    def __init__(self, ctx, name, drives=(), version=None, **kw):
        for n, d in enumerate(drives):
            d.node = os.path.join(ctx.work, name, "dev", f"sr{n}")
        super().__init__(ctx, name, drives, version=version, **kw)

    def prepare(self):
        self.sg_log = os.path.join(self.dir, "sg.log")
        self.sg_mark = 0
        os.makedirs(os.path.join(self.dir, "dev"))
        dosdevices = os.path.join(self.prefix, "dosdevices")
        letters = []
        for n, d in enumerate(self.drives):
            open(d.node, "w").close()
            os.symlink(d.node, os.path.join(dosdevices, f"cdrom{n}"))
            if d.letter:
                letter = d.letter.lower()
                mount = os.path.join(self.dir, "media", letter)
                os.makedirs(mount)
                os.symlink(mount, os.path.join(dosdevices, f"{letter}:"))
                os.symlink(d.node, os.path.join(dosdevices, f"{letter}::"))
                letters.append(f'"{letter}:"="cdrom"')
        if letters:
            with open(os.path.join(self.prefix, "system.reg"), "a", encoding="utf-8") as f:
                f.write("\n[Software\\\\Wine\\\\Drives] 1700000000\n" + "\n".join(letters) + "\n")

    def program_env(self, program="kelvarin.exe"):
        env = self.wine.preload_env(self.env, self.ctx.sgdrive)
        env.update(KELVARIN_SGDRIVE_PROGRAM=program,
                   KELVARIN_SGDRIVE_DRIVES=os.path.join(self.dir, "drives.txt"),
                   KELVARIN_SGDRIVE_LOG=self.sg_log, KELVARIN_SGDRIVE_STATE=self.state_path)
        return env

    def probe(self, number, cdb, data_in, length):
        """What Wine hands back to a Windows program for \\.\CdRomN: the
        address query and one pass-through block (the driver, preloaded too)."""
        out = self.driver("device", f"\\\\.\\CdRom{number}", cdb.hex(), "in" if data_in else "none",
                          length, env=self.program_env("e2edriver.exe"))
        return {line.split("=", 1)[0]: dict(f.split("=", 1) for f in line.split())
                for line in out.splitlines()}

    def sg_lines(self, since_mark=False):
        return read_lines(self.sg_log)[self.sg_mark if since_mark else 0:]

    def mark(self):
        super().mark()
        self.sg_mark = len(self.sg_lines())

    def requests(self, since_mark=True):
        """SG_IO requests since the last mark."""
        return requests_in(self.sg_lines(since_mark), "SGIO")

    def queries(self, kind):
        """Addresses and results of the other requests of one kind (IDLUN, ...)."""
        found = (re.match(rf"^{kind} (\d+:\d+:\d+) -> (.*)$", line) for line in self.sg_lines())
        return [m.groups() for m in found if m]

    def check_log_clean(self):
        bad = [l for l in self.sg_lines() if l.startswith("ERROR") or " passed on" in l]
        expect(not bad, "the simulated drives logged: " + "; ".join(bad))
        expect_eq(self.log_lines(), [], "requests reaching the test ASPI library")
        expect_eq(self.queries("BUSNUMBER"), [], "bus number queries (Wine asks none)")
