#include "ui/UILanguage.h"

#include <windows.h>

#include <string>

#include "scsi/platform.h"
#include "scsi/winhandles.h"
#include "ui/numbers.h"
#include "ui/regvalue.h"

namespace {

std::string RegistryLocale() {
  std::string text;
  // A guess at the language costs little when wrong: an unreadable platform
  // counts as none, and the older systems' place is read.
  const bool nt = PlatformId(0) == VER_PLATFORM_WIN32_NT;
  HKEY opened = nullptr;
  if (RegOpenKeyExA(nt ? HKEY_USERS : HKEY_CURRENT_USER,
                    nt ? ".DEFAULT\\Control Panel\\International"
                       : "Control Panel\\Desktop\\ResourceLocale",
                    0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
    return text;
  const unique_key key(opened);
  ReadRegString(key.get(), nt ? "Locale" : "", text);
  return text;
}

}  // namespace

bool ReadRegValue(HKEY key, const std::string& name, std::string& text, DWORD type1,
                  DWORD type2) {
  tregvalue value(key, name);
  if (!value.Found()) return false;
  if (value.Type() != type1 && value.Type() != type2) return false;
  if (value.Size() < 2) {
    text.clear();
    return true;
  }
  // The size counts one terminating NUL: read all of it, keep the rest.
  if (!value.Read()) return false;
  text = value.Bytes(value.Size() - 1);
  return true;
}

bool ReadRegString(HKEY key, const std::string& name, std::string& text) {
  return ReadRegValue(key, name, text, REG_SZ, REG_EXPAND_SZ);
}

bool TryHexToUInt(const std::string& text, DWORD& value) {
  if (text.empty()) return false;
  DWORD result = 0;
  for (char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0 || result > 0x0FFFFFFFu) return false;
    result = (result << 4) | static_cast<DWORD>(digit);
  }
  value = result;
  return true;
}

DWORD GetUILanguage() {
  // Windows 2000 and later; the older systems name their locale in the registry.
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  const auto getUserDefaultUILanguage =
      kernel32 == nullptr ? nullptr
                          : ProcAddress<decltype(&GetUserDefaultUILanguage)>(
                                kernel32, "GetUserDefaultUILanguage");
  if (getUserDefaultUILanguage != nullptr) return getUserDefaultUILanguage();

  DWORD language = 0;
  if (!TryHexToUInt(RegistryLocale(), language)) return 0;
  return language;
}
