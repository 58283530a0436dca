// The simulated drive settles on speeds and fills replies as the commands
// it models define, and never writes past what the host allowed.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "simdrive/aspiwire.h"
#include "simdrive/drivemodel.h"

namespace {

using simdrive::Drive;

simdrive::Reply SetSpeed(Drive& d, uint16_t speed) {
  uint8_t cdb[12] = {0xBB, 0, static_cast<uint8_t>(speed >> 8), static_cast<uint8_t>(speed)};
  return d.Execute(cdb, 12, nullptr, 0, 0);
}

TEST(DriveModel, SetSpeedSettlesOnTheMediumsList) {
  const struct {
    uint16_t profile, request, settled;
    bool ignores;
  } cases[] = {
      {simdrive::kCdRom, 65535, 7056, false},  {simdrive::kCdRom, 7056, 7056, false},
      {simdrive::kCdRom, 7055, 5645, false},   {simdrive::kCdRom, 1410, 1411, false},
      {simdrive::kCdRom, 0, 1411, false},      {simdrive::kNoMedium, 3000, 2822, false},
      {simdrive::kDvdRom, 20000, 16620, false}, {simdrive::kDvdPlusRDl, 177, 5540, false},
      {simdrive::kBdRom, 20000, 7056, false},  {simdrive::kCdRom, 1411, 7056, true},
  };
  for (const auto& c : cases) {
    Drive d;
    d.profile = c.profile;
    d.ignoresSetSpeed = c.ignores;
    EXPECT_EQ(0, SetSpeed(d, c.request).status);
    EXPECT_EQ(c.settled, d.currentSpeed) << "profile " << c.profile << " request " << c.request;
  }
}

TEST(DriveModel, ModeSenseHonoursAllocationAndBufferLength) {
  Drive d;
  d.currentSpeed = 0x1B90;
  uint8_t cdb[10] = {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 24, 0};
  uint8_t reply[25];
  std::memset(reply, 0xA5, sizeof(reply));
  simdrive::Reply r = d.Execute(cdb, 10, reply, 24, 1);
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(24u, r.transferred);
  EXPECT_EQ(0x2A, reply[8]);
  EXPECT_EQ(0x1B, reply[22]);
  EXPECT_EQ(0x90, reply[23]);
  EXPECT_EQ(0xA5, reply[24]);

  std::memset(reply, 0xA5, sizeof(reply));
  cdb[8] = 10;  // allocation below the buffer
  EXPECT_EQ(10u, d.Execute(cdb, 10, reply, 24, 1).transferred);
  EXPECT_EQ(0xA5, reply[10]);
  cdb[2] = 0x01;
  EXPECT_EQ(2, d.Execute(cdb, 10, reply, 24, 1).status);
}

TEST(DriveModel, InquiryPadsAndCutsAndConfigurationStopsAtItsLength) {
  Drive d;
  d.vendor = "AB";
  d.product = "A product name longer than sixteen";
  d.profile = simdrive::kDvdPlusRDl;
  uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
  uint8_t reply[37];
  std::memset(reply, 0xA5, sizeof(reply));
  ASSERT_EQ(36u, d.Execute(inquiry, 6, reply, 36, 1).transferred);
  EXPECT_EQ(5, reply[0]);
  EXPECT_EQ("AB      A product name l1.0 ", std::string(reinterpret_cast<char*>(reply + 8), 28));
  EXPECT_EQ(0xA5, reply[36]);
  uint8_t config[10] = {0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0};
  std::memset(reply, 0xA5, sizeof(reply));
  EXPECT_EQ(8u, d.Execute(config, 10, reply, 8, 1).transferred);
  EXPECT_EQ(0x2B, reply[6] << 8 | reply[7]);
  EXPECT_EQ(0xA5, reply[8]);
}

TEST(DriveModel, FaultsApplyPerOpcode) {
  Drive d;
  d.SetFault(0x5A, simdrive::Fault::NoTransfer);
  d.SetFault(0xBB, simdrive::Fault::CallFails);
  uint8_t cdb[10] = {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 24, 0};
  uint8_t reply[24] = {};
  simdrive::Reply r = d.Execute(cdb, 10, reply, 24, 1);
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0u, r.transferred);
  EXPECT_EQ(std::vector<uint8_t>(24, 0), std::vector<uint8_t>(reply, reply + 24));
  EXPECT_TRUE(SetSpeed(d, 1411).callFailed);
  EXPECT_EQ(7056, d.currentSpeed);
  uint8_t unknown[6] = {0x00};
  EXPECT_EQ(2, d.Execute(unknown, 6, nullptr, 0, 0).status);
}

// An execute block for this build's layout.
std::vector<uint8_t> Exec(uint8_t flags, uint8_t cdbLen, uint8_t* buffer, uint32_t length,
                          void* event) {
  const aspiwire::ExecLayout l = aspiwire::ExecLayoutFor(sizeof(void*));
  std::vector<uint8_t> b(l.size, 0);
  b[l.cmd] = 2;
  b[l.flags] = flags;
  std::memcpy(&b[l.bufLen], &length, 4);
  std::memcpy(&b[l.bufPointer], &buffer, sizeof(buffer));
  b[l.senseLen] = 14;
  b[l.cdbLen] = cdbLen;
  std::memcpy(&b[l.postProc], &event, sizeof(event));
  const uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
  std::memcpy(&b[l.cdb], inquiry, 6);
  return b;
}

TEST(AspiWire, MalformedExecuteRequestsAreRefusedUnrun) {
  Drive drive;
  aspiwire::Library lib;
  lib.completeAtOnce = true;
  lib.devices.push_back({0, 0, 0, 5, 0xFF, false, &drive});
  uint8_t buffer[36];
  std::vector<uint8_t> blocks[] = {Exec(0x48, 0, buffer, 36, nullptr),
                                   Exec(0x48, 17, buffer, 36, nullptr),
                                   Exec(0x48, 6, nullptr, 36, nullptr),
                                   Exec(0x58, 6, buffer, 36, nullptr)};
  for (std::vector<uint8_t>& b : blocks) {
    EXPECT_EQ(4u, lib.Send(b.data()));
    EXPECT_EQ(4, b[1]);
    EXPECT_FALSE(lib.log.back().executed);
  }
}

TEST(AspiWire, PendingExecuteCompletesAndSignalsItsEvent) {
  Drive drive;
  aspiwire::Library lib;
  lib.devices.push_back({0, 0, 0, 5, 0xFF, false, &drive});
  uint8_t buffer[36] = {};
  int token = 0;
  std::vector<uint8_t> b = Exec(0x48, 6, buffer, 36, &token);
  EXPECT_EQ(0u, lib.Send(b.data()));
  EXPECT_EQ(0, b[1]);
  std::vector<void*> signalled;
  lib.CompletePending([&](void* e) { signalled.push_back(e); });
  EXPECT_EQ(1, b[1]);
  EXPECT_EQ(std::vector<void*>{&token}, signalled);
  EXPECT_NE(std::string::npos, lib.log.back().Describe().find(" cdb=12000000240000000000000000000000 -> status=00 medium=cd"));
}

}  // namespace
