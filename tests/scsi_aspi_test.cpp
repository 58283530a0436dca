// The ASPI transport: loading, the queries, and the execute block as the
// library receives it.
#include <cstring>

#include "device_fixture.h"
#include "scsi/Privileges.h"
#include "scsi/scsidefs.h"
#include "scsi/uaspi.h"

using winsim::Api;

namespace {

// Sits between the program and the simulated library and copies each
// request block as it arrives, before the library writes into it.
struct Spy {
  static decltype(SendASPI32Command) library;
  static std::vector<std::vector<uint8_t>> blocks;
  static DWORD __cdecl Send(LPVOID srb) {
    const auto* bytes = static_cast<const uint8_t*>(srb);
    const size_t size = bytes[0] == 2 ? aspiwire::ExecLayoutFor(sizeof(void*)).size
                                      : aspiwire::kQueryAreaSize;
    blocks.emplace_back(bytes, bytes + size);
    return library(srb);
  }
};
decltype(SendASPI32Command) Spy::library = nullptr;
std::vector<std::vector<uint8_t>> Spy::blocks;

const uint8_t kEject[16] = {0x1B, 1, 0, 0, 2};

class AspiTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    M().aspiPresent = true;
    ASSERT_TRUE(LoadAspi());
    Spy::library = SendASPI32Command;
    Spy::blocks.clear();
    SendASPI32Command = &Spy::Send;
  }
};

TEST_F(AspiTest, ExecuteBlockHoldsExactlyTheCommandFields) {
  const aspiwire::ExecLayout layout = aspiwire::ExecLayoutFor(sizeof(void*));
  uint8_t data[37];
  std::vector<uint8_t> twenty(20);  // longer than CDBByte: clamped to 16
  for (uint8_t i = 0; i < 20; ++i) twenty[i] = static_cast<uint8_t>(0xA0 + i);
  const struct {
    std::vector<uint8_t> cdb;
    void* buffer;
    uint32_t length;
    tdirection direction;
    uint8_t flags;
  } cases[] = {
      {{0x12, 0, 0, 0, 0x24, 0}, data, 36, dirIn, 0x48},                         // SRB_DIR_IN
      {{0xBB, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}, nullptr, 0, dirNone, 0x40},  // no data
      {{0x12, 0, 0, 0, 0x24, 0}, data, 36, dirOut, 0x50},                         // SRB_DIR_OUT
      {twenty, nullptr, 0, dirNone, 0x40},
  };
  winsim::AddAspiDrive(0, 3, 2);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "direction " << int(c.direction) << ", cdb " << c.cdb.size());
    Spy::blocks.clear();
    std::memset(data, 0xCD, sizeof data);
    const std::vector<uint8_t> command = CommandArea(c.cdb);
    AspiExecute(0, 3, 2, command.data(), static_cast<uint8_t>(c.cdb.size()), c.buffer, c.length,
                c.direction);
    ASSERT_EQ(1u, Spy::blocks.size());
    const std::vector<uint8_t>& sent = Spy::blocks[0];

    const size_t cdbLength = std::min<size_t>(c.cdb.size(), 16);
    std::vector<uint8_t> expected(layout.size, 0);
    expected[layout.cmd] = 2;
    expected[layout.flags] = c.flags;
    expected[layout.target] = 3;
    expected[layout.lun] = 2;
    PutLE(expected, layout.bufLen, c.length, 4);
    PutLE(expected, layout.bufPointer, reinterpret_cast<uintptr_t>(c.buffer), sizeof(void*));
    expected[layout.senseLen] = 14;
    expected[layout.cdbLen] = static_cast<uint8_t>(cdbLength);
    uint64_t event = 0;
    std::memcpy(&event, &sent[layout.postProc], sizeof(void*));
    EXPECT_NE(0u, event) << "no event named";
    PutLE(expected, layout.postProc, event, sizeof(void*));
    std::copy(c.cdb.begin(), c.cdb.begin() + cdbLength, expected.begin() + layout.cdb);
    EXPECT_EQ(expected, sent);
    EXPECT_EQ(0xCD, data[36]) << "written past the buffer";
  }
}

TEST_F(AspiTest, OnlyAPendingCommandIsWaitedFor) {
  for (bool atOnce : {false, true}) {
    SetUp();  // a fresh machine and library for each case
    winsim::AddAspiDrive(0, 1, 0);
    M().aspi.completeAtOnce = atOnce;
    EXPECT_TRUE(AspiExecute(0, 1, 0, kEject, 6, nullptr, 0, dirNone)) << atOnce;
    EXPECT_EQ(1, Calls(Api::CreateEventA));
    EXPECT_EQ(1, Calls(Api::ResetEvent));
    EXPECT_EQ(atOnce ? 0 : 1, Calls(Api::WaitForSingleObject)) << atOnce;
    EXPECT_TRUE(AspiDrive(0).trayOpen);
  }
}

