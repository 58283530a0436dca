"""The program while it works with a slow drive, seen from outside: the
pointer, and a second program started meanwhile."""

import time

from ..commands import GET_CONFIGURATION, INQUIRY, detection_blocks
from ..drivelog import found_list
from ..drives import dvd_drive, stored_list
from ..expect import expect, expect_eq
from ..xcursor import cursor_shape

# A slow drive: each request completes this long after it was sent, so a
# detection lasts some seconds, as on real hardware.
DELAY_MS = 30
DETECTION_REQUESTS = 1 + 188 + 2  # medium class, detection, refresh


def _pointer(s):
    facts = s.facts("cursor")
    return facts["handle"], cursor_shape(s.env["DISPLAY"])


def scenario_busy_pointer(ctx):
    """A detection started with the pointer over the window: the system's
    pointer is the wait cursor while it runs, for other processes and on the
    display, and the arrow again when it is done."""
    drive = dvd_drive()
    s = ctx.session("busy-pointer", [drive], completion="pending", delay_ms=DELAY_MS,
                    stored={drive.key(): stored_list([22160, 16620])})
    shapes = {name: tuple(map(int, value.split())) for name, value in
              s.facts("cursor-shapes").items()}
    expect(shapes["arrow"] != shapes["wait"], f"arrow and wait cursors alike: {shapes}")
    s.launch(wait=True)
    s.driver("settle")
    x, y = s.driver("center", "btdetect").split()
    s.xdotool("mousemove", x, y)
    time.sleep(0.2)
    s.driver("settle")
    idle_handle, idle_shape = _pointer(s)

    s.mark()
    s.driver("post-click", "btdetect")
    seen = []
    deadline = time.time() + 60 * ctx.wine.factor
    while time.time() < deadline:
        look = _pointer(s)
        # Only looks that ended with the detection still running: one that
        # began just before its last request may see the arrow back.
        if len(s.requests()) >= DETECTION_REQUESTS - 2:
            break
        seen.append(look)
    s.driver("settle")
    expect_eq(len(s.requests()), DETECTION_REQUESTS, "requests of the detection and refresh")
    expect(len(seen) >= 2, f"only {len(seen)} looks at the pointer during the detection")
    # The first look may come before the posted press is handled.
    busy = seen[1:]
    handles = {handle for handle, _ in busy}
    expect(idle_handle not in handles,
           f"GetCursorInfo during the detection answered the arrow's handle {idle_handle}")
    expect_eq(len(handles), 1, "cursors during the detection")
    # Wine draws system cursors from the X cursor theme where it has one, at
    # the display's size: the wait cursor is known by its hot spot, in the
    # middle as the system's hourglass has it, scaled to that size.
    wait_w, wait_h, wait_x, wait_y = shapes["wait"]
    for _, (width, height, xhot, yhot, _name) in busy:
        expected = (wait_x * width // wait_w, wait_y * height // wait_h)
        expect(abs(xhot - expected[0]) <= 1 and abs(yhot - expected[1]) <= 1,
               f"hot spot of the pointer on the display during the detection: {(xhot, yhot)}, "
               f"the wait cursor's at that size {expected}")
    expect(busy[0][1] != idle_shape, f"the display kept the idle pointer {idle_shape}")
    after_handle, after_shape = _pointer(s)
    expect_eq((after_handle, after_shape), (idle_handle, idle_shape),
              "pointer after the detection (GetCursorInfo handle, shape on the display)")
    ctx.note(f"{len(busy)} looks during the detection: GetCursorInfo {busy[0][0]}, display "
             f"{busy[0][1][:4]}; before and after {idle_handle}, display {idle_shape}")
    s.close()


def _runs(seen, blocks):
    """Where blocks occur unbroken in seen, non-overlapping, and the longest
    unbroken prefix of blocks anywhere in seen."""
    starts, longest, i = [], 0, 0
    while i < len(seen):
        n = 0
        while n < len(blocks) and i + n < len(seen) and seen[i + n] == blocks[n]:
            n += 1
        longest = max(longest, n)
        if n == len(blocks):
            starts.append(i)
            i += n
        else:
            i += 1
    return starts, longest


def scenario_two_programs(ctx):
    """Two programs started on one slow drive, both asked and both answered
    Yes: the second one's detection waits for the first one's, so each sends
    its 188 commands as one unbroken run, both store and show the drive's
    true list, and the drive ends at the speed it had."""
    drive = dvd_drive()
    s = ctx.session("two-programs", [drive], completion="pending", delay_ms=DELAY_MS // 3)
    s.launch()
    s.question()
    s.launch_another()
    # The second one has identified the drive and read its class: nothing
    # is stored yet, so it asks too.
    deadline = time.time() + s.remaining()
    while len(s.requests()) < 4 and time.time() < deadline:
        time.sleep(0.1)
    check = [r.cdb for r in s.requests()]
    expect_eq(check, [INQUIRY, GET_CONFIGURATION] * 2, "both programs' start-up before the questions")
    s.mark()
    s.facts("answer", "yes")
    s.question()
    s.facts("answer", "yes")

    blocks = detection_blocks(drive.current)
    total = 2 * DETECTION_REQUESTS
    deadline = time.time() + s.remaining(60)
    while len(s.requests()) < total and time.time() < deadline:
        time.sleep(0.2)
    time.sleep(0.5)
    seen = s.requests()
    starts, longest = _runs([r.cdb for r in seen], blocks)
    found = [found_list(seen[i:i + len(blocks)]) for i in starts]
    stored = s.stored()
    ctx.note(f"{len(seen)} requests after the answers; unbroken detections {len(starts)}, "
             f"longest unbroken run {longest} of {len(blocks)}; stored {stored}; the drive "
             f"ends at {seen[-1].speed if seen else None} (was {drive.current})")
    expect_eq(len(seen), total, "requests of the two detections and refreshes")
    expect_eq(len(starts), 2, f"detections sent unbroken (longest run {longest})")
    expect_eq(found[0], found[1], "the speeds each detection found")
    expect_eq(stored, {drive.key(): ("sz", found[0])}, "stored list")
    expect_eq(seen[-1].speed, drive.current, "the drive's speed after both detections")
    shown = (["MAX", "16x", "12x", "8x", "4x"], 2)
    programs = [s.program] + s.others
    for left in (1, 0):
        s.expect_lists(([drive.description], 0), shown, "a program after both detections")
        s.driver("close")
        deadline = time.time() + s.remaining(15)
        while sum(p.poll() is None for p in programs) > left and time.time() < deadline:
            time.sleep(0.1)
        expect_eq(sum(p.poll() is None for p in programs), left, "programs still running")
    for p in programs:
        expect_eq(p.returncode, 0, f"exit status of kelvarin.exe (pid {p.pid})")
    s.program, s.others = None, []
    s.program_out.close()
