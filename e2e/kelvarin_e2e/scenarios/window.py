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
    for lang, prompt, want in (("pt_PT.UTF-8", PROMPT_PT, "0816"),
                               ("pt_BR.UTF-8", PROMPT_EN, "0416"),
                               ("en_US.UTF-8", PROMPT_EN, "0409")):
        drive = cd_drive()
        s = ctx.session("language-" + lang.split(".")[0], [drive], lang=lang, adapters=2)
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
        s.launch(wait=True)
        s.driver("settle")
        time.sleep(0.5)
        path = os.path.join(ctx.shots, f"screenshot-{shot}.png")
        facts = s.screenshot(path)
        check_no_overlap(facts, shot)
        _, _, w, h = facts["main"][3]
        ctx.note(f"{shot}: window {w}x{h}, client {facts['client'][0]}x{facts['client'][1]}"
                 + (f", {path}" if ctx.shots_given else ""))
        s.close()
        ctx.stop(s)


def check_no_overlap(facts, what):
    """Every control inside the client area, none on top of another."""
    cw, ch = facts["client"]
    rects = {n: facts[n][3] for n in DESIGN if n in facts}
    for n, (l, t, w, h) in rects.items():
        expect(l >= 0 and t >= 0 and l + w <= cw and t + h <= ch,
               f"{what}: {n} {rects[n]} outside the client area {cw}x{ch}")
    for i, a in enumerate(rects):
        for b in list(rects)[i + 1:]:
            (al, at, aw, ah), (bl, bt, bw, bh) = rects[a], rects[b]
            if al < bl + bw and bl < al + aw and at < bt + bh and bt < at + ah:
                raise Failure(f"{what}: {a} {rects[a]} overlaps {b} {rects[b]}")
