"""One prefix, one display, one wineserver: the machine a scenario runs on."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from .drivelog import check_detection, requests_in
from .expect import Failure, expect, expect_eq
from .procs import Xvfb, end_process
from .wholewindow import window_facts
from .wine import (copy_prefix, make_locales, make_template, parse_reg, reg_quote,
                   start_wineserver, stop_wineserver, wine_env)

KEY = r"HKEY_CURRENT_USER\Software\Orun\Kelvarin"
TRACE = bool(os.environ.get("KELVARIN_E2E_TRACE"))
# Seconds under native 64-bit Wine; a slower Wine multiplies them by its factor.
STEP_TIMEOUT = 30        # one driver call or wait
SCENARIO_TIMEOUT = 120   # a whole scenario


def read_lines(path):
    """A log's lines so far; none before its library wrote the first."""
    try:
        with open(path, encoding="utf-8") as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


class Session:
    def __init__(self, ctx, name, drives=(), version="win98", lang="en_US.UTF-8", aspi="native",
                 stored=None, dpi=None, adapters=1, completion="pending", delay_ms=None,
                 over_pass_through=False, display=None, desktop=None):
        self.ctx, self.name = ctx, name
        self.dir = os.path.join(ctx.work, name)
        os.makedirs(self.dir)
        self.prefix = os.path.join(self.dir, "prefix")
        copy_prefix(ctx.template, self.prefix)
        self.bindir = os.path.join(self.prefix, "drive_c", "kelvarin")
        os.makedirs(self.bindir)
        shutil.copy2(ctx.exe, self.bindir)
        # The ASPI layer where a system keeps it: the program searches nothing
        # else for it while elevated, as every Wine process is.
        self.system32 = os.path.join(self.prefix, "drive_c", "windows", "system32")
        self.aspi_path = os.path.join(self.system32, "wnaspi32.dll")
        if aspi == "native":
            # Unlinked first: the template's file is shared through a hard link.
            if os.path.lexists(self.aspi_path):
                os.unlink(self.aspi_path)
            shutil.copy2(ctx.aspi, self.aspi_path)
        self.driver_exe = os.path.join(self.prefix, "drive_c", "e2e", "e2edriver.exe")
        os.makedirs(os.path.dirname(self.driver_exe))
        shutil.copy2(ctx.driver, self.driver_exe)
        self.drives = list(drives)
        self.log_path = os.path.join(self.dir, "aspi.log")
        self.state_path = os.path.join(self.dir, "state.txt")
        with open(os.path.join(self.dir, "drives.txt"), "w") as f:
            f.write(f"adapters {adapters}\ncomplete {completion}\n")
            if delay_ms is not None:
                f.write(f"complete-delay-ms {delay_ms}\n")
            if over_pass_through:
                f.write("over-pass-through\n")
            for d in self.drives:
                f.write(d.drives_text())
        self._write_registry(version, stored or {}, dpi, desktop, own_display=display is None)
        overrides = {"native": "wnaspi32=n", "missing": "wnaspi32=d", "builtin": "wnaspi32=b"}[aspi]
        self.xvfb = None if display else Xvfb(self.dir)
        self.wine = ctx.wine
        self.env = wine_env(self.wine, self.prefix, display or self.xvfb.display, lang, overrides,
                            ctx.locales)
        self.env.update(KELVARIN_E2E_DRIVES=self.winpath(os.path.join(self.dir, "drives.txt")),
                        KELVARIN_E2E_LOG=self.winpath(self.log_path),
                        KELVARIN_E2E_STATE=self.winpath(self.state_path))
        self.limit = SCENARIO_TIMEOUT * self.wine.factor
        self.deadline = time.time() + self.limit
        self.program = None
        self.others = []
        self.logmark = 0
        self.prepare()
        self.server = start_wineserver(self.wine, self.env)

    def prepare(self):
        """The last changes to the prefix before its wineserver starts."""

    def program_env(self):
        """The environment of the program's own process."""
        return self.env

    @staticmethod
    def winpath(path):
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def _write_registry(self, version, stored, dpi, desktop, own_display):
        """Settings go straight into the prefix's user.reg before Wine starts."""
        sections = []
        if own_display:
            # No window manager runs on our Xvfb: Wine should not wait for one
            # (it waits up to 2 s for a hidden window's withdrawal otherwise).
            sections.append(("Software\\Wine\\X11 Driver", ['"Managed"="N"']))
        if desktop:
            # Every window of the prefix inside one virtual desktop, which
            # draws the window frames (there is no window manager).
            sections.append(("Software\\Wine\\Explorer", ['"Desktop"="Default"']))
            sections.append(("Software\\Wine\\Explorer\\Desktops", [f'"Default"="{desktop}"']))
        if version:
            sections.append(("Software\\Wine\\AppDefaults\\kelvarin.exe",
                             [f'"Version"="{version}"']))
        if dpi:
            sections.append(("Control Panel\\Desktop", [f'"LogPixels"=dword:{dpi:08x}']))
        if stored:
            sections.append(("Software\\Orun\\Kelvarin", [
                f"{reg_quote(name)}=dword:{value:08x}" if isinstance(value, int)
                else f"{reg_quote(name)}={reg_quote(value)}" for name, value in stored.items()]))
        with open(os.path.join(self.prefix, "user.reg"), "a", encoding="utf-8") as f:
            for key, lines in sections:
                f.write(f"\n[{key.replace(chr(92), chr(92) * 2)}] 1700000000\n")
                f.write("\n".join(lines) + "\n")

    def remaining(self, limit=STEP_TIMEOUT):
        """Seconds the next step may take: its own limit (native seconds,
        scaled), or what is left of the scenario's."""
        left = self.deadline - time.time()
        expect(left > 0, f"the scenario ran over its {self.limit:g} s")
        return min(limit * self.wine.factor, left)

    # -- the program --------------------------------------------------------

    def _start(self, out_name, exe="kelvarin.exe", cwd=None, env=None):
        """A program's process, its output appended to out_name: (output, process)."""
        out = open(os.path.join(self.dir, out_name), "ab")
        return out, subprocess.Popen([self.wine.loader, exe], cwd=cwd or self.bindir,
                                     env={**self.program_env(), **(env or {})},
                                     stdout=out, stderr=subprocess.STDOUT)

    def launch(self, cwd=None, env=None, wait=False):
        """Starts the program from its own folder, or by its full name from
        another current folder, with more in its environment (env); with
        wait, until its window shows."""
        expect(self.program is None, "the program is already running")
        exe = self.winpath(os.path.join(self.bindir, "kelvarin.exe")) if cwd else "kelvarin.exe"
        self.program_out, self.program = self._start("program.out", exe, cwd, env)
        if wait:
            self.driver("wait-window")

    def launch_another(self):
        """A second program in the same prefix beside the first; stop() ends it
        if the scenario does not."""
        out, other = self._start("program2.out")
        out.close()
        self.others.append(other)
        return other

    def close(self):
        """Closes the window as its close button does; the program must end by itself."""
        self.driver("close")
        self.wait_exit()

    def wait_exit(self, timeout=15):
        try:
            rc = self.program.wait(self.remaining(timeout))
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end after its window was closed")
        finally:
            self.program_out.close()
        program, self.program = self.program, None
        expect_eq(rc, 0, f"exit status of kelvarin.exe (pid {program.pid})")

    def stop(self):
        if self.program is not None:
            end_process(self.program, 3)
            self.program = None
        while self.others:
            end_process(self.others.pop(), 3)
        stop_wineserver(self.wine, self.env, self.server)
        if self.xvfb:
            self.xvfb.stop()

    # -- operating it -------------------------------------------------------

    def driver(self, *args, check=True, timeout=STEP_TIMEOUT, env=None):
        start, line = time.time(), " ".join(map(str, args))
        # Output through files, not pipes: a Wine process may start helpers
        # (explorer, services) that inherit its handles and would hold a
        # pipe open long after the driver ended.
        with tempfile.TemporaryFile(dir=self.dir) as stdout, \
                tempfile.TemporaryFile(dir=self.dir) as stderr:
            try:
                rc = subprocess.run([self.wine.loader, self.driver_exe, *map(str, args)],
                                    env=env or self.env,
                                    stdout=stdout, stderr=stderr,
                                    timeout=self.remaining(timeout)).returncode
            except subprocess.TimeoutExpired:
                raise Failure(f"driver {line}: no answer within "
                              f"{timeout * self.wine.factor:g} s")
            stdout.seek(0)
            stderr.seek(0)
            out = subprocess.CompletedProcess(args, rc, stdout.read(), stderr.read())
        if TRACE:
            print(f"    {time.time() - start:5.2f} s  driver {line}", file=sys.stderr)
        text = out.stdout.decode("utf-8", "replace")
        if check and out.returncode != 0:
            raise Failure(f"driver {line}: {out.stderr.decode('utf-8', 'replace').strip()}")
        return text

    def facts(self, *args, **kw):
        """Driver output of the form key=value, one a line."""
        return dict(line.split("=", 1) for line in self.driver(*args, **kw).splitlines()
                    if "=" in line)

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True,
                       timeout=self.remaining(), stdout=subprocess.DEVNULL)

    def keys(self, *keys):
        """Keys typed on the X display, one after the other, each waited for."""
        for k in keys:
            self.xdotool("key", k)
            time.sleep(0.1)
            self.driver("settle")

    def click(self, *point, settle=True):
        """A click on the X display at point (x, y), waited for."""
        self.xdotool("mousemove", *point, "click", 1)
        if settle:
            time.sleep(0.1)
            self.driver("settle")

    def click_control(self, name, settle=True):
        self.click(*self.driver("center", name).split(), settle=settle)

    def choose_with_mouse(self, combo, index):
        """Click the list open, then click the entry."""
        self.click_control(combo, settle=False)
        for _ in range(50):
            if self.driver("dropped", combo).strip() == "1":
                break
            time.sleep(0.05)
        else:
            raise Failure(f"{combo} did not drop down on a click")
        self.click(*self.driver("item-point", combo, index).split())
        expect_eq(self.driver("dropped", combo).strip(), "0", f"{combo} still dropped down")

    def lists(self):
        """{'cbdrive': (entries, selected), 'cbvel': (...)}"""
        result = {}
        for line in self.driver("lists").splitlines():
            m = re.match(r"^(\w+) count=(\d+) selected=(-?\d+)$", line)
            if m:
                result[m.group(1)] = ([], int(m.group(3)))
                continue
            m = re.match(r"^(\w+)\[\d+\]=(.*)$", line)
            if m:
                result[m.group(1)][0].append(m.group(2))
        return result

    def expect_lists(self, drives, speeds, what):
        seen = self.lists()
        expect_eq(seen["cbdrive"], drives, f"{what}: drive list (entries, selected)")
        expect_eq(seen["cbvel"], speeds, f"{what}: speed list (entries, selected)")

    def focus(self):
        return self.driver("focus").strip()

    def question(self):
        return self.facts("wait-question")

    def error_box(self):
        return self.facts("wait-error")

    def detect_on_yes(self, drive, what="after Yes (medium class, detection, refresh)"):
        """Yes to the question: the detection and the refresh after it, checked
        against the drive's log. Returns the list to be stored and the medium."""
        self.mark()
        self.facts("answer", "yes")
        self.driver("wait-window")
        self.driver("settle")
        return check_detection(self.requests(), drive, what)

    # -- what the drives received, what is stored ---------------------------

    def log_lines(self):
        return read_lines(self.log_path)

    def mark(self):
        self.logmark = len(self.log_lines())

    def sent(self, act, *args):
        """The requests act(*args) makes the program send (those it sends
        later come with the next requests())."""
        self.mark()
        act(*args)
        return self.requests()

    def requests(self, since_mark=True):
        """Execute requests since the last mark."""
        lines = self.log_lines()[self.logmark if since_mark else 0:]
        return [r for r in requests_in(lines, "SRB") if r.cmd == 2]

    def check_log_clean(self):
        bad = [l for l in self.log_lines() if l.startswith(("ERROR", "CALL"))]
        expect(not bad, "the ASPI library logged: " + "; ".join(bad))

    def stored(self):
        path = os.path.join(self.dir, "export.reg")
        out = subprocess.run([self.wine.loader, "reg", "export", KEY, self.winpath(path), "/y"],
                             env=self.env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                             timeout=self.remaining())
        if out.returncode != 0:
            # No key is no list; any other failure of reg is not an answer.
            err = out.stderr.decode("utf-8", "replace")
            expect("Unable to find the specified registry key" in err,
                   f"reg export failed ({out.returncode}): {err.strip()}")
            return {}
        with open(path, "rb") as f:
            return parse_reg(f.read().decode("utf-16"))

    def set_medium(self, drive, medium):
        """Changes the disc in a drive behind the program's back (the library
        rereads its state file before every request, and takes a medium's name
        for its profile)."""
        lines = open(self.state_path).read().splitlines()
        for i, line in enumerate(lines):
            if line.startswith(drive.address + " "):
                lines[i] = re.sub(r"profile=\w+", f"profile={medium}", line)
        with open(self.state_path, "w") as f:
            f.write("\n".join(lines) + "\n")
        drive.medium = medium

    def screenshot(self, path, margin=12):
        """The window with a margin around it; returns its facts (window_facts)."""
        facts = window_facts(self)
        x, y, w, h = facts["main"][3]
        crop = f"{w + 2 * margin}x{h + 2 * margin}+{max(0, x - margin)}+{max(0, y - margin)}"
        # No time stamps in the file: the same window gives the same bytes.
        subprocess.run(["import", "-display", self.env["DISPLAY"], "-window", "root", "-crop", crop,
                        "+repage", "-strip", "-define", "png:exclude-chunks=date,time", path],
                       check=True, timeout=self.remaining(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return facts


class Context:
    def __init__(self, args, work):
        self.exe, self.aspi, self.driver = args.exe, args.aspi, args.driver
        self.planted = args.planted
        self.wine = args.wine
        self.sgdrive = args.sgdrive
        self.template = make_template(args.cache, self.wine)
        self.locales = make_locales(args.cache)
        self.work = work
        self.shots = args.shots or os.path.join(work, "shots")
        self.shots_given = bool(args.shots)
        os.makedirs(self.shots, exist_ok=True)
        self.sessions = []
        self.notes = []

    def session(self, name, drives, kind=Session, **kw):
        s = kind(self, name, drives, **kw)
        self.sessions.append(s)
        return s

    def stop(self, session):
        session.stop()
        self.sessions.remove(session)

    def stop_all(self):
        while self.sessions:
            self.stop(self.sessions[-1])

    def note(self, text):
        self.notes.append(text)
