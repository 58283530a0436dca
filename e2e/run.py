#!/usr/bin/env python3
"""End-to-end runs of the real kelvarin.exe under Wine.

Each scenario gets its own Wine prefix (a cheap copy of a template made once
with wineboot), its own Xvfb display and its own wineserver. The program is
operated from outside as a person would: the driver (e2edriver.exe, run in
the same prefix) reads the window and answers message boxes; xdotool types
and clicks on the X display. Simulated drives come from the test ASPI
library (wnaspi32.dll), which logs every request it receives. Every process
started here is ended by its own PID; the prefix's wineserver by
`wineserver -k`. The pieces are in the kelvarin_e2e package beside this file.

    e2e/run.py                  all scenarios
    e2e/run.py --only two-drives --keep
    e2e/run.py --shots docs     also writes the screenshots there
    e2e/run.py --interactive    the program with two simulated drives (make run)
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from kelvarin_e2e.runner import main  # noqa: E402

if __name__ == "__main__":
    sys.exit(main(__doc__))
