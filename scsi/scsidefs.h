// ASPI request codes, flags and request-block layouts.
#pragma once

#include <windows.h>

#include <cstddef>

constexpr BYTE SC_GET_DEV_TYPE = 0x01;
constexpr BYTE SC_EXEC_SCSI_CMD = 0x02;
constexpr BYTE SC_GET_DISK_INFO = 0x06;
constexpr BYTE SC_RESCAN_SCSI_BUS = 0x07;

constexpr BYTE SS_PENDING = 0x00;
constexpr BYTE SS_COMP = 0x01;

constexpr BYTE SRB_DIR_IN = 0x08;
constexpr BYTE SRB_DIR_OUT = 0x10;
constexpr BYTE SRB_EVENT_NOTIFY = 0x40;

constexpr BYTE SENSE_LEN = 14;

constexpr BYTE DTYPE_CDROM = 0x05;
constexpr BYTE DTYPE_UNKNOWN = 0x1F;

// Packed as the published interface declares it; in the 32-bit build every
// field sits at its documented offset.
#pragma pack(push, 1)
struct SRB_ExecSCSICmd {
  BYTE SRB_Cmd;
  BYTE SRB_Status;
  BYTE SRB_HaId;
  BYTE SRB_Flags;
  DWORD SRB_Hdr_Rsvd;
  BYTE SRB_Target;
  BYTE SRB_Lun;
  WORD SRB_Rsvd1;
  DWORD SRB_BufLen;
  BYTE* SRB_BufPointer;
  BYTE SRB_SenseLen;
  BYTE SRB_CDBLen;
  BYTE SRB_HaStat;
  BYTE SRB_TargStat;
  HANDLE SRB_PostProc;
  BYTE SRB_Rsvd2[20];
  BYTE CDBByte[16];
  BYTE SenseArea[SENSE_LEN + 2];
};

// The three queries share one 36-byte area with the published block at its start.
struct SRB_Query {
  BYTE SRB_Cmd;
  BYTE SRB_Status;
  BYTE SRB_HaId;
  BYTE SRB_Flags;
  DWORD SRB_Hdr_Rsvd;
  BYTE SRB_Target;
  BYTE SRB_Lun;
  BYTE SRB_DeviceType;       // SC_GET_DEV_TYPE; SRB_DriveFlags for SC_GET_DISK_INFO
  BYTE SRB_Int13HDriveInfo;  // SC_GET_DISK_INFO: drive number, 0 for "A"
  BYTE SRB_Rest[24];
};
#pragma pack(pop)

static_assert(sizeof(SRB_Query) == 36, "query areas are 36 bytes");
static_assert(offsetof(SRB_Query, SRB_HaId) == 2, "");
static_assert(offsetof(SRB_Query, SRB_Target) == 8, "");
static_assert(offsetof(SRB_Query, SRB_Lun) == 9, "");
static_assert(offsetof(SRB_Query, SRB_DeviceType) == 10, "");
static_assert(offsetof(SRB_Query, SRB_Int13HDriveInfo) == 11, "");

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(SRB_ExecSCSICmd) == 80, "the execute block is 80 bytes");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Cmd) == 0, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Status) == 1, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaId) == 2, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Flags) == 3, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Hdr_Rsvd) == 4, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Target) == 8, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Lun) == 9, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd1) == 10, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 20, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_CDBLen) == 21, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaStat) == 22, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_TargStat) == 23, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 24, "");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd2) == 28, "");
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 48, "");
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 64, "");
#endif
