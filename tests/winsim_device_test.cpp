// The simulated device calls refuse what Windows refuses, so that a
// malformed block from the program fails here as it would there.
#include <gtest/gtest.h>
#include <winsim.h>

#include <cstring>
#include <vector>

namespace {

// SCSI_PASS_THROUGH_DIRECT of this build by byte offset, sense area behind it.
constexpr size_t kDataBuffer = sizeof(void*) == 8 ? 24 : 20;
constexpr size_t kSenseOffset = sizeof(void*) == 8 ? 32 : 24;
constexpr size_t kCdb = sizeof(void*) == 8 ? 36 : 28;
constexpr size_t kSptdSize = sizeof(void*) == 8 ? 56 : 44;
constexpr size_t kBlockSize = kSptdSize + 32;
constexpr DWORD kPassThrough = 0x4D014;
constexpr DWORD kGetAddress = 0x41018;

struct Block {
  std::vector<uint8_t> b = std::vector<uint8_t>(kBlockSize, 0);
  void Put16(size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); }
  void Put32(size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }
};

// A well-formed INQUIRY block reading 36 bytes into buffer.
Block Inquiry(uint8_t* buffer) {
  Block k;
  k.Put16(0, kSptdSize);
  k.b[6] = 6;   // CdbLength
  k.b[7] = 32;  // SenseInfoLength
  k.b[8] = 1;   // DataIn
  k.Put32(12, 36);
  k.Put32(16, 60);
  const uintptr_t p = reinterpret_cast<uintptr_t>(buffer);
  std::memcpy(&k.b[kDataBuffer], &p, sizeof(p));
  k.Put32(kSenseOffset, kSptdSize);
  k.b[kCdb] = 0x12;
  k.b[kCdb + 4] = 36;
  return k;
}

class WinsimDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::AddCdRom(0, 1, 2, 3, 'E');
    handle = CreateFileA("\\\\.\\CdRom0", GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
  }
  void TearDown() override {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    EXPECT_TRUE(winsim::NothingOpen());
  }
  BOOL Send(Block& k, DWORD inSize = kBlockSize, DWORD outSize = kBlockSize) {
    DWORD returned = 0xDEADBEEF;
    return DeviceIoControl(handle, kPassThrough, k.b.data(), inSize, k.b.data(), outSize, &returned,
                           nullptr);
  }
  HANDLE handle = INVALID_HANDLE_VALUE;
};

TEST_F(WinsimDevice, MalformedPassThroughBlocksAreRefusedUnexecuted) {
  uint8_t buffer[36];
  struct Case {
    const char* what;
    void (*spoil)(Block&);
    DWORD inSize;
  };
  const Case cases[] = {
      {"Length of the 32-bit structure", [](Block& k) { k.Put16(0, kSptdSize - 12); }, kBlockSize},
      {"input smaller than Length", [](Block&) {}, kSptdSize - 1},
      {"CdbLength 17", [](Block& k) { k.b[6] = 17; }, kBlockSize},
      {"CdbLength 0", [](Block& k) { k.b[6] = 0; }, kBlockSize},
      {"DataIn 3", [](Block& k) { k.b[8] = 3; }, kBlockSize},
      {"transfer without buffer",
       [](Block& k) { std::memset(&k.b[kDataBuffer], 0, sizeof(void*)); }, kBlockSize},
      {"sense beyond the output", [](Block& k) { k.b[7] = 33; }, kBlockSize},
  };
  for (const Case& c : cases) {
    Block k = Inquiry(buffer);
    c.spoil(k);
    SetLastError(0);
    EXPECT_FALSE(Send(k, c.inSize)) << c.what;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError()) << c.what;
  }
  EXPECT_TRUE(winsim::machine().commands.empty());
}

TEST_F(WinsimDevice, AddressQueryAnswersTheTripleAndASecondCloseFails) {
  uint8_t a[9];
  std::memset(a, 0xA5, sizeof(a));
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(handle, kGetAddress, nullptr, 0, a, 8, &returned, nullptr));
  EXPECT_EQ((std::vector<uint8_t>{8, 0, 0, 0, 1, 0, 2, 3, 0xA5}), std::vector<uint8_t>(a, a + 9));
  winsim::machine().devices[0]->failAddress = true;
  EXPECT_FALSE(DeviceIoControl(handle, kGetAddress, nullptr, 0, a, 8, &returned, nullptr));

  ASSERT_TRUE(CloseHandle(handle));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(handle));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(0, winsim::machine().count.openHandles);
  handle = INVALID_HANDLE_VALUE;
}

