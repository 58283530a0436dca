#include "ui/tokens.h"

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
