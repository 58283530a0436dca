"""The program on the ASPI route, against the test ASPI library's drives."""

import copy
import os
import re
import shutil

from ..commands import EJECT, GET_CONFIGURATION, INQUIRY, LOAD, MODE_SENSE, choice_blocks
from ..drivelog import check_requests, requests_in, to
from ..drives import Drive, cd_drive, dvd_drive, stored_list
from ..expect import expect, expect_eq
from ..texts import PROMPT_EN
from ..wholewindow import check_box

def scenario_first_start(ctx):
    """First start, no stored list: the question comes before the window; Yes
    runs the detection and the list the drive's answers make is stored and shown."""
    drive = dvd_drive()
    s = ctx.session("first-start", [drive], completion="pending")
    s.launch()
    q = s.question()
    expect_eq(q["text"], PROMPT_EN, "question text")
    expect_eq(q["main"], "hidden", "main window while the question is up")
    expect_eq(q["owner"], "main", "owner of the question box")
    check_requests(s.requests(), to(drive, INQUIRY, GET_CONFIGURATION),
                   "start-up before the question (identify, medium class)")
    expect(sum(1 for r in requests_in(s.log_lines(), "SRB") if r.cmd == 1) == 64,
           "the inventory asks the device type at 64 addresses of the one adapter")

    dvd_list, medium = s.detect_on_yes(drive)
    expect_eq(s.stored(), {drive.key(medium): ("sz", dvd_list)}, "stored lists")
    s.expect_lists(([drive.description], 0), (["MAX", "16x", "12x", "8x", "4x"], 2),
                   "after detection (the current speed, 12x, selected)")
    s.mark()
    s.close()
    check_requests(s.requests(), [], "closing")

    # A CD in the same drive has no list yet: asked again at the next start;
    # its list goes under the description alone, beside the DVD one.
    s.set_medium(drive, "cd")
    s.launch()
    expect_eq(s.question()["text"], PROMPT_EN, "question with a CD loaded")
    cd_list, cd_medium = s.detect_on_yes(drive, "detection with a CD")
    expect_eq(s.stored(), {drive.key(medium): ("sz", dvd_list), drive.key(cd_medium): ("sz", cd_list)},
              "stored lists after the CD")
    s.expect_lists(([drive.description], 0), (["MAX", "40x", "32x", "24x", "16x", "8x"], 1), "CD list")
    s.close()
    s.check_log_clean()


def plant_libraries(s):
    """Copies of a wnaspi32.dll that marks its loading, beside the program, in
    the folder it is started from and in a folder on its PATH; the
    environment that starts it there and has Wine report every load."""
    places = {"beside the program": s.bindir,
              "in the current folder": os.path.join(s.prefix, "drive_c", "downloads"),
              "on PATH": os.path.join(s.prefix, "drive_c", "tools")}
    for folder in places.values():
        os.makedirs(folder, exist_ok=True)
        shutil.copy2(s.ctx.planted, folder)
    env = {"WINEPATH": r"C:\tools", "WINEDEBUG": "-all,+loaddll"}
    return places, env


def check_aspi_loads(s, places, since, expected, what):
    """No planted copy ran (no marker beside it) and Wine loaded only the
    expected wnaspi32.dll files (its +loaddll lines in program.out past since)."""
    for where, folder in places.items():
        expect(not os.path.exists(os.path.join(folder, "wnaspi32.dll.loaded")),
               f"{what}: the wnaspi32.dll planted {where} was loaded")
    with open(os.path.join(s.dir, "program.out"), "rb") as f:
        f.seek(since)
        text = f.read().decode("utf-8", "replace")
    loads = [p.replace("\\\\", "\\").lower()
             for p in re.findall(r'Loaded L"([^"]*wnaspi32\.dll)"', text, re.I)]
    expect_eq(loads, expected, f"{what}: wnaspi32.dll loads Wine reported")


