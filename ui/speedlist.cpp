#include "ui/speedlist.h"

#include <windows.h>

#include <string>
#include <vector>

#include "drive/mmc.h"
#include "ui/errors.h"

const char* const kSpeedListKeyPath = "\\Software\\Orun\\Kelvarin";

namespace {

std::string Formatted(const char* before, const std::string& name, const char* after) {
  return std::string(before) + name + after;
}

// One key under a root, held for a single read or write and closed on every
// path, without flushing.
class RegistryAccessor {
 public:
  explicit RegistryAccessor(HKEY root) : root_(root) {}
  ~RegistryAccessor() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegistryAccessor(const RegistryAccessor&) = delete;
  RegistryAccessor& operator=(const RegistryAccessor&) = delete;

  // The registry refuses a sub-key path with a leading backslash, so an
  // absolute path is taken relative to the root here.
  bool OpenKey(const std::string& path, bool canCreate) {
    const std::string sub = (!path.empty() && path[0] == '\\') ? path.substr(1) : path;
    HKEY key = nullptr;
    LSTATUS status;
    if (canCreate) {
      DWORD disposition = 0;
      status = RegCreateKeyExA(root_, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &key, &disposition);
    } else {
      status = RegOpenKeyExA(root_, sub.c_str(), 0, KEY_ALL_ACCESS, &key);
    }
    if (status != ERROR_SUCCESS) return false;
    key_ = key;
    return true;
  }

  std::string ReadString(const std::string& name) {
    DWORD size = 0;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, nullptr, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0)
      return std::string();
    std::vector<char> data(size);
    DWORD type = REG_NONE;
    DWORD read = size;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type,
                         reinterpret_cast<LPBYTE>(data.data()), &read) != ERROR_SUCCESS)
      throw ERegistryException(Formatted("Failed to get data for '", name, "'"));
    if (type != REG_SZ && type != REG_EXPAND_SZ)
      throw ERegistryException(Formatted("Invalid data type for '", name, "'"));
    // A value stored without its terminating NUL ends at the data's end.
    const size_t length = read < size ? read : size;
    size_t end = 0;
    while (end < length && data[end] != '\0') ++end;
    return std::string(data.data(), end);
  }

  void WriteString(const std::string& name, const std::string& text) {
    if (RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS)
      throw ERegistryException(Formatted("Failed to set data for '", name, "'"));
  }

 private:
  HKEY root_;
  HKEY key_ = nullptr;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A divisor as an extended-precision value: significand * 2^(exponent - 63),
// with the significand's top bit set.
struct ExtendedDivisor {
  uint64_t significand;
  int exponent;
};

// The display's units, not the detection ladder's steps: the CD's is the
// extended value nearest to 176.4 (a hair below it), not 177.
constexpr ExtendedDivisor kCdDisplayDivisor{0xB066666666666666ULL, 7};
// The DVD's is the ladder's step exactly, 1385 (11 significant bits).
constexpr ExtendedDivisor kDvdUnit{uint64_t{mmc::kDvdSpeedStep} << 53, 10};
static_assert(mmc::kDvdSpeedStep >> 10 == 1, "the DVD divisor's exponent follows its top bit");

// speed / divisor rounded to a 64-bit significand (nearest, ties to even) as
// the x87 divides, then that quotient rounded to an integer, halves to even.
// Integer long division throughout, so every compiler gives the same answer.
int RoundedQuotient(uint16_t speed, ExtendedDivisor divisor) {
  if (speed == 0) return 0;
  const uint64_t d = divisor.significand;
  // Speed bit j weighs 2^(j + 63 - exponent) in the dividend; quotient bits
  // come out with the weight of the dividend bit just brought down.
  int weight = 15 + 63 - divisor.exponent;
  uint64_t remainder = 0;
  uint64_t significand = 0;
  int leading = 0;  // weight of the quotient's leading one
  int bits = 0;     // significand bits collected
  bool round = false;
  while (bits <= 64) {
    const int j = weight - (63 - divisor.exponent);
    const uint64_t in = (j >= 0 && j < 16) ? (speed >> j) & 1u : 0u;
    // remainder < d < 2^64, so 2 * remainder + in < 2 * d: one subtraction
    // at most, done modulo 2^64 when the doubling carries out.
    const bool carry = (remainder >> 63) != 0;
    remainder = (remainder << 1) | in;
    const bool one = carry || remainder >= d;
    if (one) remainder -= d;
    if (bits == 0 && one) leading = weight;
    if (bits > 0 || one) {
      if (bits < 64)
        significand = (significand << 1) | (one ? 1u : 0u);
      else
        round = one;
      ++bits;
    }
    --weight;
  }
  const bool sticky = remainder != 0;
  if (round && (sticky || (significand & 1u) != 0)) {
    ++significand;
    if (significand == 0) {
      significand = 1ULL << 63;
      ++leading;
    }
  }
  // The rounded quotient is significand * 2^(leading - 63), below 2^9, so
  // at least 55 of its bits are fraction.
  const int fraction = 63 - leading;
  if (fraction > 64) return 0;
  const uint64_t half = 1ULL << (fraction - 1);
  const uint64_t whole = fraction == 64 ? 0 : significand >> fraction;
  const uint64_t rest = fraction == 64 ? significand : significand & ((half << 1) - 1);
  uint64_t result = whole;
  if (rest > half || (rest == half && (whole & 1u) != 0)) ++result;
  return static_cast<int>(result);
}

}  // namespace

