// System information, modules and entry-point lookup, interface language.
#include <cstring>
#include <string>

#include "internal.h"

using namespace winsim;
using namespace winsim::detail;

namespace winsim::detail {

HMODULE Kernel32Module() { return reinterpret_cast<HMODULE>(uintptr_t{0x7C800000}); }
HMODULE Advapi32Module() { return reinterpret_cast<HMODULE>(uintptr_t{0x77DD0000}); }
HMODULE AspiModule() { return reinterpret_cast<HMODULE>(uintptr_t{0x10000000}); }
HMODULE ExeModule() { return reinterpret_cast<HMODULE>(uintptr_t{0x00400000}); }

}  // namespace winsim::detail

namespace {

// The loader appends ".dll" to a name without an extension.
bool IsModule(const char* name, const char* dll) {
  std::string n = name;
  if (n.find('.') == std::string::npos) n += ".dll";
  return EqualNoCase(n, dll);
}

bool AspiLoaded() { return machine().count.loadedModules > 0; }

}  // namespace

DWORD WINAPI GetVersion(void) {
  Enter(Api::GetVersion);  // cannot fail
  return machine().version;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
  if (Enter(Api::GetVersionExA)) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  // OSVERSIONINFOA, or OSVERSIONINFOEXA which is 8 bytes longer.
  if (info == nullptr || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                          info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) + 8))
    return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  const Machine& m = machine();
  info->dwMajorVersion = m.version & 0xFF;
  info->dwMinorVersion = (m.version >> 8) & 0xFF;
  info->dwBuildNumber = (m.version >> 16) & 0x7FFF;
  info->dwPlatformId = m.platformId;
  std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  if (Enter(Api::GetModuleHandleA)) return Fail(ERROR_MOD_NOT_FOUND, nullptr);
  if (name == nullptr) return ExeModule();
  if (IsModule(name, "kernel32.dll")) return Kernel32Module();
  if (IsModule(name, "advapi32.dll")) return Advapi32Module();
  if (IsModule(name, "wnaspi32.dll") && AspiLoaded()) return AspiModule();
  return Fail(ERROR_MOD_NOT_FOUND, nullptr);
}

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
  if (Enter(Api::LoadLibraryA)) return Fail(ERROR_MOD_NOT_FOUND, nullptr);
  if (name == nullptr) return Fail(ERROR_INVALID_PARAMETER, nullptr);
  machine().loadedNames.push_back(name);
  if (IsModule(name, "kernel32.dll") || IsModule(name, "advapi32.dll")) {
    Misuse(std::string("LoadLibraryA(") + name + "): a module the process already has");
    return IsModule(name, "kernel32.dll") ? Kernel32Module() : Advapi32Module();
  }
  // The library lives in the system folder: found there by name or by its
  // full path, nowhere else.
  const std::string installed = machine().systemDirectory + "\\wnaspi32.dll";
  if ((EqualNoCase(name, "wnaspi32.dll") || EqualNoCase(name, installed)) && machine().aspiPresent) {
    ++machine().count.loadedModules;
    return AspiModule();
  }
  return Fail(ERROR_MOD_NOT_FOUND, nullptr);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  if (Enter(Api::FreeLibrary)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (module == Kernel32Module() || module == Advapi32Module()) {
    Misuse("FreeLibrary on a module the program did not load");
    return TRUE;
  }
  if (module == AspiModule() && AspiLoaded()) {
    --machine().count.loadedModules;
    return TRUE;
  }
  return Fail(ERROR_MOD_NOT_FOUND, FALSE);
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  if (Enter(Api::GetProcAddress)) return Fail(ERROR_PROC_NOT_FOUND, nullptr);
  // A value below 64K is an ordinal, not a name.
  if (reinterpret_cast<uintptr_t>(name) < 0x10000) return Fail(ERROR_PROC_NOT_FOUND, nullptr);
  const Machine& m = machine();
  FARPROC found = nullptr;
  if (module == Kernel32Module()) {
    if (m.kernel32HasGetUserDefaultUILanguage && std::strcmp(name, "GetUserDefaultUILanguage") == 0)
      found = AsFarProc(&GetUserDefaultUILanguage);
  } else if (module == Advapi32Module()) {
    if (m.advapi32HasCheckTokenMembership && std::strcmp(name, "CheckTokenMembership") == 0)
      found = AsFarProc(&CheckTokenMembership);
  } else if (module == AspiModule() && AspiLoaded()) {
    found = AspiExport(name);
  } else {
    return Fail(ERROR_MOD_NOT_FOUND, nullptr);
  }
  if (found == nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
  return found;
}

// As Windows: the length without the NUL when it fits, else the size the
// buffer needs with the NUL, the buffer untouched.
UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
  if (Enter(Api::GetSystemDirectoryA)) return Fail(ERROR_NOT_ENOUGH_MEMORY, 0u);
  const std::string& folder = machine().systemDirectory;
  if (buffer == nullptr || size <= folder.size()) return static_cast<UINT>(folder.size() + 1);
  std::memcpy(buffer, folder.c_str(), folder.size() + 1);
  return static_cast<UINT>(folder.size());
}

LANGID WINAPI GetUserDefaultUILanguage(void) {
  Enter(Api::GetUserDefaultUILanguage);  // cannot fail
  return machine().uiLanguage;
}
