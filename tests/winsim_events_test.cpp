// Events and the library's entry points as the program reaches them through
// LoadLibraryA and GetProcAddress.
#include <gtest/gtest.h>
#include <winsim.h>

#include <cstring>
#include <vector>

#include "scsi/wnaspi32.h"

namespace {

class WinsimAspi : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::machine().aspiPresent = true;
    winsim::AddAspiDrive(0, 1, 0, 4);
    module = LoadLibraryA("WNASPI32.DLL");
    ASSERT_NE(nullptr, module);
    send = reinterpret_cast<decltype(&wnaspi32_exports::SendASPI32Command)>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "SendASPI32Command")));
    ASSERT_NE(nullptr, send);
  }
  void TearDown() override {
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(0, winsim::machine().count.loadedModules);
    EXPECT_TRUE(winsim::NothingOpen());
  }
  std::vector<uint8_t> Exec(HANDLE event) {
    const aspiwire::ExecLayout l = aspiwire::ExecLayoutFor(sizeof(void*));
    std::vector<uint8_t> b(l.size, 0);
    b[l.cmd] = 2;
    b[l.flags] = 0x40;  // event notify, no data
    b[l.target] = 1;
    b[l.cdbLen] = 12;
    b[l.cdb] = 0xBB;
    std::memcpy(&b[l.postProc], &event, sizeof(event));
    return b;
  }
  HMODULE module = nullptr;
  decltype(&wnaspi32_exports::SendASPI32Command) send = nullptr;
};

TEST_F(WinsimAspi, WaitThatNothingEndsIsReportedNotHung) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(event, INFINITE));
  EXPECT_TRUE(winsim::machine().deadlock);
  EXPECT_TRUE(CloseHandle(event));
  EXPECT_FALSE(CloseHandle(event));
}

TEST_F(WinsimAspi, ClosingTheEventDropsTheRequestThatWouldSignalIt) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::vector<uint8_t> b = Exec(event);
  ASSERT_EQ(0u, send(b.data()));
  CloseHandle(event);
  EXPECT_FALSE(winsim::machine().aspi.HasPending());
  EXPECT_FALSE(winsim::machine().misuse.empty());
}

TEST_F(WinsimAspi, MissingExportsAndOtherModulesAreNotFound) {
  winsim::machine().aspiExports[4] = false;
  EXPECT_EQ(nullptr, GetProcAddress(module, "TranslateASPI32Address"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
  EXPECT_NE(nullptr, GetProcAddress(module, "GetASPI32SupportInfo"));
  EXPECT_EQ(nullptr, LoadLibraryA("aspi32.dll"));
  winsim::machine().advapi32HasCheckTokenMembership = false;
  EXPECT_EQ(nullptr, GetProcAddress(GetModuleHandleA("ADVAPI32.dll"), "CheckTokenMembership"));
  EXPECT_NE(nullptr, GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetUserDefaultUILanguage"));
}

}  // namespace