TEST_F(AspiTest, CommandEndingInAnyOtherStatusFails) {
  for (bool atOnce : {false, true}) {
    SetUp();
    M().aspi.completeAtOnce = atOnce;
    winsim::AddAspiDrive(0, 1, 0);
    AspiDrive(0).SetFault(0x5A, simdrive::Fault::CheckCondition);
    uint8_t page[24] = {};
    const uint8_t cdb[16] = {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 24};
    EXPECT_FALSE(AspiExecute(0, 1, 0, cdb, 10, page, sizeof page, dirIn)) << atOnce;
    EXPECT_FALSE(AspiExecute(0, 6, 0, cdb, 10, page, sizeof page, dirIn)) << "no device there";
    EXPECT_TRUE(winsim::NothingOpen());
  }
}

TEST_F(AspiTest, EventNotCreatedSendsNothing) {
  winsim::AddAspiDrive(0, 1, 0);
  FailAlways(Api::CreateEventA);
  EXPECT_FALSE(AspiExecute(0, 1, 0, kEject, 6, nullptr, 0, dirNone));
  EXPECT_TRUE(Spy::blocks.empty());
}

TEST_F(AspiTest, QueryAreasCarryOnlyTheirFields) {
  M().aspi.adapterCount = 2;
  winsim::AddAspiDrive(1, 5, 6, 4);
  EXPECT_EQ(5, AspiDeviceType(1, 5, 6));
  EXPECT_EQ('E', AspiDriveLetter(1, 5, 6));
  AspiRescanAll();
  ASSERT_EQ(4u, Spy::blocks.size());
  std::vector<uint8_t> expected(36, 0);
  expected[0] = 1, expected[2] = 1, expected[8] = 5, expected[9] = 6;
  EXPECT_EQ(expected, Spy::blocks[0]) << "device type";
  expected[0] = 6, expected[11] = 0xFF;  // no drive number until the library writes one
  EXPECT_EQ(expected, Spy::blocks[1]) << "disk information";
  expected.assign(36, 0);
  expected[0] = 7;
  EXPECT_EQ(expected, Spy::blocks[2]) << "rescan of adapter 0";
  expected[2] = 1;
  EXPECT_EQ(expected, Spy::blocks[3]) << "rescan of adapter 1";
}

TEST_F(AspiTest, DriveNumbersMapToLettersAndFailedQueriesToNotFound) {
  // A layer over pass-through completes the query without writing the number
  // at all: no letter, not "A".
  const struct {
    uint8_t number;
    bool fails, unwritten;
    uint8_t type;
    char letter;
  } cases[] = {{0, false, false, 5, 'A'},   {3, false, false, 5, 'D'},  {25, false, false, 5, 'Z'},
               {26, false, false, 5, ' '},  {0xFF, false, false, 5, ' '}, {4, true, false, 31, ' '},
               {4, false, true, 5, ' '}};
  for (const auto& c : cases) {
    M().aspi.devices.clear();
    M().aspi.devices[winsim::AddAspiDrive(0, 1, 0, c.number)].queryFails = c.fails;
    M().aspi.overPassThrough = c.unwritten;
    EXPECT_EQ(c.type, AspiDeviceType(0, 1, 0)) << int(c.number);
    EXPECT_EQ(c.letter, AspiDriveLetter(0, 1, 0)) << int(c.number) << " unwritten " << c.unwritten;
  }
  EXPECT_EQ(31, AspiDeviceType(0, 2, 0)) << "no device there";
}

// A library that ends every request with one status. A query returns it and
// writes the other verdict into SRB_Status, with a device type and drive
// number to ignore on failure; an execute request writes it into SRB_Status
// and either returns the other verdict at once or answers SS_PENDING with
// the event already signalled.
struct OneStatus {
  static uint8_t status;
  static bool pending;
  static DWORD __cdecl Send(LPVOID srb) {
    auto* bytes = static_cast<uint8_t*>(srb);
    const uint8_t other = status == SS_COMP ? 0x04 : SS_COMP;
    if (bytes[0] != SC_EXEC_SCSI_CMD) {
      bytes[1] = other;
      bytes[10] = 5, bytes[11] = 4;
      return status;
    }
    auto* exec = static_cast<SRB_ExecSCSICmd*>(srb);
    exec->SRB_Status = status;
    if (!pending) return other;
    SetEvent(exec->SRB_PostProc);
    return SS_PENDING;
  }
};
uint8_t OneStatus::status = 0;
bool OneStatus::pending = false;

