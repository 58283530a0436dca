// The platform identifier GetVersionExA reports (VER_PLATFORM_WIN32_NT on
// the NT family), read in one place for every unit that asks for it.
#pragma once

#include <windows.h>

// When the call fails the caller's own choice is answered: each asks for a
// different reason and decides which platform an unreadable one counts as.
inline DWORD PlatformId(DWORD unreadable) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return unreadable;
  return info.dwPlatformId;
}
