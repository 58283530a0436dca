"""The program on the pass-through route, through Wine's own device code, to
drives simulated below Wine at the Linux system-call layer."""

from ..commands import EJECT, GET_CONFIGURATION, INQUIRY, LOAD, MODE_SENSE, choice_blocks, set_speed_cdb
from ..drivelog import check_requests, to
from ..drives import stored_list
from ..expect import expect, expect_eq
from ..sgroute import EIO, SENSE_WRITTEN, PassthroughSession, SgDrive, sg_dvd_drive
from ..texts import PROMPT_EN


def scenario_passthrough_start(ctx):
    """Pass-through to a SCSI drive listed as "2:0:0": the question, the
    188-command detection, the stored list; speed by keyboard and mouse, Eject
    and Load; the kept speed at the next start. Every block with the
    direction, length, 60000 ms and sense room Wine hands to SG_IO."""
    drive = sg_dvd_drive("0:0:0")
    s = ctx.session("pt-first-start", [drive], kind=PassthroughSession)
    s.launch()
    q = s.question()
    expect_eq((q["text"], q["main"]), (PROMPT_EN, "hidden"), "question at the first start")
    check_requests(s.requests(), to(drive, INQUIRY, GET_CONFIGURATION),
                   "start-up before the question (identify, medium class)")
    expect(s.queries("IDLUN") and all(r == (drive.address, "ret=0") for r in s.queries("IDLUN")),
           f"the address comes from SCSI_IOCTL_GET_IDLUN: {s.queries('IDLUN')}")

    found, medium = s.detect_on_yes(drive)
    expect_eq(s.stored(), {drive.key(medium): ("sz", found)}, "stored lists")
    expect_eq(drive.description, "2:0:0 ACME     DVD-RW X1        1.0  (E:)", "the listed drive")
    entries, selected = ["MAX", "16x", "12x", "8x", "4x"], 2
    s.expect_lists(([drive.description], 0), (entries, selected), "after detection (12x selected)")

    s.keys("Tab")
    check_requests(s.sent(s.keys, "Down"), to(drive, *choice_blocks(11080)),
                   "Down to entry 3 (8x sends field 4)")
    check_requests(s.sent(s.choose_with_mouse, "cbvel", 0), to(drive, *choice_blocks(65535)),
                   "mouse on MAX")
    for act, control, block, what, tray in ((s.click_control, "bteject", EJECT, "Eject", "1"),
                                            (s.keys, "alt+l", LOAD, "Alt+L", "0")):
        seen = s.sent(act, control)
        check_requests(seen, to(drive, block), what)
        expect_eq(seen[-1].tray, tray, f"tray after {what}")
    s.close()

    s.mark()
    s.launch(wait=True)
    expect_eq(s.driver("boxes").strip(), "none", "message box at the second start")
    s.expect_lists(([drive.description], 0), (entries, 1), "second start (the kept 16x)")
    check_requests(s.requests(), to(drive, INQUIRY, GET_CONFIGURATION, MODE_SENSE),
                   "second start")
    s.close()
    s.check_log_clean()
    ctx.note("requests besides SG_IO: " + ", ".join(
        f"{kind} x{len(s.queries(kind))}" for kind in ("IDLUN", "VERSION", "DRIVESTATUS",
                                                        "CAPABILITY") if s.queries(kind)))


