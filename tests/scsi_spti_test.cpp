// The pass-through transport: opening devices, address queries, the
// pass-through block and the two searches.
#include <cstring>

#include "device_fixture.h"
#include "scsi/ntddscsi.h"
#include "scsi/uspti.h"

using winsim::Api;

namespace {

using SptiTest = DeviceTest;

// Offsets of SCSI_PASS_THROUGH_DIRECT as the system reads it, independent of
// the program's structure: 32-bit layout, or 64-bit with its wider pointer.
struct SptdLayout {
  size_t length, scsiStatus, cdbLength, senseInfoLength, dataIn, dataTransferLength, timeOutValue,
      dataBuffer, senseInfoOffset, cdb, size;
};
constexpr SptdLayout kSptd = sizeof(void*) == 8 ? SptdLayout{0, 2, 6, 7, 8, 12, 16, 24, 32, 36, 56}
                                                : SptdLayout{0, 2, 6, 7, 8, 12, 16, 20, 24, 28, 44};
constexpr size_t kSenseSize = 32;

TEST_F(SptiTest, PassThroughBlockHoldsExactlyTheCommandFields) {
  static_assert(sizeof(tsptdwithsense) == kSptd.size + kSenseSize, "layout");
  uint8_t data[40];
  const std::vector<uint8_t> inquiry{0x12, 0, 0, 0, 0x24, 0};
  std::vector<uint8_t> twenty(20);  // longer than the field: clamped to 16
  for (uint8_t i = 0; i < 20; ++i) twenty[i] = static_cast<uint8_t>(0xA0 + i);
  const struct {
    std::vector<uint8_t> cdb;
    void* buffer;
    uint32_t length;
    tdirection direction;
    uint8_t dataIn;
  } cases[] = {
      {inquiry, data, 36, dirIn, 1},                                                // SCSI_IOCTL_DATA_IN
      {{0xBB, 0, 0x1B, 0x90, 0, 0, 0, 0, 0, 0, 0, 0}, nullptr, 0, dirNone, 2},        // UNSPECIFIED
      {inquiry, data, 40, dirOut, 0},                                                // SCSI_IOCTL_DATA_OUT
      {twenty, nullptr, 0, dirNone, 2},
  };
  for (const auto& c : cases) {
    alignas(8) uint8_t area[sizeof(tsptdwithsense) + 1];
    std::memset(area, 0xCD, sizeof area);
    const std::vector<uint8_t> command = CommandArea(c.cdb);
    PreparePassThrough(*reinterpret_cast<tsptdwithsense*>(area), command.data(),
                       static_cast<uint8_t>(c.cdb.size()), c.buffer, c.length, c.direction);
    const size_t sent = std::min<size_t>(c.cdb.size(), 16);
    std::vector<uint8_t> expected(kSptd.size + kSenseSize, 0);
    PutLE(expected, kSptd.length, kSptd.size, 2);
    expected[kSptd.cdbLength] = static_cast<uint8_t>(sent);
    expected[kSptd.senseInfoLength] = kSenseSize;
    expected[kSptd.dataIn] = c.dataIn;
    PutLE(expected, kSptd.dataTransferLength, c.length, 4);
    PutLE(expected, kSptd.timeOutValue, 60, 4);
    PutLE(expected, kSptd.dataBuffer, reinterpret_cast<uintptr_t>(c.buffer), sizeof(void*));
    PutLE(expected, kSptd.senseInfoOffset, kSptd.size, 4);
    std::copy(c.cdb.begin(), c.cdb.begin() + sent, expected.begin() + kSptd.cdb);
    EXPECT_EQ(expected, std::vector<uint8_t>(area, area + sizeof(tsptdwithsense)))
        << "direction " << int(c.direction) << ", cdb length " << c.cdb.size();
    EXPECT_EQ(0xCD, area[sizeof(tsptdwithsense)]) << "written past the block";
  }
}

TEST_F(SptiTest, CommandGoesAsTheWholeBlockAndItsStatusDecides) {
  const size_t index = winsim::AddCdRom(0, 1, 0, 0);
  const HANDLE handle = OpenCdRomDevice(0);
  ASSERT_NE(INVALID_HANDLE_VALUE, handle);
  const uint8_t cdb[16] = {0x12, 0, 0, 0, 0x24};
  uint8_t reply[37];
  std::memset(reply, 0xCD, sizeof reply);
  EXPECT_TRUE(SptiExecute(handle, cdb, 6, reply, 36, dirIn));
  EXPECT_EQ(0xCD, reply[36]) << "written past the buffer";
  EXPECT_EQ(0, std::memcmp(reply + 8, "ACME    ", 8));
  const winsim::PassThroughBlock& block = M().commands.at(0).block;
  EXPECT_EQ(kSptd.size + kSenseSize, block.inSize);
  EXPECT_EQ(kSptd.size + kSenseSize, block.outSize);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(reply), block.dataBuffer);

