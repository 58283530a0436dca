// Membership of the caller in the local Administrators group.
#pragma once

#include <windows.h>

bool IsInBuiltinAlias(DWORD rid);
bool IsAdmin();

// Whether the process runs with an elevated token. Before Vista there is no
// elevation: the question fails, which counts as not elevated, as do
// Windows 98 and ME, whose token calls are stubs.
bool IsElevated();

// Where libraries loaded by name (the ASPI layer) may come from, by the
// answer of IsElevated.
struct tlibrarysearch {
  DWORD directories;  // for SetDefaultDllDirectories
  bool systemfolder;  // the ASPI library by its full path in the system folder
};
tlibrarysearch LibrarySearchFor(bool elevated);
