// The MMC commands and the mode page the drive object sends, by their
// standard names. A new command gets its opcode here and its builder in
// tcddrive; the transports below carry any command block unchanged.
#pragma once

#include <cstdint>

namespace mmc {

// Operation codes.
constexpr uint8_t kInquiry = 0x12;           // INQUIRY
constexpr uint8_t kStartStopUnit = 0x1B;     // START STOP UNIT
constexpr uint8_t kGetConfiguration = 0x46;  // GET CONFIGURATION
constexpr uint8_t kModeSense10 = 0x5A;       // MODE SENSE(10)
constexpr uint8_t kSetCdSpeed = 0xBB;        // SET CD SPEED

// Command block lengths of the groups these belong to.
constexpr uint8_t kCdb6 = 6;
constexpr uint8_t kCdb10 = 10;
constexpr uint8_t kCdb12 = 12;

// CD/DVD capabilities and mechanical status mode page.
constexpr uint8_t kCapabilitiesPage = 0x2A;

// Speeds are in kB/s. A DVD speed step is 1385 kB/s; the CD's nominal 1x is
// 176.4 kB/s, which the detection ladder climbs in whole steps of 177 and
// the speed list divides by exactly (ui/speedlist.cpp).
constexpr uint16_t kDvdSpeedStep = 1385;
constexpr uint16_t kCdLadderStep = 177;

}  // namespace mmc
