#include "app/hardening.h"

#include <windows.h>

#include "scsi/winhandles.h"

namespace {

// Before Vista there is no elevation: the query fails, which counts as not
// elevated, as do Windows 98 and ME, whose token calls are stubs.
bool IsElevated() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  const unique_token token(raw);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
         size == sizeof elevation && elevation.TokenIsElevated != 0;
}

// A wnaspi32.dll left in Downloads beside the program, in the current folder
// or in a PATH folder the user can write must not run with an elevated
// token: elevated, only System32 is searched. Unelevated, the program's own
// folder stays too, where an ASPI layer may be put on purpose. Without
// SetDefaultDllDirectories (before Windows 8 or 7 with KB2533623), an empty
// DLL directory at least takes the current folder out (XP SP1 and later).
void NarrowLibrarySearch(HMODULE kernel32, bool elevated) {
  const auto set_default = ProcAddress<decltype(&SetDefaultDllDirectories)>(
      kernel32, "SetDefaultDllDirectories");
  if (set_default != nullptr) {
    set_default(elevated ? LOAD_LIBRARY_SEARCH_SYSTEM32
                         : LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
    return;
  }
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
  const bool elevated = IsElevated();
  NarrowLibrarySearch(kernel32, elevated);
  if (elevated) EndOnHeapCorruption(kernel32);
}
