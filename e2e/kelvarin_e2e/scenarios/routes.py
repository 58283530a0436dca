"""The routes this machine's Wine offers by itself."""

from ..drives import dvd_drive
from ..expect import Failure, expect_eq
from ..session import Session
from ..sgroute import PassthroughSession, sg_dvd_drive

def scenario_other_routes(ctx):
    """No ASPI library, Wine's builtin one, and the NT pass-through routes
    (Wine's default version and nt40) with a drive below Wine: the program
    starts, lists what they report and never crashes."""
    for name, version, aspi in (("no-aspi", "win98", "missing"), ("builtin-aspi", "win98", "builtin"),
                                ("passthrough", None, "native"), ("passthrough-nt40", "nt40", "native")):
        passthrough = version != "win98"
        drive = sg_dvd_drive() if passthrough else dvd_drive()
        s = ctx.session(name, [drive], version=version, aspi=aspi,
                        kind=PassthroughSession if passthrough else Session)
        s.launch(wait=aspi == "missing")
        if aspi != "missing":
            # Whatever devices the route offers; a question for one of them
            # is answered No.
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
        if passthrough:
            expect_eq(shown, {"cbdrive": ([drive.description], 0), "cbvel": ([], -1)},
                      f"{name}: lists (the drive below Wine, its question answered No)")
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
