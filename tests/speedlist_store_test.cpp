// The speed lists' registry store under the current user.
#include "tests/unit1_fixture.h"
#include "tests/expected_texts.h"
#include "ui/errors.h"
#include "ui/speedlist.h"

namespace {

using winsim::Api;

const char kKey[] = "Software\\Orun\\Kelvarin";
const char kName[] = "1:0:0 VENDOR   PRODUCT          1.00 (E:)";

class SpeedListStore : public SimulatedWindowsTest {
 protected:
  // The registry error raised by running op, or "" when none is.
  template <typename Op>
  static std::string ErrorOf(Op op) {
    try {
      op();
    } catch (const ERegistryException& e) {
      return e.what();
    }
    return "";
  }
  static void Store(const std::vector<uint8_t>& data, DWORD type = REG_SZ) {
    winsim::SetValue(HKEY_CURRENT_USER, kKey, kName, type, data);
  }
  static std::vector<uint8_t> Stored() {
    const winsim::RegValue* value = winsim::GetValue(HKEY_CURRENT_USER, kKey, kName);
    EXPECT_NE(value, nullptr);
    EXPECT_EQ(value ? value->type : 0, static_cast<DWORD>(REG_SZ));
    return value ? value->data : std::vector<uint8_t>();
  }
};

TEST_F(SpeedListStore, WrittenListIsOneTextValueDirectlyUnderCurrentUser) {
  WriteSpeedList(kName, "65535,7056");
  WriteSpeedList(kName, "65535,9695,7056,5645");  // a new detection overwrites
  WriteSpeedList(SpeedListKey(kName, kMediaDvd), "65535,22160");
  EXPECT_EQ(Stored(), Bytes(std::string("65535,9695,7056,5645\0", 21)));
  EXPECT_EQ(ReadSpeedList(SpeedListKey(kName, kMediaOther)), "65535,9695,7056,5645");
  EXPECT_EQ(ReadSpeedList(SpeedListKey(kName, kMediaDvd)), "65535,22160");
  EXPECT_EQ(winsim::FindKey(HKEY_CURRENT_USER, "Orun"), nullptr);
  EXPECT_EQ(winsim::FindKey(HKEY_USERS, kKey), nullptr);
}

TEST_F(SpeedListStore, ReadsTheTextUpToItsFirstNulOrNothing) {
  EXPECT_EQ(ReadSpeedList(kName), "");
  EXPECT_EQ(winsim::FindKey(HKEY_CURRENT_USER, kKey), nullptr) << "a read creates nothing";
  const struct {
    const char* name;
    void (*setup)();
    const char* text;
  } cases[] = {
      {"absent value",
       [] { winsim::SetString(HKEY_CURRENT_USER, kKey, "another drive", "65535,7056"); }, ""},
      {"empty value", [] { Store({}); }, ""},
      {"lone NUL", [] { Store({0}); }, ""},
      {"key refusing full access",
       [] {
         Store(Bytes(std::string("65535,7056\0", 11)));
         winsim::MakeKey(HKEY_CURRENT_USER, kKey).refuseAllAccess = true;
       },
       ""},
      {"REG_EXPAND_SZ as stored",
       [] { Store(Bytes(std::string("65535,%SPEED%\0", 14)), REG_EXPAND_SZ); }, "65535,%SPEED%"},
      {"embedded NUL", [] { Store(Bytes(std::string("65535,7056\0" "9695\0", 16))); }, "65535,7056"},
      {"no terminating NUL", [] { Store(Bytes("65535,7056")); }, "65535,7056"},
  };
  for (const auto& c : cases) {
    winsim::Reset();
    c.setup();
    EXPECT_EQ(ReadSpeedList(kName), c.text) << c.name;
    EXPECT_TRUE(winsim::NothingOpen()) << c.name;
  }
}

TEST_F(SpeedListStore, NonTextValueRaisesInvalidDataTypeWithTheKeyClosed) {
  const struct {
    DWORD type;
    std::vector<uint8_t> data;
  } cases[] = {
      {REG_DWORD, {0x90, 0x1B, 0, 0}},
      {REG_BINARY, Bytes("65535,7056")},
      {REG_MULTI_SZ, Bytes(std::string("65535\0\0", 7))},
      {REG_NONE, Bytes("x")},
  };
  for (const auto& c : cases) {
    Store(c.data, c.type);
    EXPECT_EQ(ErrorOf([] { ReadSpeedList(kName); }),
              InvalidTypeError(kName)) << c.type;
    EXPECT_EQ(M().count.openKeys, 0) << c.type;
  }
}

TEST_F(SpeedListStore, FailedReadOrWriteRaisesItsError) {
  winsim::SetString(HKEY_CURRENT_USER, kKey, kName, "65535,7056");
  winsim::ArmFailure({Api::RegQueryValueExA}, 2);
  EXPECT_EQ(ErrorOf([] { ReadSpeedList(kName); }),
            GetDataError(kName));
  EXPECT_EQ(Calls(Api::RegQueryValueExA), 2);
  EXPECT_EQ(M().count.openKeys, 0);

  FailAlways(Api::RegSetValueExA);
  EXPECT_EQ(ErrorOf([] { WriteSpeedList(kName, "65535,9695"); }),
            SetDataError(kName));
  EXPECT_EQ(M().count.openKeys, 0);
  EXPECT_EQ(Stored(), Bytes(std::string("65535,7056\0", 11)));
}

TEST_F(SpeedListStore, KeyThatCannotBeCreatedOrFullyOpenedWritesNothingSilently) {
  for (bool refusing : {false, true}) {
    winsim::Reset();
    if (refusing) {
      Store(Bytes(std::string("65535,7056\0", 11)));
      winsim::MakeKey(HKEY_CURRENT_USER, kKey).refuseAllAccess = true;
    } else {
      FailAlways(Api::RegCreateKeyExA);
    }
    EXPECT_EQ(ErrorOf([] { WriteSpeedList(kName, "65535,9695"); }), "") << refusing;
    EXPECT_EQ(Calls(Api::RegSetValueExA), 0) << refusing;
    if (refusing) {
      EXPECT_EQ(Stored(), Bytes(std::string("65535,7056\0", 11)));
    } else {
      EXPECT_EQ(winsim::GetValue(HKEY_CURRENT_USER, kKey, kName), nullptr);
    }
  }
}

TEST_F(SpeedListStore, EveryCallOpensAndClosesItsOwnKey) {
  WriteSpeedList(kName, "65535,7056");
  ReadSpeedList(kName);
  ReadSpeedList(kName);
  EXPECT_EQ(Calls(Api::RegCreateKeyExA), 1);
  EXPECT_EQ(Calls(Api::RegOpenKeyExA), 2);
  EXPECT_EQ(Calls(Api::RegCloseKey), 3);
}

}  // namespace
