"""The test ASPI library's log: one line per request, checked block by block."""

import re

from .commands import SHAPES
from .expect import expect, expect_count, expect_eq

# SRB_Flags: SRB_EVENT_NOTIFY, with SRB_DIR_IN for a transfer from the drive.
SRB_FLAGS = {"in": 0x48, "none": 0x40}


LOG_LINE = re.compile(
    r"SRB cmd=(?P<cmd>\w\w) ha=(?P<ha>\d+) target=(?P<target>\d+) lun=(?P<lun>\d+) "
    r"flags=(?P<flags>\w\w) buflen=(?P<buflen>\d+) buffer=(?P<buffer>\d) event=(?P<event>\d) "
    r"senselen=(?P<senselen>\d+) cdblen=(?P<cdblen>\d+) cdb=(?P<cdb>\w*) -> (?P<ret>\w\w)")


class Request:
    def __init__(self, match):
        g = match.groupdict()
        self.cmd = int(g["cmd"], 16)
        self.address = f"{g['ha']}:{g['target']}:{g['lun']}"
        self.flags = int(g["flags"], 16)
        self.buflen = int(g["buflen"])
        self.buffer = g["buffer"] == "1"
        self.event = g["event"] == "1"
        self.senselen = int(g["senselen"])
        self.cdblen = int(g["cdblen"])
        self.cdb_all = bytes.fromhex(g["cdb"])
        self.cdb = self.cdb_all[:self.cdblen]
        self.ret = int(g["ret"], 16)

    def __repr__(self):
        return f"{self.address} {self.cdb.hex(' ')} flags={self.flags:02x} len={self.buflen}"


def check_request(r, cdb, address, what):
    expect_eq(r.cdb.hex(" "), cdb.hex(" "), f"{what}: command block sent to {address}")
    expect_eq(r.address, address, f"{what}: address")
    direction, length = SHAPES[cdb[0]]
    expect_eq((r.flags, r.buflen, r.buffer), (SRB_FLAGS[direction], length, length > 0),
              f"{what}: SRB_Flags, SRB_BufLen and buffer of {r}")
    expect(r.event, f"{what}: no event handle in SRB_PostProc: {r}")
    expect_eq(r.senselen, 14, f"{what}: SRB_SenseLen")
    expect(not any(r.cdb_all[r.cdblen:]), f"{what}: bytes after the command block are not zero: {r}")


def check_requests(seen, expected, address, what):
    """expected: command blocks, in order; all go to one address."""
    expect_count(seen, expected, what)
    for i, (r, cdb) in enumerate(zip(seen, expected)):
        check_request(r, cdb, address, f"{what}, command {i + 1}")
