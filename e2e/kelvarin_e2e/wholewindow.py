"""The whole window as it stands, checked in the sessions that already have
it open: every control's class, styles and rectangle, where the window
stands and its colour, each caption fitting its label, the tab order both
ways, the access keys, the hint, the notice line and the two message boxes."""

import os
import re

from .drivelog import check_requests, to
from .commands import EJECT, LOAD
from .expect import expect, expect_eq
from .texts import CAPTIONS_EN, CAPTIONS_PT, DESIGN, HINT, NOTICE, RIGHT_ANCHORED

DUMP = bool(os.environ.get("KELVARIN_E2E_DUMP"))

WS_POPUP, WS_CHILD, WS_VISIBLE, WS_CLIPSIBLINGS = 0x80000000, 0x40000000, 0x10000000, 0x04000000
WS_CLIPCHILDREN, WS_CAPTION, WS_BORDER = 0x02000000, 0x00C00000, 0x00800000
WS_SYSMENU, WS_GROUP, WS_TABSTOP, WS_MINIMIZEBOX = 0x00080000, 0x00020000, 0x00010000, 0x00020000
SS_LEFT, SS_RIGHT, SS_ETCHEDHORZ, SS_NOPREFIX = 0x0, 0x2, 0x10, 0x80
CBS_DROPDOWNLIST = 0x3
BS_PUSHBUTTON = 0x0
TTS_ALWAYSTIP, TTS_NOPREFIX = 0x1, 0x2
WS_EX_TOPMOST, WS_EX_TOOLWINDOW, WS_EX_WINDOWEDGE, WS_EX_STATICEDGE = 0x8, 0x80, 0x100, 0x20000
TTF_IDISHWND, TTF_SUBCLASS = 0x1, 0x10

CHILD = WS_CHILD | WS_VISIBLE
# A combo box hands WS_VSCROLL on to its dropped list and does not keep it.
LIST = CHILD | CBS_DROPDOWNLIST | WS_TABSTOP
BUTTON = CHILD | BS_PUSHBUTTON | WS_TABSTOP
# Creation order, which is the tab order; each label just before its list.
CONTROLS = [("Label1", "Static", CHILD | SS_LEFT), ("cbdrive", "ComboBox", LIST | WS_GROUP),
            ("Label2", "Static", CHILD | SS_LEFT), ("cbvel", "ComboBox", LIST),
            ("btdetect", "Button", BUTTON), ("btload", "Button", BUTTON), ("bteject", "Button", BUTTON),
            ("Bevel1", "Static", CHILD | SS_ETCHEDHORZ),  # and the edge it is drawn with
            ("Label5", "Static", CHILD | SS_RIGHT | SS_NOPREFIX)]
MAIN_STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN | WS_VISIBLE
TAB_STOPS = ["cbdrive", "cbvel", "btdetect", "btload", "bteject"]
HEIGHTS = {"cbdrive": 23, "cbvel": 23, "btdetect": 21, "btload": 21, "bteject": 21, "Bevel1": 2,
           "Label5": 16}

LINE = re.compile(r'^(\S+) (\S+) ([0-9a-f]{8}) ([0-9a-f]{8}) (-?\d+) (-?\d+) (\d+) (\d+) "(.*)"$')


def window_facts(s):
    """{'main': (class, style, exstyle, rect, text), 'Label1': ..., 'order': [...],
    'client': (w, h), 'tooltip': ..., 'tools': [(flags, window, id, text)],
    'screen': (w, h), 'colours': {'background': rgb, 'btnface': ..., 'window': ...},
    'extents': {label: (w, h) its caption needs}}"""
    text = s.driver("window")
    if DUMP:
        print(text)
    facts = {"order": [], "tools": [], "extents": {}}
    for line in text.splitlines():
        m = LINE.match(line)
        if m:
            name = m.group(1)
            facts[name] = (m.group(2), int(m.group(3), 16), int(m.group(4), 16),
                           tuple(int(m.group(i)) for i in range(5, 9)), m.group(9))
            if name not in ("main", "tooltip"):
                facts["order"].append(name)
        elif line.startswith(("client ", "screen ")):
            facts[line.split()[0]] = tuple(map(int, line.split()[1:]))
        elif line.startswith("colours "):
            words = line.split()[1:]
            facts["colours"] = dict(zip(words[::2], words[1::2]))
        elif line.startswith("extent "):
            _, name, w, h = line.split()
            facts["extents"][name] = (int(w), int(h))
        elif line.startswith("tool "):
            flags, window, ident, hint = line.split(" ", 4)[1:]
            facts["tools"].append((int(flags, 16), window, ident, hint[1:-1]))
    return facts


