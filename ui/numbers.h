// Texts to integers.
#pragma once

#include <cstdint>
#include <string>

// The value of one hexadecimal digit (0-9, a-f, A-F), -1 for any other character.
int HexDigit(char c);

// Text to 32-bit integer: leading spaces, sign, decimal or $/x/X/0x/0X hex.
bool TryStrToInt(const std::string& text, int32_t& value);
int32_t StrToIntDef(const std::string& text, int32_t fallback);  // lenient
int32_t StrToInt(const std::string& text);                        // strict: EConvertError
