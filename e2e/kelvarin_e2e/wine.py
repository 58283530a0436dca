"""Wine plumbing: which Wine, the template prefix, private locales, the
environment, the wineserver, and the text form of the registry."""

import os
import re
import shutil
import subprocess
import tempfile
import time

from .expect import expect
from .procs import Xvfb, kill_pid

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64"
WINE_FONTS = "/usr/share/wine/fonts"

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


class Wine:
    """The Wine a run uses: its loader and wineserver, the prefix type
    (WINEARCH), Linux libraries its 32-bit processes preload under the
    emulator, and how many times slower than native 64-bit Wine it runs
    (every time limit is multiplied by that factor)."""

    def __init__(self, loader=WINE, server=WINESERVER, arch="win64", preload=(), factor=1.0):
        self.loader, self.server, self.arch = loader, server, arch
        self.preload = [os.path.abspath(p) for p in preload]
        self.factor = max(1.0, factor)
        self._version = None

    def version(self):
        """The loader's version string, asked in an empty home: a loader that
        took --version for a program would make a prefix, which is refused."""
        if self._version is None:
            home = tempfile.mkdtemp(prefix="kelvarin-wine-version-")
            try:
                env = {k: v for k, v in os.environ.items() if not k.startswith("WINE")}
                env.update(HOME=home, WINEPREFIX=os.path.join(home, "prefix"), WINEDEBUG="-all",
                           WINESERVER=self.server, WINEARCH=self.arch)
                out = subprocess.run([self.loader, "--version"], env=env, capture_output=True,
                                     text=True, timeout=30 * self.factor)
                made = os.listdir(home)
            finally:
                shutil.rmtree(home, ignore_errors=True)
            expect(not made, f"{self.loader} --version made {made} instead of answering")
            self._version = out.stdout.strip()
            expect(self._version.startswith("wine-"),
                   f"{self.loader} --version answered {self._version!r}")
        return self._version

    def preload_env(self, env, library):
        """A copy of env in which the Wine process started preloads library:
        the emulated loader hands its guest the libraries it is given apart
        from the native processes' LD_PRELOAD."""
        env = dict(env)
        if self.preload:
            env["KELVARIN_WINE32_PRELOAD"] = ":".join(self.preload + [library])
        else:
            env["LD_PRELOAD"] = library
        return env

    def env(self):
        """What every process of this Wine needs in its environment."""
        env = {"WINEARCH": self.arch, "WINESERVER": self.server}
        if self.preload:
            env["KELVARIN_WINE32_PRELOAD"] = ":".join(self.preload)
        if self.factor > 1:
            env["KELVARIN_E2E_TIME_FACTOR"] = f"{self.factor:g}"
        return env


def make_template(cache, wine):
    """A freshly booted prefix, made once and reused while Wine stays the same."""
    version = re.sub(r"[^A-Za-z0-9.]+", "-", wine.version())
    template = os.path.join(cache, f"prefix-{wine.arch}-{version}-fonts")
    if os.path.exists(os.path.join(template, "ready")):
        return template
    shutil.rmtree(template, ignore_errors=True)
    os.makedirs(cache, exist_ok=True)
    print(f"preparing a Wine prefix template in {template} (once)", flush=True)
    start = time.time()
    work = tempfile.mkdtemp(prefix="kelvarin-template-")
    xvfb = Xvfb(work)
    # No Mono or Gecko: nothing here needs them, and their installers would ask.
    env = wine_env(wine, template, xvfb.display, "en_US.UTF-8", "mscoree=d;mshtml=d")
    server = None
    try:
        os.makedirs(template)
        server = start_wineserver(wine, env)
        subprocess.run([wine.loader, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=300 * wine.factor, check=True)
    finally:
        stop_wineserver(wine, env, server)
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
    print(f"template ready in {time.time() - start:.0f} s", flush=True)
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


def wine_env(wine, prefix, display, lang, overrides, locpath=None):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("LC_", "WINE", "LANG", "LOCPATH"))
           and k not in ("KELVARIN_WINE32_PRELOAD", "KELVARIN_E2E_TIME_FACTOR")}
    env.update(wine.env())
    # No crash dialog (winedbg): a crash ends the process at once and fails the step.
    builtin = "winemenubuilder.exe=d;winedbg.exe=d"
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", DISPLAY=display, LANG=lang,
               WINEDLLOVERRIDES=";".join(filter(None, [builtin, overrides])))
    if locpath:
        env["LOCPATH"] = locpath
    return env


def start_wineserver(wine, env):
    """A wineserver of its own for the prefix env names, in the foreground and
    persistent: it ends when stop_wineserver says so."""
    return subprocess.Popen([wine.server, "-f", "-p"], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def stop_wineserver(wine, env, server):
    subprocess.run([wine.server, "-k"], env=env, stdout=subprocess.DEVNULL,
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
