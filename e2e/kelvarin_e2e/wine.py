"""Wine plumbing: the template prefix, private locales, the environment,
the wineserver, and the text form of the registry."""

import os
import re
import shutil
import subprocess
import tempfile

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
