"""The simulated drives' logs, on either route: one line per request with what
the program sent, what came back, and what the drive then held and ran at
(simdrive's Drive::Describe). The scenarios check the program against them."""

from .commands import GET_CONFIGURATION, MODE_SENSE, SHAPES, detection_blocks
from .drives import stored_list
from .expect import expect_count, expect_eq

# SRB_Flags: SRB_EVENT_NOTIFY, with SRB_DIR_IN for a transfer from the drive.
SRB_FLAGS = {"in": 0x48, "none": 0x40}
SRB_SENSE_ROOM = 14   # the program's SRB_SenseLen
SG_TIMEOUT_MS = 60000  # the program's 60 s, which Wine hands on in milliseconds
SG_SENSE_ROOM = 32     # the program's sense area behind its pass-through block


class Request:
    """"SRB 0:1:0 cmd=02 flags=48 ... cdb=... -> status=01 medium=dvd speed=16620
    tray=0" from the test ASPI library, "SGIO 0:0:0 dir=in len=36 ... cdb=... ->
    ret=0 status=00 resid=0 sensewr=0 medium=dvd speed=16620 tray=0" from the
    library below Wine."""

    def __init__(self, line):
        words = line.replace(" -> ", " ").split()
        self.kind, self.address = words[0], words[1]
        self.fields = f = dict(w.split("=", 1) for w in words[2:] if "=" in w)
        num = lambda key, base=10: int(f[key], base) if key in f else None
        self.cmd, self.status = num("cmd", 16), num("status", 16)
        self.ret, self.errno, self.resid, self.sensewr = num("ret"), num("errno") or 0, \
            num("resid"), num("sensewr")
        self.medium, self.speed, self.tray = f.get("medium"), num("speed"), f.get("tray")
        cdb = bytes.fromhex(f.get("cdb", ""))
        # An execute SRB carries all 16 bytes of CDBByte.
        self.cdb, self.after_cdb = cdb[:num("cdblen")], cdb[num("cdblen") or len(cdb):]

    def shape(self):
        """What went with the command block, as the drive received it."""
        f = self.fields
        if self.kind == "SRB":
            return (int(f["flags"], 16), int(f["buflen"]), f["buffer"], f["event"], int(f["senselen"]),
                    self.after_cdb.hex())
        return f["dir"], int(f["len"]), int(f["timeout"]), int(f["senselen"])

    def __repr__(self):
        return f"{self.address} {self.cdb.hex(' ')} {self.shape()} status={self.status} ret={self.ret}"


def wanted_shape(kind, cdb):
    """The data direction and length of each command, the SRB's event and
    sense room (nothing after the block), or the time-out and sense room Wine
    hands to SG_IO."""
    direction, length = SHAPES[cdb[0]]
    if kind == "SRB":
        return (SRB_FLAGS[direction], length, str(int(length > 0)), "1", SRB_SENSE_ROOM,
                "00" * (16 - len(cdb)))
    return direction, length, SG_TIMEOUT_MS, SG_SENSE_ROOM


def requests_in(lines, kind):
    return [Request(line) for line in lines if line.startswith(kind + " ")]


def to(drive, *blocks):
    return [(drive.address, b) for b in blocks]


def check_requests(seen, expected, what):
    """expected: (drive address, command block) pairs, in order."""
    expect_count(seen, expected, what)
    for i, (r, (address, cdb)) in enumerate(zip(seen, expected)):
        where = f"{what}, command {i + 1}"
        expect_eq(r.cdb.hex(" "), cdb.hex(" "), f"{where}: command block sent to {address}")
        expect_eq(r.address, address, f"{where}: drive")
        expect_eq(r.shape(), wanted_shape(r.kind, cdb), f"{where}: what went with {r}")


def check_detection(seen, drive, what):
    """The requests after Yes or Detect Speeds: medium class, the detection
    (the drive asked back at the end to the speed it ran at before), the
    refresh. Returns the list the program must store, MAX and each speed the
    drive settled on in the order first settled, and the medium it held."""
    before = seen[0].speed if seen else 0
    check_requests(seen, to(drive, GET_CONFIGURATION, *detection_blocks(before), GET_CONFIGURATION,
                            MODE_SENSE), what)
    return found_list(seen), seen[0].medium


def found_list(seen):
    """The list a detection's requests make: MAX and each speed the drive
    settled on after a probe, first settled first; not the speed asked back."""
    settled = [r.speed for r in seen if r.cdb[0] == 0xBB][:-1]
    return stored_list(dict.fromkeys(settled))
