// What the process sets up about itself before it loads anything by name.
#pragma once

// Narrows where libraries loaded by name (the ASPI layer) may come from, by
// the process's elevation, and ends the process on heap corruption. Systems
// without the calls are left as they are.
void HardenProcess();
