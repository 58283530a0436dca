// The hexadecimal conversion of the interface language, directly and through
// the registry route of the language query on both platform families.
#include <windows.h>
#include <winsim.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "fuzz/fuzzcheck.h"
#include "ui/UILanguage.h"

namespace {

// Hexadecimal digits only, at most 8 after any leading zeros; the C
// library's conversion gives the value.
std::optional<uint32_t> Reference(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return std::nullopt;
  const std::string significant = text.substr(std::min(text.find_first_not_of('0'), text.size()));
  if (significant.size() > 8) return std::nullopt;
  return static_cast<uint32_t>(std::strtoul(("0" + significant).c_str(), nullptr, 16));
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
