// A simulated CD/DVD drive that answers SCSI MMC command blocks.
// Plain portable C++ with no platform calls: host tests reach it through
// winsim, the end-to-end test ASPI library and the preloaded Linux library
// through their wire formats.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace simdrive {

// Current profiles of a loaded medium (GET CONFIGURATION), 0 for none.
enum : uint16_t {
  kNoMedium = 0x0000,
  kCdRom = 0x0008,
  kCdR = 0x0009,
  kCdRw = 0x000A,
  kDvdRom = 0x0010,
  kDvdPlusRDl = 0x002B,
  kBdRom = 0x0040,
};

enum class Fault : uint8_t {
  None,
  CheckCondition,  // status 2 after the command, nothing transferred
  NoTransfer,      // status 0, but the data phase moves nothing
  CallFails,       // the transport call itself fails (the device vanished)
  Status,          // ends with the drive's faultStatus, nothing transferred
};

// SCSI status, and the sense key and codes the drive reports with CHECK CONDITION.
enum : uint8_t { kGood = 0x00, kCheckCondition = 0x02 };
enum : uint8_t { kIllegalRequest = 0x05, kInvalidOpcode = 0x20, kInvalidField = 0x24 };

struct Reply {
  uint8_t status = kGood;
  uint32_t transferred = 0;  // bytes moved in the data phase
  bool callFailed = false;   // the transport should fail the call itself
  uint8_t senseKey = 0, asc = 0;  // for CHECK CONDITION

  // Fixed-format sense data, as the drive returns it with CHECK CONDITION.
  std::array<uint8_t, 18> Sense() const;
};

// CHECK CONDITION with ILLEGAL REQUEST and this additional sense code.
Reply IllegalRequest(uint8_t asc);

class Drive {
 public:
  // INQUIRY identification, stored as sent (padded or not, any bytes).
  std::string vendor = "ACME    ";
  std::string product = "DVD-RW X1       ";
  std::string revision = "1.0 ";

  uint16_t profile = kCdRom;  // the loaded medium
  bool trayOpen = false;

  // The speeds (kB/s) the drive really runs at for CD-class and DVD media.
  // A set-speed request settles on the highest supported speed not above
  // the request (65535 = the fastest); below all of them, on the lowest.
  std::vector<uint16_t> cdSpeeds{7056, 5645, 4234, 2822, 1411};
  std::vector<uint16_t> dvdSpeeds{22160, 16620, 11080, 5540};
  bool ignoresSetSpeed = false;  // keeps its current speed whatever is asked
  uint16_t currentSpeed = 7056;

  // Per-opcode faults; an opcode absent here runs normally.
  std::vector<std::pair<uint8_t, Fault>> faults;
  uint8_t faultStatus = 0x08;  // BUSY

  // Per-opcode raw replies that replace the modelled ones, as a device that
  // answers anything would: the bytes move to the host with good status, up
  // to the host's buffer length (fuzzing).
  std::vector<std::pair<uint8_t, std::vector<uint8_t>>> rawReplies;

  // Runs one command block. dir: 0 none, 1 from the device, 2 to the device.
  Reply Execute(const uint8_t* cdb, uint32_t cdbLength, uint8_t* buffer, uint32_t bufferLength,
                int dir);

  void SetFault(uint8_t opcode, Fault fault);
  Fault FaultFor(uint8_t opcode) const;
  bool IsDvdMedium() const;
  uint16_t SettleOn(uint16_t request) const;
  // What it holds and runs at, as the end-to-end logs end each command:
  // "medium=dvd speed=16620 tray=0", the medium by the speeds it settles on
  // (none, dvd, or cd for any other disc).
  std::string Describe() const;
};

}  // namespace simdrive
