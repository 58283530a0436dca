#include "ui/UILanguage.h"

#include <windows.h>

#include <string>
#include <vector>

#include "scsi/winhandles.h"

namespace {

// An opened key, closed on every path.
class OpenedKey {
 public:
  OpenedKey(HKEY root, const char* path) {
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~OpenedKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

DWORD PlatformId() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return 0;
  return info.dwPlatformId;
}

std::string RegistryLocale() {
  std::string text;
  const bool nt = PlatformId() == VER_PLATFORM_WIN32_NT;
  OpenedKey key(nt ? HKEY_USERS : HKEY_CURRENT_USER,
                nt ? ".DEFAULT\\Control Panel\\International"
                   : "Control Panel\\Desktop\\ResourceLocale");
  if (key.get() != nullptr) ReadRegString(key.get(), nt ? "Locale" : "", text);
  return text;
}

}  // namespace

bool ReadRegValue(HKEY key, const std::string& name, std::string& text, DWORD type1,
                  DWORD type2) {
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  if (type != type1 && type != type2) return false;
  if (size < 2) {
    text.clear();
    return true;
  }
  // The size counts one terminating NUL: read all of it, keep the rest.
  std::vector<char> data(size);
  DWORD read = size;
  if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<LPBYTE>(data.data()),
                       &read) != ERROR_SUCCESS)
    return false;
  text.assign(data.data(), size - 1);
  return true;
}

bool ReadRegString(HKEY key, const std::string& name, std::string& text) {
  return ReadRegValue(key, name, text, REG_SZ, REG_EXPAND_SZ);
}

bool TryHexToUInt(const std::string& text, DWORD& value) {
  if (text.empty()) return false;
  DWORD result = 0;
  for (char c : text) {
    DWORD digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<DWORD>(c - '0');
    else if (c >= 'a' && c <= 'f')
      digit = static_cast<DWORD>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<DWORD>(c - 'A' + 10);
    else
      return false;
    if (result > 0x0FFFFFFFu) return false;
    result = (result << 4) | digit;
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