def scenario_passthrough_drives(ctx):
    """Three drives in cdrom0..2 order: a SCSI one on channel 1 (3:3:0), an
    IDE-major one (1:1:0, no address query) whose MODE SENSE ends in CHECK
    CONDITION, one whose address query fails (0:0:0) and whose SET CD SPEED
    fails with EIO. Descriptions, letters, and the program carries on."""
    scsi = sg_dvd_drive("1:3:0", channel=1)
    ide = SgDrive("2:0:0", "ORUNTEK", "CD-ROM 52X", "2.10", "F", "cd", cd=[9173, 7056, 5645, 4234],
                  dvd=[11080], current=7056, major=22, minor=64, faults=["5a check"])
    lost = SgDrive("3:5:0", "ORUN", "CD-R 4000", "0.9", "G", "cd",
                   cd=[7056, 5645, 4234, 2822, 1411], dvd=[5540], current=4234,
                   address_fails=True, faults=["bb callfails"])
    lists = {scsi: [22160, 16620, 11080, 5540], ide: [9173, 7056, 5645, 4234],
             lost: [7056, 5645, 4234, 2822, 1411]}
    s = ctx.session("pt-drives", [scsi, ide, lost], kind=PassthroughSession,
                    stored={d.key(): stored_list(f) for d, f in lists.items()})
    s.launch(wait=True)
    expect_eq(s.driver("boxes").strip(), "none", "message box at start with stored lists")
    names = [d.description for d in (scsi, ide, lost)]
    expect_eq(names, ["3:3:0 ACME     DVD-RW X1        1.0  (E:)",
                      "1:1:0 ORUNTEK  CD-ROM 52X       2.10 (F:)",
                      "0:0:0 ORUN     CD-R 4000        0.9  (G:)"], "descriptions")
    s.expect_lists((names, 0), (["MAX", "16x", "12x", "8x", "4x"], 2), "at start")
    check_requests(s.requests(), to(scsi, INQUIRY) + to(ide, INQUIRY) + to(lost, INQUIRY)
                   + to(scsi, GET_CONFIGURATION, MODE_SENSE), "start-up")
    asked = {a for a, _ in s.queries("IDLUN")}
    expect_eq(asked, {scsi.address, lost.address}, "drives asked their SCSI address (not the IDE one)")
    expect(all(r == "ret=-1 errno=25" for a, r in s.queries("IDLUN") if a == lost.address),
           "the failing address query answers ENOTTY")

    seen = s.sent(s.keys, "Down")
    s.expect_lists((names, 1), (["MAX", "52x", "40x", "32x", "24x"], -1),
                   "the IDE drive: its list, no current speed after CHECK CONDITION")
    check_requests(seen, to(ide, GET_CONFIGURATION, MODE_SENSE), "refresh of the IDE drive")
    expect_eq((seen[1].status, seen[1].resid, seen[1].sensewr), (2, 24, SENSE_WRITTEN),
              "MODE SENSE: status, residual and sense length handed back")

    seen = s.sent(s.keys, "Down")
    s.expect_lists((names, 2), (["MAX", "40x", "32x", "24x", "16x", "8x"], 3), "the third drive")
    check_requests(seen, to(lost, GET_CONFIGURATION, MODE_SENSE), "refresh of the third")
    s.keys("Tab")
    seen = s.sent(s.keys, "Down", "Up")
    check_requests(seen, to(lost, *choice_blocks(2822, 4234)), "choosing on the drive whose speed fails")
    expect_eq([(r.ret, r.errno) for r in seen[1::2]], [(-1, EIO)] * 2, "SET CD SPEED fails")
    expect_eq(s.driver("boxes").strip(), "none", "message box after the failed commands")
    expect_eq(s.lists()["cbvel"], (["MAX", "40x", "32x", "24x", "16x", "8x"], 3),
              "speed list after the failed commands")

    # The same calls from another Windows program: what Wine hands back.
    good, check, lost_calls = (s.probe(0, MODE_SENSE, True, 24), s.probe(1, MODE_SENSE, True, 24),
                               s.probe(2, set_speed_cdb(4234), False, 0))
    address = lambda c: tuple(c["address"][k] for k in ("address", "port", "path", "target", "lun"))
    passed = lambda c: tuple(c["passthrough"][k] for k in ("passthrough", "status", "transferred",
                                                            "senselength"))
    expect_eq((address(good), address(check)), (("1", "3", "1", "3", "0"), ("1", "1", "0", "1", "0")),
              "SCSI_ADDRESS of the SCSI drive (port channel + 2, path the host) and the IDE one")
    expect_eq((passed(good), passed(check)), (("1", "0", "24", "0"), ("1", "2", "0", "18")),
              "pass-through: result, ScsiStatus, DataTransferLength, SenseInfoLength")
    expect_eq(check["passthrough"]["sense"][:38], "700005000000000a00000000240000000000a5",
              "sense data handed back (ILLEGAL REQUEST, invalid field), nothing past it")
    expect_eq((lost_calls["address"]["address"], lost_calls["passthrough"]["passthrough"]), ("0", "0"),
              "the failing address query and the EIO command fail")
    ctx.note("Wine's answers: returned " + ", ".join(
        f"{n}={c['passthrough']['returned']}" for n, c in (("good", good), ("check", check)))
        + f"; errors: address query {lost_calls['address']['error']}, "
        f"EIO {lost_calls['passthrough']['error']}")
    s.keys("shift+Tab")
    seen = s.sent(s.keys, "Home")
    s.expect_lists((names, 0), (["MAX", "16x", "12x", "8x", "4x"], 2), "back to the first drive")
    check_requests(seen, to(scsi, GET_CONFIGURATION, MODE_SENSE), "back to the first")
    s.close()
    s.check_log_clean()