  // Every status a target may end with, after a control call that succeeded
  // and one that failed: only 0 and 1 of a succeeded call are success.
  const std::pair<uint8_t, bool> statuses[] = {
      {0x00, true},   {0x01, true},   {0x02, false},  // CHECK CONDITION
      {0x04, false},  {0x08, false},  {0x10, false},  // CONDITION MET, BUSY, INTERMEDIATE
      {0x18, false},  {0x22, false},  {0x28, false},  // RESERVATION CONFLICT, TERMINATED, TASK SET FULL
      {0x30, false},  {0x40, false},  {0xFF, false},  // ACA ACTIVE, TASK ABORTED
  };
  simdrive::Drive& drive = DeviceDrive(index);
  drive.SetFault(0x12, simdrive::Fault::Status);
  for (const auto& s : statuses) {
    drive.faultStatus = s.first;
    M().devices[index]->failControl = false;
    EXPECT_EQ(s.second, SptiExecute(handle, cdb, 6, reply, 36, dirIn)) << "status " << int(s.first);
    M().devices[index]->failControl = true;
    EXPECT_FALSE(SptiExecute(handle, cdb, 6, reply, 36, dirIn)) << "failed call, status " << int(s.first);
  }
  drive.SetFault(0x12, simdrive::Fault::CheckCondition);
  M().devices[index]->failControl = false;
  EXPECT_FALSE(SptiExecute(handle, cdb, 6, reply, 36, dirIn)) << "CHECK CONDITION with sense data";
  CloseDevice(handle);
}

TEST_F(SptiTest, OpenDriveLetterOpensOnlyCdRomLetters) {
  const size_t index = winsim::AddCdRom(0, 1, 0, 0, 'E');
  M().driveType['C' - 'A'] = DRIVE_FIXED;
  M().driveType['A' - 'A'] = DRIVE_REMOVABLE;
  M().driveType['N' - 'A'] = DRIVE_REMOTE;
  M().driveType['R' - 'A'] = DRIVE_RAMDISK;
  for (char letter : {'A', 'C', 'N', 'R', 'Q'}) {
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDriveLetter(letter)) << letter;
  }
  EXPECT_EQ(0, Calls(Api::CreateFileA));
  const HANDLE handle = OpenDriveLetter('E');
  ASSERT_NE(INVALID_HANDLE_VALUE, handle);
  EXPECT_EQ(std::vector<std::string>{"\\\\.\\E:"}, M().openedPaths);
  CloseDevice(handle);
  M().devices[index]->failOpen = true;
  EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDriveLetter('E'));
  EXPECT_EQ(INVALID_HANDLE_VALUE, OpenCdRomDevice(0));
}

