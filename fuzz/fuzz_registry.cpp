// Registry values of any type, size and content where the program reads a
// speed list or a text: ReadSpeedList, ReadRegString, and the window's
// refresh and speed choice over whatever the list value holds.
//
// Input: byte 0 picks the value type (0 to 12), the rest is the data.
#include <windows.h>
#include <winsim.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzzcheck.h"
#include "scsi/aspispti.h"
#include "tests/fakeview.h"
#include "ui/UILanguage.h"
#include "ui/Unit1.h"
#include "ui/errors.h"
#include "ui/speedlist.h"

namespace {

const char* const kStore = "Software\\Orun\\Kelvarin";
const std::string kName = "1:0:0 ACME     DVD-RW X1        1.0  (E:)";

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const DWORD type = data[0] % 13;
  const std::vector<uint8_t> value(data + 1, data + size);
  const std::string bytes(value.begin(), value.end());

  winsim::Reset();
  winsim::Machine& m = winsim::machine();
  winsim::AddCdRom(0, 1, 0, 0, 'E');
  winsim::SetValue(HKEY_CURRENT_USER, kStore, kName, type, value);

  // The list store: empty, an error, or the text up to its first NUL.
  std::string expected;
  bool typeError = false;
  if (!value.empty()) {
    if (IsText(type))
      expected = bytes.substr(0, bytes.find('\0'));
    else
      typeError = true;
  }
  try {
    const std::string list = ReadSpeedList(kName);
    FUZZ_CHECK(!typeError && list == expected, list);
  } catch (const ERegistryException& error) {
    FUZZ_CHECK(typeError, error.what());
    FUZZ_CHECK(std::string(error.what()) == "Invalid data type for '" + kName + "'", error.what());
  }
  FUZZ_CHECK(winsim::NothingOpen(), "open after ReadSpeedList");

  // The text reader: every byte but the last (the terminator) of a text value.
  {
    HKEY key = nullptr;
    FUZZ_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, kStore, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS,
               "open");
    std::string text = "poison";
    const bool ok = ReadRegString(key, kName, text);
    RegCloseKey(key);
    FUZZ_CHECK(ok == IsText(type), "ReadRegString answered " + std::to_string(ok));
    if (!ok) FUZZ_CHECK(text == "poison", text);
    if (ok) FUZZ_CHECK(text == bytes.substr(0, bytes.empty() ? 0 : bytes.size() - 1), text);
  }

  // The window over the stored value: the refresh, then every entry chosen.
  RecordingView view;
  TForm1 form(view);
  form.FormCreate();
  FUZZ_CHECK(view.drives.items == std::vector<std::string>{kName}, "drive list");
  if (typeError) {
    FUZZ_CHECK(view.errors == std::vector<std::string>{"Invalid data type for '" + kName + "'"},
               fuzzcheck::First(view.errors));
    FUZZ_CHECK(view.speeds.items.empty() && view.questions.empty(), "speeds shown");
  } else if (expected.empty()) {
    FUZZ_CHECK(view.questions.size() == 1 && view.speeds.items.empty() && view.errors.empty(), "question");
  } else {
    FUZZ_CHECK(view.errors.empty() && view.questions.empty(), fuzzcheck::First(view.errors));
    const int count = CountTokens(expected, ',');
    FUZZ_CHECK(view.speeds.Count() == count, std::to_string(view.speeds.Count()));
    const int tries = std::min(count, 8);
    for (int k = 0; k < tries; ++k) {
      const std::string field = GetToken(expected, ',', k + 1);
      FUZZ_CHECK(view.speeds.items[k] == SpeedText(field, kMediaCd), view.speeds.items[k]);
      view.speeds.index = k;
      view.errors.clear();
      const size_t sent = m.commands.size();
      form.cbvelChange();
      int32_t speed = 0;
      if (TryStrToInt(field, speed)) {
        FUZZ_CHECK(view.errors.empty(), fuzzcheck::First(view.errors));
        const auto& cdb = m.commands.back().cdb;
        FUZZ_CHECK(m.commands.size() == sent + 2 && cdb[0] == 0xBB &&
                       cdb[2] == static_cast<uint8_t>(speed >> 8) &&
                       cdb[3] == static_cast<uint8_t>(speed),
                   field);
      } else {
        FUZZ_CHECK(view.errors ==
                       std::vector<std::string>{"'" + field + "' is not a valid integer value."},
                   field);
        FUZZ_CHECK(m.commands.size() == sent + 1, "a speed was sent for " + field);
      }
    }
  }
  FUZZ_CHECK(winsim::NothingOpen(), "open after the window");
  form.FormDestroy();
  FUZZ_CHECK(m.misuse.empty(), fuzzcheck::First(m.misuse));
  FUZZ_CHECK(view.BusyKeptRight(), "wait pointer: " + fuzzcheck::First(view.idlecalls));
  return 0;
}
