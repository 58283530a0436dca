// The user's interface language.
#pragma once

#include <windows.h>

#include <string>

bool ReadRegValue(HKEY key, const std::string& name, std::string& text, DWORD type1,
                  DWORD type2);
bool ReadRegString(HKEY key, const std::string& name, std::string& text);
// Digits 0-9, A-F, a-f only, value within 32 bits; false otherwise.
bool TryHexToUInt(const std::string& text, DWORD& value);
DWORD GetUILanguage();

constexpr WORD kLangPortuguesePortugal = 2070;  // 0816h