TEST_F(SptiTest, OpenCdRomDeviceUsesTheDecimalNumberAndAnswersItsAddress) {
  const int numbers[] = {0, 9, 10, 99, 100, 255};
  std::vector<std::string> paths;
  for (int number : numbers) winsim::AddCdRom(number, static_cast<uint8_t>(number), 1, 2);
  for (int number : numbers) {
    const HANDLE handle = OpenCdRomDevice(static_cast<uint8_t>(number));
    ASSERT_NE(INVALID_HANDLE_VALUE, handle) << number;
    uint8_t a = 0xAA, t = 0xAA, l = 0xAA;
    EXPECT_TRUE(GetScsiAddress(handle, a, t, l));
    EXPECT_EQ(number, a);
    EXPECT_EQ(1, t);
    EXPECT_EQ(2, l);
    CloseDevice(handle);
    paths.push_back("\\\\.\\CdRom" + std::to_string(number));
  }
  EXPECT_EQ(INVALID_HANDLE_VALUE, OpenCdRomDevice(1));
  paths.push_back("\\\\.\\CdRom1");
  EXPECT_EQ(paths, M().openedPaths);

  M().devices[1]->failAddress = true;  // number 9: a failed query still writes 0:0:0
  const HANDLE handle = OpenCdRomDevice(9);
  uint8_t a = 0xAA, t = 0xAA, l = 0xAA;
  EXPECT_FALSE(GetScsiAddress(handle, a, t, l));
  EXPECT_EQ(0, a + t + l);
  CloseDevice(handle);
}

TEST_F(SptiTest, FindCdRomIndexAnswersTheLowestMatchingNumber) {
  M().devices[winsim::AddCdRom(0, 4, 4, 4)]->failAddress = true;  // compares as 0:0:0
  winsim::AddCdRom(3, 1, 2, 0);
  M().devices[winsim::AddCdRom(5, 1, 2, 0)]->pathId = 1;  // differs only in path id
  winsim::AddCdRom(6, 0, 0, 0);
  EXPECT_EQ(3, FindCdRomIndex(1, 2, 0));
  EXPECT_EQ(0, FindCdRomIndex(0, 0, 0));
  EXPECT_EQ(4 + 1, Calls(Api::CreateFileA)) << "devices 0 to 3 for the first, then 0";
  EXPECT_EQ(255, FindCdRomIndex(4, 4, 4));
  EXPECT_EQ(4 + 1 + 256, Calls(Api::CreateFileA)) << "every number tried";
}

TEST_F(SptiTest, FindDriveLetterOpensOnlyCdRomLettersAndTakesTheFirst) {
  const size_t shared = winsim::AddCdRom(0, 1, 0, 0, 'G');
  M().driveType['D' - 'A'] = DRIVE_CDROM;  // the same device under two letters
  M().letterDevice['D' - 'A'] = static_cast<int>(shared);
  winsim::AddCdRom(1, 2, 0, 0, 'E');
  M().driveType['C' - 'A'] = DRIVE_FIXED;
  EXPECT_EQ('D', FindDriveLetterSpti(1, 0, 0));
  EXPECT_EQ(1, Calls(Api::CreateFileA));
  EXPECT_EQ('E', FindDriveLetterSpti(2, 0, 0));
  EXPECT_EQ(' ', FindDriveLetterSpti(3, 0, 0));
  EXPECT_EQ(4 + 5 + 26, Calls(Api::GetDriveTypeA)) << "each search stops at its match";
}

// A device that differs from the address in one part only is another drive.
TEST_F(SptiTest, SearchesCompareAllThreePartsOfTheAddress) {
  winsim::AddCdRom(0, 0, 2, 3, 'D');  // adapter differs
  winsim::AddCdRom(1, 1, 0, 3, 'E');  // target differs
  winsim::AddCdRom(2, 1, 2, 0, 'F');  // lun differs
  EXPECT_EQ(255, FindCdRomIndex(1, 2, 3));
  EXPECT_EQ(' ', FindDriveLetterSpti(1, 2, 3));
  winsim::AddCdRom(3, 1, 2, 3, 'G');
  EXPECT_EQ(3, FindCdRomIndex(1, 2, 3));
  EXPECT_EQ('G', FindDriveLetterSpti(1, 2, 3));
}

}  // namespace
