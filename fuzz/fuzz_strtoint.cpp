// The strict and lenient text-to-integer conversions against a reference
// parser written from the field grammar: leading blanks, a sign, then
// decimal digits or hexadecimal digits after $, x, X, 0x or 0X.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "fuzz/fuzzcheck.h"
#include "ui/errors.h"
#include "ui/speedlist.h"

namespace {

std::optional<int32_t> Reference(const std::string& text) {
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return std::nullopt;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  std::string digits = text.substr(i);
  bool hex = false;
  for (const char* prefix : {"0x", "0X", "$", "x", "X"}) {
    const std::string p(prefix);
    if (digits.compare(0, p.size(), p) == 0) {
      hex = true;
      digits.erase(0, p.size());
      break;
    }
  }
  if (digits.empty()) return std::nullopt;
  for (char c : digits)
    if (hex ? !std::isxdigit(static_cast<unsigned char>(c)) : (c < '0' || c > '9'))
      return std::nullopt;
  const size_t first = digits.find_first_not_of('0');
  const std::string significant = first == std::string::npos ? "" : digits.substr(first);

  if (hex) {
    if (significant.size() > 8) return std::nullopt;
    uint32_t value = static_cast<uint32_t>(std::strtoul(("0" + significant).c_str(), nullptr, 16));
    if (negative) value = ~value + 1;
    return static_cast<int32_t>(value);
  }
  if (significant.size() > 10) return std::nullopt;
  int64_t value = 0;
  for (char c : significant) value = value * 10 + (c - '0');
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<int32_t> expected = Reference(text);

  int32_t value = 0x5A5A5A5A;
  const bool ok = TryStrToInt(text, value);
  FUZZ_CHECK(ok == expected.has_value(), text);
  if (ok) FUZZ_CHECK(value == *expected, text + " -> " + std::to_string(value));

  for (int32_t fallback : {0, -1, 0x5A5A5A5A}) {
    const int32_t lenient = StrToIntDef(text, fallback);
    FUZZ_CHECK(lenient == expected.value_or(fallback), text);
  }

  try {
    const int32_t strict = StrToInt(text);
    FUZZ_CHECK(expected && strict == *expected, text);
  } catch (const EConvertError& error) {
    FUZZ_CHECK(!expected, text);
    // The message is a C string: a NUL in the field ends it there.
    const std::string message = "'" + text + "' is not a valid integer value";
    FUZZ_CHECK(error.what() == message.substr(0, message.find('\0')), error.what());
  }
  return 0;
}
