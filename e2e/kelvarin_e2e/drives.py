"""The simulated drives, and what the program must make of them."""

import re
from .commands import MODE_SENSE, set_speed_cdb


MEDIA = {"none": 0x00, "cd": 0x08, "cdr": 0x09, "cdrw": 0x0A, "dvd": 0x10, "dvd+r-dl": 0x2B,
         "bd": 0x40}
DVD_PROFILES = set(range(0x10, 0x17)) | {0x1A, 0x1B, 0x2A, 0x2B}


class Drive:
    def __init__(self, address, vendor, product, revision, letter, medium, cd, dvd, current,
                 extra=()):
        self.address = address
        self.vendor, self.product, self.revision, self.letter = vendor, product, revision, letter
        self.medium, self.cd, self.dvd, self.current = medium, list(cd), list(dvd), current
        self.extra = list(extra)

    def drives_text(self):
        lines = [f"drive {self.address}", f'vendor "{self.vendor}"', f'product "{self.product}"',
                 f'revision "{self.revision}"', f"letter {self.letter or 'none'}",
                 f"medium {self.medium}", "cd-speeds " + ",".join(map(str, self.cd)),
                 "dvd-speeds " + ",".join(map(str, self.dvd)), f"current {self.current}"]
        return "\n".join(lines + self.extra) + "\n"

    @property
    def shown_address(self):
        """The address the program lists: the simulated one on the ASPI route."""
        return self.address

    @property
    def description(self):
        return (f"{self.shown_address} {self.vendor.strip():<8} {self.product.strip():<16} "
                f"{self.revision.strip():<4} ({self.letter or ''}:)")

    @property
    def is_dvd(self):
        return MEDIA[self.medium] in DVD_PROFILES

    def key(self, dvd=None):
        return self.description + (" DVD" if (self.is_dvd if dvd is None else dvd) else "")

    def settle_on(self, request):
        speeds = self.dvd if self.is_dvd else self.cd
        below = [s for s in speeds if s <= request]
        return max(below) if below else min(speeds)

    def detection(self):
        """The list a detection must find, and the set-speed requests it makes."""
        current, found, requests = self.current, [], []
        ladder = [s * 1385 for s in range(47, 6, -1)] + [s * 177 for s in range(52, 0, -1)]
        for request in ladder:
            requests.append(request)
            current = self.settle_on(request)
            if current not in found:
                found.append(current)
        return found, requests


def speed_text(field, dvd):
    field = field.lstrip(" ")
    value = int(field) if re.fullmatch(r"[+-]?\d+", field) else 0
    speed = value & 0xFFFF
    if speed == 65535:
        return "MAX"
    return f"{round(speed / (1385 if dvd else 176.4))}x"


def shown_entries(stored, dvd):
    fields = stored.split(",")
    if stored.endswith(","):
        fields.pop()
    return [speed_text(f, dvd) for f in fields]


def selected_entry(entries, current, dvd):
    wanted = str(round(current / (1385 if dvd else 176.4)))
    match = -1
    for i, entry in enumerate(entries):
        if entry[:-1] == wanted:
            match = i
    return match


# The two drives most scenarios use; kind and its keywords make the same
# drive behind another route.
def dvd_drive(address="0:1:0", current=16620, medium="dvd", kind=Drive, **kw):
    return kind(address, "ACME", "DVD-RW X1", "1.0", "E", medium,
                cd=[7056, 5645, 4234, 2822, 1411], dvd=[22160, 16620, 11080, 5540],
                current=current, **kw)


def cd_drive(address="1:0:0", current=7056, kind=Drive, **kw):
    return kind(address, "ORUNTEK", "CD-ROM 52X", "2.10", "F", "cd",
                cd=[9173, 7056, 5645, 4234], dvd=[11080], current=current, **kw)


def stored_list(speeds):
    return ",".join(["65535"] + [str(s) for s in speeds])


def detection_requests(drive):
    """The 188 command blocks of a detection, and the list it stores. The
    drive is asked back to the speed it had, and settles as it does for
    any request."""
    found, requests = drive.detection()
    blocks = [MODE_SENSE]
    for speed in requests:
        blocks += [set_speed_cdb(speed), MODE_SENSE]
    blocks.append(set_speed_cdb(drive.current))
    drive.current = drive.settle_on(drive.current)
    return blocks, found
