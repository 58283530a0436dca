#include "drive/tcddrive.h"

#include "drive/mmc.h"
#include "scsi/aspispti.h"
#include "scsi/uaspi.h"
#include "scsi/uspti.h"
#include "scsi/winhandles.h"

namespace {

constexpr uint8_t kNoDeviceNumber = 255;

// START STOP UNIT into a zero-filled block: LoEj 1 moves the tray, Start
// then says which way.
void StartStopUnit(uint8_t* cdb, uint8_t immediate, uint8_t loejstart) {
  cdb[0] = mmc::kStartStopUnit;
  cdb[1] = immediate;  // IMMED
  cdb[4] = loejstart;
}

uint16_t BigEndian16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

// "Kelvarin drive A:T:L": without a backslash the name belongs to the
// session, and Windows 98 takes it as it is.
std::string DriveMutexName(uint8_t adapter, uint8_t target, uint8_t lun) {
  return "Kelvarin drive " + AddressText(adapter, target, lun);
}

}  // namespace

tcddrive::tcddrive(uint8_t adapter, uint8_t target, uint8_t lun)
    : transport(activetransport), adapter(adapter), target(target), lun(lun),
      handle(INVALID_HANDLE_VALUE) {
  if (transport == tpNone) return;
  lock.emplace(DriveMutexName(adapter, target, lun).c_str());
  if (transport != tpSpti) return;
  const uint8_t number = FindCdRomIndex(adapter, target, lun);
  unique_device device(OpenCdRomDevice(number));
  // 255 is also the search's "not found": device 255 may then be another
  // drive, which must not receive this drive's commands.
  if (device && number == kNoDeviceNumber) {
    uint8_t a, t, l;
    GetScsiAddress(device.get(), a, t, l);
    if (a != adapter || t != target || l != lun) device.reset();
  }
  if (!device) {
    transport = tpNone;
    return;
  }
  handle = device.release();
}

tcddrive::~tcddrive() {
  if (transport == tpSpti) CloseDevice(handle);
  lock.reset();
}

bool tcddrive::ExecCmd(const uint8_t* cdb, uint8_t cdblength, void* buffer, uint32_t bufferlength,
                       tdirection direction) {
  switch (transport) {
    case tpSpti:
      return SptiExecute(handle, cdb, cdblength, buffer, bufferlength, direction);
    case tpAspi:
      return AspiExecute(adapter, target, lun, cdb, cdblength, buffer, bufferlength, direction);
    default:
      return false;
  }
}

bool tcddrive::Inquiry(std::string& vendor, std::string& product, std::string& revision) {
  uint8_t reply[36] = {};
  uint8_t cdb[16] = {};
  cdb[0] = mmc::kInquiry;
  cdb[4] = sizeof reply;  // allocation length
  const bool ok = ExecCmd(cdb, mmc::kCdb6, reply, sizeof reply, dirIn);
  vendor.assign(reinterpret_cast<const char*>(reply + 8), 8);
  product.assign(reinterpret_cast<const char*>(reply + 16), 16);
  revision.assign(reinterpret_cast<const char*>(reply + 32), 4);
  return ok;
}

bool tcddrive::ModeSense(uint8_t page, void* buffer, uint32_t length) {
  uint8_t cdb[16] = {};
  cdb[0] = mmc::kModeSense10;
  cdb[2] = page;                               // page control 0: current values
  cdb[7] = static_cast<uint8_t>(length >> 8);  // allocation length, low 16 bits
  cdb[8] = static_cast<uint8_t>(length);
  return ExecCmd(cdb, mmc::kCdb10, buffer, length, dirIn);
}

uint16_t tcddrive::GetCurrentSpeed() {
  uint8_t reply[24] = {};
  ModeSense(mmc::kCapabilitiesPage, reply, sizeof reply);
  // Bytes 14-15 of the page, behind the 8-byte mode parameter header.
  return BigEndian16(reply + 22);
}

bool tcddrive::SetSpeed(uint16_t speed) {
  uint8_t cdb[16] = {};
  cdb[0] = mmc::kSetCdSpeed;
  cdb[2] = static_cast<uint8_t>(speed >> 8);  // read speed, kB/s
  cdb[3] = static_cast<uint8_t>(speed);
  return ExecCmd(cdb, mmc::kCdb12, nullptr, 0, dirNone);  // write speed left 0
}

uint16_t tcddrive::GetCurrentProfile() {
  uint8_t reply[8] = {};
  uint8_t cdb[16] = {};
  cdb[0] = mmc::kGetConfiguration;
  cdb[1] = 0x02;          // RT 10b: one feature
  cdb[8] = sizeof reply;  // allocation length; starting feature 0
  ExecCmd(cdb, mmc::kCdb10, reply, sizeof reply, dirIn);
  return BigEndian16(reply + 6);  // current profile in the feature header
}

uint8_t MediaClassOfProfile(uint16_t profile) {
  if (profile >= 0x08 && profile <= 0x0A) return kMediaCd;
  if ((profile >= 0x10 && profile <= 0x16) || profile == 0x1A || profile == 0x1B ||
      profile == 0x2A || profile == 0x2B)
    return kMediaDvd;
  return kMediaOther;
}

uint8_t tcddrive::GetMediaClass() { return MediaClassOfProfile(GetCurrentProfile()); }

bool tcddrive::Eject(uint8_t immediate) {
  uint8_t cdb[16] = {};
  StartStopUnit(cdb, immediate, 0x02);  // LoEj 1, Start 0: open the tray
  return ExecCmd(cdb, mmc::kCdb6, nullptr, 0, dirNone);
}

bool tcddrive::Load(uint8_t immediate) {
  uint8_t cdb[16] = {};
  StartStopUnit(cdb, immediate, 0x03);  // LoEj 1, Start 1: close the tray
  return ExecCmd(cdb, mmc::kCdb6, nullptr, 0, dirNone);
}
