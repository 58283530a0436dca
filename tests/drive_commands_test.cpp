// The drive object: opening on each transport, the exact command blocks,
// and what the replies give after success and failure.
#include "device_fixture.h"

using winsim::Api;

namespace {

struct Sent {
  std::vector<uint8_t> cdb;
  int dir;
  uint32_t length;
};

// Runs every command over one transport; the drive sits at 1:2:0.
class DriveCommandTest : public DeviceTest, public ::testing::WithParamInterface<ttransport> {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    if (GetParam() == tpSpti) {
      winsim::AddCdRom(0, 0, 0, 0);  // another drive first, so the search has to skip it
      index_ = winsim::AddCdRom(1, 1, 2, 0);
      UseSpti();
    } else {
      M().aspi.adapterCount = 2;
      index_ = winsim::AddAspiDrive(1, 2, 0);
      UseAspi();
    }
  }
  simdrive::Drive& Drive() { return GetParam() == tpSpti ? DeviceDrive(index_) : AspiDrive(index_); }

  // The commands the drive received; on ASPI the CDBByte bytes past the
  // command must be zero.
  std::vector<Sent> Received() {
    std::vector<Sent> sent;
    if (GetParam() == tpSpti) {
      for (const auto& c : M().commands) {
        EXPECT_EQ(static_cast<int>(index_), c.device);
        sent.push_back({c.cdb, c.dir, c.bufferLength});
      }
      return sent;
    }
    for (const aspiwire::Request& r : AspiRequests()) {
      EXPECT_EQ(1, r.haId);
      EXPECT_EQ(2, r.target);
      EXPECT_EQ(0, r.lun);
      const int dir = r.flags == 0x48 ? 1 : r.flags == 0x50 ? 2 : r.flags == 0x40 ? 0 : -1;
      const auto end = r.cdb.begin() + r.cdbLen;
      EXPECT_EQ(std::vector<uint8_t>(16 - r.cdbLen, 0), std::vector<uint8_t>(end, r.cdb.end()));
      sent.push_back({std::vector<uint8_t>(r.cdb.begin(), end), dir, r.bufLen});
    }
    return sent;
  }

  size_t index_ = 0;
};

