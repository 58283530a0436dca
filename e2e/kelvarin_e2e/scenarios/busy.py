"""The pointer while the program works with a drive, seen from outside."""

import time

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
    s.launch()
    s.driver("wait-window")
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
