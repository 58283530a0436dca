#include "app/hardening.h"

#include <windows.h>

#include "scsi/Privileges.h"
#include "scsi/winhandles.h"

namespace {

// Without SetDefaultDllDirectories (before Windows 8 or 7 with KB2533623),
// or when it refuses, an empty DLL directory at least takes the current
// folder out of the search (XP SP1 and later).
void NarrowLibrarySearch(HMODULE kernel32, DWORD directories) {
  const auto set_default = ProcAddress<decltype(&SetDefaultDllDirectories)>(
      kernel32, "SetDefaultDllDirectories");
  if (set_default != nullptr && set_default(directories)) return;
  const auto set_directory =
      ProcAddress<decltype(&SetDllDirectoryA)>(kernel32, "SetDllDirectoryA");
  if (set_directory != nullptr) set_directory("");
}

// A corrupted heap ends the process at once rather than letting it run on.
void EndOnHeapCorruption(HMODULE kernel32) {
  const auto set_heap =
      ProcAddress<decltype(&HeapSetInformation)>(kernel32, "HeapSetInformation");
  if (set_heap != nullptr) set_heap(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
}

}  // namespace

void HardenProcess() {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  if (kernel32 == nullptr) return;
  NarrowLibrarySearch(kernel32, LibrarySearchFor(IsElevated()).directories);
  EndOnHeapCorruption(kernel32);
}
