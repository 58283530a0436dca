#!/usr/bin/env python3
"""Start-up to the first shown window under Wine: kelvarin.exe against an
empty Win32 window program (plain, and with the common controls 6 manifest),
all started by the same watcher in the same
prefix, on the same Xvfb display and wineserver, taking turns.

    bench/startup.py --exe build/x86_64/app/kelvarin.exe --win build/bench/win --runs 20

Each of Wine's server calls wakes the wineserver and then the caller again,
and how long an idle CPU takes to wake decides much of a start-up (on a
virtual machine tens of microseconds a time, so the figures swing with
whatever else the machine runs). Every round is therefore run twice: as the
machine is ("free"), and with the CPUs kept out of their idle states through
the kernel's PM QoS request /dev/cpu_dma_latency ("held"; needs root,
skipped otherwise).

Prints JSON: per condition, the milliseconds of every run of each program.
Reuses the end-to-end runner's Wine plumbing (prefix template, Xvfb,
environment).
"""

import argparse
import json
import os
import shutil
import struct
import subprocess
import sys

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(TOP, "e2e"))
from kelvarin_e2e import wine as e2e  # noqa: E402
from kelvarin_e2e.expect import Failure  # noqa: E402
from kelvarin_e2e.procs import Xvfb  # noqa: E402


def watch(env, work, program, timeout=120):
    # Output to a file, not a pipe: Wine's own processes started on the way
    # (the desktop, services) would hold a pipe open after the watcher ends.
    path = os.path.join(work, "startwatch.out")
    with open(path, "w") as out:
        code = subprocess.run([e2e.WINE, r"C:\bench\startwatch.exe", program, "1"], env=env,
                              stdout=out, stderr=subprocess.STDOUT, timeout=timeout).returncode
    text = open(path).read()
    if code != 0:
        raise Failure(f"startwatch {program}: {text.strip()}")
    return float(text.split()[0])


class WakeupLatency:
    """Holds the CPUs' wake-up latency at zero while open (Linux PM QoS)."""

    def __init__(self):
        self.fd = None

    def hold(self):
        try:
            self.fd = os.open("/dev/cpu_dma_latency", os.O_WRONLY)
            os.write(self.fd, struct.pack("i", 0))
        except OSError:
            self.release()
            return False
        return True

    def release(self):
        if self.fd is not None:
            os.close(self.fd)
            self.fd = None


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--exe", required=True)
    p.add_argument("--win", required=True, help="directory with startwatch.exe and the empty windows")
    p.add_argument("--runs", type=int, default=15)
    p.add_argument("--work", default=os.path.join(TOP, "build", "bench", "wine"))
    args = p.parse_args()
    args.work = os.path.abspath(args.work)

    wine = e2e.Wine()
    template = e2e.make_template(os.path.join(TOP, "build", "e2e"), wine)
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    prefix = os.path.join(args.work, "prefix")
    e2e.copy_prefix(template, prefix)
    bench = os.path.join(prefix, "drive_c", "bench")
    os.makedirs(bench)
    for name in ("startwatch.exe", "emptywindow.exe", "emptywindow-cc6.exe"):
        shutil.copy(os.path.join(args.win, name), bench)
    shutil.copy(args.exe, os.path.join(bench, "kelvarin.exe"))

    xvfb = Xvfb(args.work)
    env = e2e.wine_env(wine, prefix, xvfb.display, "en_US.UTF-8", "mscoree=d;mshtml=d")
    server = None
    programs = {"kelvarin": r"C:\bench\kelvarin.exe", "empty": r"C:\bench\emptywindow.exe",
                "empty-cc6": r"C:\bench\emptywindow-cc6.exe"}
    latency = WakeupLatency()
    conditions = ["free"] + (["held"] if latency.hold() else [])
    latency.release()
    times = {c: {name: [] for name in programs} for c in conditions}
    names = list(programs)
    try:
        server = subprocess.Popen([wine.server, "-f", "-p"], env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The first runs also start Wine's desktop and fill the file caches.
        for name, program in programs.items():
            watch(env, args.work, program)
        for i in range(args.runs):
            # Each program in turn, and each first in turn.
            order = names[i % len(names):] + names[:i % len(names)]
            for condition in conditions:
                if condition == "held":
                    latency.hold()
                try:
                    for name in order:
                        times[condition][name].append(watch(env, args.work, programs[name]))
                finally:
                    latency.release()
    finally:
        latency.release()
        e2e.stop_wineserver(wine, env, server)
        xvfb.stop()
    json.dump({"wine": wine.version(), "runs": args.runs, "ms": times}, sys.stdout)
    print()


if __name__ == "__main__":
    main()
