// What every layer of the device access shares: the transport in use, the
// way a command's data moves, and a drive's address as text. It includes
// nothing of the project, so the transports, the inventory and the drive
// object can all stand on it.
#pragma once

#include <cstdint>
#include <string>

enum ttransport : uint8_t { tpAspi = 0, tpSpti = 1, tpAuto = 2, tpNone = 3 };

// Which way a command's data moves, from the host's side.
enum tdirection : uint8_t { dirNone = 0, dirIn = 1, dirOut = 2 };

// A drive's address as the inventory line and the drive's mutex show it: "%d:%d:%d".
inline std::string AddressText(uint8_t adapter, uint8_t target, uint8_t lun) {
  return std::to_string(adapter) + ':' + std::to_string(target) + ':' + std::to_string(lun);
}
