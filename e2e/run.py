#!/usr/bin/env python3
"""End-to-end runs of the real kelvarin.exe under 64-bit Wine.

Each scenario gets its own Wine prefix (a cheap copy of a template made once
with wineboot), its own Xvfb display and its own wineserver. The program is
operated from outside as a person would: the driver (e2edriver.exe, run in
the same prefix) reads the window and answers message boxes; xdotool types
and clicks on the X display. Simulated drives come from the test ASPI
library (wnaspi32.dll), which logs every request it receives. Every process
started here is ended by its own PID; the prefix's wineserver by
`wineserver -k`.

    e2e/run.py                  all scenarios
    e2e/run.py --only two-drives --keep
    e2e/run.py --shots docs     also writes the screenshots there
    e2e/run.py --interactive    the program with two simulated drives (make run)
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64"
WINE_FONTS = "/usr/share/wine/fonts"
KEY = r"HKEY_CURRENT_USER\Software\Orun\Kelvarin"

PROMPT_EN = ("Supported speeds detection for this drive was never done, "
             "do you want to do it now?")
PROMPT_PT = ("A detec\u00e7\u00e3o das velocidades suportadas por esta unidade "
             "nunca foi efectuada, deseja efectua-la agora?")
CAPTIONS_EN = {"Label1": "&Drive:", "Label2": "&Speed:", "btdetect": "De&tect Speeds",
               "btload": "&Load", "bteject": "&Eject"}
CAPTIONS_PT = {"Label1": "&Unidade:", "Label2": "&Velocidade:",
               "btdetect": "&Detectar Velocidades", "btload": "&Carregar", "bteject": "&Ejectar"}
# Left, top, width of the controls as designed (English, 96 pixels per inch).
DESIGN = {"Label1": (8, 12, None), "cbdrive": (48, 8, 356), "Label2": (8, 44, None),
          "cbvel": (48, 40, 53), "btdetect": (111, 41, 117), "btload": (291, 41, 53),
          "bteject": (351, 41, 53), "Bevel1": (0, 71, "full"), "Label5": (0, 76, "full")}
RIGHT_ANCHORED = ("cbdrive", "cbvel", "btdetect", "btload", "bteject")

TRACE = bool(os.environ.get("KELVARIN_E2E_TRACE"))
STEP_TIMEOUT = 30        # seconds for one driver call or wait
SCENARIO_TIMEOUT = 120   # seconds for a whole scenario


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def expect_eq(seen, expected, what):
    if seen != expected:
        raise Failure(f"{what}: expected {expected!r}, seen {seen!r}")


# ---------------------------------------------------------------------------
# The simulated drives, and what the program must make of them.

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
    def description(self):
        return (f"{self.address} {self.vendor.strip():<8} {self.product.strip():<16} "
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


# ---------------------------------------------------------------------------
# The ASPI library's log.

LOG_LINE = re.compile(
    r"SRB cmd=(?P<cmd>\w\w) ha=(?P<ha>\d+) target=(?P<target>\d+) lun=(?P<lun>\d+) "
    r"flags=(?P<flags>\w\w) buflen=(?P<buflen>\d+) buffer=(?P<buffer>\d) event=(?P<event>\d) "
    r"senselen=(?P<senselen>\d+) cdblen=(?P<cdblen>\d+) cdb=(?P<cdb>\w*) -> (?P<ret>\w\w)")


class Request:
    def __init__(self, match):
        g = match.groupdict()
        self.cmd = int(g["cmd"], 16)
        self.address = f"{g['ha']}:{g['target']}:{g['lun']}"
        self.flags = int(g["flags"], 16)
        self.buflen = int(g["buflen"])
        self.buffer = g["buffer"] == "1"
        self.event = g["event"] == "1"
        self.senselen = int(g["senselen"])
        self.cdblen = int(g["cdblen"])
        self.cdb_all = bytes.fromhex(g["cdb"])
        self.cdb = self.cdb_all[:self.cdblen]
        self.ret = int(g["ret"], 16)

    def __repr__(self):
        return f"{self.address} {self.cdb.hex(' ')} flags={self.flags:02x} len={self.buflen}"


def set_speed_cdb(speed):
    return bytes([0xBB, 0, speed >> 8, speed & 0xFF] + [0] * 8)


MODE_SENSE = bytes([0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 24, 0])
GET_CONFIGURATION = bytes([0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0])
INQUIRY = bytes([0x12, 0, 0, 0, 36, 0])
LOAD = bytes([0x1B, 1, 0, 0, 0x03, 0])
EJECT = bytes([0x1B, 1, 0, 0, 0x02, 0])
# Data direction and length that go with each command block.
SHAPES = {0x12: (0x48, 36), 0x5A: (0x48, 24), 0x46: (0x48, 8), 0xBB: (0x40, 0), 0x1B: (0x40, 0)}


def check_request(r, cdb, address, what):
    expect_eq(r.cdb.hex(" "), cdb.hex(" "), f"{what}: command block sent to {address}")
    expect_eq(r.address, address, f"{what}: address")
    flags, length = SHAPES[cdb[0]]
    expect_eq((r.flags, r.buflen, r.buffer), (flags, length, length > 0),
              f"{what}: SRB_Flags, SRB_BufLen and buffer of {r}")
    expect(r.event, f"{what}: no event handle in SRB_PostProc: {r}")
    expect_eq(r.senselen, 14, f"{what}: SRB_SenseLen")
    expect(not any(r.cdb_all[r.cdblen:]), f"{what}: bytes after the command block are not zero: {r}")


def check_requests(seen, expected, address, what):
    """expected: command blocks, in order; all go to one address."""
    if len(seen) != len(expected):
        listing = "\n      ".join(map(repr, seen[:40]))
        raise Failure(f"{what}: expected {len(expected)} commands, seen {len(seen)}:\n      {listing}")
    for i, (r, cdb) in enumerate(zip(seen, expected)):
        check_request(r, cdb, address, f"{what}, command {i + 1}")


# ---------------------------------------------------------------------------
# Processes.

def kill_pid(pid, sig=signal.SIGKILL):
    try:
        os.kill(pid, sig)
    except ProcessLookupError:
        pass


def end_process(proc, grace):
    """Ends one process we started, by its PID: politely, then firmly."""
    if proc is None or proc.poll() is not None:
        return
    kill_pid(proc.pid, signal.SIGTERM)
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        kill_pid(proc.pid)
        proc.wait(5)


class Xvfb:
    def __init__(self, workdir, size="1024x768x24"):
        read, write = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", size, "-nolisten", "tcp",
             "-noreset"], pass_fds=[write], stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(workdir, "xvfb.log"), "wb"))
        os.close(write)
        number = b""
        deadline = time.time() + 15
        while not number.endswith(b"\n") and time.time() < deadline:
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        if not number.strip():
            end_process(self.proc, 2)
            raise Failure("Xvfb did not start")
        self.display = ":" + number.decode().strip()

    def stop(self):
        end_process(self.proc, 5)


# Files of a prefix that Wine only reads: shared with the template by hard
# links. Everything else (registry, ini files) is copied.
LINKED = (".dll", ".exe", ".sys", ".drv", ".ocx", ".cpl", ".acm", ".ax", ".tlb", ".nls",
          ".ttf", ".fon", ".msstyles", ".mui", ".com", ".ds", ".tsp", ".vxd", ".dll16",
          ".exe16", ".drv16", ".mod16")


def copy_prefix(template, target):
    for root, dirs, files in os.walk(template):
        rel = os.path.relpath(root, template)
        dest = os.path.join(target, rel) if rel != "." else target
        os.makedirs(dest, exist_ok=True)
        for d in dirs:
            src = os.path.join(root, d)
            if os.path.islink(src):
                os.symlink(os.readlink(src), os.path.join(dest, d))
        for f in files:
            src, dst = os.path.join(root, f), os.path.join(dest, f)
            if os.path.islink(src):
                os.symlink(os.readlink(src), dst)
            elif f.lower().endswith(LINKED):
                os.link(src, dst)
            else:
                shutil.copy2(src, dst)
        dirs[:] = [d for d in dirs if not os.path.islink(os.path.join(root, d))]


def wine_version():
    out = subprocess.run([WINE, "--version"], capture_output=True, text=True, timeout=30)
    return out.stdout.strip() or "wine"


def make_template(cache):
    """A freshly booted prefix, made once and reused while Wine stays the same."""
    version = re.sub(r"[^A-Za-z0-9.]+", "-", wine_version())
    template = os.path.join(cache, f"prefix-{version}-fonts")
    if os.path.exists(os.path.join(template, "ready")):
        return template
    shutil.rmtree(template, ignore_errors=True)
    os.makedirs(cache, exist_ok=True)
    print(f"preparing a Wine prefix template in {template} (once)", flush=True)
    work = tempfile.mkdtemp(prefix="kelvarin-template-")
    xvfb = Xvfb(work)
    # No Mono or Gecko: nothing here needs them, and their installers would ask.
    env = wine_env(template, xvfb.display, "en_US.UTF-8", "mscoree=d;mshtml=d")
    server = None
    try:
        os.makedirs(template)
        server = subprocess.Popen([WINESERVER, "-f", "-p"], env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        subprocess.run([WINE, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=300, check=True)
    finally:
        stop_wineserver(env, server)
        xvfb.stop()
        shutil.rmtree(work, ignore_errors=True)
    expect(os.path.exists(os.path.join(template, "user.reg")), "wineboot made no user.reg")
    # Wine's own fonts (MS Sans Serif, Fixedsys, Marlett for the caption
    # buttons) where Windows keeps them: this Wine looks for its data
    # directory through a path it cannot open from the Windows side.
    fonts = os.path.join(template, "drive_c", "windows", "Fonts")
    os.makedirs(fonts, exist_ok=True)
    for f in sorted(os.listdir(WINE_FONTS)) if os.path.isdir(WINE_FONTS) else []:
        if f.lower().endswith((".ttf", ".fon")):
            shutil.copy2(os.path.join(WINE_FONTS, f), fonts)
    open(os.path.join(template, "ready"), "w").close()
    return template


LOCALES = ("en_US", "pt_PT", "pt_BR")


def make_locales(cache):
    """Wine takes the user's language from the C library's locale, so the
    locales the scenarios use are compiled here, privately (LOCPATH), rather
    than relying on the machine having them generated."""
    root = os.path.join(cache, "locale")
    for name in LOCALES:
        target = os.path.join(root, f"{name}.UTF-8")
        if os.path.exists(os.path.join(target, "LC_CTYPE")):
            continue
        os.makedirs(root, exist_ok=True)
        out = subprocess.run(["localedef", "-i", name, "-f", "UTF-8", target],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120)
        expect(os.path.exists(os.path.join(target, "LC_CTYPE")),
               f"localedef {name}.UTF-8 failed (is the 'locales' package installed?): "
               f"{out.stderr.decode(errors='replace').strip()}")
    return root


def wine_env(prefix, display, lang, overrides, locpath=None):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "WINE", "LANG", "LOCPATH"))}
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEARCH="win64", DISPLAY=display, LANG=lang,
               WINEDLLOVERRIDES=";".join(filter(None, ["winemenubuilder.exe=d", overrides])))
    if locpath:
        env["LOCPATH"] = locpath
    return env


def stop_wineserver(env, server):
    subprocess.run([WINESERVER, "-k"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30)
    if server is not None:
        try:
            server.wait(10)
        except subprocess.TimeoutExpired:
            kill_pid(server.pid)
            server.wait(5)


def reg_quote(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def reg_unquote(text):
    return re.sub(r"\\(.)", r"\1", text)


def parse_reg(text):
    """Values of a .reg text: name -> ("sz", text) | ("dword", n) | (type, raw)."""
    values = {}
    for line in text.splitlines():
        m = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
        if not m:
            continue
        name, data = reg_unquote(m.group(1)), m.group(2)
        if data.startswith('"'):
            values[name] = ("sz", reg_unquote(data[1:-1]))
        elif data.startswith("dword:"):
            values[name] = ("dword", int(data[6:], 16))
        else:
            values[name] = (data.split(":")[0], data)
    return values


# ---------------------------------------------------------------------------
# One prefix, one display, one wineserver: the machine a scenario runs on.

class Session:
    def __init__(self, ctx, name, drives=(), version="win98", lang="en_US.UTF-8", aspi="native",
                 stored=None, dpi=None, adapters=1, completion="pending", display=None,
                 desktop=None):
        self.ctx, self.name = ctx, name
        self.dir = os.path.join(ctx.work, name)
        os.makedirs(self.dir)
        self.prefix = os.path.join(self.dir, "prefix")
        copy_prefix(ctx.template, self.prefix)
        self.bindir = os.path.join(self.prefix, "drive_c", "kelvarin")
        os.makedirs(self.bindir)
        shutil.copy2(ctx.exe, self.bindir)
        if aspi == "native":
            shutil.copy2(ctx.aspi, self.bindir)
        self.driver_exe = os.path.join(self.prefix, "drive_c", "e2e", "e2edriver.exe")
        os.makedirs(os.path.dirname(self.driver_exe))
        shutil.copy2(ctx.driver, self.driver_exe)
        self.drives = list(drives)
        self.log_path = os.path.join(self.dir, "aspi.log")
        self.state_path = os.path.join(self.dir, "state.txt")
        with open(os.path.join(self.dir, "drives.txt"), "w") as f:
            f.write(f"adapters {adapters}\ncomplete {completion}\n")
            for d in self.drives:
                f.write(d.drives_text())
        self._write_registry(version, stored or {}, dpi, desktop, own_display=display is None)
        overrides = {"native": "wnaspi32=n", "missing": "wnaspi32=d", "builtin": "wnaspi32=b"}[aspi]
        self.xvfb = None if display else Xvfb(self.dir)
        self.env = wine_env(self.prefix, display or self.xvfb.display, lang, overrides,
                            ctx.locales)
        self.env.update(KELVARIN_E2E_DRIVES=self.winpath(os.path.join(self.dir, "drives.txt")),
                        KELVARIN_E2E_LOG=self.winpath(self.log_path),
                        KELVARIN_E2E_STATE=self.winpath(self.state_path))
        self.deadline = time.time() + SCENARIO_TIMEOUT
        self.program = None
        self.logmark = 0
        self.server = subprocess.Popen([WINESERVER, "-f", "-p"], env=self.env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

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
            lines = []
            for name, value in stored.items():
                if isinstance(value, int):
                    lines.append(f"{reg_quote(name)}=dword:{value:08x}")
                else:
                    lines.append(f"{reg_quote(name)}={reg_quote(value)}")
            sections.append(("Software\\Orun\\Kelvarin", lines))
        with open(os.path.join(self.prefix, "user.reg"), "a", encoding="utf-8") as f:
            for key, lines in sections:
                f.write(f"\n[{key.replace(chr(92), chr(92) * 2)}] 1700000000\n")
                f.write("\n".join(lines) + "\n")

    def remaining(self, limit=STEP_TIMEOUT):
        left = self.deadline - time.time()
        expect(left > 0, f"the scenario ran over its {SCENARIO_TIMEOUT} s")
        return min(limit, left)

    # -- the program --------------------------------------------------------

    def launch(self):
        expect(self.program is None, "the program is already running")
        self.program_out = open(os.path.join(self.dir, "program.out"), "ab")
        self.program = subprocess.Popen([WINE, "kelvarin.exe"], cwd=self.bindir, env=self.env,
                                        stdout=self.program_out, stderr=subprocess.STDOUT)

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
        stop_wineserver(self.env, self.server)
        if self.xvfb:
            self.xvfb.stop()

    # -- operating it -------------------------------------------------------

    def driver(self, *args, check=True, timeout=STEP_TIMEOUT):
        start = time.time()
        # Output through files, not pipes: a Wine process may start helpers
        # (explorer, services) that inherit its handles and would hold a
        # pipe open long after the driver ended.
        with tempfile.TemporaryFile(dir=self.dir) as stdout, \
                tempfile.TemporaryFile(dir=self.dir) as stderr:
            try:
                rc = subprocess.run([WINE, self.driver_exe, *map(str, args)], env=self.env,
                                    stdout=stdout, stderr=stderr,
                                    timeout=self.remaining(timeout)).returncode
            except subprocess.TimeoutExpired:
                raise Failure(f"driver {' '.join(map(str, args))}: no answer within {timeout} s")
            stdout.seek(0)
            stderr.seek(0)
            out = subprocess.CompletedProcess(args, rc, stdout.read(), stderr.read())
        if TRACE:
            print(f"    {time.time() - start:5.2f} s  driver {' '.join(map(str, args))}",
                  file=sys.stderr)
        text = out.stdout.decode("utf-8", "replace")
        if check and out.returncode != 0:
            raise Failure(f"driver {' '.join(map(str, args))}: "
                          f"{out.stderr.decode('utf-8', 'replace').strip()}")
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

    def click(self, x, y):
        self.xdotool("mousemove", x, y, "click", 1)

    def click_control(self, name):
        x, y = self.driver("center", name).split()
        self.click(x, y)
        time.sleep(0.1)
        self.driver("settle")

    def choose_with_mouse(self, combo, index):
        """Click the list open, then click the entry."""
        x, y = self.driver("center", combo).split()
        self.click(x, y)
        for _ in range(50):
            if self.driver("dropped", combo).strip() == "1":
                break
            time.sleep(0.05)
        else:
            raise Failure(f"{combo} did not drop down on a click")
        x, y = self.driver("item-point", combo, index).split()
        self.click(x, y)
        time.sleep(0.1)
        self.driver("settle")
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

    def layout(self):
        result = {}
        for line in self.driver("layout").splitlines():
            parts = line.split(" ", 6)
            if parts[0] in ("client", "window"):
                result[parts[0]] = tuple(map(int, parts[1:]))
            elif len(parts) >= 6 and parts[0] != "visible":
                rect = tuple(map(int, parts[1:5]))
                result[parts[0]] = (rect, parts[6][1:-1] if len(parts) > 6 else "")
        return result

    def focus(self):
        return self.driver("focus").strip()

    def question(self):
        return self.facts("wait-question", 10000)

    def error_box(self):
        return self.facts("wait-error", 10000)

    # -- what the drives received, what is stored ---------------------------

    def log_lines(self):
        try:
            with open(self.log_path, encoding="utf-8") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def mark(self):
        self.logmark = len(self.log_lines())

    def requests(self, since_mark=True):
        """Execute requests since the last mark."""
        lines = self.log_lines()[self.logmark if since_mark else 0:]
        return [Request(m) for m in map(LOG_LINE.match, lines) if m and m.group("cmd") == "02"]

    def check_log_clean(self):
        bad = [l for l in self.log_lines() if l.startswith(("ERROR", "CALL"))]
        expect(not bad, "the ASPI library logged: " + "; ".join(bad))

    def stored(self):
        path = os.path.join(self.dir, "export.reg")
        out = subprocess.run([WINE, "reg", "export", KEY, self.winpath(path), "/y"], env=self.env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             timeout=self.remaining())
        if out.returncode != 0:
            return {}
        with open(path, "rb") as f:
            return parse_reg(f.read().decode("utf-16"))

    def set_medium(self, drive, medium):
        """Changes the disc in a drive behind the program's back (the library
        rereads its state file before every request)."""
        lines = open(self.state_path).read().splitlines()
        for i, line in enumerate(lines):
            if line.startswith(drive.address + " "):
                lines[i] = re.sub(r"profile=\d+", f"profile={MEDIA[medium]}", line)
        with open(self.state_path, "w") as f:
            f.write("\n".join(lines) + "\n")
        drive.medium = medium

    def screenshot(self, path, crop=None):
        args = ["import", "-display", self.env["DISPLAY"], "-window", "root"]
        if crop:
            args += ["-crop", "{}x{}+{}+{}".format(*crop), "+repage"]
        # No time stamps in the file: the same window gives the same bytes.
        args += ["-strip", "-define", "png:exclude-chunks=date,time"]
        subprocess.run(args + [path], check=True, timeout=self.remaining(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# ---------------------------------------------------------------------------
# Scenarios.

def dvd_drive(address="0:1:0", current=16620, medium="dvd"):
    return Drive(address, "ACME", "DVD-RW X1", "1.0", "E", medium,
                 cd=[7056, 5645, 4234, 2822, 1411], dvd=[22160, 16620, 11080, 5540],
                 current=current)


def cd_drive(address="1:0:0", current=7056):
    return Drive(address, "ORUNTEK", "CD-ROM 52X", "2.10", "F", "cd",
                 cd=[9173, 7056, 5645, 4234], dvd=[11080], current=current)


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


def scenario_first_start(ctx):
    """First start, no stored list: the question comes before the window; Yes
    runs the detection and the list is stored and shown."""
    drive = dvd_drive()
    s = ctx.session("first-start", [drive], completion="pending")
    s.launch()
    q = s.question()
    expect_eq(q["text"], PROMPT_EN, "question text")
    expect_eq(q["main"], "hidden", "main window while the question is up")
    expect_eq(q["owner"], "main", "owner of the question box")
    before = s.requests()
    check_requests(before, [INQUIRY, GET_CONFIGURATION], drive.address,
                   "start-up before the question (identify, medium class)")
    expect(sum(1 for l in s.log_lines() if l.startswith("SRB cmd=01")) == 64,
           "the inventory asks the device type at 64 addresses of the one adapter")

    s.mark()
    s.facts("answer", "yes")
    s.driver("wait-window")
    s.driver("settle")
    blocks, found = detection_requests(drive)
    expect_eq(len(blocks), 188, "commands in a detection")
    check_requests(s.requests(), [GET_CONFIGURATION] + blocks + [GET_CONFIGURATION, MODE_SENSE],
                   drive.address, "after Yes (medium class, detection, refresh)")
    expected_list = stored_list(found)
    expect_eq(s.stored(), {drive.key(): ("sz", expected_list)}, "stored lists")
    entries = shown_entries(expected_list, dvd=True)
    s.expect_lists(([drive.description], 0), (entries, selected_entry(entries, drive.current, True)),
                   "after detection")
    expect_eq(s.lists()["cbvel"][1], 2, "selected entry (the current speed, 12x)")
    s.mark()
    s.close()
    check_requests(s.requests(), [], drive.address, "closing")

    # A CD in the same drive has no list yet: asked again at the next start;
    # its list goes under the description alone, beside the DVD one.
    s.set_medium(drive, "cd")
    s.launch()
    expect_eq(s.question()["text"], PROMPT_EN, "question with a CD loaded")
    s.mark()
    s.facts("answer", "yes")
    s.driver("wait-window")
    blocks, found = detection_requests(drive)
    check_requests(s.requests(), [GET_CONFIGURATION] + blocks + [GET_CONFIGURATION, MODE_SENSE],
                   drive.address, "detection with a CD")
    cd_list = stored_list(found)
    expect_eq(s.stored(), {drive.key(dvd=True): ("sz", expected_list),
                           drive.key(dvd=False): ("sz", cd_list)}, "stored lists after the CD")
    entries = shown_entries(cd_list, dvd=False)
    s.expect_lists(([drive.description], 0),
                   (entries, selected_entry(entries, drive.current, False)), "CD list")
    s.close()
    s.check_log_clean()


def scenario_choose_speed(ctx):
    """A stored list: no question; the chosen entry k sends field k + 1, by
    keyboard (one command per arrow key) and by mouse; the speed persists."""
    drive = Drive("0:2:0", "ORUN", "CD-R 4000", "0.9", "G", "cd",
                  cd=[7056, 5645, 4234, 2822, 1411], dvd=[5540], current=4234)
    fields = [7056, 5645, 4234, 2822, 1411]
    s = ctx.session("choose-speed", [drive], completion="signalled",
                    stored={drive.key(): stored_list(fields)})
    s.launch()
    s.driver("wait-window")
    expect_eq(s.driver("boxes").strip(), "none", "message box at start with a stored list")
    entries = ["MAX", "40x", "32x", "24x", "16x", "8x"]
    s.expect_lists(([drive.description], 0), (entries, 3), "at start")
    check_requests(s.requests(), [INQUIRY, GET_CONFIGURATION, MODE_SENSE], drive.address,
                   "start-up (identify, medium class, current speed; no speed sent)")

    expect_eq(s.focus(), "cbdrive", "focus when the window opens (tab order 0)")
    s.keys("Tab")
    expect_eq(s.focus(), "cbvel", "focus after Tab")

    s.mark()
    s.keys("Down")
    check_requests(s.requests(), [GET_CONFIGURATION, set_speed_cdb(2822)], drive.address,
                   "Down from 24x to 16x (entry 4 sends field 5)")
    expect_eq(s.lists()["cbvel"][1], 4, "selected entry after Down")

    s.mark()
    s.keys("Up", "Up")
    check_requests(s.requests(), [GET_CONFIGURATION, set_speed_cdb(4234),
                                  GET_CONFIGURATION, set_speed_cdb(5645)],
                   drive.address, "Up twice: one speed per step")

    s.mark()
    s.choose_with_mouse("cbvel", 1)
    check_requests(s.requests(), [GET_CONFIGURATION, set_speed_cdb(7056)], drive.address,
                   "mouse on entry 1 (40x)")
    s.mark()
    s.choose_with_mouse("cbvel", 5)
    check_requests(s.requests(), [GET_CONFIGURATION, set_speed_cdb(1411)], drive.address,
                   "mouse on entry 5 (8x)")
    s.mark()
    s.choose_with_mouse("cbvel", 0)
    check_requests(s.requests(), [GET_CONFIGURATION, set_speed_cdb(65535)], drive.address,
                   "mouse on entry 0 (MAX sends 65535)")
    expect_eq(s.lists()["cbvel"], (entries, 0), "speed list after choosing MAX")
    s.close()

    # The drive kept the speed it settled on (7056, the fastest): the next
    # start selects 40x.
    s.mark()
    s.launch()
    s.driver("wait-window")
    s.expect_lists(([drive.description], 0), (entries, 1), "second start")
    check_requests(s.requests(), [INQUIRY, GET_CONFIGURATION, MODE_SENSE], drive.address,
                   "second start")
    s.close()
    s.check_log_clean()


def scenario_two_drives(ctx):
    """Two drives, a DVD in one and a CD in the other: switching drives
    refreshes, each shows its own list; the same drive with a CD shows its CD list."""
    dvd = dvd_drive("0:1:0")
    cd = cd_drive("1:0:0")
    dvd_fields, cd_fields, other_fields = [22160, 16620, 11080, 5540], [7056, 5645, 4234, 2822, 1411], \
        [9173, 7056, 5645, 4234]
    s = ctx.session("two-drives", [dvd, cd], adapters=2, completion="atonce",
                    stored={dvd.key(dvd=True): stored_list(dvd_fields),
                            dvd.key(dvd=False): stored_list(cd_fields),
                            cd.key(): stored_list(other_fields)})
    s.launch()
    s.driver("wait-window")
    drives = [dvd.description, cd.description]
    dvd_entries = ["MAX", "16x", "12x", "8x", "4x"]
    cd_entries = ["MAX", "52x", "40x", "32x", "24x"]
    s.expect_lists((drives, 0), (dvd_entries, 2), "at start")

    s.mark()
    s.keys("Down")
    check_requests(s.requests(), [GET_CONFIGURATION, MODE_SENSE], cd.address,
                   "Down in the drive list (refresh of the second drive, no speed sent)")
    s.expect_lists((drives, 1), (cd_entries, 2), "second drive chosen by keyboard")

    s.mark()
    s.driver("select-mouse", "cbdrive", 0)  # through the system's input queue this time
    check_requests(s.requests(), [GET_CONFIGURATION, MODE_SENSE], dvd.address,
                   "first drive chosen with the mouse")
    s.expect_lists((drives, 0), (dvd_entries, 2), "first drive chosen with the mouse")

    # A CD goes into the first drive; its list shows at the next refresh,
    # and 16620 kB/s (94x on a CD) matches no entry.
    s.set_medium(dvd, "cd")
    s.keys("Down", "Up")
    s.expect_lists((drives, 0), (["MAX", "40x", "32x", "24x", "16x", "8x"], -1),
                   "first drive with a CD loaded")
    s.close()
    s.check_log_clean()


def scenario_load_eject(ctx):
    """Load and Eject by button and by access key: START STOP UNIT with IMMED;
    the speed list is not refreshed. The labels' access keys focus the lists."""
    drive = dvd_drive()
    s = ctx.session("load-eject", [drive], completion="pending",
                    stored={drive.key(): stored_list([22160, 16620, 11080, 5540])})
    s.launch()
    s.driver("wait-window")
    shown = s.lists()
    expect_eq(shown["cbvel"], (["MAX", "16x", "12x", "8x", "4x"], 2), "speed list at start")

    # Clicks and keys on the X display; the last Alt+L through Windows'
    # own input queue (SendInput from the driver).
    for action, how, block in (("btload", "click", LOAD), ("bteject", "click", EJECT),
                               ("alt+l", "key", LOAD), ("alt+e", "key", EJECT),
                               ("l", "sendinput-alt", LOAD)):
        s.mark()
        if how == "click":
            s.click_control(action)
        elif how == "key":
            s.keys(action)
        else:
            s.driver("alt", action)
            time.sleep(0.1)
            s.driver("settle")
        check_requests(s.requests(), [block], drive.address, f"{how} {action}")
        expect_eq(s.lists(), shown, f"lists after {how} {action} (no refresh)")

    s.keys("alt+s")
    expect_eq(s.focus(), "cbvel", "focus after Alt+S (the access key of \"&Speed:\")")
    s.keys("alt+d")
    expect_eq(s.focus(), "cbdrive", "focus after Alt+D (the access key of \"&Drive:\")")
    s.close()
    s.check_log_clean()


