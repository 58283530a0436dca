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

void Put(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> ExpectedBlock(const std::vector<uint8_t>& cdb, const void* buffer,
                                   uint32_t length, uint8_t dataIn) {
  std::vector<uint8_t> bytes(kSptd.size + kSenseSize, 0);
  Put(bytes, kSptd.length, kSptd.size, 2);
  bytes[kSptd.cdbLength] = static_cast<uint8_t>(cdb.size());
  bytes[kSptd.senseInfoLength] = kSenseSize;
  bytes[kSptd.dataIn] = dataIn;
  Put(bytes, kSptd.dataTransferLength, length, 4);
  Put(bytes, kSptd.timeOutValue, 60, 4);
  Put(bytes, kSptd.dataBuffer, reinterpret_cast<uintptr_t>(buffer), sizeof(void*));
  Put(bytes, kSptd.senseInfoOffset, kSptd.size, 4);
  std::copy(cdb.begin(), cdb.end(), bytes.begin() + kSptd.cdb);
  return bytes;
}

TEST_F(SptiTest, PassThroughBlockHoldsExactlyTheCommandFields) {
  static_assert(sizeof(tsptdwithsense) == kSptd.size + kSenseSize, "layout");
  uint8_t data[40];
  const std::vector<uint8_t> inquiry{0x12, 0, 0, 0, 0x24, 0};
  const std::vector<uint8_t> setspeed{0xBB, 0, 0x1B, 0x90, 0, 0, 0, 0, 0, 0, 0, 0};
  struct Case {
    std::vector<uint8_t> cdb;
    void* buffer;
    uint32_t length;
    uint8_t direction, dataIn;
  };
  const Case cases[] = {
      {inquiry, data, 36, 1, 1},     // SCSI_IOCTL_DATA_IN
      {setspeed, nullptr, 0, 0, 2},  // SCSI_IOCTL_DATA_UNSPECIFIED, no buffer
      {inquiry, data, 40, 2, 0},     // SCSI_IOCTL_DATA_OUT
  };
  for (const Case& c : cases) {
    alignas(8) uint8_t area[sizeof(tsptdwithsense) + 1];
    std::memset(area, 0xCD, sizeof area);
    // The caller's block is longer than the command: nothing past it is read.
    uint8_t cdb[16];
    std::memset(cdb, 0xEE, sizeof cdb);
    std::copy(c.cdb.begin(), c.cdb.end(), cdb);
    PreparePassThrough(*reinterpret_cast<tsptdwithsense*>(area), cdb,
                       static_cast<uint8_t>(c.cdb.size()), c.buffer, c.length, c.direction);
    const std::vector<uint8_t> expected = ExpectedBlock(c.cdb, c.buffer, c.length, c.dataIn);
    EXPECT_EQ(expected, std::vector<uint8_t>(area, area + sizeof(tsptdwithsense)))
        << "direction " << int(c.direction);
    EXPECT_EQ(0xCD, area[sizeof(tsptdwithsense)]) << "written past the block";
  }
}

TEST_F(SptiTest, CdbLongerThanSixteenIsClampedToTheField) {
  uint8_t cdb[20];
  for (uint8_t i = 0; i < sizeof cdb; ++i) cdb[i] = static_cast<uint8_t>(0xA0 + i);
  alignas(8) uint8_t area[sizeof(tsptdwithsense) + 1];
  std::memset(area, 0xCD, sizeof area);
  PreparePassThrough(*reinterpret_cast<tsptdwithsense*>(area), cdb, sizeof cdb, nullptr, 0, 0);
  const std::vector<uint8_t> expected =
      ExpectedBlock(std::vector<uint8_t>(cdb, cdb + 16), nullptr, 0, 2);
  EXPECT_EQ(expected, std::vector<uint8_t>(area, area + sizeof(tsptdwithsense)));
  EXPECT_EQ(0xCD, area[sizeof(tsptdwithsense)]);
}

TEST_F(SptiTest, SystemReceivesTheWholeBlockBothWays) {
  winsim::AddCdRom(0, 1, 0, 0);
  const HANDLE handle = OpenCdRomDevice(0);
  ASSERT_NE(INVALID_HANDLE_VALUE, handle);
  uint8_t reply[24] = {};
  const uint8_t cdb[16] = {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 24};
  EXPECT_TRUE(SptiExecute(handle, cdb, 10, reply, sizeof reply, 1));
  CloseDevice(handle);
  ASSERT_EQ(1u, M().commands.size());
  const winsim::PassThroughBlock& block = M().commands[0].block;
  EXPECT_EQ(kSptd.size + kSenseSize, block.inSize);
  EXPECT_EQ(kSptd.size + kSenseSize, block.outSize);
  EXPECT_EQ(kSptd.size, block.length);
  EXPECT_EQ(10, block.cdbLength);
  EXPECT_EQ(kSenseSize, block.senseInfoLength);
  EXPECT_EQ(kSptd.size, block.senseInfoOffset);
  EXPECT_EQ(1, block.dataIn);
  EXPECT_EQ(24u, block.dataTransferLength);
  EXPECT_EQ(60u, block.timeOutValue);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(reply), block.dataBuffer);
  EXPECT_EQ(0, block.pathId);
  EXPECT_EQ(0, block.targetId);
  EXPECT_EQ(0, block.lun);
}

