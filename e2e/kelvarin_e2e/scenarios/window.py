"""The window itself: captions and layout in each language, screenshots."""

import os
import time

from ..drives import cd_drive, dvd_drive, stored_list
from ..expect import Failure, expect, expect_eq
from ..texts import CAPTIONS_EN, CAPTIONS_PT, DESIGN, PROMPT_EN, PROMPT_PT, RIGHT_ANCHORED

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
