"""Checks that end a scenario with a message saying what was seen."""


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def expect_count(seen, expected, what):
    """The same number of requests as expected, or the first of those seen."""
    if len(seen) != len(expected):
        listing = "\n      ".join(map(repr, seen[:40]))
        raise Failure(f"{what}: expected {len(expected)} commands, seen {len(seen)}:\n      {listing}")


def expect_eq(seen, expected, what):
    if seen != expected:
        raise Failure(f"{what}: expected {expected!r}, seen {seen!r}")
