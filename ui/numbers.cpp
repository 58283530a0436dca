#include "ui/numbers.h"

#include "ui/errors.h"

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
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
