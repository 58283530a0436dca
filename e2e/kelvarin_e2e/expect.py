"""Checks that end a scenario with a message saying what was seen."""


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def expect_eq(seen, expected, what):
    if seen != expected:
        raise Failure(f"{what}: expected {expected!r}, seen {seen!r}")