TEST_P(DriveCommandTest, EveryCommandSendsItsExactBlock) {
  const struct {
    const char* name;
    void (*run)(tcddrive&);
    std::vector<uint8_t> cdb;
    int dir;
    uint32_t length;
  } cases[] = {
      {"Inquiry", [](tcddrive& d) { std::string v, p, r; d.Inquiry(v, p, r); },
       {0x12, 0, 0, 0, 0x24, 0}, 1, 36},
      {"GetCurrentSpeed", [](tcddrive& d) { d.GetCurrentSpeed(); },
       {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 24, 0}, 1, 24},
      {"SetSpeed(7056)", [](tcddrive& d) { d.SetSpeed(7056); },
       {0xBB, 0, 0x1B, 0x90, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0},
      {"SetSpeed(65535)", [](tcddrive& d) { d.SetSpeed(65535); },
       {0xBB, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0},
      {"SetSpeed(0)", [](tcddrive& d) { d.SetSpeed(0); },
       {0xBB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0},
      {"Eject(1)", [](tcddrive& d) { d.Eject(1); }, {0x1B, 1, 0, 0, 2, 0}, 0, 0},
      {"Load(1)", [](tcddrive& d) { d.Load(1); }, {0x1B, 1, 0, 0, 3, 0}, 0, 0},
      {"Eject(0)", [](tcddrive& d) { d.Eject(0); }, {0x1B, 0, 0, 0, 2, 0}, 0, 0},
      {"GetCurrentProfile", [](tcddrive& d) { d.GetCurrentProfile(); },
       {0x46, 2, 0, 0, 0, 0, 0, 0, 8, 0}, 1, 8},
      {"GetMediaClass", [](tcddrive& d) { d.GetMediaClass(); },
       {0x46, 2, 0, 0, 0, 0, 0, 0, 8, 0}, 1, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    M().commands.clear();
    M().aspi.log.clear();
    {
      tcddrive drive(1, 2, 0);
      ASSERT_EQ(GetParam(), drive.Transport());
      c.run(drive);
    }
    const std::vector<Sent> sent = Received();
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(c.cdb, sent[0].cdb);
    EXPECT_EQ(c.dir, sent[0].dir);
    EXPECT_EQ(c.length, sent[0].length);
  }
}

TEST_P(DriveCommandTest, ModeSenseCarriesTheLow16BitsOfItsLengthAndLeavesTheBufferAlone) {
  std::vector<uint8_t> buffer(0x12345 + 1, 0xCD);
  {
    tcddrive drive(1, 2, 0);
    drive.ModeSense(0x2A, buffer.data(), 0x12345);
    drive.ModeSense(0x2A, buffer.data(), 0x1234);
  }
  const std::vector<Sent> sent = Received();
  ASSERT_EQ(2u, sent.size());
  EXPECT_EQ((std::vector<uint8_t>{0x5A, 0, 0x2A, 0, 0, 0, 0, 0x23, 0x45, 0}), sent[0].cdb);
  EXPECT_EQ(0x12345u, sent[0].length);
  EXPECT_EQ((std::vector<uint8_t>{0x5A, 0, 0x2A, 0, 0, 0, 0, 0x12, 0x34, 0}), sent[1].cdb);
  EXPECT_EQ(0xCD, buffer[0x12345]) << "written past the length";
  EXPECT_EQ(0xCD, buffer[0x1233]) << "the buffer is not cleared";
}

TEST_P(DriveCommandTest, RepliesAreReadFromTheirBytes) {
  Drive().vendor = "VENDOR\x01\xE9";
  Drive().product = "PRODUCT 16 BYTES";
  Drive().revision = "R2.0";
  Drive().currentSpeed = 0x1B90;
  Drive().profile = simdrive::kDvdPlusRDl;
  Drive().dvdSpeeds = {8310, 5540};
  tcddrive drive(1, 2, 0);
  std::string vendor = "poison", product = "poison", revision = "poison";
  EXPECT_TRUE(drive.Inquiry(vendor, product, revision));
  EXPECT_EQ("VENDOR\x01\xE9", vendor);
  EXPECT_EQ("PRODUCT 16 BYTES", product);
  EXPECT_EQ("R2.0", revision);
  EXPECT_EQ(7056, drive.GetCurrentSpeed());
  EXPECT_EQ(0x2B, drive.GetCurrentProfile());
  EXPECT_EQ(kMediaDvd, drive.GetMediaClass());
  EXPECT_TRUE(drive.Eject(1));
  EXPECT_TRUE(Drive().trayOpen);
  EXPECT_TRUE(drive.Load(1));
  EXPECT_FALSE(Drive().trayOpen);
  EXPECT_TRUE(drive.SetSpeed(65535));
  EXPECT_EQ(8310, drive.GetCurrentSpeed()) << "65535 asks for the fastest";
}

TEST_P(DriveCommandTest, RejectedCommandsLeaveZerosInTheirReplies) {
  for (simdrive::Fault fault : {simdrive::Fault::CheckCondition, simdrive::Fault::NoTransfer}) {
    Drive().faults.clear();
    tcddrive drive(1, 2, 0);
    std::string vendor, product, revision;
    ASSERT_TRUE(drive.Inquiry(vendor, product, revision));
    for (uint8_t opcode : {0x12, 0x5A, 0x46}) Drive().SetFault(opcode, fault);
    drive.Inquiry(vendor, product, revision);
    EXPECT_EQ(std::string(8 + 16 + 4, '\0'), vendor + product + revision);
    EXPECT_EQ(0, drive.GetCurrentSpeed());
    EXPECT_EQ(0, drive.GetCurrentProfile());
    EXPECT_EQ(kMediaOther, drive.GetMediaClass());
  }
}

// Each reader twice in a row, the second call failing: a reply left behind
// by the first must not be read again.
TEST_P(DriveCommandTest, FailedCallRightAfterAnAnswerReadsZeros) {
  Drive().profile = simdrive::kDvdRom;
  tcddrive drive(1, 2, 0);
  const std::initializer_list<Api> calls = {Api::DeviceIoControl, Api::SendASPI32Command};
  std::string v[2], p[2], r[2];
  winsim::ArmFailure(calls, 2);
  drive.Inquiry(v[0], p[0], r[0]);
  drive.Inquiry(v[1], p[1], r[1]);
  winsim::ArmFailure(calls, 2);
  const uint16_t speed[] = {drive.GetCurrentSpeed(), drive.GetCurrentSpeed()};
  winsim::ArmFailure(calls, 2);
  const uint16_t profile[] = {drive.GetCurrentProfile(), drive.GetCurrentProfile()};
  EXPECT_EQ("ACME    ", v[0]);
  EXPECT_EQ(std::string(8 + 16 + 4, '\0'), v[1] + p[1] + r[1]);
  EXPECT_EQ(7056, speed[0]);
  EXPECT_EQ(0, speed[1]);
  EXPECT_EQ(simdrive::kDvdRom, profile[0]);
  EXPECT_EQ(0, profile[1]);
}

INSTANTIATE_TEST_SUITE_P(Transports, DriveCommandTest, ::testing::Values(tpSpti, tpAspi),
                         [](const ::testing::TestParamInfo<ttransport>& info) {
                           return info.param == tpSpti ? "PassThrough" : "Aspi";
                         });

using DriveObjectTest = DeviceTest;

TEST_F(DriveObjectTest, MediaClassOverEveryProfileBoundary) {
  const struct {
    uint16_t profile;
    uint8_t media;
  } cases[] = {
      {0x00, kMediaOther}, {0x07, kMediaOther}, {0x08, kMediaCd},    {0x09, kMediaCd},
      {0x0A, kMediaCd},    {0x0B, kMediaOther}, {0x0F, kMediaOther}, {0x10, kMediaDvd},
      {0x16, kMediaDvd},   {0x17, kMediaOther}, {0x19, kMediaOther}, {0x1A, kMediaDvd},
      {0x1B, kMediaDvd},   {0x1C, kMediaOther}, {0x29, kMediaOther}, {0x2A, kMediaDvd},
      {0x2B, kMediaDvd},   {0x2C, kMediaOther}, {0x40, kMediaOther}, {0x1008, kMediaOther},
      {0xFFFF, kMediaOther},
  };
  for (const auto& c : cases) EXPECT_EQ(c.media, MediaClassOfProfile(c.profile)) << c.profile;
}

TEST_F(DriveObjectTest, HoldsADeviceOnlyOnPassThroughAndSendsNothingWithoutTransport) {
  for (ttransport transport : {tpSpti, tpAspi, tpNone}) {
    SCOPED_TRACE(int(transport));
    Fresh();
    winsim::AddCdRom(0, 1, 0, 0);
    M().aspi.adapterCount = 2;
    winsim::AddAspiDrive(1, 0, 0);
    if (transport == tpAspi) UseAspi();
    activetransport = transport;
    {
      tcddrive drive(1, 0, 0);
      EXPECT_EQ(transport, drive.Transport());
      // The device on pass-through, the address's mutex on either transport.
      EXPECT_EQ(transport == tpSpti ? 2 : transport == tpAspi ? 1 : 0, M().count.openHandles);
      EXPECT_EQ(transport == tpNone ? 0 : 7056, drive.GetCurrentSpeed());
      if (transport == tpNone) {
        std::string v = "x", p = "x", r = "x";
        EXPECT_FALSE(drive.Inquiry(v, p, r));
        EXPECT_EQ(std::string(8, '\0'), v);
        EXPECT_FALSE(drive.SetSpeed(7056));
        uint8_t cdb[16] = {0x00};
        EXPECT_FALSE(drive.ExecCmd(cdb, 6, nullptr, 0, dirNone));
        EXPECT_TRUE(M().commands.empty());
        EXPECT_TRUE(M().aspi.log.empty());
      }
    }
    EXPECT_EQ(0, M().count.openHandles);
    if (transport != tpSpti) { EXPECT_EQ(0, Calls(Api::CreateFileA)); }
  }
}

TEST_F(DriveObjectTest, HoldsItsAddressMutexWhileItLivesAndTakesOverAnAbandonedOne) {
  winsim::AddCdRom(0, 1, 0, 0);
  UseSpti();
  // Another program took the mutex and ended without giving it back.
  M().thread = 2;
  HANDLE other = CreateMutexA(nullptr, FALSE, "Kelvarin drive 1:0:0");
  ASSERT_NE(nullptr, other);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(other, 0));
  winsim::EndThread(2);
  M().thread = 1;
  {
    tcddrive drive(1, 0, 0);
    const winsim::MutexOwnership held = winsim::MutexOwner("Kelvarin drive 1:0:0");
    EXPECT_EQ(1u, held.owner);
    EXPECT_EQ(1u, held.count);
    EXPECT_EQ(0u, winsim::MutexOwner("Kelvarin drive 1:0:1").owner);
    EXPECT_TRUE(drive.Eject(1));
  }
  EXPECT_EQ(0u, winsim::MutexOwner("Kelvarin drive 1:0:0").owner);
  EXPECT_TRUE(CloseHandle(other));
  EXPECT_TRUE(winsim::NothingOpen());
  EXPECT_TRUE(M().misuse.empty());
}

// 255 is also the search's "not found": device 255 is used only when it
// reports the drive's own address.
TEST_F(DriveObjectTest, Device255IsTakenOnlyWhenItIsTheDrive) {
  const struct {
    uint8_t port, target, lun;
  } devices[] = {{1, 2, 3}, {0, 2, 3}, {1, 0, 3}, {1, 2, 0}};  // the drive, then one part off
  for (const auto& d : devices) {
    const bool same = d.port == 1 && d.target == 2 && d.lun == 3;
    SCOPED_TRACE(testing::Message() << int(d.port) << ':' << int(d.target) << ':' << int(d.lun));
    winsim::Reset();
    const size_t index = winsim::AddCdRom(255, d.port, d.target, d.lun);
    UseSpti();
    {
      tcddrive drive(1, 2, 3);
      EXPECT_EQ(same ? tpSpti : tpNone, drive.Transport());
      EXPECT_EQ(same, drive.Eject(1));
    }
    EXPECT_EQ(same, DeviceDrive(index).trayOpen);
    EXPECT_EQ(0, M().count.openHandles);
  }
}

TEST_F(DriveObjectTest, DeviceThatWillNotOpenLeavesNoTransport) {
  winsim::AddCdRom(0, 1, 0, 0);
  UseSpti();
  winsim::ArmFailure({Api::CreateFileA}, 2);  // the search's open works, the drive's own fails
  {
    tcddrive drive(1, 0, 0);
    EXPECT_EQ(tpNone, drive.Transport());
    EXPECT_EQ(0, drive.GetCurrentSpeed());
  }
  EXPECT_EQ(2, Calls(Api::CloseHandle)) << "only the search's handle and the mutex were closed";
  EXPECT_TRUE(winsim::NothingOpen());
  EXPECT_TRUE(M().commands.empty());
}

}  // namespace
