// Events, mutexes, and the library's entry points as the program reaches
// them through LoadLibraryA and GetProcAddress.
#include <gtest/gtest.h>
#include <winsim.h>

#include <cstring>
#include <string>
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

// Two threads of one session meet on one name: one object, owned by one
// thread at a time, given back only by its owner, as often as it was taken.
TEST(WinsimMutex, OneObjectPerNameOwnedByOneThreadWithARecursionCount) {
  winsim::Reset();
  winsim::Machine& m = winsim::machine();
  SetLastError(0xDEAD);
  HANDLE first = CreateMutexA(nullptr, FALSE, "Kelvarin drive 1:0:0");
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first, INFINITE));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first, INFINITE));  // taken again by its owner
  m.thread = 2;
  HANDLE second = CreateMutexA(nullptr, TRUE, "Kelvarin drive 1:0:0");
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_EQ(1u, winsim::MutexOwner("Kelvarin drive 1:0:0").owner);  // initial ownership ignored
  HANDLE other = CreateMutexA(nullptr, FALSE, "kelvarin drive 1:0:0");  // names keep their case
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(other, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(second, 0));
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(second));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
  EXPECT_EQ(3, m.count.openHandles);
  m.thread = 1;
  EXPECT_TRUE(ReleaseMutex(first));
  EXPECT_EQ(1u, winsim::MutexOwner("Kelvarin drive 1:0:0").count);  // once more to go
  EXPECT_TRUE(ReleaseMutex(first));
  EXPECT_FALSE(ReleaseMutex(first));
  m.thread = 2;
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second, 0));
  for (HANDLE h : {first, second, other}) EXPECT_TRUE(CloseHandle(h));
  EXPECT_TRUE(winsim::NothingOpen());
  EXPECT_EQ(0u, winsim::MutexOwner("Kelvarin drive 1:0:0").owner);  // gone with its handles
  EXPECT_TRUE(m.misuse.empty());
}

TEST(WinsimMutex, AbandonedByItsEndedOwnerTakenOverByTheNextWait) {
  winsim::Reset();
  winsim::Machine& m = winsim::machine();
  HANDLE mine = CreateMutexA(nullptr, TRUE, "Kelvarin drive 0:1:0");
  m.thread = 2;
  HANDLE theirs = CreateMutexA(nullptr, FALSE, "Kelvarin drive 0:1:0");
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(theirs, INFINITE));  // could never end here
  EXPECT_TRUE(m.deadlock);
  winsim::EndThread(1);
  EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(theirs, INFINITE));
  EXPECT_EQ(2u, winsim::MutexOwner("Kelvarin drive 0:1:0").owner);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(theirs, 0));  // abandoned once only
  EXPECT_TRUE(ReleaseMutex(theirs));
  EXPECT_TRUE(ReleaseMutex(theirs));
  EXPECT_TRUE(CloseHandle(mine));
  EXPECT_TRUE(CloseHandle(theirs));
  EXPECT_FALSE(CloseHandle(theirs));
  EXPECT_FALSE(ReleaseMutex(theirs));
}

TEST(WinsimMutex, NamesWithAPathOrOverLongAreRefused) {
  winsim::Reset();
  const std::string tooLong(MAX_PATH + 1, 'k');
  const struct {
    const char* name;
    DWORD error;
  } refused[] = {{"Kelvarin\\drive 1:0:0", ERROR_PATH_NOT_FOUND},
                 {"Global\\Kelvarin\\drive", ERROR_PATH_NOT_FOUND},
                 {tooLong.c_str(), ERROR_FILENAME_EXCED_RANGE}};
  for (const auto& r : refused) {
    SetLastError(0);
    EXPECT_EQ(nullptr, CreateMutexA(nullptr, FALSE, r.name)) << r.name;
    EXPECT_EQ(r.error, GetLastError()) << r.name;
  }
  HANDLE local = CreateMutexA(nullptr, FALSE, "Local\\Kelvarin drive 1:0:0");
  EXPECT_NE(nullptr, local);
  EXPECT_TRUE(CloseHandle(local));
  EXPECT_TRUE(winsim::NothingOpen());
}

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