def check_whole_window(s, portuguese, what):
    captions, width = (CAPTIONS_PT, 435) if portuguese else (CAPTIONS_EN, 413)
    f = window_facts(s)
    cls, style, exstyle, _, title = f["main"]
    expect_eq((cls, title), ("KelvarinMainWindow", "Kelvarin"), f"{what}: main window class and title")
    # Windows gives every top-level window WS_CLIPSIBLINGS and the caption's
    # window edge; nothing else may be there (no sizing frame, no maximize box).
    expect_eq((hex(style), hex(exstyle)), (hex(MAIN_STYLE | WS_CLIPSIBLINGS), hex(WS_EX_WINDOWEDGE)),
              f"{what}: main window style and extended style")
    expect_eq(f["client"], (width, 92), f"{what}: client area")
    # Where it first appears: centred on the desktop, to a pixel of rounding.
    (left, top, w, h), (sw, sh) = f["main"][3], f["screen"]
    expect(abs(2 * left + w - sw) <= 2 and abs(2 * top + h - sh) <= 2,
           f"{what}: window at {left},{top} ({w}x{h}) is not centred on the {sw}x{sh} screen")
    colours = f["colours"]
    expect(colours["btnface"] != colours["window"], f"{what}: button face and window colours "
           f"alike ({colours}): the background check could not tell them apart")
    expect_eq(colours["background"], colours["btnface"],
              f"{what}: the window's background (the system's button face; window colour "
              f"{colours['window']})")
    expect_eq(f["order"], [name for name, _, _ in CONTROLS], f"{what}: controls in creation order")
    shift = width - 413
    for name, want_class, want_style in CONTROLS:
        cls, style, exstyle, rect, text = f[name]
        expect_eq(cls.lower(), want_class.lower(), f"{what}: class of {name}")
        want_ex = WS_EX_STATICEDGE if name == "Bevel1" else 0
        expect_eq((hex(style), hex(exstyle)), (hex(want_style), hex(want_ex)), f"{what}: styles of {name}")
        left, top, w = DESIGN[name]
        want = (left + (shift if name in RIGHT_ANCHORED else 0), top,
                width if w == "full" else w, HEIGHTS.get(name))
        if w is None:  # a label fits its caption
            want = want[:2] + rect[2:]
        expect_eq(rect, want, f"{what}: rectangle of {name}")
        if name in f["extents"]:  # the whole caption shows, in the labels' font
            need = f["extents"][name]
            expect(rect[2] >= need[0] > 0 and rect[3] >= need[1] > 0,
                   f"{what}: {name} {rect[2]}x{rect[3]} is smaller than its caption's "
                   f"{need[0]}x{need[1]}")
        if want_class != "ComboBox":  # a list's text is its selected entry
            want_text = captions.get(name, NOTICE if name == "Label5" else "")
            expect_eq(text, want_text, f"{what}: text of {name}")
    cls, style, exstyle, _, _ = f["tooltip"]
    # The tooltip gives itself a border, clips its siblings and is a tool window.
    expect_eq((hex(style & ~WS_VISIBLE), hex(exstyle & ~WS_EX_TOOLWINDOW)),
              (hex(WS_POPUP | WS_BORDER | WS_CLIPSIBLINGS | TTS_ALWAYSTIP | TTS_NOPREFIX),
               hex(WS_EX_TOPMOST)), f"{what}: tooltip styles")
    expect_eq(f["tools"], [(TTF_IDISHWND | TTF_SUBCLASS, "main", "btdetect", HINT)],
              f"{what}: the tooltip's one tool, its window, control and hint")


def check_keyboard(s, portuguese, drive, what):
    """From the drive list: Tab through all five tab stops and back, then each
    caption's access key: Load's and Eject's send their command, a label's
    focuses its list, Detect's runs a detection."""
    captions = CAPTIONS_PT if portuguese else CAPTIONS_EN
    key = {name: "alt+" + caption[caption.index("&") + 1].lower() for name, caption in captions.items()}
    expect_eq(s.focus(), "cbdrive", f"{what}: focus when the window opens")
    s.mark()
    access = ["btload", "bteject", "Label2", "btdetect", "Label1"]
    focus = s.driver("press", *(["tab"] * 5 + ["shift+tab"] * 5 + [key[n] for n in access])).split()
    expect_eq(focus[:5], TAB_STOPS[1:] + TAB_STOPS[:1], f"{what}: Tab order")
    expect_eq(focus[5:10], TAB_STOPS[::-1], f"{what}: Shift+Tab order")
    expect_eq((focus[12], focus[14]), ("cbvel", "cbdrive"),
              f"{what}: focus after {key['Label2']} and {key['Label1']}")
    seen = s.requests()
    shown = s.lists()
    check_requests(seen[:2], to(drive, LOAD, EJECT),
                   f"{what}: {key['btload']}, {key['bteject']} (lists {shown})")
    expect_eq(len(seen) - 2, 1 + 188 + 2, f"{what}: commands after {key['btdetect']} "
              "(medium class, detection, refresh)")


def check_box(box, question, what):
    """A box of the program: owned by the main window, which it disables while
    it is up; Yes and No with the question icon, or OK with the error icon."""
    if DUMP:
        print(box)
    expect_eq((box["owner"], box["owner_enabled"]), ("main", "0"), f"{what}: owner, and the owner disabled")
    want = ("yes,no", "question") if question else ("ok", "error")
    expect_eq((box["buttons"], box["icon"]), want, f"{what}: buttons and icon")
    expect_eq(int(box["exstyle"], 16) & WS_EX_TOPMOST, 0, f"{what}: not a system-modal (topmost) box")
