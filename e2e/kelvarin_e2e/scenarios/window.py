"""The window itself: captions and layout in each language, screenshots."""

import os
import time

from ..drives import cd_drive, dvd_drive, stored_list
from ..expect import Failure, expect, expect_eq
from ..texts import DESIGN, PROMPT_EN, PROMPT_PT
from ..wholewindow import check_box, check_keyboard, check_whole_window

def scenario_language(ctx):
    """Portuguese under pt_PT: five captions, the question, client width 435
    and the right-anchored controls 22 pixels further right. English under
    pt_BR and en_US. The whole window in each: centred, the button face
    behind it, each caption fitting its label; classes, styles, rectangles,
    texts, the hint, the question box; the tab order and access keys."""
    for lang, prompt in (("pt_PT.UTF-8", PROMPT_PT), ("pt_BR.UTF-8", PROMPT_EN),
                         ("en_US.UTF-8", PROMPT_EN)):
        drive = cd_drive()
        s = ctx.session("language-" + lang.split(".")[0], [drive], lang=lang, adapters=2)
        want = {"pt_PT.UTF-8": "0816", "pt_BR.UTF-8": "0416", "en_US.UTF-8": "0409"}[lang]
        expect_eq(s.driver("uilang").strip(), want,
                  f"{lang}: the interface language Wine reports (GetUserDefaultUILanguage)")
        s.launch()
        q = s.question()
        expect_eq(q["text"], prompt, f"{lang}: question")
        check_box(q, True, f"{lang}: question")
        s.facts("answer", "no")
        s.driver("wait-window")
        check_whole_window(s, lang.startswith("pt_PT"), lang)
        if not lang.startswith("pt_BR"):
            check_keyboard(s, lang.startswith("pt_PT"), drive, lang)
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
