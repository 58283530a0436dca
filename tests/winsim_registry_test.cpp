// The simulated registry answers size queries, short buffers, bad paths and
// refused rights the way Win32 does.
#include <gtest/gtest.h>
#include <winsim.h>

#include <cstring>

namespace {

class WinsimRegistry : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override { EXPECT_TRUE(winsim::NothingOpen()); }
};

TEST_F(WinsimRegistry, SizeQueryCountsTheNulAndShortBufferIsLeftAlone) {
  winsim::SetString(HKEY_CURRENT_USER, "Software\\Orun", "list", "65535,7056");
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "software\\ORUN", 0, KEY_READ, &key));
  DWORD type = 0xDEADBEEF, size = 0xDEADBEEF;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "LIST", nullptr, &type, nullptr, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(11u, size);

  char buffer[12];
  std::memset(buffer, 'x', sizeof(buffer));
  size = 10;
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "list", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(buffer), &size));
  EXPECT_EQ(11u, size);
  EXPECT_EQ(std::string(12, 'x'), std::string(buffer, 12));

  size = 11;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "list", nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(buffer), &size));
  EXPECT_EQ(std::string("65535,7056\0x", 12), std::string(buffer, 12));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "other", nullptr, nullptr, nullptr, &size));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
}

TEST_F(WinsimRegistry, UnterminatedTextGetsANulOnlyWhenThereIsRoom) {
  winsim::SetValue(HKEY_CURRENT_USER, "", "", REG_SZ, {'8', '1', '6'});
  char buffer[5] = {'x', 'x', 'x', 'x', 'x'};
  DWORD size = 4;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(HKEY_CURRENT_USER, nullptr, nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(buffer), &size));
  EXPECT_EQ(3u, size);
  EXPECT_EQ(std::string("816\0x", 5), std::string(buffer, 5));
  std::memset(buffer, 'x', sizeof(buffer));
  size = 3;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(HKEY_CURRENT_USER, "", nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(buffer), &size));
  EXPECT_EQ(std::string("816xx", 5), std::string(buffer, 5));
}

TEST_F(WinsimRegistry, LeadingBackslashIsABadPathForOpenAndCreate) {
  winsim::MakeKey(HKEY_CURRENT_USER, "Software\\Orun\\Kelvarin");
  HKEY key = nullptr;
  DWORD disposition = 0;
  EXPECT_EQ(ERROR_BAD_PATHNAME,
            RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software\\Orun\\Kelvarin", 0, KEY_READ, &key));
  EXPECT_EQ(ERROR_BAD_PATHNAME,
            RegCreateKeyExA(HKEY_CURRENT_USER, "\\Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, &disposition));
  EXPECT_EQ(nullptr, winsim::FindKey(HKEY_CURRENT_USER, "Software\\New"));
}

TEST_F(WinsimRegistry, RefusingKeyOpensForReadingOnly) {
  winsim::MakeKey(HKEY_CURRENT_USER, "Software\\Orun").refuseAllAccess = true;
  HKEY key = nullptr;
  DWORD disposition = 0;
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orun", 0, KEY_ALL_ACCESS, &key));
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Orun\\Kelvarin", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition));
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orun", 0, KEY_QUERY_VALUE, &key));
  const BYTE one = 1;
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(key, "v", 0, REG_BINARY, &one, 1));
  RegCloseKey(key);
}

}  // namespace
