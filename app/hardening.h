// What the process sets up about itself before it loads anything by name.
#pragma once

// Narrows where libraries loaded by name (the ASPI layer) may come from and,
// while the process runs elevated, ends it on heap corruption. Systems
// without the calls are left as they are.
void HardenProcess();
