// Transport selection and the drive inventory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scsi/transport.h"

struct tcddriveinfo {
  uint8_t adapter = 0;
  uint8_t target = 0;
  uint8_t lun = 0;
  std::string vendor;    // 8 bytes as read
  std::string product;   // 16 bytes as read
  std::string revision;  // 4 bytes as read
  char letter = ' ';
  std::string description;
};

typedef std::vector<tcddriveinfo> tlistcddrives;

// The inventory's count is one byte wide wherever it is used.
constexpr size_t kMaxDrives = 255;

extern ttransport activetransport;
extern tlistcddrives cddrives;

bool InitAspiSpti(ttransport request);
void DoneAspiSpti();
bool IsWinNT();
char DriveLetterOf(uint8_t adapter, uint8_t target, uint8_t lun);
// The inventory line: "%d:%d:%d %-8s %-16s %-4s (%s:)" over trimmed fields.
std::string FormatDescription(const tcddriveinfo& info);