def scenario_answer_no(ctx):
    """No to the question: empty speed list, nothing stored, and the question
    again at the next refresh of that drive."""
    first = Drive("0:0:0", "ACME", "CD-ROM 40X", "3.0", "D", "cd",
                  cd=[7056, 3528], dvd=[5540], current=7056)
    second = cd_drive("0:5:0")
    second_fields = [9173, 7056, 5645, 4234]
    s = ctx.session("answer-no", [first, second], completion="pending",
                    stored={second.key(): stored_list(second_fields)})
    s.launch()
    q = s.question()
    expect_eq((q["text"], q["main"]), (PROMPT_EN, "hidden"), "question at start")
    s.mark()
    s.facts("answer", "no")
    s.driver("wait-window")
    drives = [first.description, second.description]
    s.expect_lists((drives, 0), ([], -1), "after No")
    check_requests(s.requests(), [], first.address, "after No")
    expect_eq(s.stored(), {second.key(): ("sz", stored_list(second_fields))},
              "stored lists after No")

    s.keys("Down")
    expect_eq(s.driver("boxes").strip(), "none", "message box for the drive with a list")
    s.expect_lists((drives, 1), (["MAX", "52x", "40x", "32x", "24x"], 2), "second drive")

    s.xdotool("key", "Up")
    q = s.question()
    expect_eq((q["text"], q["main"]), (PROMPT_EN, "visible"), "question at the next refresh")
    s.mark()
    s.facts("answer", "no")
    s.driver("settle")
    s.expect_lists((drives, 0), ([], -1), "after the second No")
    check_requests(s.requests(), [], first.address, "after the second No")
    expect_eq(s.stored(), {second.key(): ("sz", stored_list(second_fields))},
              "stored lists after the second No")
    s.close()
    s.check_log_clean()


