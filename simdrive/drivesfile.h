// The test library's drives, read from a small text file, and their state,
// kept in a second file so that a drive keeps its speed and tray position
// when the program is started again within one scenario.
//
// Drives file, one setting a line, '#' starts a comment:
//   adapters 1                      host adapters reported (default 1)
//   support-status 1                second byte of GetASPI32SupportInfo
//   complete pending                execute requests: pending, the event set by a
//                                   worker thread (default); "signalled": pending with
//                                   the event set before returning; "atonce": SS_COMP
//   complete-delay-ms 2             the worker's pause before completing
//   over-pass-through               a layer over pass-through: disk information
//                                   leaves the drive number unwritten, a rescan is
//                                   refused, a no-data command reaches the drive as
//                                   data-in of length 0
//   drive 0:1:0                     starts a device at adapter:target:lun
//   vendor "ACME"                   INQUIRY strings, sent exactly as quoted
//   product "DVD-RW X1"
//   revision "1.0"
//   letter E                        drive letter, or "none"
//   medium dvd                      none, cd, cdr, cdrw, dvd, dvd+r-dl, bd or a profile number
//   cd-speeds 7056,5645,4234        speeds the drive really runs at, kB/s
//   dvd-speeds 22160,16620
//   current 7056                    the speed it runs at when first seen
//   ignores-set-speed               keeps its speed whatever is asked
//   fault bb check                  opcode and check, notransfer or callfails
//   device-type 5                   answered by SC_GET_DEV_TYPE
//   query-fails                     device-type and disk-info queries fail; on a
//                                   device node, the SCSI address query
//   no-mmc                          a device that fails every command
//   node /tmp/x/sr0 11:0            a plain file that stands for the device's Linux
//                                   node, and the block major:minor it reports
//   channel 0                       the node's SCSI channel; its host is the adapter
//
// On a device node "check" answers CHECK CONDITION with sense data and
// "callfails" makes the SG_IO call itself fail with EIO.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "simdrive/aspiwire.h"

namespace e2edrives {

enum class Completion { Pending, Signalled, AtOnce };

// Where a device appears as a Linux block device (the pass-through route
// under Wine). An empty path: the device has no node.
struct Node {
  std::string path;
  unsigned major = 11, minor = 0;  // 11: SCSI CD-ROM (sr)
  uint8_t channel = 0;
};

struct Setup {
  aspiwire::Library library;
  std::list<simdrive::Drive> drives;  // stable addresses for Device::drive
  std::vector<Node> nodes;            // one per library device, in the same order
  Completion completion = Completion::Pending;
  unsigned completeDelayMs = 2;
};

// Parses the drives file; on a malformed line sets error and returns false.
bool ParseDrives(const std::string& text, Setup& setup, std::string& error);

// State file: one line per device, "a:t:l speed=N profile=N tray=0|1"; the
// profile may also be a medium's name, as in the drives file. Devices not
// named keep what the drives file gave them.
void ApplyState(const std::string& text, aspiwire::Library& library);
std::string FormatState(const aspiwire::Library& library);

// The files' whole text, empty when the path is empty or does not open; a
// write with mode "wb" replaces, "ab" appends.
std::string ReadWhole(const std::string& path);
void WriteWhole(const std::string& path, const std::string& text, const char* mode);

}  // namespace e2edrives