def scenario_choose_speed(ctx):
    """A stored list: no question; the chosen entry k sends field k + 1, by
    keyboard (one command per arrow key) and by mouse; the speed persists.
    The ASPI layer comes only from system32, never from copies planted
    beside the program, in the current folder or on PATH."""
    drive = Drive("0:2:0", "ORUN", "CD-R 4000", "0.9", "G", "cd",
                  cd=[7056, 5645, 4234, 2822, 1411], dvd=[5540], current=4234)
    fields = [7056, 5645, 4234, 2822, 1411]
    s = ctx.session("choose-speed", [drive], completion="signalled",
                    stored={drive.key(): stored_list(fields)})
    s.launch(wait=True)
    expect_eq(s.driver("boxes").strip(), "none", "message box at start with a stored list")
    entries = ["MAX", "40x", "32x", "24x", "16x", "8x"]
    s.expect_lists(([drive.description], 0), (entries, 3), "at start")
    check_requests(s.requests(), to(drive, INQUIRY, GET_CONFIGURATION, MODE_SENSE),
                   "start-up (identify, medium class, current speed; no speed sent)")

    expect_eq(s.focus(), "cbdrive", "focus when the window opens (tab order 0)")
    s.keys("Tab")
    expect_eq(s.focus(), "cbvel", "focus after Tab")

    check_requests(s.sent(s.keys, "Down"), to(drive, *choice_blocks(2822)),
                   "Down from 24x to 16x (entry 4 sends field 5)")
    expect_eq(s.lists()["cbvel"][1], 4, "selected entry after Down")
    check_requests(s.sent(s.keys, "Up", "Up"), to(drive, *choice_blocks(4234, 5645)),
                   "Up twice: one speed per step")
    for entry, speed, name in ((1, 7056, "40x"), (5, 1411, "8x"), (0, 65535, "MAX sends 65535")):
        check_requests(s.sent(s.choose_with_mouse, "cbvel", entry),
                       to(drive, *choice_blocks(speed)), f"mouse on entry {entry} ({name})")
    expect_eq(s.lists()["cbvel"], (entries, 0), "speed list after choosing MAX")
    s.close()

    # The drive kept the speed it settled on (7056, the fastest): the next
    # start selects 40x. It starts from a downloads folder, with copies of
    # wnaspi32.dll planted where an elevated program must not look: only the
    # system32 one loads.
    places, env = plant_libraries(s)
    since = os.path.getsize(os.path.join(s.dir, "program.out"))
    s.mark()
    s.launch(cwd=places["in the current folder"], env=env, wait=True)
    check_aspi_loads(s, places, since, [r"c:\windows\system32\wnaspi32.dll"], "second start")
    s.expect_lists(([drive.description], 0), (entries, 1), "second start")
    check_requests(s.requests(), to(drive, INQUIRY, GET_CONFIGURATION, MODE_SENSE),
                   "second start")
    s.close()
    s.check_log_clean()

    # With no ASPI layer installed, the copies in the current folder and on
    # PATH, which come after the system folders, are not taken either.
    os.unlink(s.aspi_path)
    os.unlink(os.path.join(places.pop("beside the program"), "wnaspi32.dll"))
    since = os.path.getsize(os.path.join(s.dir, "program.out"))
    s.launch(cwd=places["in the current folder"], env=env, wait=True)
    check_aspi_loads(s, places, since, [], "no ASPI layer installed")
    s.expect_lists(([], -1), ([], -1), "no ASPI layer installed")
    s.close()


