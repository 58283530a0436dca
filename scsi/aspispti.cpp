#include "scsi/aspispti.h"

#include <windows.h>

#include "drive/tcddrive.h"
#include "scsi/Privileges.h"
#include "scsi/scsidefs.h"
#include "scsi/uaspi.h"
#include "scsi/uspti.h"
#include "scsi/winhandles.h"
#include "scsi/wnaspi32.h"

ttransport activetransport = tpAspi;
tlistcddrives cddrives;

namespace {

constexpr unsigned kTargets = 8;
constexpr unsigned kLuns = 8;

bool Full() { return cddrives.size() >= kMaxDrives; }

void DiscoverSpti() {
  for (unsigned number = 0; number <= 255 && !Full(); ++number) {
    unique_device device(OpenCdRomDevice(static_cast<uint8_t>(number)));
    if (!device) continue;
    tcddriveinfo info;
    // A failed query leaves 0:0:0 and the drive is still listed.
    GetScsiAddress(device.get(), info.adapter, info.target, info.lun);
    cddrives.push_back(info);
  }
}

void DiscoverAspi() {
  const uint8_t adapters = AspiAdapterCount();
  for (unsigned adapter = 0; adapter < adapters; ++adapter) {
    for (unsigned target = 0; target < kTargets; ++target) {
      for (unsigned lun = 0; lun < kLuns; ++lun) {
        if (Full()) return;
        tcddriveinfo info;
        info.adapter = static_cast<uint8_t>(adapter);
        info.target = static_cast<uint8_t>(target);
        info.lun = static_cast<uint8_t>(lun);
        if (AspiDeviceType(info.adapter, info.target, info.lun) == DTYPE_CDROM)
          cddrives.push_back(info);
      }
    }
  }
}

void Identify(tcddriveinfo& info) {
  {
    tcddrive drive(info.adapter, info.target, info.lun);
    drive.Inquiry(info.vendor, info.product, info.revision);
  }
  info.letter = DriveLetterOf(info.adapter, info.target, info.lun);
  info.description = FormatDescription(info);
}

void BuildInventory() {
  if (activetransport == tpSpti) DiscoverSpti();
  if (activetransport == tpAspi) DiscoverAspi();
  for (tcddriveinfo& info : cddrives) Identify(info);
}

// Control characters and NUL count as blanks, as do bytes up to the space.
std::string Trim(const std::string& text) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  size_t first = 0;
  size_t last = text.size();
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// "%-Ns": pad on the right to at least width, never cut.
std::string PadRight(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

}  // namespace

bool IsWinNT() { return GetVersion() < 0x80000000UL; }

char DriveLetterOf(uint8_t adapter, uint8_t target, uint8_t lun) {
  return IsWinNT() ? FindDriveLetterSpti(adapter, target, lun) : AspiDriveLetter(adapter, target, lun);
}

std::string FormatDescription(const tcddriveinfo& info) {
  return AddressText(info.adapter, info.target, info.lun) + ' ' + PadRight(Trim(info.vendor), 8) +
         ' ' + PadRight(Trim(info.product), 16) + ' ' + PadRight(Trim(info.revision), 4) + " (" +
         Trim(std::string(1, info.letter)) + ":)";
}

bool InitAspiSpti(ttransport request) {
  if (request != tpAuto)
    activetransport = request;
  else
    activetransport = IsWinNT() && IsAdmin() ? tpSpti : tpAspi;

  bool ready = false;
  if (activetransport == tpSpti) ready = IsWinNT() && IsAdmin();
  if (activetransport == tpAspi) {
    ready = LoadAspi();
    if (ready) AspiRescanAll();
  }

  cddrives.clear();
  if (ready)
    BuildInventory();
  else
    activetransport = tpNone;
  return ready;
}

void DoneAspiSpti() {
  if (activetransport == tpAspi) UnloadAspi();
  cddrives.clear();
}
