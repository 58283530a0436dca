// A detection result through the list text and back: every field converts to
// its speed, every entry text matches an extended-precision reference, and
// the text survives the registry store unchanged.
#include <windows.h>
#include <winsim.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzzcheck.h"
#include "ui/speedlist.h"

namespace {

// The shown multiple, with the x87's extended type standing in for the
// program's divisors (176.4L is the extended value nearest to 176.4).
int ReferenceMultiple(uint16_t speed, uint8_t mediaclass) {
  const long double divisor = mediaclass == kMediaDvd ? 1385.0L : 176.4L;
  return static_cast<int>(std::nearbyint(static_cast<long double>(speed) / divisor));
}

std::string ReferenceText(uint16_t speed, uint8_t mediaclass) {
  return speed == 0xFFFF ? "MAX" : std::to_string(ReferenceMultiple(speed, mediaclass)) + "x";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t mediaclass = data[0] % 3;
  tdynwordarray speeds;
  for (size_t i = 1; i + 1 < size && speeds.size() < 128; i += 2)
    speeds.push_back(static_cast<uint16_t>(data[i] | data[i + 1] << 8));
  const uint16_t current = speeds.empty() ? 0 : speeds.back();

  const std::string text = FormatSpeedList(speeds);
  std::string expected = "65535,";
  for (size_t i = 0; i < speeds.size(); ++i)
    expected += (i ? "," : "") + std::to_string(speeds[i]);
  FUZZ_CHECK(text == expected, text);

  FUZZ_CHECK(CountTokens(text, ',') == static_cast<int>(speeds.size()) + 1, text);
  FUZZ_CHECK(GetToken(text, ',', 1) == "65535", text);

  std::vector<std::string> entries{SpeedText(GetToken(text, ',', 1), mediaclass)};
  FUZZ_CHECK(entries[0] == "MAX", text);
  int expectedMatch = -1;
  const std::string currentText = std::to_string(ReferenceMultiple(current, mediaclass)) + "x";
  for (size_t i = 0; i < speeds.size(); ++i) {
    const std::string field = GetToken(text, ',', static_cast<int>(i) + 2);
    FUZZ_CHECK(static_cast<uint16_t>(StrToInt(field)) == speeds[i], field);
    entries.push_back(SpeedText(field, mediaclass));
    FUZZ_CHECK(entries.back() == ReferenceText(speeds[i], mediaclass), field + " " + entries.back());
    if (entries.back() == currentText) expectedMatch = static_cast<int>(i) + 1;
  }
  FUZZ_CHECK(MatchCurrentSpeed(entries, current, mediaclass) == expectedMatch, text);

  winsim::Reset();
  const std::string name = SpeedListKey("1:0:0 ACME     DVD-RW X1        1.0  (E:)", mediaclass);
  WriteSpeedList(name, text);
  FUZZ_CHECK(ReadSpeedList(name) == text, text);
  FUZZ_CHECK(winsim::NothingOpen(), text);
  return 0;
}