TEST_F(SptiTest, OpenDriveLetterOpensOnlyCdRomLetters) {
  winsim::AddCdRom(0, 1, 0, 0, 'E');
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
  uint8_t a = 0xAA, t = 0xAA, l = 0xAA;
  EXPECT_TRUE(GetScsiAddress(handle, a, t, l));
  EXPECT_EQ(1, a);
  CloseDevice(handle);
}

TEST_F(SptiTest, OpenCdRomDeviceUsesTheDecimalNumber) {
  for (int number : {0, 9, 10, 99, 100, 255}) {
    winsim::AddCdRom(number, static_cast<uint8_t>(number), 1, 2);
  }
  for (int number : {0, 9, 10, 99, 100, 255}) {
    const HANDLE handle = OpenCdRomDevice(static_cast<uint8_t>(number));
    ASSERT_NE(INVALID_HANDLE_VALUE, handle) << number;
    uint8_t a = 0xAA, t = 0xAA, l = 0xAA;
    EXPECT_TRUE(GetScsiAddress(handle, a, t, l));
    EXPECT_EQ(number, a);
    EXPECT_EQ(1, t);
    EXPECT_EQ(2, l);
    CloseDevice(handle);
  }
  EXPECT_EQ(INVALID_HANDLE_VALUE, OpenCdRomDevice(1));
  const std::vector<std::string> paths{"\\\\.\\CdRom0",  "\\\\.\\CdRom9",   "\\\\.\\CdRom10",
                                       "\\\\.\\CdRom99", "\\\\.\\CdRom100", "\\\\.\\CdRom255",
                                       "\\\\.\\CdRom1"};
  EXPECT_EQ(paths, M().openedPaths);
}

TEST_F(SptiTest, FailingOpenAnswersMinusOne) {
  const size_t index = winsim::AddCdRom(0, 1, 0, 0, 'E');
  M().devices[index]->failOpen = true;
  EXPECT_EQ(INVALID_HANDLE_VALUE, OpenCdRomDevice(0));
  EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDriveLetter('E'));
}

TEST_F(SptiTest, FailedAddressQueryWritesZeroAddress) {
  const size_t index = winsim::AddCdRom(0, 1, 2, 3);
  M().devices[index]->failAddress = true;
  const HANDLE handle = OpenCdRomDevice(0);
  ASSERT_NE(INVALID_HANDLE_VALUE, handle);
  uint8_t a = 0xAA, t = 0xAA, l = 0xAA;
  EXPECT_FALSE(GetScsiAddress(handle, a, t, l));
  EXPECT_EQ(0, a);
  EXPECT_EQ(0, t);
  EXPECT_EQ(0, l);
  CloseDevice(handle);
}

