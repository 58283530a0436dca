"""Every scenario, in the order they run."""

from .aspi import (scenario_answer_no, scenario_bad_values, scenario_choose_speed,
                   scenario_first_start, scenario_load_eject, scenario_two_drives)
from .busy import scenario_busy_pointer, scenario_two_programs
from .faults import scenario_faults
from .passthrough import scenario_passthrough_drives, scenario_passthrough_start
from .release import scenario_pe_checksum
from .routes import scenario_other_routes
from .window import scenario_language, scenario_screenshots

SCENARIOS = [
    ("faults", scenario_faults),
    ("first-start", scenario_first_start),
    ("choose-speed", scenario_choose_speed),
    ("two-drives", scenario_two_drives),
    ("load-eject", scenario_load_eject),
    ("answer-no", scenario_answer_no),
    ("bad-values", scenario_bad_values),
    ("language", scenario_language),
    ("busy-pointer", scenario_busy_pointer),
    ("two-programs", scenario_two_programs),
    ("pt-first-start", scenario_passthrough_start),
    ("pt-drives", scenario_passthrough_drives),
    ("other-routes", scenario_other_routes),
    ("pe-checksum", scenario_pe_checksum),
    ("screenshots", scenario_screenshots),
]

# The release build under the emulated 32-bit Wine, where each scenario costs
# a few times as much: the start, the detection and choosing a speed (the ASPI
# entry points' calling convention, the request blocks' 32-bit layout, the
# arithmetic of the speed fields), the tray commands, the error paths, and
# the pass-through route (its blocks' 32-bit layout through Wine's own code,
# sense data and failures).
SETS = {
    "all": [name for name, _ in SCENARIOS],
    "i686": ["faults", "first-start", "choose-speed", "load-eject", "bad-values",
             "pt-first-start", "pt-drives"],
}