def scenario_bad_values(ctx):
    """A stored value of a non-text type and a field that is not a number:
    the error box, the window still opens, nothing is sent."""
    first = dvd_drive("0:1:0", medium="cd", current=7056)
    second = cd_drive("0:3:0")
    s = ctx.session("bad-values", [first, second], completion="pending",
                    stored={first.key(): 7056, second.key(): "65535,abc,7056"})
    s.launch()
    box = s.error_box()
    expect_eq(box["text"], f"Invalid data type for '{first.key()}'", "error box at start")
    expect_eq(box["main"], "hidden", "main window while the error box is up")
    s.facts("errorbox")
    s.driver("wait-window")
    drives = [first.description, second.description]
    s.expect_lists((drives, 0), ([], -1), "after the error at start")

    s.keys("Down")
    s.expect_lists((drives, 1), (["MAX", "0x", "40x"], 2), "drive whose list holds 'abc'")
    s.keys("Tab")
    expect_eq(s.focus(), "cbvel", "focus after Tab")
    s.mark()
    s.xdotool("key", "Up")
    box = s.error_box()
    expect_eq(box["text"], "'abc' is not a valid integer value.", "error box on choosing 0x")
    s.facts("errorbox")
    s.driver("settle")
    check_requests(s.requests(), [GET_CONFIGURATION], second.address,
                   "choosing the entry of 'abc' (medium class read, no speed sent)")
    s.mark()
    s.keys("Down")
    check_requests(s.requests(), [GET_CONFIGURATION, set_speed_cdb(7056)], second.address,
                   "choosing 40x after the error")
    expect_eq(s.driver("boxes").strip(), "none", "message box after choosing 40x")
    s.close()
    s.check_log_clean()


