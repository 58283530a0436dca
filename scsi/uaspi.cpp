#include "scsi/uaspi.h"

#include <algorithm>
#include <cstring>

#include "scsi/scsidefs.h"
#include "scsi/winhandles.h"
#include "scsi/wnaspi32.h"

namespace {

SRB_Query QueryArea(BYTE command, uint8_t adapter, uint8_t target, uint8_t lun) {
  SRB_Query query;
  std::memset(&query, 0, sizeof query);
  query.SRB_Cmd = command;
  query.SRB_HaId = adapter;
  query.SRB_Target = target;
  query.SRB_Lun = lun;
  return query;
}

BYTE FlagsOf(tdirection direction) {
  switch (direction) {
    case dirIn: return SRB_EVENT_NOTIFY | SRB_DIR_IN;
    case dirOut: return SRB_EVENT_NOTIFY | SRB_DIR_OUT;
    default: return SRB_EVENT_NOTIFY;
  }
}

// The operations below answer their not-found values rather than call
// through an entry point that was never found (no library loaded yet).
bool Loaded() { return GetASPI32SupportInfo != nullptr && SendASPI32Command != nullptr; }

}  // namespace

uint8_t AspiAdapterCount() {
  if (!Loaded()) return 0;
  return static_cast<uint8_t>(GetASPI32SupportInfo() & 0xFF);
}

uint8_t AspiDeviceType(uint8_t adapter, uint8_t target, uint8_t lun) {
  if (!Loaded()) return DTYPE_UNKNOWN;
  SRB_Query query = QueryArea(SC_GET_DEV_TYPE, adapter, target, lun);
  if (SendASPI32Command(&query) != SS_COMP) return DTYPE_UNKNOWN;
  return query.SRB_DeviceType;
}

void AspiRescanAll() {
  const uint8_t count = AspiAdapterCount();
  for (unsigned adapter = 0; adapter < count; ++adapter) {
    SRB_Query query = QueryArea(SC_RESCAN_SCSI_BUS, static_cast<uint8_t>(adapter), 0, 0);
    SendASPI32Command(&query);
  }
}

char AspiDriveLetter(uint8_t adapter, uint8_t target, uint8_t lun) {
  if (!Loaded()) return ' ';
  SRB_Query query = QueryArea(SC_GET_DISK_INFO, adapter, target, lun);
  // Some layers complete the query without writing the number; left at 0 it
  // would read as "A".
  query.SRB_Int13HDriveInfo = 0xFF;
  if (SendASPI32Command(&query) != SS_COMP) return ' ';
  // Libraries report a drive without a DOS letter with a number past "Z"
  // (commonly FFh); that is no letter, not "@" or another stray character.
  if (query.SRB_Int13HDriveInfo > 'Z' - 'A') return ' ';
  return static_cast<char>('A' + query.SRB_Int13HDriveInfo);
}

bool AspiExecute(uint8_t adapter, uint8_t target, uint8_t lun, const uint8_t* cdb,
                 uint8_t cdblength, void* buffer, uint32_t bufferlength, tdirection direction) {
  if (!Loaded()) return false;
  unique_event event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!event) return false;

  SRB_ExecSCSICmd srb;
  std::memset(&srb, 0, sizeof srb);
  // CDBByte holds 16 bytes; a longer block must not overrun it.
  const BYTE length = std::min<BYTE>(cdblength, sizeof srb.CDBByte);
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_HaId = adapter;
  srb.SRB_Flags = FlagsOf(direction);
  srb.SRB_Target = target;
  srb.SRB_Lun = lun;
  srb.SRB_BufLen = bufferlength;
  srb.SRB_BufPointer = static_cast<BYTE*>(buffer);
  srb.SRB_SenseLen = SENSE_LEN;
  srb.SRB_CDBLen = length;
  srb.SRB_PostProc = event.get();
  if (length != 0) std::memcpy(srb.CDBByte, cdb, length);

  ResetEvent(event.get());
  // The library signals the event only for a request it left pending; the
  // block and the buffer stay in place until then.
  if (SendASPI32Command(&srb) == SS_PENDING) WaitForSingleObject(event.get(), INFINITE);
  return srb.SRB_Status == SS_COMP;
}
