// Membership of the caller in the local Administrators group.
#pragma once

#include <windows.h>

bool IsInBuiltinAlias(DWORD rid);
bool IsAdmin();
