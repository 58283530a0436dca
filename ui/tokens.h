// The fields of a stored list.
#pragma once

#include <string>
#include <vector>

// What separates the fields of a stored list, in the store and the window alike.
constexpr char kFieldDelimiter = ',';

// Fields between delimiters, numbered from 1; a delimiter at the very end
// closes the last field rather than opening an empty one. GetToken answers ""
// for a number outside 1 to CountTokens. SplitTokens gives all of them at
// once: element i - 1 is GetToken(text, delimiter, i).
int CountTokens(const std::string& text, char delimiter);
std::string GetToken(const std::string& text, char delimiter, int n);
std::vector<std::string> SplitTokens(const std::string& text, char delimiter);
std::string DropLastChars(const std::string& text, int n);