TEST_F(AspiTest, OnlyCompletionIsSuccessAndQueriesTrustTheReturnedStatus) {
  const uint8_t statuses[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x80, 0x81, 0x82, 0xE0, 0xE1, 0xE2,
                              0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xFF};
  SendASPI32Command = &OneStatus::Send;
  int waits = 0;
  for (uint8_t status : statuses) {
    SCOPED_TRACE(testing::Message() << "status " << std::hex << int(status));
    const bool ok = status == SS_COMP;
    OneStatus::status = status;
    EXPECT_EQ(ok ? 5 : 31, AspiDeviceType(0, 1, 0));
    EXPECT_EQ(ok ? 'E' : ' ', AspiDriveLetter(0, 1, 0));
    for (bool pending : {false, true}) {
      if (status == SS_PENDING && !pending) continue;  // answered pending: waited for
      OneStatus::pending = pending;
      EXPECT_EQ(ok, AspiExecute(0, 1, 0, kEject, 6, nullptr, 0, dirNone)) << "pending " << pending;
      waits += pending;
      EXPECT_EQ(waits, Calls(Api::WaitForSingleObject)) << "only a pending request is waited for";
    }
  }
}

TEST_F(AspiTest, AdapterCountIsTheLowByteOnly) {
  M().aspi.adapterCount = 3;
  M().aspi.supportStatus = 0xE8;
  EXPECT_EQ(3, AspiAdapterCount());
}

using AspiLoadTest = DeviceTest;

TEST_F(AspiLoadTest, NothingIsCalledOutsideTheLoadedLibrary) {
  EXPECT_FALSE(AspiExecute(0, 1, 0, kEject, 6, nullptr, 0, dirNone));
  EXPECT_EQ(0, AspiAdapterCount());
  EXPECT_EQ(31, AspiDeviceType(0, 1, 0));
  EXPECT_EQ(' ', AspiDriveLetter(0, 1, 0));
  EXPECT_EQ(0, Calls(Api::CreateEventA));
  M().aspiPresent = true;
  ASSERT_TRUE(LoadAspi());
  UnloadAspi();
  EXPECT_EQ(0, M().count.loadedModules);
  EXPECT_EQ(nullptr, SendASPI32Command);
  UnloadAspi();
  EXPECT_EQ(1, Calls(Api::FreeLibrary));
}

TEST_F(AspiLoadTest, ElevatedTheSystemFoldersCopyIsLoadedByFullPathAndAloneSearched) {
  const tlibrarysearch elevated = LibrarySearchFor(true), unelevated = LibrarySearchFor(false);
  EXPECT_EQ(0x800u, elevated.directories);    // LOAD_LIBRARY_SEARCH_SYSTEM32
  EXPECT_TRUE(elevated.systemfolder);
  EXPECT_EQ(0xA00u, unelevated.directories);  // ... | LOAD_LIBRARY_SEARCH_APPLICATION_DIR
  EXPECT_FALSE(unelevated.systemfolder);

  // XP and 98 cannot answer the question: not elevated.
  const struct {
    int version;  // 0: Windows 98
    bool elevated;
    const char* name;
  } cases[] = {{10, true, "C:\\WINDOWS\\system32\\wnaspi32.dll"},
               {10, false, "wnaspi32.dll"},
               {5, true, "wnaspi32.dll"},
               {0, true, "wnaspi32.dll"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "version " << c.version << " elevated " << c.elevated);
    SetUp();
    if (c.version == 0)
      winsim::SetNonNT();
    else
      winsim::SetNT(c.version);
    M().token.elevated = c.elevated;
    M().aspiPresent = true;
    EXPECT_TRUE(LoadAspi());
    EXPECT_EQ(std::vector<std::string>{c.name}, M().loadedNames);
    UnloadAspi();
    EXPECT_TRUE(winsim::NothingOpen());
  }

  // Elevated, a system folder that cannot be read or does not fit loads
  // nothing rather than searching.
  for (bool unreadable : {true, false}) {
    SetUp();
    winsim::SetNT(10);
    M().aspiPresent = true;
    if (unreadable)
      FailAlways(Api::GetSystemDirectoryA);
    else
      M().systemDirectory = "C:\\" + std::string(MAX_PATH, 'x');
    EXPECT_FALSE(LoadAspi()) << unreadable;
    EXPECT_TRUE(M().loadedNames.empty()) << unreadable;
  }
}

}  // namespace