def scenario_two_drives(ctx):
    """Two drives, a DVD in one and a CD in the other: switching drives
    refreshes, each shows its own list; the same drive with a CD shows its CD list."""
    dvd = dvd_drive("0:1:0")
    cd = cd_drive("1:0:0")
    dvd_fields, cd_fields, other_fields = [22160, 16620, 11080, 5540], [7056, 5645, 4234, 2822, 1411], \
        [9173, 7056, 5645, 4234]
    s = ctx.session("two-drives", [dvd, cd], adapters=2, completion="atonce",
                    stored={dvd.key("dvd"): stored_list(dvd_fields),
                            dvd.key("cd"): stored_list(cd_fields),
                            cd.key(): stored_list(other_fields)})
    s.launch(wait=True)
    drives = [dvd.description, cd.description]
    dvd_entries = ["MAX", "16x", "12x", "8x", "4x"]
    cd_entries = ["MAX", "52x", "40x", "32x", "24x"]
    s.expect_lists((drives, 0), (dvd_entries, 2), "at start")

    check_requests(s.sent(s.keys, "Down"), to(cd, GET_CONFIGURATION, MODE_SENSE),
                   "Down in the drive list (refresh of the second drive, no speed sent)")
    s.expect_lists((drives, 1), (cd_entries, 2), "second drive chosen by keyboard")

    # Through the system's input queue this time.
    check_requests(s.sent(s.driver, "select-mouse", "cbdrive", 0),
                   to(dvd, GET_CONFIGURATION, MODE_SENSE), "first drive chosen with the mouse")
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
    the speed list is not refreshed. The labels' access keys focus the lists.
    The ASPI layer is one over pass-through: it never leaves a request
    pending, refuses the rescan, sends a no-data command as data-in of length
    0 and leaves the drive number unwritten, so the drive has no letter."""
    drive = dvd_drive()
    listed = copy.copy(drive)
    listed.letter = None
    s = ctx.session("load-eject", [drive], completion="atonce", over_pass_through=True,
                    stored={listed.key(): stored_list([22160, 16620, 11080, 5540])})
    s.launch(wait=True)
    shown = s.lists()
    expect_eq(shown, {"cbdrive": ([listed.description], 0),
                      "cbvel": (["MAX", "16x", "12x", "8x", "4x"], 2)}, "lists at start")
    expect_eq([r.status for r in requests_in(s.log_lines(), "SRB") if r.cmd in (6, 7)], [0x80, 1],
              "the rescan refused, the disk information completed")

    # Clicks and keys on the X display; the last Alt+L through Windows'
    # own input queue (SendInput from the driver, which waits for it).
    for action, how, act, block in (("btload", "click", s.click_control, LOAD),
                                    ("bteject", "click", s.click_control, EJECT),
                                    ("alt+l", "key", s.keys, LOAD), ("alt+e", "key", s.keys, EJECT),
                                    ("alt+l", "sendinput", lambda k: s.driver("press", k), LOAD)):
        seen = s.sent(act, action)
        check_requests(seen, to(drive, block), f"{how} {action}")
        expect_eq(seen[0].tray, "0" if block == LOAD else "1", f"tray after {how} {action}")
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
    drives = [first.description, second.description]

    def answer_no(main, what):
        """The question, the window behind it main (hidden, visible), answered
        No: an empty speed list, nothing sent to the drive, nothing stored."""
        q = s.question()
        expect_eq((q["text"], q["main"]), (PROMPT_EN, main), f"question {what}")
        s.mark()
        s.facts("answer", "no")
        s.driver("wait-window")
        s.driver("settle")
        s.expect_lists((drives, 0), ([], -1), f"after No {what}")
        check_requests(s.requests(), to(first), f"after No {what}")
        expect_eq(s.stored(), {second.key(): ("sz", stored_list(second_fields))},
                  f"stored lists after No {what}")

    s.launch()
    answer_no("hidden", "at start")
    s.keys("Down")
    expect_eq(s.driver("boxes").strip(), "none", "message box for the drive with a list")
    s.expect_lists((drives, 1), (["MAX", "52x", "40x", "32x", "24x"], 2), "second drive")

    s.xdotool("key", "Up")
    answer_no("visible", "at the next refresh")
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
    check_box(box, False, "error box at start")
    s.facts("answer", "ok")
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
    check_box(box, False, "error box on choosing 0x")
    s.facts("answer", "ok")
    s.driver("settle")
    check_requests(s.requests(), to(second, GET_CONFIGURATION),
                   "choosing the entry of 'abc' (medium class read, no speed sent)")
    check_requests(s.sent(s.keys, "Down"), to(second, *choice_blocks(7056)),
                   "choosing 40x after the error")
    expect_eq(s.driver("boxes").strip(), "none", "message box after choosing 40x")
    s.close()
    s.check_log_clean()
