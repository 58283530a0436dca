#include "scsi/wnaspi32.h"

#include <string>

#include "scsi/Privileges.h"
#include "scsi/winhandles.h"

HMODULE aspilibrary = nullptr;
decltype(&wnaspi32_exports::GetASPI32SupportInfo) GetASPI32SupportInfo = nullptr;
decltype(&wnaspi32_exports::SendASPI32Command) SendASPI32Command = nullptr;
decltype(&wnaspi32_exports::GetASPI32Buffer) GetASPI32Buffer = nullptr;
decltype(&wnaspi32_exports::FreeASPI32Buffer) FreeASPI32Buffer = nullptr;
decltype(&wnaspi32_exports::TranslateASPI32Address) TranslateASPI32Address = nullptr;

namespace {

template <typename Fn>
void LookUp(Fn& entry, const char* name) {
  entry = ProcAddress<Fn>(aspilibrary, name);
}

}  // namespace

std::string AspiLibraryPath(bool systemfolder) {
  const char name[] = "wnaspi32.dll";
  if (!systemfolder) return name;
  char folder[MAX_PATH];
  const UINT length = GetSystemDirectoryA(folder, sizeof folder);
  // Unknown, or too long for the buffer: no path, rather than a search.
  if (length == 0 || length >= sizeof folder) return "";
  return std::string(folder, length) + "\\" + name;
}

bool LoadAspi() {
  const std::string path = AspiLibraryPath(LibrarySearchFor(IsElevated()).systemfolder);
  if (path.empty()) return false;
  aspilibrary = LoadLibraryA(path.c_str());
  if (aspilibrary == nullptr) return false;
  LookUp(GetASPI32SupportInfo, "GetASPI32SupportInfo");
  LookUp(SendASPI32Command, "SendASPI32Command");
  LookUp(GetASPI32Buffer, "GetASPI32Buffer");
  LookUp(FreeASPI32Buffer, "FreeASPI32Buffer");
  LookUp(TranslateASPI32Address, "TranslateASPI32Address");
  // A library without the two called entry points stays loaded regardless:
  // the transport is given up, not the module.
  return GetASPI32SupportInfo != nullptr && SendASPI32Command != nullptr;
}

void UnloadAspi() {
  if (aspilibrary == nullptr) return;
  FreeLibrary(aspilibrary);
  // Nothing may call into the released module, and a second release must
  // not free someone else's reference.
  ForgetAspi();
}

void ForgetAspi() {
  aspilibrary = nullptr;
  GetASPI32SupportInfo = nullptr;
  SendASPI32Command = nullptr;
  GetASPI32Buffer = nullptr;
  FreeASPI32Buffer = nullptr;
  TranslateASPI32Address = nullptr;
}
