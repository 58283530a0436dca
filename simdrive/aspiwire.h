// The receiving side of an ASPI library: reads request blocks by their byte
// offsets in the platform's layout (as a real library does, not through the
// program's own structures) and answers them from a table of devices.
// Shared by winsim and the end-to-end test wnaspi32.dll. The offsets are this
// side's own reading of ASPI, not the program's structures: the host tests
// hold the program's blocks against them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "simdrive/drivemodel.h"

namespace aspiwire {

// SRB_Cmd codes a library answers.
enum : uint8_t { kGetDevType = 1, kExecScsiCmd = 2, kGetDiskInfo = 6, kRescanScsiBus = 7 };

// Offsets of the execute block (SC_EXEC_SCSI_CMD). The 32-bit layout is
// 80 bytes; 64-bit pointers widen SRB_BufPointer and SRB_PostProc (packed).
struct ExecLayout {
  size_t cmd = 0, status = 1, haId = 2, flags = 3, target = 8, lun = 9, bufLen = 12,
         bufPointer = 16, senseLen, cdbLen, haStat, targStat, postProc, cdb, sense, size;
};
ExecLayout ExecLayoutFor(size_t pointerSize);
constexpr size_t kQueryAreaSize = 36;

struct Device {
  uint8_t adapter = 0, target = 0, lun = 0;
  uint8_t deviceType = 5;       // peripheral device type answered by SC_GET_DEV_TYPE
  uint8_t driveNumber = 0xFF;   // SC_GET_DISK_INFO byte 11; 0 is "A"
  bool queryFails = false;      // device-type and disk-info queries answer an error status
  simdrive::Drive* drive = nullptr;  // null: a non-MMC device that fails every command
};

// One received request, as logged for tests.
struct Request {
  uint8_t cmd = 0;
  uint8_t haId = 0, target = 0, lun = 0, flags = 0, senseLen = 0, cdbLen = 0;
  uint32_t bufLen = 0;
  bool hasBuffer = false;
  bool hasEvent = false;
  std::vector<uint8_t> cdb;  // CDBByte, all 16 bytes
  uint8_t status = 0;        // what Send returned
  int device = -1;           // devices index the request reached, -1 none
  bool executed = false;     // an execute request that reached a drive
  std::string answer;        // device type, drive number, or the drive's state after the command
  // One log line: "SRB 0:1:0 cmd=02 flags=48 buflen=24 buffer=1 event=1
  // senselen=14 cdblen=10 cdb=5A00... -> status=01 medium=dvd speed=16620 tray=0".
  std::string Describe() const;
};

class Library {
 public:
  uint8_t adapterCount = 1;
  uint8_t supportStatus = 1;  // second byte of GetASPI32SupportInfo (SS_COMP)
  bool completeAtOnce = false;  // execute answers SS_COMP at once instead of SS_PENDING
  // A layer that turns ASPI into the system's pass-through, as some
  // installed ones do: it completes SC_GET_DISK_INFO without writing the
  // drive flags or number, refuses SC_RESCAN_SCSI_BUS, and hands a no-data
  // command to the drive as data-in of length 0.
  bool overPassThrough = false;
  std::vector<Device> devices;
  std::vector<Request> log;

  uint32_t SupportInfo() const;
  // Handles one SendASPI32Command. A pending execute request is held until
  // Complete(); signal(event) is then called with SRB_PostProc's value.
  uint32_t Send(void* srb);
  // Finishes pending requests: writes SRB_Status and signals their events.
  void CompletePending(const std::function<void(void* event)>& signal);
  bool HasPending() const { return !pending_.empty(); }
  // Drops pending requests that would signal this event (it is going away);
  // returns how many were dropped.
  size_t Abandon(void* event);
  Device* Find(uint8_t adapter, uint8_t target, uint8_t lun);

 private:
  struct Pending {
    uint8_t* srb;
    uint8_t status;
    void* event;
    bool notify;
  };
  std::vector<Pending> pending_;
};

}  // namespace aspiwire
