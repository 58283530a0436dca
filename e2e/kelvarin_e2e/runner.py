"""The command line: every scenario, some of them, or the program for a person (make run)."""

import argparse
import os
import shutil
import sys
import tempfile
import time
import traceback

from .drives import cd_drive, dvd_drive, stored_list
from .expect import Failure
from .scenarios import SCENARIOS, SETS
from .session import Context, Session
from .sgroute import PassthroughSession, sg_cd_drive, sg_dvd_drive
from .wine import WINE, WINESERVER, Wine


def run_scenarios(args):
    # Inside the build tree: nothing that tidies the shared /tmp can reach it.
    os.makedirs(args.cache, exist_ok=True)
    work = tempfile.mkdtemp(prefix="work-", dir=args.cache)
    ctx = Context(args, work)
    chosen = [(n, f) for n, f in SCENARIOS
              if (n in args.only if args.only else n in SETS[args.set])]
    print(f"{args.wine.version()} ({args.wine.arch}, {args.wine.loader}), "
          f"time limits x{args.wine.factor:g}: {args.exe}", flush=True)
    failed = []
    total = time.time()
    for name, func in chosen:
        start = time.time()
        try:
            func(ctx)
            result = "ok"
        except Failure as e:
            result = f"FAILED: {e}"
            failed.append((name, result.splitlines()[0]))
        except Exception:
            result = "ERROR:\n" + traceback.format_exc()
            failed.append((name, "ERROR: " + result.strip().splitlines()[-1]))
        finally:
            ctx.stop_all()
        print(f"{name:<14} {time.time() - start:5.1f} s  {result}", flush=True)
        for note in ctx.notes:
            print(f"    {note}")
        ctx.notes.clear()
    print(f"{len(chosen) - len(failed)} of {len(chosen)} scenarios passed in "
          f"{time.time() - total:.1f} s", flush=True)
    # Again at the end, where a log cut to its last lines still shows why.
    for name, why in failed:
        print(f"  {name}: {why}")
    if args.keep or failed:
        print(f"work files kept in {work}")
    else:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


def run_interactive(args):
    """make run: the program with two simulated drives, on $DISPLAY when there
    is one; otherwise on Xvfb, with a screenshot, and then it ends by itself."""
    os.makedirs(args.cache, exist_ok=True)
    work = os.path.abspath(os.path.join(args.cache, "run"))
    shutil.rmtree(work, ignore_errors=True)
    ctx = Context(args, work)
    display = os.environ.get("DISPLAY") or None
    if args.route == "passthrough":
        dvd, cd, kind = sg_dvd_drive(), sg_cd_drive(), PassthroughSession
    else:
        dvd, cd, kind = dvd_drive(), cd_drive(), Session
    s = ctx.session("session", [dvd, cd], kind=kind, adapters=2, display=display,
                    desktop=None if display else "800x400",
                    stored={cd.key(): stored_list([9173, 7056, 5645, 4234])})
    s.deadline = float("inf")
    try:
        if display:
            print(f"kelvarin.exe on {display} with two simulated drives; close its window to end",
                  flush=True)
            s.launch()
            s.program.wait()
            s.program_out.close()
            s.program = None
        else:
            s.deadline = time.time() + s.limit
            s.launch()
            s.question()
            s.facts("answer", "yes")
            s.driver("wait-window")
            s.driver("settle")
            path = os.path.join(args.cache, "run-screenshot.png")
            s.screenshot(path)
            print(f"no display: kelvarin.exe ran on Xvfb; screenshot in {path}")
            s.close()
        print(f"the simulated drives' requests are in "
              f"{s.sg_log if kind is PassthroughSession else s.log_path}")
    except KeyboardInterrupt:
        pass
    finally:
        ctx.stop_all()
    return 0