def check_layout(layout, captions, width, what):
    expect_eq(layout["client"], (width, 92), f"{what}: client area")
    shift = width - 413
    for name, (left, top, w) in DESIGN.items():
        rect, text = layout[name]
        want_left = left + (shift if name in RIGHT_ANCHORED else 0)
        expect_eq(rect[:2], (want_left, top), f"{what}: {name} left and top")
        if w == "full":
            expect_eq(rect[2], width, f"{what}: {name} width")
        elif w is not None:
            expect_eq(rect[2], w, f"{what}: {name} width")
        if name in captions:
            expect_eq(text, captions[name], f"{what}: caption of {name}")
    for name in ("btdetect", "btload", "bteject"):
        expect_eq(layout[name][0][3], 21, f"{what}: {name} height")


def scenario_language(ctx):
    """Portuguese under pt_PT: five captions, the question, client width 435
    and the right-anchored controls 22 pixels further right. English under
    pt_BR and en_US."""
    for lang, prompt, captions, width in (("pt_PT.UTF-8", PROMPT_PT, CAPTIONS_PT, 435),
                                          ("pt_BR.UTF-8", PROMPT_EN, CAPTIONS_EN, 413),
                                          ("en_US.UTF-8", PROMPT_EN, CAPTIONS_EN, 413)):
        drive = cd_drive()
        s = ctx.session("language-" + lang.split(".")[0], [drive], lang=lang, adapters=2)
        want = {"pt_PT.UTF-8": "0816", "pt_BR.UTF-8": "0416", "en_US.UTF-8": "0409"}[lang]
        expect_eq(s.driver("uilang").strip(), want,
                  f"{lang}: the interface language Wine reports (GetUserDefaultUILanguage)")
        s.launch()
        q = s.question()
        expect_eq(q["text"], prompt, f"{lang}: question")
        s.facts("answer", "no")
        s.driver("wait-window")
        check_layout(s.layout(), captions, width, lang)
        s.close()
        s.check_log_clean()
        ctx.stop(s)


