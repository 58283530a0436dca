// The stored speed lists: the registry store and the text form (speedlist),
// their fields (tokens), conversions (numbers) and the entry texts (speedtext).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drive/tcddrive.h"
#include "ui/numbers.h"
#include "ui/tokens.h"

extern const char* const kSpeedListKeyPath;  // "\Software\Orun\Kelvarin" under HKEY_CURRENT_USER

std::string SpeedListKey(const std::string& description, uint8_t mediaclass);
std::string FormatSpeedList(const tdynwordarray& speeds);
std::string ReadSpeedList(const std::string& name);
void WriteSpeedList(const std::string& name, const std::string& list);

int SpeedMultiple(uint16_t speed, uint8_t mediaclass);
std::string SpeedText(const std::string& field, uint8_t mediaclass);
int MatchCurrentSpeed(const std::vector<std::string>& entries, uint16_t current,
                      uint8_t mediaclass);  // -1 for none
