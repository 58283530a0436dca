"""How processor faults reach a Windows program in the prefix."""

from ..expect import expect_eq

# What Windows reports (first chance, to a vectored handler): an access
# violation with 0 for a read and 1 for a write, then the guard page's own
# exception. IsBadReadPtr, IsBadWritePtr and stack growth depend on them.
EXPECTED = {
    "read-freed": "1 c0000005/0",
    "write-readonly": "1 c0000005/1",
    "guard": "0 80000001/0",
}


def scenario_faults(ctx):
    """A read of a freed page, a write to a read-only page and a touch of a
    guard page raise the exceptions Windows raises, and the probes survive."""
    s = ctx.session("faults", [])
    seen = s.facts("faults")
    expect_eq(seen, EXPECTED, f"faults seen in the prefix of {ctx.wine.loader}")