def scenario_other_routes(ctx):
    """No ASPI library, Wine's builtin one, and the NT pass-through routes:
    the program starts, lists what they report and never crashes."""
    for name, version, aspi in (("no-aspi", "win98", "missing"), ("builtin-aspi", "win98", "builtin"),
                                ("passthrough", None, "native"), ("passthrough-nt40", "nt40", "native")):
        s = ctx.session(name, [dvd_drive()], version=version, aspi=aspi)
        s.launch()
        if aspi == "missing":
            s.driver("wait-window")
        else:
            # Whatever devices this machine's Wine offers (none here); a
            # question for one of them is answered No.
            for _ in range(8):
                if s.driver("wait-window", 3000, check=False).strip() == "shown":
                    break
                if s.driver("boxes").strip() == "question":
                    s.facts("answer", "no")
            else:
                raise Failure(f"{name}: the window did not open")
        shown = s.lists()
        ctx.note(f"{name}: drives listed: {shown['cbdrive'][0] or 'none'}")
        if aspi == "missing":
            expect_eq(shown, {"cbdrive": ([], -1), "cbvel": ([], -1)}, f"{name}: lists")
        if not shown["cbdrive"][0]:
            # Everything a user can do with nothing listed; never done to a
            # real drive of the machine, whose tray would open.
            for control in ("btdetect", "btload", "bteject"):
                s.click_control(control)
            s.driver("click", "btdetect")
            s.driver("key", "cbvel", "down")
            s.driver("key", "cbdrive", "down")
            s.keys("alt+t", "Tab", "Down", "Up")
            expect_eq(s.driver("boxes").strip(), "none", f"{name}: message box after the buttons")
            expect_eq(s.lists(), shown, f"{name}: lists after the buttons")
        expect_eq(s.log_lines(), [], f"{name}: requests reaching the test ASPI library")
        s.close()
        ctx.stop(s)


