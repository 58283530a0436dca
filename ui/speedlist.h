// The stored speed lists: registry store, text form, fields, entry texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "drive/tcddrive.h"

extern const char* const kSpeedListKeyPath;  // "\Software\Orun\Kelvarin" under HKEY_CURRENT_USER

std::string SpeedListKey(const std::string& description, uint8_t mediaclass);
std::string FormatSpeedList(const tdynwordarray& speeds);
std::string ReadSpeedList(const std::string& name);
void WriteSpeedList(const std::string& name, const std::string& list);

// Fields between delimiters, numbered from 1; a delimiter at the very end
// closes the last field rather than opening an empty one. GetToken answers ""
// for a number outside 1 to CountTokens. SplitTokens gives all of them at
// once: element i - 1 is GetToken(text, delimiter, i).
int CountTokens(const std::string& text, char delimiter);
std::string GetToken(const std::string& text, char delimiter, int n);
std::vector<std::string> SplitTokens(const std::string& text, char delimiter);
std::string DropLastChars(const std::string& text, int n);

// Text to 32-bit integer: leading spaces, sign, decimal or $/x/X/0x/0X hex.
bool TryStrToInt(const std::string& text, int32_t& value);
int32_t StrToIntDef(const std::string& text, int32_t fallback);  // lenient
int32_t StrToInt(const std::string& text);                        // strict: EConvertError

int SpeedMultiple(uint16_t speed, uint8_t mediaclass);
std::string SpeedText(const std::string& field, uint8_t mediaclass);
int MatchCurrentSpeed(const std::vector<std::string>& entries, uint16_t current,
                      uint8_t mediaclass);  // -1 for none
