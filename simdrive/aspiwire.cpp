#include "simdrive/aspiwire.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace aspiwire {

namespace {

// ASPI status codes.
constexpr uint8_t kPending = 0x00;
constexpr uint8_t kComp = 0x01;
constexpr uint8_t kErr = 0x04;
constexpr uint8_t kInvalidCmd = 0x80;
constexpr uint8_t kInvalidHa = 0x81;
constexpr uint8_t kNoDevice = 0x82;

constexpr uint8_t kDirIn = 0x08;
constexpr uint8_t kDirOut = 0x10;
constexpr uint8_t kEventNotify = 0x40;

constexpr uint8_t kHaSelectionTimeout = 0x11;

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A pointer-sized field: only as wide as this build's pointers.
void* Pointer(const uint8_t* p) {
  uintptr_t v = 0;
  std::memcpy(&v, p, sizeof(v));
  return reinterpret_cast<void*>(v);
}

std::string Hex2(unsigned value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

}  // namespace

ExecLayout ExecLayoutFor(size_t pointerSize) {
  // A 64-bit SRB_BufPointer moves what follows it by 4 bytes, a 64-bit
  // SRB_PostProc what follows that by 4 more.
  const size_t wider = pointerSize == 8 ? 4 : 0;
  ExecLayout l;
  l.senseLen = 20 + wider;
  l.cdbLen = l.senseLen + 1;
  l.haStat = l.senseLen + 2;
  l.targStat = l.senseLen + 3;
  l.postProc = l.senseLen + 4;
  l.cdb = 48 + 2 * wider;  // CDBByte[16], then SenseArea
  l.sense = l.cdb + 16;
  l.size = l.sense + 16;
  return l;
}

std::string Request::Describe() const {
  std::string line = "SRB " + std::to_string(haId) + ":" + std::to_string(target) + ":" +
                     std::to_string(lun) + " cmd=" + Hex2(cmd);
  if (cmd == kExecScsiCmd) {
    line += " flags=" + Hex2(flags) + " buflen=" + std::to_string(bufLen) + " buffer=" + (hasBuffer ? "1" : "0") +
            " event=" + (hasEvent ? "1" : "0") + " senselen=" + std::to_string(senseLen) +
            " cdblen=" + std::to_string(cdbLen) + " cdb=";
    for (uint8_t byte : cdb) line += Hex2(byte);
  }
  line += " -> status=" + Hex2(status);
  return answer.empty() ? line : line + " " + answer;
}

uint32_t Library::SupportInfo() const {
  return static_cast<uint32_t>(supportStatus) << 8 | adapterCount;
}

Device* Library::Find(uint8_t adapter, uint8_t target, uint8_t lun) {
  for (Device& d : devices)
    if (d.adapter == adapter && d.target == target && d.lun == lun) return &d;
  return nullptr;
}

uint32_t Library::Send(void* srb) {
  uint8_t* b = static_cast<uint8_t*>(srb);
  Request req;
  req.cmd = b[0];
  req.haId = b[2];

  auto finish = [&](uint8_t status) {
    b[1] = status;
    req.status = status;
    log.push_back(req);
    return static_cast<uint32_t>(status);
  };

  switch (req.cmd) {
    case kGetDevType:
    case kGetDiskInfo: {
      req.target = b[8];
      req.lun = b[9];
      if (req.haId >= adapterCount) return finish(kInvalidHa);
      Device* d = Find(req.haId, req.target, req.lun);
      if (d == nullptr || d->queryFails) return finish(kNoDevice);
      req.device = static_cast<int>(d - devices.data());
      if (req.cmd == kGetDevType) {
        b[10] = d->deviceType;
        req.answer = "type=" + Hex2(b[10]);
      } else if (overPassThrough) {
        req.answer = "drive=" + Hex2(b[11]) + " (left)";
      } else {
        b[10] = 0;  // SRB_DriveFlags
        b[11] = d->driveNumber;
        req.answer = "drive=" + Hex2(b[11]);
      }
      return finish(kComp);
    }
    case kRescanScsiBus:
      if (overPassThrough) return finish(kInvalidCmd);
      if (req.haId >= adapterCount) return finish(kInvalidHa);
      return finish(kComp);
    case kExecScsiCmd:
      break;
    default:
      return finish(kInvalidCmd);
  }

  const ExecLayout l = ExecLayoutFor(sizeof(void*));
  req.flags = b[l.flags];
  req.target = b[l.target];
  req.lun = b[l.lun];
  req.bufLen = Le32(&b[l.bufLen]);
  uint8_t* buffer = static_cast<uint8_t*>(Pointer(&b[l.bufPointer]));
  void* event = Pointer(&b[l.postProc]);
  req.hasBuffer = buffer != nullptr;
  req.hasEvent = event != nullptr;
  req.senseLen = b[l.senseLen];
  req.cdbLen = b[l.cdbLen];
  req.cdb.assign(&b[l.cdb], &b[l.cdb] + 16);

  if (req.haId >= adapterCount) return finish(kInvalidHa);
  if (req.cdbLen == 0 || req.cdbLen > 16) return finish(kErr);
  if (req.bufLen > 0 && buffer == nullptr) return finish(kErr);
  if ((req.flags & (kDirIn | kDirOut)) == (kDirIn | kDirOut)) return finish(kErr);
  Device* d = Find(req.haId, req.target, req.lun);
  if (d == nullptr) return finish(kNoDevice);
  req.device = static_cast<int>(d - devices.data());

  uint8_t outcome = kComp;
  if (d->drive == nullptr) {
    b[l.haStat] = kHaSelectionTimeout;
    outcome = kErr;
  } else {
    const int dir = (req.flags & kDirIn) ? 1 : (req.flags & kDirOut) ? 2 : overPassThrough ? 1 : 0;
    simdrive::Reply r = d->drive->Execute(&b[l.cdb], req.cdbLen, buffer, req.bufLen, dir);
    req.executed = true;
    req.answer = d->drive->Describe();
    if (r.callFailed) {
      b[l.haStat] = kHaSelectionTimeout;
      outcome = kErr;
    } else {
      b[l.targStat] = r.status;
      if (r.status == simdrive::kCheckCondition) {
        outcome = kErr;
        // Sense into SenseArea, no more than asked for and no more than the area holds.
        const auto sense = r.Sense();
        std::memcpy(&b[l.sense], sense.data(), std::min({size_t{req.senseLen}, l.size - l.sense, sense.size()}));
      } else if (r.status != 0) {
        outcome = kErr;
      }
    }
  }

  if (completeAtOnce) return finish(outcome);
  pending_.push_back(Pending{b, outcome, event, (req.flags & kEventNotify) != 0});
  return finish(kPending);
}

void Library::CompletePending(const std::function<void(void* event)>& signal) {
  std::vector<Pending> done;
  done.swap(pending_);
  for (const Pending& p : done) {
    p.srb[1] = p.status;
    if (p.notify) signal(p.event);
  }
}

size_t Library::Abandon(void* event) {
  size_t before = pending_.size();
  std::vector<Pending> kept;
  for (const Pending& p : pending_)
    if (p.event != event) kept.push_back(p);
  pending_.swap(kept);
  return before - pending_.size();
}

}  // namespace aspiwire
