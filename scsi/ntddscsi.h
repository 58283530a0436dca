// Pass-through control codes and block layouts of the NT SCSI port driver.
#pragma once

#include <windows.h>

#include <cstddef>

#ifndef IOCTL_SCSI_GET_ADDRESS
#define IOCTL_SCSI_GET_ADDRESS 0x00041018
#endif
#ifndef IOCTL_SCSI_PASS_THROUGH_DIRECT
#define IOCTL_SCSI_PASS_THROUGH_DIRECT 0x0004D014
#endif

constexpr UCHAR kScsiIoctlDataOut = 0;          // SCSI_IOCTL_DATA_OUT
constexpr UCHAR kScsiIoctlDataIn = 1;           // SCSI_IOCTL_DATA_IN
constexpr UCHAR kScsiIoctlDataUnspecified = 2;  // SCSI_IOCTL_DATA_UNSPECIFIED

struct tscsipassthroughdirect {  // SCSI_PASS_THROUGH_DIRECT
  USHORT Length;
  UCHAR ScsiStatus;
  UCHAR PathId;
  UCHAR TargetId;
  UCHAR Lun;
  UCHAR CdbLength;
  UCHAR SenseInfoLength;
  UCHAR DataIn;
  ULONG DataTransferLength;
  ULONG TimeOutValue;
  PVOID DataBuffer;
  ULONG SenseInfoOffset;
  UCHAR Cdb[16];
};

struct tsptdwithsense {  // the structure with its sense area directly behind it
  tscsipassthroughdirect spt;
  UCHAR sense[32];
};

struct tscsiaddress {  // SCSI_ADDRESS
  ULONG Length;
  UCHAR PortNumber;
  UCHAR PathId;
  UCHAR TargetId;
  UCHAR Lun;
};

static_assert(sizeof(tscsiaddress) == 8, "SCSI_ADDRESS is 8 bytes");
static_assert(offsetof(tsptdwithsense, sense) == sizeof(tscsipassthroughdirect),
              "the sense area sits directly behind the structure");

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(tscsipassthroughdirect) == 44, "SCSI_PASS_THROUGH_DIRECT is 44 bytes");
static_assert(offsetof(tscsipassthroughdirect, Length) == 0, "");
static_assert(offsetof(tscsipassthroughdirect, ScsiStatus) == 2, "");
static_assert(offsetof(tscsipassthroughdirect, PathId) == 3, "");
static_assert(offsetof(tscsipassthroughdirect, TargetId) == 4, "");
static_assert(offsetof(tscsipassthroughdirect, Lun) == 5, "");
static_assert(offsetof(tscsipassthroughdirect, CdbLength) == 6, "");
static_assert(offsetof(tscsipassthroughdirect, SenseInfoLength) == 7, "");
static_assert(offsetof(tscsipassthroughdirect, DataIn) == 8, "");
static_assert(offsetof(tscsipassthroughdirect, DataTransferLength) == 12, "");
static_assert(offsetof(tscsipassthroughdirect, TimeOutValue) == 16, "");
static_assert(offsetof(tscsipassthroughdirect, DataBuffer) == 20, "");
static_assert(offsetof(tscsipassthroughdirect, SenseInfoOffset) == 24, "");
static_assert(offsetof(tscsipassthroughdirect, Cdb) == 28, "");
static_assert(sizeof(tsptdwithsense) == 76, "the pass-through block is 76 bytes");
static_assert(offsetof(tsptdwithsense, sense) == 44, "sense area at 44");
#endif
