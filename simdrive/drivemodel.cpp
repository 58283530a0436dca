#include "simdrive/drivemodel.h"

#include <algorithm>
#include <cstring>

namespace simdrive {

std::array<uint8_t, 18> Reply::Sense() const {
  std::array<uint8_t, 18> sense{};
  sense[0] = 0x70;  // current error, fixed format
  sense[2] = senseKey;
  sense[7] = sense.size() - 8;  // additional sense length
  sense[12] = asc;
  return sense;
}

Reply IllegalRequest(uint8_t asc) {
  Reply r;
  r.status = kCheckCondition;
  r.senseKey = kIllegalRequest;
  r.asc = asc;
  return r;
}

namespace {

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

void PutBe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

// Copies text into a fixed field: cut when longer, space-padded when shorter.
void PutField(uint8_t* field, size_t width, const std::string& text) {
  std::memset(field, ' ', width);
  std::memcpy(field, text.data(), std::min(width, text.size()));
}

// Moves a reply to the host: never more than the allocation length, the
// host's buffer or the reply itself. A data-in command sent without the
// data-in direction cannot move data: the host adapter fails it.
Reply DataIn(const std::vector<uint8_t>& reply, uint32_t allocation, uint8_t* buffer,
             uint32_t bufferLength, int dir) {
  uint32_t n = std::min<uint32_t>({static_cast<uint32_t>(reply.size()), allocation, bufferLength});
  if (n > 0 && (dir != 1 || buffer == nullptr)) return IllegalRequest(kInvalidField);
  if (n > 0) std::memcpy(buffer, reply.data(), n);
  Reply r;
  r.status = kGood;
  r.transferred = n;
  return r;
}

size_t CommandLength(uint8_t opcode) {
  switch (opcode >> 5) {
    case 0: return 6;
    case 1:
    case 2: return 10;
    case 5: return 12;
    default: return 16;
  }
}

}  // namespace

void Drive::SetFault(uint8_t opcode, Fault fault) {
  faults.erase(std::remove_if(faults.begin(), faults.end(),
                              [opcode](const std::pair<uint8_t, Fault>& f) {
                                return f.first == opcode;
                              }),
               faults.end());
  if (fault != Fault::None) faults.emplace_back(opcode, fault);
}

Fault Drive::FaultFor(uint8_t opcode) const {
  for (const auto& f : faults)
    if (f.first == opcode) return f.second;
  return Fault::None;
}

bool Drive::IsDvdMedium() const {
  switch (profile) {
    case 0x10: case 0x11: case 0x12: case 0x13: case 0x14: case 0x15: case 0x16:
    case 0x1A: case 0x1B: case 0x2A: case 0x2B:
      return true;
    default:
      return false;
  }
}

uint16_t Drive::SettleOn(uint16_t request) const {
  const std::vector<uint16_t>& speeds = IsDvdMedium() ? dvdSpeeds : cdSpeeds;
  if (speeds.empty()) return currentSpeed;
  bool found = false;
  uint16_t best = 0;
  for (uint16_t s : speeds) {
    if (s <= request && (!found || s > best)) {
      best = s;
      found = true;
    }
  }
  if (found) return best;
  return *std::min_element(speeds.begin(), speeds.end());
}

std::string Drive::Describe() const {
  const char* medium = profile == kNoMedium ? "none" : IsDvdMedium() ? "dvd" : "cd";
  return std::string("medium=") + medium + " speed=" + std::to_string(currentSpeed) +
         " tray=" + (trayOpen ? "1" : "0");
}

Reply Drive::Execute(const uint8_t* cdb, uint32_t cdbLength, uint8_t* buffer,
                     uint32_t bufferLength, int dir) {
  if (cdb == nullptr || cdbLength == 0) return IllegalRequest(kInvalidField);
  const uint8_t opcode = cdb[0];
  switch (FaultFor(opcode)) {
    case Fault::CheckCondition: return IllegalRequest(kInvalidField);
    case Fault::NoTransfer: return Reply{};
    case Fault::CallFails: {
      Reply r;
      r.callFailed = true;
      return r;
    }
    case Fault::Status: {
      Reply r;
      r.status = faultStatus;
      return r;
    }
    case Fault::None: break;
  }
  // A block shorter than its opcode's group defines leaves the drive with
  // whatever the transport did not send.
  if (cdbLength < CommandLength(opcode)) return IllegalRequest(kInvalidField);
  for (const auto& raw : rawReplies)
    if (raw.first == opcode) return DataIn(raw.second, bufferLength, buffer, bufferLength, dir);

  switch (opcode) {
    case 0x12: {  // INQUIRY
      if (cdb[1] & 0x01) return IllegalRequest(kInvalidField);  // vital product data not modelled
      std::vector<uint8_t> reply(36, 0);
      reply[0] = 0x05;  // CD/DVD device
      reply[1] = 0x80;  // removable medium
      reply[3] = 0x02;  // response data format
      reply[4] = 36 - 5;
      PutField(&reply[8], 8, vendor);
      PutField(&reply[16], 16, product);
      PutField(&reply[32], 4, revision);
      return DataIn(reply, cdb[4], buffer, bufferLength, dir);
    }
    case 0x5A: {  // MODE SENSE(10)
      const uint8_t page = cdb[2] & 0x3F;
      if (page != 0x2A && page != 0x3F) return IllegalRequest(kInvalidField);
      const std::vector<uint16_t>& speeds = IsDvdMedium() ? dvdSpeeds : cdSpeeds;
      const uint16_t fastest =
          speeds.empty() ? currentSpeed : *std::max_element(speeds.begin(), speeds.end());
      std::vector<uint8_t> reply(8 + 30, 0);
      PutBe16(&reply[0], static_cast<uint16_t>(reply.size() - 2));  // mode data length
      uint8_t* p = &reply[8];
      p[0] = 0x2A;             // capabilities and mechanical status page
      p[1] = 28;               // page length
      p[2] = 0x3B;             // reads CD-R, CD-RW, DVD-ROM, DVD-R, DVD-RAM
      p[6] = 0x29;             // tray loading mechanism, eject supported, lock
      PutBe16(&p[8], fastest);  // maximum read speed
      PutBe16(&p[10], 256);    // volume levels
      PutBe16(&p[12], 2048);   // buffer size
      PutBe16(&p[14], currentSpeed);  // current read speed
      return DataIn(reply, Be16(&cdb[7]), buffer, bufferLength, dir);
    }
    case 0xBB: {  // SET CD SPEED
      if (!ignoresSetSpeed) currentSpeed = SettleOn(Be16(&cdb[2]));
      return Reply{};
    }
    case 0x46: {  // GET CONFIGURATION
      const uint16_t current = trayOpen ? uint16_t{kNoMedium} : profile;
      std::vector<uint8_t> reply(8 + 4 + 4, 0);
      PutBe16(&reply[6], current);
      // Feature 0000h, profile list: the loaded medium's profile only.
      reply[8 + 2] = 0x03;  // persistent, current
      reply[8 + 3] = 4;
      PutBe16(&reply[12], current);
      reply[14] = current != kNoMedium ? 0x01 : 0x00;
      const uint32_t dataLength = static_cast<uint32_t>(reply.size() - 4);
      reply[0] = static_cast<uint8_t>(dataLength >> 24);
      reply[1] = static_cast<uint8_t>(dataLength >> 16);
      reply[2] = static_cast<uint8_t>(dataLength >> 8);
      reply[3] = static_cast<uint8_t>(dataLength);
      return DataIn(reply, Be16(&cdb[7]), buffer, bufferLength, dir);
    }
    case 0x1B: {  // START STOP UNIT
      switch (cdb[4] & 0x03) {
        case 0x02: trayOpen = true; break;   // LoEj, stop: open the tray
        case 0x03: trayOpen = false; break;  // LoEj, start: close the tray
        default: break;
      }
      return Reply{};
    }
    default:
      return IllegalRequest(kInvalidOpcode);
  }
}

}  // namespace simdrive