TEST_F(WinsimDevice, OnlyExactDevicePathsAndArgumentsOpen) {
  struct Case {
    const char* path;
    DWORD access, share;
    bool opens;
  };
  const DWORD rw = GENERIC_READ | GENERIC_WRITE, shared = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const Case cases[] = {
      {"\\\\.\\E:", rw, shared, true},     {"\\\\.\\CdRom00", rw, shared, false},
      {"\\\\.\\CdRom1", rw, shared, false}, {"\\\\.\\F:", rw, shared, false},
      {"\\\\.\\E:\\", rw, shared, false},   {"\\\\.\\CdRom0", GENERIC_READ, shared, false},
      {"\\\\.\\CdRom0", rw, FILE_SHARE_READ, false},
  };
  for (const Case& c : cases) {
    HANDLE h = CreateFileA(c.path, c.access, c.share, nullptr, OPEN_EXISTING, 0x80, nullptr);
    EXPECT_EQ(c.opens, h != INVALID_HANDLE_VALUE) << c.path;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  EXPECT_EQ(static_cast<UINT>(DRIVE_CDROM), GetDriveTypeA("E:\\"));
  EXPECT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), GetDriveTypeA("F:\\"));
}

TEST_F(WinsimDevice, ArmedFailureHitsOnlyTheNthCall) {
  winsim::ArmFailure({winsim::Api::DeviceIoControl}, 2);
  uint8_t a[8];
  DWORD returned = 0;
  EXPECT_TRUE(DeviceIoControl(handle, kGetAddress, nullptr, 0, a, 8, &returned, nullptr));
  EXPECT_FALSE(DeviceIoControl(handle, kGetAddress, nullptr, 0, a, 8, &returned, nullptr));
  EXPECT_TRUE(DeviceIoControl(handle, kGetAddress, nullptr, 0, a, 8, &returned, nullptr));
  EXPECT_EQ(3, winsim::machine().count.calls[static_cast<size_t>(winsim::Api::DeviceIoControl)]);
}

TEST(WinsimSecurity, TokenGroupsNeedTheReportedSizeAndPointIntoTheBuffer) {
  winsim::Reset();
  winsim::machine().token.groups.push_back({winsim::UsersSid(), SE_GROUP_USE_FOR_DENY_ONLY});
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  DWORD needed = 0;
  EXPECT_FALSE(GetTokenInformation(token, TokenGroups, nullptr, 0, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  std::vector<uint8_t> buffer(needed);
  DWORD got = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenGroups, buffer.data(), needed, &got));
  const TOKEN_GROUPS* tg = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
  ASSERT_EQ(2u, tg->GroupCount);
  for (DWORD i = 0; i < 2; ++i) {
    const uint8_t* sid = static_cast<const uint8_t*>(tg->Groups[i].Sid);
    EXPECT_TRUE(sid >= buffer.data() && sid + 16 <= buffer.data() + buffer.size());
  }
  PSID admins = nullptr;
  SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                       0, 0, 0, 0, 0, 0, &admins));
  EXPECT_TRUE(EqualSid(admins, tg->Groups[0].Sid));
  EXPECT_FALSE(EqualSid(admins, tg->Groups[1].Sid));
  EXPECT_FALSE(winsim::NothingOpen());
  FreeSid(admins);
  CloseHandle(token);
  EXPECT_TRUE(winsim::NothingOpen());
}

// Windows counts only enabled groups that are not deny-only: the filtered
// token of an unelevated administrator holds Administrators deny-only.
TEST(WinsimSecurity, MembershipSkipsDenyOnlyGroups) {
  const struct {
    DWORD attributes;
    BOOL member;
  } cases[] = {{SE_GROUP_ENABLED, TRUE},
               {SE_GROUP_USE_FOR_DENY_ONLY, FALSE},
               {SE_GROUP_USE_FOR_DENY_ONLY | SE_GROUP_ENABLED, FALSE},
               {SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_MANDATORY, FALSE}};
  SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
  for (const auto& c : cases) {
    for (DWORD rid : {DWORD{DOMAIN_ALIAS_RID_ADMINS}, DWORD{DOMAIN_ALIAS_RID_USERS}}) {
      winsim::Reset();
      winsim::machine().token.groups = {{winsim::AdministratorsSid(), c.attributes},
                                        {winsim::UsersSid(), c.attributes}};
      PSID sid = nullptr;
      ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0,
                                           0, &sid));
      BOOL member = 0x55;  // poison
      EXPECT_TRUE(CheckTokenMembership(nullptr, sid, &member));
      EXPECT_EQ(c.member, member) << "rid " << rid << " attributes " << c.attributes;
      FreeSid(sid);
    }
  }
  winsim::Reset();
  winsim::SetFilteredAdministrator();
  PSID admins = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                       0, 0, 0, 0, 0, 0, &admins));
  BOOL member = TRUE;
  EXPECT_TRUE(CheckTokenMembership(nullptr, admins, &member));
  EXPECT_FALSE(member);
  FreeSid(admins);
  EXPECT_TRUE(winsim::NothingOpen());
}

}  // namespace
