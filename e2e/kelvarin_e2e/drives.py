"""The simulated drives as a scenario sets them up, and the lists the program stores."""


class Drive:
    def __init__(self, address, vendor, product, revision, letter, medium, cd, dvd, current):
        self.address = address
        self.vendor, self.product, self.revision, self.letter = vendor, product, revision, letter
        self.medium, self.cd, self.dvd, self.current = medium, list(cd), list(dvd), current

    def drives_text(self):
        lines = [f"drive {self.address}", f'vendor "{self.vendor}"', f'product "{self.product}"',
                 f'revision "{self.revision}"', f"letter {self.letter or 'none'}",
                 f"medium {self.medium}", "cd-speeds " + ",".join(map(str, self.cd)),
                 "dvd-speeds " + ",".join(map(str, self.dvd)), f"current {self.current}"]
        return "\n".join(lines) + "\n"

    @property
    def shown_address(self):
        """The address the program lists: the simulated one on the ASPI route."""
        return self.address

    @property
    def description(self):
        return (f"{self.shown_address} {self.vendor.strip():<8} {self.product.strip():<16} "
                f"{self.revision.strip():<4} ({self.letter or ''}:)")

    def key(self, medium=None):
        """The registry value of its list for a medium: a DVD's ends in " DVD"."""
        return self.description + (" DVD" if (medium or self.medium) == "dvd" else "")


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
