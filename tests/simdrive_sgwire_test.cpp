// The device node below Wine answers SG_IO and the address query as Linux's
// SCSI CD-ROM driver does, so that Wine's pass-through code sees a real
// drive's status, residual and sense.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "simdrive/sgwire.h"

namespace {

struct Call {
  uint8_t cdb[16] = {};
  uint8_t data[40];
  uint8_t sense[32];
  sg_io_hdr_t h;

  Call(uint8_t opcode, int direction, unsigned length, unsigned char senseRoom) {
    std::memset(data, 0xA5, sizeof data);
    std::memset(sense, 0xA5, sizeof sense);
    std::memset(&h, 0x5A, sizeof h);  // outputs poisoned
    cdb[0] = opcode;
    cdb[4] = static_cast<uint8_t>(length);  // INQUIRY allocation length
    cdb[8] = static_cast<uint8_t>(length);  // MODE SENSE(10)
    cdb[2] = 0x2A;
    h.interface_id = 'S';
    h.dxfer_direction = direction;
    h.cmd_len = opcode == 0x12 ? 6 : 10;
    h.mx_sb_len = senseRoom;
    h.iovec_count = 0;
    h.dxfer_len = length;
    h.dxferp = data;
    h.cmdp = cdb;
    h.sbp = sense;
    h.timeout = 60000;
  }
};

TEST(SgWire, StatusResidualAndSenseAsTheBlockLayerHandsThemBack) {
  const struct {
    const char* what;
    uint8_t opcode;
    simdrive::Fault fault;
    unsigned char senseRoom;
    unsigned char status, driverStatus, senseWritten;
    int resid;
  } cases[] = {
      {"good INQUIRY", 0x12, simdrive::Fault::None, 32, 0, 0, 0, 0},
      {"CHECK CONDITION", 0x5A, simdrive::Fault::CheckCondition, 32, 2, 0x08, 18, 24},
      {"sense cut to the room", 0x5A, simdrive::Fault::CheckCondition, 8, 2, 0x08, 8, 24},
      {"no sense room", 0x5A, simdrive::Fault::CheckCondition, 0, 2, 0x08, 0, 24},
      {"nothing moved", 0x5A, simdrive::Fault::NoTransfer, 32, 0, 0, 0, 24},
  };
  for (const auto& c : cases) {
    simdrive::Drive drive;
    drive.SetFault(c.opcode, c.fault);
    sgwire::Target t;
    t.drive = &drive;
    Call call(c.opcode, SG_DXFER_FROM_DEV, c.opcode == 0x12 ? 36 : 24, c.senseRoom);
    const sgwire::Answer a = sgwire::SgIo(t, call.h);
    EXPECT_EQ(0, a.ret) << c.what;
    EXPECT_EQ(c.status, call.h.status) << c.what;
    EXPECT_EQ(c.status >> 1, call.h.masked_status) << c.what;
    EXPECT_EQ(0, call.h.host_status) << c.what;
    EXPECT_EQ(c.driverStatus, call.h.driver_status) << c.what;
    EXPECT_EQ(c.resid, call.h.resid) << c.what;
    EXPECT_EQ(c.senseWritten, call.h.sb_len_wr) << c.what;
    EXPECT_EQ(static_cast<unsigned>(c.status ? SG_INFO_CHECK : SG_INFO_OK), call.h.info) << c.what;
    if (c.senseWritten >= 13) {
      EXPECT_EQ(0x70, call.sense[0]) << c.what;
      EXPECT_EQ(0x05, call.sense[2]) << c.what;   // ILLEGAL REQUEST
      EXPECT_EQ(10, call.sense[7]) << c.what;     // additional length
      EXPECT_EQ(0x24, call.sense[12]) << c.what;  // invalid field in CDB
    }
    EXPECT_EQ(0xA5, call.sense[c.senseWritten]) << c.what << ": sense past what was written";
  }
}

TEST(SgWire, RefusedCallsLeaveTheHeaderAlone) {
  const struct {
    const char* what;
    int interfaceId, direction;
    bool vanished;
    int error;
  } cases[] = {
      {"device gone", 'S', SG_DXFER_FROM_DEV, true, EIO},
      {"not the v3 interface", 'Q', SG_DXFER_FROM_DEV, false, ENOSYS},
      {"unknown direction", 'S', -7, false, EINVAL},
  };
  for (const auto& c : cases) {
    simdrive::Drive drive;
    if (c.vanished) drive.SetFault(0x12, simdrive::Fault::CallFails);
    sgwire::Target t;
    t.drive = &drive;
    Call call(0x12, c.direction, 36, 32);
    call.h.interface_id = c.interfaceId;
    const sgwire::Answer a = sgwire::SgIo(t, call.h);
    EXPECT_EQ(-1, a.ret) << c.what;
    EXPECT_EQ(c.error, a.error) << c.what;
    EXPECT_EQ(0x5A, call.h.status) << c.what;
    EXPECT_EQ(0x5A, call.h.sb_len_wr) << c.what;
    EXPECT_EQ(0xA5, call.data[0]) << c.what;
  }
}

TEST(SgWire, IdLunPacksIdLunChannelHostAndCanFail) {
  sgwire::Target t;
  t.host = 4;
  t.channel = 1;
  t.id = 3;
  t.lun = 2;
  int32_t idlun[3] = {-1, -1, -1};
  EXPECT_EQ(0, sgwire::IdLun(t, idlun).ret);
  EXPECT_EQ(0x04010203, idlun[0]);
  EXPECT_EQ(4, idlun[1]);
  EXPECT_EQ(-1, idlun[2]);

  t.addressFails = true;
  idlun[0] = -1;
  const sgwire::Answer a = sgwire::IdLun(t, idlun);
  EXPECT_EQ(-1, a.ret);
  EXPECT_EQ(ENOTTY, a.error);
  EXPECT_EQ(-1, idlun[0]);
}

}  // namespace
