// Detection of the supported speeds: the probe sequence and what is kept.
#include "device_fixture.h"
#include "scsi/scsidefs.h"

namespace {

using DetectionTest = DeviceTest;

const std::vector<uint8_t> kModeSense{0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 24, 0};

std::vector<uint8_t> SetSpeedCdb(int speed) {
  return {0xBB, 0, static_cast<uint8_t>(speed >> 8), static_cast<uint8_t>(speed), 0, 0, 0, 0, 0, 0,
          0, 0};
}

// The 93 requests in order: DVD steps 47..7 x 1385, then CD steps 52..1 x 177.
std::vector<int> Ladder() {
  std::vector<int> requests;
  for (int step = 47; step >= 7; --step) requests.push_back(step * 1385);
  for (int step = 52; step >= 1; --step) requests.push_back(step * 177);
  return requests;
}

// The 188 blocks of a detection whose first read gave `saved`.
std::vector<std::vector<uint8_t>> ExpectedSequence(int saved) {
  std::vector<std::vector<uint8_t>> cdbs{kModeSense};
  for (int request : Ladder()) cdbs.insert(cdbs.end(), {SetSpeedCdb(request), kModeSense});
  cdbs.push_back(SetSpeedCdb(saved));
  return cdbs;
}

// What a detection by the drive object at that address leaves in list.
tdynwordarray Detect(uint8_t adapter, uint8_t target, uint8_t lun, tdynwordarray list = {}) {
  tcddrive drive(adapter, target, lun);
  drive.DetectSpeeds(list);
  return list;
}

std::vector<std::vector<uint8_t>> SentCdbs() {
  std::vector<std::vector<uint8_t>> cdbs;
  for (const auto& c : winsim::machine().commands) cdbs.push_back(c.cdb);
  return cdbs;
}

TEST_F(DetectionTest, ProbesBothLaddersAndKeepsEachSpeedOnceInFirstSeenOrder) {
  const struct {
    const char* name;
    void (*setup)(simdrive::Drive&);
    tdynwordarray list;
    int saved;  // the first read, asked for again at the end; -1: nothing sent
  } cases[] = {
      {"default CD speeds", [](simdrive::Drive& d) { d.currentSpeed = 4234; },
       {7056, 5645, 4234, 2822, 1411}, 4234},
      {"ignores the set-speed command", [](simdrive::Drive& d) { d.ignoresSetSpeed = true; },
       {7056}, 7056},
      {"9695 on every DVD step",
       [](simdrive::Drive& d) { d.cdSpeeds = {9695, 7056, 5645, 4234, 2822, 1411}; },
       {9695, 7056, 5645, 4234, 2822, 1411}, 7056},
      {"reads that transfer nothing",
       [](simdrive::Drive& d) { d.SetFault(0x5A, simdrive::Fault::NoTransfer); }, {0}, 0},
      {"drive object without transport", [](simdrive::Drive&) { activetransport = tpNone; }, {0}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::Reset();
    UseSpti();
    c.setup(DeviceDrive(winsim::AddCdRom(0, 1, 0, 0)));
    EXPECT_EQ(c.list, Detect(1, 0, 0, {1, 2, 3}));
    const auto expected = c.saved < 0 ? decltype(SentCdbs()){} : ExpectedSequence(c.saved);
    EXPECT_EQ(expected, SentCdbs()) << "every probe is made";
  }
  ASSERT_EQ(188u, ExpectedSequence(0).size());
  EXPECT_EQ(SetSpeedCdb(0xFE47), ExpectedSequence(0)[1]);    // 47 x 1385
  EXPECT_EQ(SetSpeedCdb(0x00B1), ExpectedSequence(0)[185]);  // 1 x 177
}

// Each of the 188 commands failing in turn: every other command is still
// sent, a failed read counts as 0, and a failed set-speed leaves the drive
// where it was, so the read after it gives the speed before.
TEST_F(DetectionTest, EachCommandFailingInTurnCostsOnlyItsOwnReading) {
  simdrive::Drive model;
  const std::vector<int> requests = Ladder();
  const int initial = 4234;
  for (size_t failed = 0; failed < 188; ++failed) {
    SCOPED_TRACE(testing::Message() << "command " << failed << " fails");
    Fresh();
    winsim::AddAspiDrive(0, 1, 0);
    AspiDrive(0).currentSpeed = initial;
    UseAspi();
    M().aspi.completeAtOnce = true;
    winsim::ArmFailure({winsim::Api::SendASPI32Command}, static_cast<int>(failed) + 1);
    const tdynwordarray list = Detect(0, 1, 0);
    // Command 0 reads the speed to restore, 2k-1 sets probe k, 2k reads it.
    std::vector<int> reads{failed == 0 ? 0 : initial};
    for (size_t k = 1; k <= requests.size(); ++k) {
      const int before = k == 1 ? initial : model.SettleOn(static_cast<uint16_t>(requests[k - 2]));
      const int now = failed == 2 * k - 1 ? before : model.SettleOn(static_cast<uint16_t>(requests[k - 1]));
      reads.push_back(failed == 2 * k ? 0 : now);
    }
    tdynwordarray expected;
    for (size_t k = 1; k < reads.size(); ++k)
      if (std::find(expected.begin(), expected.end(), reads[k]) == expected.end())
        expected.push_back(static_cast<uint16_t>(reads[k]));
    EXPECT_EQ(expected, list);
    auto cdbs = ExpectedSequence(reads[0]);
    cdbs.erase(cdbs.begin() + static_cast<std::ptrdiff_t>(failed));
    EXPECT_EQ(cdbs, SentCdbs());
  }
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
  EXPECT_EQ((tdynwordarray{500, 300, 3000}), Detect(0, 1, 0));
  EXPECT_EQ(94u, ScriptedDrive::next);
  ASSERT_EQ(94u, ScriptedDrive::requests.size());
  EXPECT_EQ(3000, ScriptedDrive::requests.back());
}

}  // namespace
