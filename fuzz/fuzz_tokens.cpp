// The field operations on speed list texts. Byte 0 is the delimiter, byte 1
// the count for DropLastChars (signed), the rest is the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzzcheck.h"
#include "ui/speedlist.h"

namespace {

// Fields are taken one by one from the front, so the cost grows with the
// square of the length; long texts add nothing the short ones do not reach.
constexpr size_t kMaxText = 256;

int ReferenceCount(const std::string& text, char delimiter) {
  if (text.empty() || text == std::string(1, delimiter)) return 0;
  int count = 0;
  for (char c : text) count += c == delimiter;
  return text.back() == delimiter ? count : count + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size - 2 > kMaxText) return 0;
  const char delimiter = static_cast<char>(data[0]);
  const int drop = static_cast<int8_t>(data[1]);
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

  const int count = CountTokens(text, delimiter);
  FUZZ_CHECK(count == ReferenceCount(text, delimiter), text);

  // Joining the fields gives the text back, less a trailing delimiter.
  std::string joined;
  for (int n = 1; n <= count; ++n) {
    const std::string field = GetToken(text, delimiter, n);
    FUZZ_CHECK(field.find(delimiter) == std::string::npos, text + " field " + std::to_string(n));
    joined += field;
    joined += delimiter;
  }
  std::string terminated = text;
  if (terminated.empty() || terminated.back() != delimiter) terminated += delimiter;
  if (count > 0) FUZZ_CHECK(joined == terminated, text + " joined " + joined);

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