def scenario_screenshots(ctx):
    """The window in English, in Portuguese and at 144 DPI, inside Wine's
    virtual desktop so that it has its frame."""
    for shot, lang, dpi in (("en", "en_US.UTF-8", None), ("pt", "pt_PT.UTF-8", None),
                            ("144dpi", "en_US.UTF-8", 144)):
        dvd, cd = dvd_drive(), cd_drive()
        s = ctx.session("screenshot-" + shot, [dvd, cd], lang=lang, dpi=dpi, adapters=2,
                        desktop="800x400",
                        stored={dvd.key(): stored_list([22160, 16620, 11080, 5540]),
                                cd.key(): stored_list([9173, 7056, 5645, 4234])})
        s.launch()
        s.driver("wait-window")
        s.driver("settle")
        time.sleep(0.5)
        layout = s.layout()
        check_no_overlap(layout, shot)
        x, y, w, h = layout["window"]
        margin = 12
        path = os.path.join(ctx.shots, f"screenshot-{shot}.png")
        s.screenshot(path, (w + 2 * margin, h + 2 * margin, max(0, x - margin), max(0, y - margin)))
        ctx.note(f"{shot}: window {w}x{h}, client {layout['client'][0]}x{layout['client'][1]}"
                 + (f", {path}" if ctx.shots_given else ""))
        s.close()
        ctx.stop(s)


