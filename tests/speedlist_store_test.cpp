// The speed lists' registry store under the current user.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>

#include <string>
#include <vector>

#include "ui/errors.h"
#include "ui/speedlist.h"

namespace {

using winsim::Api;
using winsim::machine;

const char kKey[] = "Software\\Orun\\Kelvarin";
const char kName[] = "1:0:0 VENDOR   PRODUCT          1.00 (E:)";

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

int Calls(Api api) { return machine().count.calls[static_cast<size_t>(api)]; }

class SpeedListStore : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override {
    EXPECT_EQ(machine().count.openKeys, 0);
    EXPECT_TRUE(winsim::NothingOpen());
  }

  // The registry error raised by reading kName, or "" when none is.
  static std::string ReadError() {
    try {
      ReadSpeedList(kName);
    } catch (const ERegistryException& e) {
      return e.what();
    }
    return "";
  }
};

TEST_F(SpeedListStore, WrittenListReadsBack) {
  WriteSpeedList(kName, "65535,9695,7056,5645");
  EXPECT_EQ(ReadSpeedList(kName), "65535,9695,7056,5645");
}

TEST_F(SpeedListStore, WriteCreatesKeyDirectlyUnderCurrentUser) {
  WriteSpeedList(kName, "65535,7056");
  const winsim::RegValue* value = winsim::GetValue(HKEY_CURRENT_USER, kKey, kName);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(value->data, Bytes(std::string("65535,7056\0", 11)));
  EXPECT_EQ(winsim::FindKey(HKEY_CURRENT_USER, "Orun"), nullptr);
  EXPECT_EQ(winsim::FindKey(HKEY_USERS, kKey), nullptr);
}

TEST_F(SpeedListStore, NewDetectionOverwritesList) {
  WriteSpeedList(kName, "65535,7056");
  WriteSpeedList(kName, "65535,9695");
  EXPECT_EQ(ReadSpeedList(kName), "65535,9695");
}

TEST_F(SpeedListStore, DvdAndOtherListsLiveSideBySide) {
  WriteSpeedList(SpeedListKey(kName, kMediaCd), "65535,7056");
  WriteSpeedList(SpeedListKey(kName, kMediaDvd), "65535,22160");
  EXPECT_EQ(ReadSpeedList(SpeedListKey(kName, kMediaOther)), "65535,7056");
  EXPECT_EQ(ReadSpeedList(SpeedListKey(kName, kMediaDvd)), "65535,22160");
}

TEST_F(SpeedListStore, AbsentKeyReadsEmpty) {
  EXPECT_EQ(ReadSpeedList(kName), "");
  EXPECT_EQ(winsim::FindKey(HKEY_CURRENT_USER, kKey), nullptr);
}

TEST_F(SpeedListStore, AbsentValueReadsEmpty) {
  winsim::SetString(HKEY_CURRENT_USER, kKey, "another drive", "65535,7056");
  EXPECT_EQ(ReadSpeedList(kName), "");
}

TEST_F(SpeedListStore, EmptyValueReadsEmpty) {
  winsim::SetValue(HKEY_CURRENT_USER, kKey, kName, REG_SZ, {});
  EXPECT_EQ(ReadSpeedList(kName), "");
}

TEST_F(SpeedListStore, LoneNulReadsEmpty) {
  winsim::SetValue(HKEY_CURRENT_USER, kKey, kName, REG_SZ, {0});
  EXPECT_EQ(ReadSpeedList(kName), "");
}

TEST_F(SpeedListStore, KeyRefusingFullAccessReadsAsAbsent) {
  winsim::SetString(HKEY_CURRENT_USER, kKey, kName, "65535,7056");
  winsim::MakeKey(HKEY_CURRENT_USER, kKey).refuseAllAccess = true;
  EXPECT_EQ(ReadSpeedList(kName), "");
}

TEST_F(SpeedListStore, ExpandableTextReturnedAsStored) {
  winsim::SetString(HKEY_CURRENT_USER, kKey, kName, "65535,%SPEED%", REG_EXPAND_SZ);
  EXPECT_EQ(ReadSpeedList(kName), "65535,%SPEED%");
}

TEST_F(SpeedListStore, EmbeddedNulEndsTheList) {
  winsim::SetValue(HKEY_CURRENT_USER, kKey, kName, REG_SZ,
                   Bytes(std::string("65535,7056\0" "9695\0", 16)));
  EXPECT_EQ(ReadSpeedList(kName), "65535,7056");
}

TEST_F(SpeedListStore, ValueWithoutTerminatingNulReadWhole) {
  winsim::SetValue(HKEY_CURRENT_USER, kKey, kName, REG_SZ, Bytes("65535,7056"));
  EXPECT_EQ(ReadSpeedList(kName), "65535,7056");
}

TEST_F(SpeedListStore, NonTextValueRaisesInvalidDataType) {
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
    winsim::SetValue(HKEY_CURRENT_USER, kKey, kName, c.type, c.data);
    EXPECT_EQ(ReadError(), std::string("Invalid data type for '") + kName + "'") << c.type;
    EXPECT_EQ(machine().count.openKeys, 0) << c.type;
  }
}

TEST_F(SpeedListStore, FailedReadRaisesFailedToGetData) {
  winsim::SetString(HKEY_CURRENT_USER, kKey, kName, "65535,7056");
  winsim::ArmFailure({Api::RegQueryValueExA}, 2);
  EXPECT_EQ(ReadError(), std::string("Failed to get data for '") + kName + "'");
  EXPECT_EQ(Calls(Api::RegQueryValueExA), 2);
}

TEST_F(SpeedListStore, FailedWriteRaisesFailedToSetData) {
  WriteSpeedList(kName, "65535,7056");
  machine().failAlways[static_cast<size_t>(Api::RegSetValueExA)] = true;
  try {
    WriteSpeedList(kName, "65535,9695");
    ADD_FAILURE() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(std::string(e.what()), std::string("Failed to set data for '") + kName + "'");
  }
  EXPECT_EQ(machine().count.openKeys, 0);
  machine().failAlways[static_cast<size_t>(Api::RegSetValueExA)] = false;
  EXPECT_EQ(ReadSpeedList(kName), "65535,7056");
}

TEST_F(SpeedListStore, UncreatableKeyWritesNothingSilently) {
  machine().failAlways[static_cast<size_t>(Api::RegCreateKeyExA)] = true;
  EXPECT_NO_THROW(WriteSpeedList(kName, "65535,7056"));
  EXPECT_EQ(Calls(Api::RegSetValueExA), 0);
  machine().failAlways[static_cast<size_t>(Api::RegCreateKeyExA)] = false;
  EXPECT_EQ(ReadSpeedList(kName), "");
}

TEST_F(SpeedListStore, KeyRefusingFullAccessKeepsItsListOnWrite) {
  winsim::SetString(HKEY_CURRENT_USER, kKey, kName, "65535,7056");
  winsim::MakeKey(HKEY_CURRENT_USER, kKey).refuseAllAccess = true;
  EXPECT_NO_THROW(WriteSpeedList(kName, "65535,9695"));
  const winsim::RegValue* value = winsim::GetValue(HKEY_CURRENT_USER, kKey, kName);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->data, Bytes(std::string("65535,7056\0", 11)));
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
