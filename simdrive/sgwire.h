// How a Linux SCSI CD-ROM block device answers what Wine's device code asks
// of it, over a simulated drive: SG_IO, the SCSI address and bus number, the
// drive status and capabilities. No system calls here: the preloaded
// library feeds it the caller's argument blocks, host tests feed it theirs.
#pragma once

#include <scsi/sg.h>

#include <cstdint>
#include <string>

#include "simdrive/drivemodel.h"

namespace sgwire {

struct Target {
  simdrive::Drive* drive = nullptr;  // null: a device that fails every command
  uint8_t host = 0, channel = 0, id = 0, lun = 0;
  bool addressFails = false;  // SCSI_IOCTL_GET_IDLUN fails, as off the SCSI layer
};

// What the ioctl call returns, and errno when that is -1.
struct Answer {
  int ret = 0;
  int error = 0;
};

Answer SgIo(const Target& t, sg_io_hdr_t& h);
Answer IdLun(const Target& t, void* arg);      // struct scsi_idlun
Answer BusNumber(const Target& t, void* arg);  // int
Answer DriveStatus(const Target& t);           // CDS_*, as the return value
Answer Capability(const Target& t);            // CDC_* mask, as the return value

// "dir=in len=36 timeout=60000 senselen=32 cdb=120000002400 -> ret=0 status=00
// resid=0 sensewr=0": what the caller asked and what it got back.
std::string DescribeSgIo(const sg_io_hdr_t& h, const Answer& a);

}  // namespace sgwire
