#include "simdrive/sgwire.h"

#include <linux/cdrom.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sgwire {
namespace {

constexpr unsigned char kDriverSense = 0x08;  // DRIVER_SENSE: sense data was written
constexpr int kMaxCdb = 16;

std::string Hex(const uint8_t* bytes, size_t n) {
  std::string text;
  char two[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(two, sizeof two, "%02x", bytes[i]);
    text += two;
  }
  return text;
}

const char* DirectionName(int direction) {
  switch (direction) {
    case SG_DXFER_NONE: return "none";
    case SG_DXFER_TO_DEV: return "out";
    case SG_DXFER_FROM_DEV: return "in";
    case SG_DXFER_TO_FROM_DEV: return "inout";
    default: return nullptr;
  }
}

Answer Fail(int error) { return Answer{-1, error}; }

}  // namespace

Answer SgIo(const Target& t, sg_io_hdr_t& h) {
  if (h.interface_id != 'S') return Fail(ENOSYS);
  if (h.cmd_len == 0 || h.cmd_len > kMaxCdb || h.cmdp == nullptr) return Fail(EINVAL);
  if (DirectionName(h.dxfer_direction) == nullptr) return Fail(EINVAL);
  if (h.dxfer_len > 0 && h.dxfer_direction != SG_DXFER_NONE && h.dxferp == nullptr) return Fail(EFAULT);
  const int dir = h.dxfer_direction == SG_DXFER_FROM_DEV || h.dxfer_direction == SG_DXFER_TO_FROM_DEV ? 1
                  : h.dxfer_direction == SG_DXFER_TO_DEV                                           ? 2
                                                                                                   : 0;
  const uint32_t length = dir == 0 ? 0 : h.dxfer_len;
  const simdrive::Reply r =
      t.drive ? t.drive->Execute(h.cmdp, h.cmd_len, static_cast<uint8_t*>(h.dxferp), length, dir)
              : simdrive::IllegalRequest(simdrive::kInvalidOpcode);
  // The device went away under the command: the call fails and the header
  // keeps what the caller put there.
  if (r.callFailed) return Fail(EIO);

  h.status = r.status;
  h.masked_status = static_cast<unsigned char>(r.status >> 1);
  h.msg_status = 0;
  h.host_status = 0;
  h.driver_status = 0;
  h.resid = static_cast<int>(length - std::min(length, r.transferred));
  h.sb_len_wr = 0;
  h.duration = 1;
  h.info = r.status == 0 ? SG_INFO_OK : SG_INFO_CHECK;
  if (r.status == simdrive::kCheckCondition) {
    // The block layer copies at most the caller's room and says how much it wrote.
    const auto sense = r.Sense();
    h.driver_status = kDriverSense;
    if (h.sbp != nullptr && h.mx_sb_len > 0) {
      const unsigned char n = static_cast<unsigned char>(std::min<size_t>(h.mx_sb_len, sense.size()));
      std::memcpy(h.sbp, sense.data(), n);
      h.sb_len_wr = n;
    }
  }
  return Answer{};
}

Answer IdLun(const Target& t, void* arg) {
  if (t.addressFails) return Fail(ENOTTY);
  if (arg == nullptr) return Fail(EFAULT);
  // struct scsi_idlun: dev_id packs id, lun, channel and host a byte each,
  // then the host's unique id.
  const uint32_t packed = uint32_t(t.id) | uint32_t(t.lun) << 8 | uint32_t(t.channel) << 16 |
                          uint32_t(t.host) << 24;
  const int32_t words[2] = {static_cast<int32_t>(packed), static_cast<int32_t>(t.host)};
  std::memcpy(arg, words, sizeof words);
  return Answer{};
}

Answer BusNumber(const Target& t, void* arg) {
  if (arg == nullptr) return Fail(EFAULT);
  const int host = t.host;
  std::memcpy(arg, &host, sizeof host);
  return Answer{};
}

Answer DriveStatus(const Target& t) {
  if (!t.drive) return Answer{CDS_NO_INFO, 0};
  if (t.drive->trayOpen) return Answer{CDS_TRAY_OPEN, 0};
  return Answer{t.drive->profile == simdrive::kNoMedium ? CDS_NO_DISC : CDS_DISC_OK, 0};
}

Answer Capability(const Target&) {
  return Answer{CDC_CLOSE_TRAY | CDC_OPEN_TRAY | CDC_LOCK | CDC_SELECT_SPEED | CDC_MEDIA_CHANGED |
                    CDC_DRIVE_STATUS | CDC_GENERIC_PACKET | CDC_CD_R | CDC_CD_RW | CDC_DVD,
                0};
}

std::string DescribeSgIo(const sg_io_hdr_t& h, const Answer& a) {
  const char* dir = DirectionName(h.dxfer_direction);
  std::string line = std::string("dir=") + (dir ? dir : std::to_string(h.dxfer_direction).c_str()) +
                     " len=" + std::to_string(h.dxfer_len) + " timeout=" + std::to_string(h.timeout) +
                     " senselen=" + std::to_string(h.mx_sb_len) + " cdb=" +
                     (h.cmdp && h.cmd_len <= kMaxCdb ? Hex(h.cmdp, h.cmd_len) : std::string()) + " -> ";
  if (a.ret != 0) return line + "ret=-1 errno=" + std::to_string(a.error);
  char status[3];
  std::snprintf(status, sizeof status, "%02x", h.status);
  return line + "ret=0 status=" + status + " resid=" + std::to_string(h.resid) +
         " sensewr=" + std::to_string(h.sb_len_wr);
}

}  // namespace sgwire
