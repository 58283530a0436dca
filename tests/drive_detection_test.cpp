// Detection of the supported speeds: the probe sequence and what is kept.
#include <cstring>

#include "device_fixture.h"
#include "scsi/scsidefs.h"

namespace {

using DetectionTest = DeviceTest;

const std::vector<uint8_t> kModeSense{0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 24, 0};

std::vector<uint8_t> SetSpeedCdb(uint16_t speed) {
  return {0xBB, 0, static_cast<uint8_t>(speed >> 8), static_cast<uint8_t>(speed), 0, 0, 0, 0, 0, 0, 0, 0};
}

// The 188 blocks of a detection whose first read gave `saved`.
std::vector<std::vector<uint8_t>> ExpectedSequence(uint16_t saved) {
  std::vector<std::vector<uint8_t>> cdbs{kModeSense};
  for (int step = 47; step >= 7; --step) {
    cdbs.push_back(SetSpeedCdb(static_cast<uint16_t>(step * 1385)));
    cdbs.push_back(kModeSense);
  }
  for (int step = 52; step >= 1; --step) {
    cdbs.push_back(SetSpeedCdb(static_cast<uint16_t>(step * 177)));
    cdbs.push_back(kModeSense);
  }
  cdbs.push_back(SetSpeedCdb(saved));
  return cdbs;
}

std::vector<std::vector<uint8_t>> SentCdbs() {
  std::vector<std::vector<uint8_t>> cdbs;
  for (const auto& c : winsim::machine().commands) cdbs.push_back(c.cdb);
  return cdbs;
}

TEST_F(DetectionTest, ProbesBothLaddersThenRestoresTheFirstSpeed) {
  const size_t index = winsim::AddCdRom(0, 1, 0, 0);
  DeviceDrive(index).currentSpeed = 4234;
  UseSpti();
  tdynwordarray list{1, 2, 3};
  {
    tcddrive drive(1, 0, 0);
    drive.DetectSpeeds(list);
  }
  const auto expected = ExpectedSequence(4234);
  ASSERT_EQ(188u, expected.size());
  EXPECT_EQ(expected, SentCdbs());
  EXPECT_EQ((std::vector<uint8_t>{0xBB, 0, 0xFE, 0x47, 0, 0, 0, 0, 0, 0, 0, 0}), SentCdbs()[1]);
  EXPECT_EQ((std::vector<uint8_t>{0xBB, 0, 0x00, 0xB1, 0, 0, 0, 0, 0, 0, 0, 0}), SentCdbs()[185]);
  EXPECT_EQ(4234, DeviceDrive(index).currentSpeed);
  EXPECT_EQ((tdynwordarray{7056, 5645, 4234, 2822, 1411}), list);
}

TEST_F(DetectionTest, DriveIgnoringSetSpeedGivesOneValue) {
  const size_t index = winsim::AddCdRom(0, 1, 0, 0);
  DeviceDrive(index).ignoresSetSpeed = true;
  DeviceDrive(index).currentSpeed = 7056;
  UseSpti();
  tdynwordarray list;
  tcddrive drive(1, 0, 0);
  drive.DetectSpeeds(list);
  EXPECT_EQ(tdynwordarray{7056}, list);
}

TEST_F(DetectionTest, KeepsFirstSeenOrderAcrossTheLadders) {
  winsim::AddAspiDrive(0, 1, 0);
  AspiDrive(0).cdSpeeds = {9695, 7056, 5645, 4234, 2822, 1411};
  UseAspi();
  tdynwordarray list;
  {
    tcddrive drive(0, 1, 0);
    drive.DetectSpeeds(list);
  }
  EXPECT_EQ((tdynwordarray{9695, 7056, 5645, 4234, 2822, 1411}), list);
  EXPECT_EQ(188u, AspiExecRequests().size());
}

TEST_F(DetectionTest, ReadsThatTransferNothingGiveZeroAndRestoreZero) {
  const size_t index = winsim::AddCdRom(0, 1, 0, 0);
  DeviceDrive(index).SetFault(0x5A, simdrive::Fault::NoTransfer);
  UseSpti();
  tdynwordarray list;
  {
    tcddrive drive(1, 0, 0);
    drive.DetectSpeeds(list);
  }
  EXPECT_EQ(tdynwordarray{0}, list);
  EXPECT_EQ(ExpectedSequence(0), SentCdbs()) << "every probe is made";
}

TEST_F(DetectionTest, DriveWithoutTransportGivesZeroAndSendsNothing) {
  winsim::AddCdRom(0, 1, 0, 0);
  activetransport = tpNone;
  tdynwordarray list{5, 6};
  tcddrive drive(1, 0, 0);
  drive.DetectSpeeds(list);
  EXPECT_EQ(tdynwordarray{0}, list);
  EXPECT_TRUE(winsim::machine().commands.empty());
}

// A drive whose reports come from a script rather than a speed table, so
// that a value can come back after others.
struct ScriptedDrive {
  static std::vector<uint16_t> reports;
  static size_t next;
  static std::vector<uint16_t> requests;
  static DWORD __cdecl Send(LPVOID srb) {
    auto* exec = static_cast<SRB_ExecSCSICmd*>(srb);
    if (exec->CDBByte[0] == 0x5A) {
      const uint16_t speed = next < reports.size() ? reports[next] : 0;
      ++next;
      exec->SRB_BufPointer[22] = static_cast<uint8_t>(speed >> 8);
      exec->SRB_BufPointer[23] = static_cast<uint8_t>(speed);
    } else if (exec->CDBByte[0] == 0xBB) {
      requests.push_back(static_cast<uint16_t>(exec->CDBByte[2] << 8 | exec->CDBByte[3]));
    }
    exec->SRB_Status = SS_COMP;
    return SS_COMP;
  }
};
std::vector<uint16_t> ScriptedDrive::reports;
size_t ScriptedDrive::next = 0;
std::vector<uint16_t> ScriptedDrive::requests;

TEST_F(DetectionTest, ValueSeenAgainLaterIsNotAppendedAgain) {
  UseAspi();
  SendASPI32Command = &ScriptedDrive::Send;
  ScriptedDrive::reports = {3000};  // the first read
  for (int probe = 0; probe < 93; ++probe)
    ScriptedDrive::reports.push_back(probe % 3 == 0 ? 500 : probe % 3 == 1 ? 300 : 3000);
  ScriptedDrive::next = 0;
  ScriptedDrive::requests.clear();
  tdynwordarray list;
  {
    tcddrive drive(0, 1, 0);
    drive.DetectSpeeds(list);
  }
  EXPECT_EQ((tdynwordarray{500, 300, 3000}), list);
  EXPECT_EQ(94u, ScriptedDrive::next);
  ASSERT_EQ(94u, ScriptedDrive::requests.size());
  EXPECT_EQ(3000, ScriptedDrive::requests.back());
}

}  // namespace
