// The ASPI library, loaded at run time, and its entry points.
#pragma once

#include <windows.h>

#include <string>

namespace wnaspi32_exports {
// Declarations only: the program never links against the library; these
// give the entry-point variables their types. Not extern "C": a C-linkage
// name may not also name the global variables below (clang rejects it).
DWORD __cdecl GetASPI32SupportInfo(void);
DWORD __cdecl SendASPI32Command(LPVOID srb);
BOOL __cdecl GetASPI32Buffer(LPVOID buffer);
BOOL __cdecl FreeASPI32Buffer(LPVOID buffer);
BOOL __cdecl TranslateASPI32Address(PDWORD path, PDWORD devnode);
}  // namespace wnaspi32_exports

extern HMODULE aspilibrary;
extern decltype(&wnaspi32_exports::GetASPI32SupportInfo) GetASPI32SupportInfo;
extern decltype(&wnaspi32_exports::SendASPI32Command) SendASPI32Command;
// Never called, only looked up: a start on ASPI makes all five look-ups, as it always has.
extern decltype(&wnaspi32_exports::GetASPI32Buffer) GetASPI32Buffer;
extern decltype(&wnaspi32_exports::FreeASPI32Buffer) FreeASPI32Buffer;
extern decltype(&wnaspi32_exports::TranslateASPI32Address) TranslateASPI32Address;

// The name LoadAspi hands to LoadLibraryA: the bare name, found by the
// process's search, or its full path in the system folder; empty when that
// folder cannot be read.
std::string AspiLibraryPath(bool systemfolder);
bool LoadAspi();
void UnloadAspi();
// Drops the handle and entry points without releasing the library.
void ForgetAspi();
