// The hexadecimal conversion of the interface language, directly and through
// the registry route of the language query on both platform families.
#include <windows.h>
#include <winsim.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz/fuzzcheck.h"
#include "ui/UILanguage.h"

namespace {

std::optional<uint32_t> Reference(const std::string& text) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return std::nullopt;
    value = value * 16 + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<uint32_t> expected = Reference(text);

  DWORD value = 0xA5A5A5A5;
  const bool ok = TryHexToUInt(text, value);
  FUZZ_CHECK(ok == expected.has_value(), text);
  if (ok) FUZZ_CHECK(value == *expected, text);

  // Stored as a text value: the reader keeps every byte before the final NUL.
  for (bool nt : {true, false}) {
    winsim::Reset();
    if (nt) {
      winsim::SetString(HKEY_USERS, ".DEFAULT\\Control Panel\\International", "Locale", text);
    } else {
      winsim::SetNonNT();
      winsim::SetString(HKEY_CURRENT_USER, "Control Panel\\Desktop\\ResourceLocale", "", text);
    }
    winsim::machine().kernel32HasGetUserDefaultUILanguage = false;
    FUZZ_CHECK(GetUILanguage() == expected.value_or(0), text);
    FUZZ_CHECK(winsim::NothingOpen(), text);
  }
  return 0;
}
