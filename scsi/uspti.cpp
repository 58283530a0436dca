#include "scsi/uspti.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "scsi/ntddscsi.h"
#include "scsi/winhandles.h"

namespace {

constexpr ULONG kTimeOutSeconds = 60;

HANDLE OpenDevicePath(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

UCHAR DataInOf(tdirection direction) {
  switch (direction) {
    case dirIn: return kScsiIoctlDataIn;
    case dirOut: return kScsiIoctlDataOut;
    default: return kScsiIoctlDataUnspecified;
  }
}

// Opens each candidate, reads its address and closes it before the next.
template <typename Candidate, typename Open>
bool ReportsAddress(Candidate candidate, Open open, uint8_t adapter, uint8_t target, uint8_t lun) {
  unique_device device(open(candidate));
  if (!device) return false;
  uint8_t a, t, l;
  GetScsiAddress(device.get(), a, t, l);  // a failed query compares as 0:0:0
  return a == adapter && t == target && l == lun;
}

}  // namespace

HANDLE OpenDriveLetter(char letter) {
  const std::string root{letter, ':', '\\'};
  if (GetDriveTypeA(root.c_str()) != DRIVE_CDROM) return INVALID_HANDLE_VALUE;
  return OpenDevicePath(std::string("\\\\.\\") + letter + ':');
}

HANDLE OpenCdRomDevice(uint8_t number) {
  return OpenDevicePath("\\\\.\\CdRom" + std::to_string(number));
}

void CloseDevice(HANDLE handle) { CloseHandle(handle); }

bool GetScsiAddress(HANDLE handle, uint8_t& adapter, uint8_t& target, uint8_t& lun) {
  tscsiaddress address;
  std::memset(&address, 0, sizeof address);
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(handle, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address,
                                  sizeof address, &returned, nullptr);
  adapter = address.PortNumber;
  target = address.TargetId;
  lun = address.Lun;
  return ok != FALSE;
}

void PreparePassThrough(tsptdwithsense& block, const uint8_t* cdb, uint8_t cdblength, void* buffer,
                        uint32_t bufferlength, tdirection direction) {
  std::memset(&block, 0, sizeof block);
  // The Cdb field holds 16 bytes; a longer block must not overrun it.
  const UCHAR length = std::min<UCHAR>(cdblength, sizeof block.spt.Cdb);
  block.spt.Length = sizeof block.spt;
  block.spt.CdbLength = length;
  block.spt.SenseInfoLength = sizeof block.sense;
  block.spt.DataIn = DataInOf(direction);
  block.spt.DataTransferLength = bufferlength;
  block.spt.TimeOutValue = kTimeOutSeconds;
  block.spt.DataBuffer = buffer;
  block.spt.SenseInfoOffset = offsetof(tsptdwithsense, sense);
  if (length != 0) std::memcpy(block.spt.Cdb, cdb, length);
}

bool SptiExecute(HANDLE handle, const uint8_t* cdb, uint8_t cdblength, void* buffer,
                 uint32_t bufferlength, tdirection direction) {
  tsptdwithsense block;
  PreparePassThrough(block, cdb, cdblength, buffer, bufferlength, direction);
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, &block, sizeof block,
                                  &block, sizeof block, &returned, nullptr);
  // 2 (CHECK CONDITION) and above are failures; the sense data is not examined.
  return ok != FALSE && block.spt.ScsiStatus <= 1;
}

uint8_t FindCdRomIndex(uint8_t adapter, uint8_t target, uint8_t lun) {
  for (int number = 0; number <= 255; ++number) {
    if (ReportsAddress(static_cast<uint8_t>(number), OpenCdRomDevice, adapter, target, lun))
      return static_cast<uint8_t>(number);
  }
  return 255;
}

char FindDriveLetterSpti(uint8_t adapter, uint8_t target, uint8_t lun) {
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (ReportsAddress(letter, OpenDriveLetter, adapter, target, lun)) return letter;
  }
  return ' ';
}