TEST_F(SptiTest, CommandStatusDecidesTheResult) {
  const size_t index = winsim::AddCdRom(0, 1, 0, 0);
  const HANDLE handle = OpenCdRomDevice(0);
  ASSERT_NE(INVALID_HANDLE_VALUE, handle);
  uint8_t cdb[16] = {0x12, 0, 0, 0, 0x24};
  uint8_t reply[37];
  std::memset(reply, 0xCD, sizeof reply);
  EXPECT_TRUE(SptiExecute(handle, cdb, 6, reply, 36, 1));
  EXPECT_EQ(0xCD, reply[36]) << "written past the buffer";
  EXPECT_EQ(0, std::memcmp(reply + 8, "ACME    ", 8));

  DeviceDrive(index).SetFault(0x12, simdrive::Fault::CheckCondition);
  EXPECT_FALSE(SptiExecute(handle, cdb, 6, reply, 36, 1)) << "CHECK CONDITION is a failure";
  EXPECT_EQ(2, Calls(Api::DeviceIoControl)) << "the control call itself was made";

  DeviceDrive(index).SetFault(0x12, simdrive::Fault::None);
  M().devices[index]->failControl = true;
  EXPECT_FALSE(SptiExecute(handle, cdb, 6, reply, 36, 1));
  CloseDevice(handle);
}

TEST_F(SptiTest, CommandReachesTheDriveWithItsDirectionAndLength) {
  winsim::AddCdRom(0, 1, 0, 0);
  const HANDLE handle = OpenCdRomDevice(0);
  ASSERT_NE(INVALID_HANDLE_VALUE, handle);
  const uint8_t setspeed[16] = {0xBB, 0, 0xFF, 0xFF};
  EXPECT_TRUE(SptiExecute(handle, setspeed, 12, nullptr, 0, 0));
  uint8_t page[24] = {};
  const uint8_t modesense[16] = {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 24, 0};
  EXPECT_TRUE(SptiExecute(handle, modesense, 10, page, sizeof page, 1));
  CloseDevice(handle);

  ASSERT_EQ(2u, M().commands.size());
  EXPECT_EQ(winsim::Machine::Command::PassThrough, M().commands[0].route);
  EXPECT_EQ(std::vector<uint8_t>(setspeed, setspeed + 12), M().commands[0].cdb);
  EXPECT_EQ(0, M().commands[0].dir);
  EXPECT_EQ(0u, M().commands[0].bufferLength);
  EXPECT_EQ(std::vector<uint8_t>(modesense, modesense + 10), M().commands[1].cdb);
  EXPECT_EQ(1, M().commands[1].dir);
  EXPECT_EQ(24u, M().commands[1].bufferLength);
}

TEST_F(SptiTest, FindCdRomIndexAnswersTheLowestMatchingNumber) {
  winsim::AddCdRom(0, 0, 1, 0);
  winsim::AddCdRom(3, 1, 2, 0);
  const size_t twin = winsim::AddCdRom(5, 1, 2, 0);  // differs only in path id
  M().devices[twin]->pathId = 1;
  EXPECT_EQ(3, FindCdRomIndex(1, 2, 0));
  EXPECT_EQ(0, FindCdRomIndex(0, 1, 0));
  EXPECT_EQ(4 + 1, Calls(Api::CreateFileA)) << "devices 0 to 3 for the first, then 0";
}

TEST_F(SptiTest, FindCdRomIndexTriesAll256NumbersAndAnswers255) {
  winsim::AddCdRom(7, 1, 0, 0);
  EXPECT_EQ(255, FindCdRomIndex(2, 0, 0));
  EXPECT_EQ(256, Calls(Api::CreateFileA));
  EXPECT_EQ(1, Calls(Api::CloseHandle));
}

TEST_F(SptiTest, FindCdRomIndexTakesAFailedAddressQueryAsZeroAddress) {
  const size_t index = winsim::AddCdRom(2, 4, 4, 4);
  M().devices[index]->failAddress = true;
  winsim::AddCdRom(3, 0, 0, 0);
  EXPECT_EQ(2, FindCdRomIndex(0, 0, 0));
  EXPECT_EQ(255, FindCdRomIndex(4, 4, 4));
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

}  // namespace