def main(doc):
    # Started with standard input closed (as a CI job may be), the first file
    # a child opens would become its fd 0: localedef's gzip, for one, then
    # fails. Every child gets /dev/null there instead.
    try:
        os.fstat(0)
    except OSError:
        os.open(os.devnull, os.O_RDONLY)  # the lowest free descriptor: 0
        os.set_inheritable(0, True)
    here = os.path.dirname(os.path.abspath(__file__))
    top = os.path.dirname(os.path.dirname(here))
    p = argparse.ArgumentParser(description=doc.split("\n\n")[0])
    p.add_argument("--build", default=os.path.join(top, "build", "x86_64"),
                   help="the MinGW build directory (x86_64 or i686)")
    p.add_argument("--exe", help="default: BUILD/app/kelvarin.exe")
    p.add_argument("--aspi", help="default: BUILD/e2e/wnaspi32.dll")
    p.add_argument("--driver", help="default: BUILD/e2e/e2edriver.exe")
    p.add_argument("--planted", help="the library that marks its loading, planted where the "
                   "program must not look (default: BUILD/e2e/planted/wnaspi32.dll)")
    p.add_argument("--sgdrive", help="the simulated drive below Wine, a Linux library "
                   "(default: BUILD/../sgdrive/libsgdrive.so)")
    p.add_argument("--cache", default=os.path.join(top, "build", "e2e"),
                   help="where the template prefix and locales are kept")
    p.add_argument("--wine", default=WINE, help=f"the Wine loader (default {WINE})")
    p.add_argument("--wineserver", default=WINESERVER,
                   help=f"the wineserver it talks to (default {WINESERVER})")
    p.add_argument("--winearch", default="win64", choices=("win64", "win32"),
                   help="the prefix type (WINEARCH)")
    p.add_argument("--preload", action="append", default=[],
                   help="a 32-bit Linux library the emulated Wine preloads (repeatable)")
    p.add_argument("--time-factor", type=float, default=1.0,
                   help="how many times slower than native 64-bit Wine this Wine runs: "
                        "every time limit is multiplied by it")
    p.add_argument("--set", default="all", choices=sorted(SETS),
                   help="which scenarios run (default all)")
    p.add_argument("--only", action="append", help="run only this scenario (repeatable)")
    p.add_argument("--list", action="store_true", help="list the scenarios")
    p.add_argument("--keep", action="store_true", help="keep the work files")
    p.add_argument("--shots", help="directory for the screenshots (default: the work dir)")
    p.add_argument("--interactive", action="store_true", help="run the program (make run)")
    p.add_argument("--route", choices=("aspi", "passthrough"), default="aspi",
                   help="the drives of --interactive: behind the test ASPI library, or below "
                   "Wine for its pass-through")
    args = p.parse_args()
    args.exe = args.exe or os.path.join(args.build, "app", "kelvarin.exe")
    args.aspi = args.aspi or os.path.join(args.build, "e2e", "wnaspi32.dll")
    args.driver = args.driver or os.path.join(args.build, "e2e", "e2edriver.exe")
    args.planted = args.planted or os.path.join(args.build, "e2e", "planted", "wnaspi32.dll")
    args.sgdrive = args.sgdrive or os.path.join(os.path.dirname(os.path.abspath(args.build)),
                                                "sgdrive", "libsgdrive.so")
    # Wine wants an absolute prefix path.
    for name in ("exe", "aspi", "driver", "planted", "sgdrive", "cache", "shots"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    if args.list:
        for name, func in SCENARIOS:
            sets = ",".join(k for k, names in SETS.items() if k != "all" and name in names)
            print(f"{name:<14} {sets:<5} {func.__doc__.split(chr(10))[0]}")
        return 0
    for path in (args.exe, args.aspi, args.driver, args.planted, args.sgdrive, args.wine,
                 args.wineserver, *args.preload):
        if not os.path.exists(path):
            print(f"missing: {path}", file=sys.stderr)
            return 2
    if args.only:
        unknown = set(args.only) - {n for n, _ in SCENARIOS}
        if unknown:
            print(f"unknown scenario: {', '.join(sorted(unknown))}", file=sys.stderr)
            return 2
    args.wine = Wine(os.path.abspath(args.wine), os.path.abspath(args.wineserver), args.winearch,
                     args.preload, args.time_factor)
    return run_interactive(args) if args.interactive else run_scenarios(args)