def check_no_overlap(layout, what):
    """Every control inside the client area, none on top of another."""
    cw, ch = layout["client"]
    names = [n for n in DESIGN if n in layout]
    for n in names:
        l, t, w, h = layout[n][0]
        expect(l >= 0 and t >= 0 and l + w <= cw and t + h <= ch,
               f"{what}: {n} {layout[n][0]} outside the client area {cw}x{ch}")
    for i, a in enumerate(names):
        for b in names[i + 1:]:
            (al, at, aw, ah), (bl, bt, bw, bh) = layout[a][0], layout[b][0]
            if al < bl + bw and bl < al + aw and at < bt + bh and bt < at + ah:
                raise Failure(f"{what}: {a} {layout[a][0]} overlaps {b} {layout[b][0]}")


SCENARIOS = [
    ("first-start", scenario_first_start),
    ("choose-speed", scenario_choose_speed),
    ("two-drives", scenario_two_drives),
    ("load-eject", scenario_load_eject),
    ("answer-no", scenario_answer_no),
    ("bad-values", scenario_bad_values),
    ("language", scenario_language),
    ("other-routes", scenario_other_routes),
    ("screenshots", scenario_screenshots),
]


# ---------------------------------------------------------------------------

class Context:
    def __init__(self, args, work):
        self.exe, self.aspi, self.driver = args.exe, args.aspi, args.driver
        self.template = make_template(args.cache)
        self.locales = make_locales(args.cache)
        self.work = work
        self.shots = args.shots or os.path.join(work, "shots")
        self.shots_given = bool(args.shots)
        os.makedirs(self.shots, exist_ok=True)
        self.sessions = []
        self.notes = []

    def session(self, name, drives, **kw):
        s = Session(self, name, drives, **kw)
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


