// The field operations on speed list texts. Byte 0 is the delimiter, byte 1
// the count for DropLastChars (signed), the rest is the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzzcheck.h"
#include "ui/speedlist.h"

namespace {

// Taking field n alone scans the text up to it, so checking every field one
// by one costs fields x length; past this budget only the first and last
// kEnds fields are taken one by one (the split itself is checked whole).
constexpr size_t kEveryFieldBudget = size_t{1} << 22;
constexpr int kEnds = 128;

int ReferenceCount(const std::string& text, char delimiter) {
  if (text.empty() || text == std::string(1, delimiter)) return 0;
  int count = 0;
  for (char c : text) count += c == delimiter;
  return text.back() == delimiter ? count : count + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const char delimiter = static_cast<char>(data[0]);
  const int drop = static_cast<int8_t>(data[1]);
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

  const int count = CountTokens(text, delimiter);
  FUZZ_CHECK(count == ReferenceCount(text, delimiter), text);

  // The split's fields hold no delimiter and, joined with one after each,
  // give the text back with a delimiter at its end: that fixes every field.
  const std::vector<std::string> split = SplitTokens(text, delimiter);
  FUZZ_CHECK(split.size() == static_cast<size_t>(count), text + " split " + std::to_string(split.size()));
  std::string joined;
  for (size_t i = 0; i < split.size(); ++i) {
    FUZZ_CHECK(split[i].find(delimiter) == std::string::npos, text + " field " + std::to_string(i + 1));
    joined += split[i];
    joined += delimiter;
  }
  std::string terminated = text;
  if (terminated.empty() || terminated.back() != delimiter) terminated += delimiter;
  if (count > 0) FUZZ_CHECK(joined == terminated, text + " joined " + joined);

  // Field by field, GetToken gives the split's fields.
  const bool every = static_cast<size_t>(count) * text.size() <= kEveryFieldBudget;
  for (int n = 1; n <= count; ++n) {
    if (!every && n > kEnds && n <= count - kEnds) n = count - kEnds + 1;
    FUZZ_CHECK(GetToken(text, delimiter, n) == split[n - 1], text + " field " + std::to_string(n));
  }

  for (int n : {-1, 0, count + 1, count + 2})
    FUZZ_CHECK(GetToken(text, delimiter, n).empty(), text + " n " + std::to_string(n));

  const std::string dropped = DropLastChars(text, drop);
  if (drop >= 0) {
    const size_t keep = text.size() > static_cast<size_t>(drop) ? text.size() - drop : 0;
    FUZZ_CHECK(dropped == text.substr(0, keep), text + " drop " + std::to_string(drop));
  } else {
    FUZZ_CHECK(text.compare(0, dropped.size(), dropped) == 0 && dropped.size() <= text.size(),
               text + " drop " + std::to_string(drop));
  }
  return 0;
}
