"""Every scenario, in the order they run."""

from .aspi import (scenario_answer_no, scenario_bad_values, scenario_choose_speed,
                   scenario_first_start, scenario_load_eject, scenario_two_drives)
from .busy import scenario_busy_pointer
from .passthrough import scenario_passthrough_drives, scenario_passthrough_start
from .release import scenario_pe_checksum
from .routes import scenario_other_routes
from .window import scenario_language, scenario_screenshots

SCENARIOS = [
    ("first-start", scenario_first_start),
    ("choose-speed", scenario_choose_speed),
    ("two-drives", scenario_two_drives),
    ("load-eject", scenario_load_eject),
    ("answer-no", scenario_answer_no),
    ("bad-values", scenario_bad_values),
    ("language", scenario_language),
    ("busy-pointer", scenario_busy_pointer),
    ("pt-first-start", scenario_passthrough_start),
    ("pt-drives", scenario_passthrough_drives),
    ("other-routes", scenario_other_routes),
    ("pe-checksum", scenario_pe_checksum),
    ("screenshots", scenario_screenshots),
]