def run_scenarios(args):
    work = tempfile.mkdtemp(prefix="kelvarin-e2e-")
    ctx = Context(args, work)
    chosen = [(n, f) for n, f in SCENARIOS if not args.only or n in args.only]
    failed = []
    total = time.time()
    for name, func in chosen:
        start = time.time()
        try:
            func(ctx)
            result = "ok"
        except Failure as e:
            result = f"FAILED: {e}"
            failed.append(name)
        except Exception:
            result = "ERROR:\n" + traceback.format_exc()
            failed.append(name)
        finally:
            ctx.stop_all()
        print(f"{name:<14} {time.time() - start:5.1f} s  {result}", flush=True)
        for note in ctx.notes:
            print(f"    {note}")
        ctx.notes.clear()
    print(f"{len(chosen) - len(failed)} of {len(chosen)} scenarios passed in "
          f"{time.time() - total:.1f} s", flush=True)
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
    dvd, cd = dvd_drive(), cd_drive()
    s = ctx.session("session", [dvd, cd], adapters=2, display=display,
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
            s.deadline = time.time() + SCENARIO_TIMEOUT
            s.launch()
            s.question()
            s.facts("answer", "yes")
            s.driver("wait-window")
            s.driver("settle")
            x, y, w, h = s.layout()["window"]
            path = os.path.join(args.cache, "run-screenshot.png")
            s.screenshot(path, (w + 24, h + 24, max(0, x - 12), max(0, y - 12)))
            print(f"no display: kelvarin.exe ran on Xvfb; screenshot in {path}")
            s.close()
        print(f"the simulated drives' requests are in {s.log_path}")
    except KeyboardInterrupt:
        pass
    finally:
        ctx.stop_all()
    return 0


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    top = os.path.dirname(here)
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--build", default=os.path.join(top, "build", "x86_64"),
                   help="the x86_64 MinGW build directory")
    p.add_argument("--exe", help="default: BUILD/app/kelvarin.exe")
    p.add_argument("--aspi", help="default: BUILD/e2e/wnaspi32.dll")
    p.add_argument("--driver", help="default: BUILD/e2e/e2edriver.exe")
    p.add_argument("--cache", default=os.path.join(top, "build", "e2e"),
                   help="where the template prefix and locales are kept")
    p.add_argument("--only", action="append", help="run only this scenario (repeatable)")
    p.add_argument("--list", action="store_true", help="list the scenarios")
    p.add_argument("--keep", action="store_true", help="keep the work files")
    p.add_argument("--shots", help="directory for the screenshots (default: the work dir)")
    p.add_argument("--interactive", action="store_true", help="run the program (make run)")
    args = p.parse_args()
    args.exe = args.exe or os.path.join(args.build, "app", "kelvarin.exe")
    args.aspi = args.aspi or os.path.join(args.build, "e2e", "wnaspi32.dll")
    args.driver = args.driver or os.path.join(args.build, "e2e", "e2edriver.exe")
    # Wine wants an absolute prefix path.
    for name in ("exe", "aspi", "driver", "cache", "shots"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    if args.list:
        for name, func in SCENARIOS:
            print(f"{name:<14} {func.__doc__.split(chr(10))[0]}")
        return 0
    for path in (args.exe, args.aspi, args.driver, WINE, WINESERVER):
        if not os.path.exists(path):
            print(f"missing: {path}", file=sys.stderr)
            return 2
    if args.only:
        unknown = set(args.only) - {n for n, _ in SCENARIOS}
        if unknown:
            print(f"unknown scenario: {', '.join(sorted(unknown))}", file=sys.stderr)
            return 2
    return run_interactive(args) if args.interactive else run_scenarios(args)


if __name__ == "__main__":
    sys.exit(main())