std::string SpeedListKey(const std::string& description, uint8_t mediaclass) {
  return mediaclass == kMediaDvd ? description + " DVD" : description;
}

std::string FormatSpeedList(const tdynwordarray& speeds) {
  std::string text = "65535,";
  for (size_t i = 0; i < speeds.size(); ++i) {
    text += std::to_string(speeds[i]);
    if (i + 1 < speeds.size()) text += ',';
  }
  return text;
}

std::string ReadSpeedList(const std::string& name) {
  RegistryAccessor registry(HKEY_CURRENT_USER);
  if (!registry.OpenKey(kSpeedListKeyPath, false)) return std::string();
  return registry.ReadString(name);
}

void WriteSpeedList(const std::string& name, const std::string& list) {
  RegistryAccessor registry(HKEY_CURRENT_USER);
  if (!registry.OpenKey(kSpeedListKeyPath, true)) return;
  registry.WriteString(name, list);
}

namespace {

// The one reading of a field list: each delimiter ends a field, and the text's
// end ends the last field unless a delimiter just did. A text with no field
// in it ("" or a lone delimiter) has none. Hands each field to visit as
// (start, length) and stops early when visit answers false.
template <typename Visit>
void ScanTokens(const std::string& text, char delimiter, Visit visit) {
  if (text.empty() || (text.size() == 1 && text[0] == delimiter)) return;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(delimiter, start);
    if (end == std::string::npos) end = text.size();
    if (!visit(start, end - start)) return;
    start = end + 1;
  }
}

}  // namespace

int CountTokens(const std::string& text, char delimiter) {
  int count = 0;
  ScanTokens(text, delimiter, [&count](size_t, size_t) {
    ++count;
    return true;
  });
  return count;
}

std::string GetToken(const std::string& text, char delimiter, int n) {
  std::string field;
  if (n < 1) return field;
  int i = 0;
  ScanTokens(text, delimiter, [&](size_t start, size_t length) {
    if (++i < n) return true;
    field.assign(text, start, length);
    return false;
  });
  return field;
}

std::vector<std::string> SplitTokens(const std::string& text, char delimiter) {
  std::vector<std::string> fields;
  ScanTokens(text, delimiter, [&](size_t start, size_t length) {
    fields.emplace_back(text, start, length);
    return true;
  });
  return fields;
}

std::string DropLastChars(const std::string& text, int n) {
  if (n <= 0) return text;
  if (text.size() <= static_cast<size_t>(n)) return std::string();
  return text.substr(0, text.size() - static_cast<size_t>(n));
}

bool TryStrToInt(const std::string& text, int32_t& value) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    i += 1;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == n) return false;

  if (hex) {
    // At most 8 significant digits; the 32 bits are taken as signed, and a
    // sign negates them modulo 2^32.
    uint32_t magnitude = 0;
    for (; i < n; ++i) {
      const int digit = HexDigit(text[i]);
      if (digit < 0 || magnitude > 0x0FFFFFFFu) return false;
      magnitude = (magnitude << 4) | static_cast<uint32_t>(digit);
    }
    if (negative) magnitude = 0u - magnitude;
    value = static_cast<int32_t>(magnitude);
    return true;
  }

  const uint32_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
  uint32_t magnitude = 0;
  for (; i < n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    const uint32_t digit = static_cast<uint32_t>(text[i] - '0');
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  value = static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
  return true;
}

int32_t StrToIntDef(const std::string& text, int32_t fallback) {
  int32_t value;
  return TryStrToInt(text, value) ? value : fallback;
}

int32_t StrToInt(const std::string& text) {
  int32_t value;
  if (!TryStrToInt(text, value))
    throw EConvertError("'" + text + "' is not a valid integer value");
  return value;
}

int SpeedMultiple(uint16_t speed, uint8_t mediaclass) {
  return RoundedQuotient(speed, mediaclass == kMediaDvd ? kDvdUnit : kCdDisplayDivisor);
}

std::string SpeedText(const std::string& field, uint8_t mediaclass) {
  const uint16_t speed = static_cast<uint16_t>(StrToIntDef(field, 0));
  if (speed == 0xFFFF) return "MAX";
  return std::to_string(SpeedMultiple(speed, mediaclass)) + "x";
}

int MatchCurrentSpeed(const std::vector<std::string>& entries, uint16_t current,
                      uint8_t mediaclass) {
  const std::string multiple = std::to_string(SpeedMultiple(current, mediaclass));
  int result = -1;
  for (size_t i = 0; i < entries.size(); ++i)
    if (DropLastChars(entries[i], 1) == multiple) result = static_cast<int>(i);
  return result;
}
