#!/usr/bin/env python3
"""Applies each deliberate fault of tests/faults/catalogue.txt to a scratch
copy of the tree and runs the suite that must catch it.

    tools/faults.py                 every fault
    tools/faults.py --only NAME     one fault (repeatable)
    tools/faults.py --check         only check that each fault applies
    tools/faults.py --rev main      the faults against the tree of a commit

The scratch copy lives in BUILD/faults/src and shares nothing writable with
the tree. One build directory per suite is kept there, so after the first
run a fault costs the recompilation of one file and a link. A fault counts
as caught when its suite fails; one that does not build, or whose original
text does not occur exactly once, is reported as invalid.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HOST_TIMEOUT = 300  # seconds for the host suite under one fault (a loop that never ends)


class Fault:
    def __init__(self, name, line):
        self.name, self.line = name, line
        self.file = self.was = self.now = None
        self.suite = []

    def describe(self):
        return f"{self.name} ({self.file}, {' '.join(self.suite)})"


def parse(path):
    faults = []
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            if not line[0].isspace():
                key, _, name = line.partition(" ")
                if key != "fault" or not name.strip():
                    sys.exit(f"{path}:{number}: expected 'fault NAME'")
                faults.append(Fault(name.strip(), number))
                continue
            if not faults:
                sys.exit(f"{path}:{number}: a field before the first fault")
            key, _, value = line.strip(" ").partition(" ")
            value = line.lstrip(" ")[len(key):].lstrip(" ")
            fault = faults[-1]
            if key in ("file", "was", "now"):
                setattr(fault, key, value)
            elif key == "suite":
                fault.suite = value.split()
            else:
                sys.exit(f"{path}:{number}: unknown field '{key}'")
    names = set()
    for fault in faults:
        if None in (fault.file, fault.was, fault.now) or not fault.suite:
            sys.exit(f"{path}:{fault.line}: fault {fault.name} needs file, was, now and suite")
        if fault.suite[0] not in ("host", "wine") or (fault.suite[0] == "wine") != (len(fault.suite) > 1):
            sys.exit(f"{path}:{fault.line}: suite is 'host' or 'wine SCENARIO...'")
        if fault.name in names:
            sys.exit(f"{path}:{fault.line}: fault {fault.name} named twice")
        names.add(fault.name)
    return faults


def run(cmd, log, timeout=None, **kw):
    """Runs cmd with its output appended to log; True when it ends with 0."""
    with open(log, "a") as out:
        out.write(f"\n$ {' '.join(cmd)}\n")
        out.flush()
        proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.STDOUT, start_new_session=True, **kw)
        try:
            return proc.wait(timeout=timeout) == 0
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, 9)
            proc.wait()
            out.write(f"(ended after {timeout} s)\n")
            return False


def tracked_files(tree):
    out = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=tree,
                         check=True, capture_output=True).stdout.decode()
    return [p for p in out.split("\0") if p and not p.startswith("build/") and
            os.path.isfile(os.path.join(tree, p))]


def sync(tree, src, files):
    """Brings the scratch copy up to the tree, touching only what differs so
    that the kept builds stay incremental."""
    wanted = set(files)
    for path in wanted:
        a, b = os.path.join(tree, path), os.path.join(src, path)
        with open(a, "rb") as f:
            data = f.read()
        if os.path.exists(b):
            with open(b, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(b), exist_ok=True)
        shutil.copy(a, b)  # a fresh time, so that make sees the change whatever the tree's times
    for root, dirs, files in os.walk(src):
        for name in files:
            rel = os.path.relpath(os.path.join(root, name), src)
            if rel not in wanted:
                os.remove(os.path.join(root, name))


class Suites:
    def __init__(self, build, jobs, log):
        self.build, self.jobs, self.log = build, str(jobs), log
        self.src = os.path.join(build, "src")
        self.host = os.path.join(build, "host")
        self.win = os.path.join(build, "x86_64")
        self.cache = os.path.join(build, "e2e")
        self.sgdrive = os.path.join(build, "sgdrive")
        self.configured = set()

    def configure(self, which):
        if which in self.configured:
            return True
        # The tree's own presets, each in a directory of this scratch build.
        if which == "host":
            cmd = ["cmake", "-S", self.src, "--preset", "host", "-B", self.host]
        else:
            cmd = ["cmake", "-S", self.src, "--preset", "x86_64", "-B", self.win, "-DKELVARIN_E2E=ON"]
        if not run(cmd, self.log):
            sys.exit(f"configuring the {which} build failed: see {self.log}")
        self.configured.add(which)
        return True

    def build_host(self):
        self.configure("host")
        return run(["cmake", "--build", self.host, "-j", self.jobs, "--target", "kelvarin_tests"], self.log)

    def test_host(self):
        binary = os.path.join(self.host, "tests", "kelvarin_tests")
        return run([binary, "--gtest_brief=1"], self.log, timeout=HOST_TIMEOUT)

    def build_wine(self):
        self.configure("wine")
        if "sgdrive" not in self.configured:
            # The runner wants the drive below Wine for the pass-through route.
            if not run(["cmake", "-S", os.path.join(self.src, "e2e", "sgdrive"), "-B", self.sgdrive],
                       self.log):
                return False
            self.configured.add("sgdrive")
        if not run(["cmake", "--build", self.sgdrive, "-j", self.jobs], self.log):
            return False
        return run(["cmake", "--build", self.win, "-j", self.jobs, "--target", "kelvarin", "wnaspi32",
                    "wnaspi32_planted", "e2edriver"], self.log)

    def test_wine(self, scenarios):
        cmd = [sys.executable, os.path.join(self.src, "e2e", "run.py"), "--build", self.win,
               "--sgdrive", os.path.join(self.sgdrive, "libsgdrive.so"), "--cache", self.cache]
        for s in scenarios:
            cmd += ["--only", s]
        return run(cmd, self.log)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--catalogue", default=os.path.join(TOP, "tests", "faults", "catalogue.txt"))
    p.add_argument("--build", default=os.path.join(TOP, "build"), help="the build directory")
    p.add_argument("--only", action="append", help="run only this fault (repeatable)")
    p.add_argument("--check", action="store_true", help="only check that every fault applies")
    p.add_argument("--rev", help="take the tree from this commit instead of the working tree")
    p.add_argument("--jobs", default=os.environ.get("JOBS", "2"))
    args = p.parse_args()

    faults = parse(args.catalogue)
    if args.only:
        unknown = set(args.only) - {f.name for f in faults}
        if unknown:
            sys.exit(f"unknown fault: {', '.join(sorted(unknown))}")
        faults = [f for f in faults if f.name in args.only]

    invalid = []
    work = os.path.join(os.path.abspath(args.build), "faults")
    tree = TOP
    if args.rev:
        tree = os.path.join(work, "rev")
        shutil.rmtree(tree, ignore_errors=True)
        os.makedirs(tree)
        archive = subprocess.run(["git", "archive", args.rev], cwd=TOP, check=True, capture_output=True)
        subprocess.run(["tar", "-x", "-C", tree], input=archive.stdout, check=True)
    files = [os.path.relpath(os.path.join(r, n), tree) for r, _, names in os.walk(tree) for n in names] \
        if args.rev else tracked_files(TOP)
    for fault in faults:
        path = os.path.join(tree, fault.file)
        text = open(path, encoding="latin-1").read() if os.path.exists(path) else None
        count = text.count(fault.was) if text is not None else 0
        if count != 1 or fault.was == fault.now:
            why = "the file is missing" if text is None else \
                "the replacement is the original" if count == 1 else \
                f"the original text occurs {count} times"
            invalid.append((fault, why))
    if args.check or invalid:
        for fault, why in invalid:
            print(f"invalid: {fault.name}: {why}")
        print(f"{len(faults) - len(invalid)} of {len(faults)} faults apply")
        return 1 if invalid else 0

    os.makedirs(work, exist_ok=True)
    log = os.path.join(work, "log.txt")
    open(log, "w").close()
    suites = Suites(work, args.jobs, log)
    sync(tree, suites.src, files)

    # Both builds clean first: a fault must make the suite fail, not find it failing.
    needs_wine = any(f.suite[0] == "wine" for f in faults)
    if not (suites.build_host() and suites.test_host()):
        sys.exit(f"the host suite fails without any fault: see {log}")
    if needs_wine and not suites.build_wine():
        sys.exit(f"the Windows build fails without any fault: see {log}")

    survivors, broken = [], []
    total = time.time()
    for n, fault in enumerate(faults, 1):
        start = time.time()
        path = os.path.join(suites.src, fault.file)
        with open(path, "rb") as f:
            original = f.read()
        faulty = original.replace(fault.was.encode("latin-1"), fault.now.encode("latin-1"), 1)
        with open(log, "a") as out:
            out.write(f"\n===== {fault.describe()}\n")
        try:
            with open(path, "wb") as f:
                f.write(faulty)
            if fault.suite[0] == "host":
                built = suites.build_host()
                passed = built and suites.test_host()
            else:
                built = suites.build_wine()
                passed = built and suites.test_wine(fault.suite[1:])
        finally:
            with open(path, "wb") as f:
                f.write(original)
        verdict = "does not build" if not built else "SURVIVED" if passed else "caught"
        if not built:
            broken.append(fault)
        elif passed:
            survivors.append(fault)
        print(f"[{n:2}/{len(faults)}] {verdict:<14} {time.time() - start:5.1f} s  {fault.describe()}",
              flush=True)

    # Leave the kept builds matching the tree again.
    suites.build_host()
    if needs_wine:
        suites.build_wine()
    valid = len(faults) - len(broken)
    print(f"caught {valid - len(survivors)} of {len(faults)} in {time.time() - total:.0f} s")
    for fault in survivors:
        print(f"survived: {fault.name}")
    for fault in broken:
        print(f"invalid (does not build): {fault.name}")
    print(f"log: {log}")
    return 0 if not survivors and not broken else 1


if __name__ == "__main__":
    sys.exit(main())
