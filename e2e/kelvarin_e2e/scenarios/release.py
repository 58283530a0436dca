"""What Windows itself reads from the built exes."""

import os

from ..expect import expect, expect_eq


def scenario_pe_checksum(ctx):
    """The header checksum of both builds, as imagehlp's MapFileAndCheckSum
    computes it, is the one the build wrote."""
    s = ctx.session("pe-checksum", [])
    i686 = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(ctx.exe))), "i686",
                        "app", "kelvarin.exe")
    for path in (ctx.exe, i686):
        expect(os.path.exists(path), f"missing {path}")
        facts = s.facts("checksum", s.winpath(path))
        expect(facts["stored"] != "00000000", f"{path}: no checksum in the header")
        expect_eq(facts["stored"], facts["computed"], f"{path}: header checksum against imagehlp's")
        ctx.note(f"{os.path.basename(os.path.dirname(os.path.dirname(path)))}: {facts['stored']}")
