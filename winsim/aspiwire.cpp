#include "aspiwire.h"

#include <cstdio>
#include <cstring>

namespace aspiwire {

namespace {

// ASPI command and status codes.
constexpr uint8_t kGetDevType = 1;
constexpr uint8_t kExecScsiCmd = 2;
constexpr uint8_t kGetDiskInfo = 6;
constexpr uint8_t kRescanScsiBus = 7;

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
constexpr uint8_t kCheckCondition = 0x02;

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

const char* CmdName(uint8_t cmd) {
  switch (cmd) {
    case 0: return "SC_HA_INQUIRY";
    case kGetDevType: return "SC_GET_DEV_TYPE";
    case kExecScsiCmd: return "SC_EXEC_SCSI_CMD";
    case 3: return "SC_ABORT_SRB";
    case 4: return "SC_RESET_DEV";
    case kGetDiskInfo: return "SC_GET_DISK_INFO";
    case kRescanScsiBus: return "SC_RESCAN_SCSI_BUS";
    default: return "SC_UNKNOWN";
  }
}

}  // namespace

ExecLayout ExecLayoutFor(size_t pointerSize) {
  ExecLayout l;
  if (pointerSize == 8) {
    l.bufPointer = 16;
    l.senseLen = 24;
    l.cdbLen = 25;
    l.haStat = 26;
    l.targStat = 27;
    l.postProc = 28;
    l.cdb = 56;
    l.sense = 72;
    l.size = 88;
  } else {
    l.bufPointer = 16;
    l.senseLen = 20;
    l.cdbLen = 21;
    l.haStat = 22;
    l.targStat = 23;
    l.postProc = 24;
    l.cdb = 48;
    l.sense = 64;
    l.size = 80;
  }
  return l;
}

std::string Request::Describe() const {
  char head[160];
  std::snprintf(head, sizeof(head), "%s ha=%u target=%u lun=%u", CmdName(cmd), haId, target, lun);
  std::string line = head;
  if (cmd == kExecScsiCmd) {
    char exec[120];
    std::snprintf(exec, sizeof(exec), " flags=%02X senselen=%u cdblen=%u buflen=%u buffer=%s event=%s cdb=",
                  flags, senseLen, cdbLen, static_cast<unsigned>(bufLen), hasBuffer ? "yes" : "no",
                  hasEvent ? "yes" : "no");
    line += exec;
    for (size_t i = 0; i < cdb.size(); ++i) {
      char hex[4];
      std::snprintf(hex, sizeof(hex), i ? " %02X" : "%02X", cdb[i]);
      line += hex;
    }
  }
  char tail[24];
  std::snprintf(tail, sizeof(tail), " status=%02X", status);
  return line + tail;
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
      } else {
        b[10] = 0;  // SRB_DriveFlags
        b[11] = d->driveNumber;
      }
      return finish(kComp);
    }
    case kRescanScsiBus:
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
    const int dir = (req.flags & kDirIn) ? 1 : (req.flags & kDirOut) ? 2 : 0;
    simdrive::Reply r = d->drive->Execute(&b[l.cdb], req.cdbLen, buffer, req.bufLen, dir);
    req.executed = true;
    if (r.callFailed) {
      b[l.haStat] = kHaSelectionTimeout;
      outcome = kErr;
    } else {
      b[l.targStat] = r.status;
      if (r.status == kCheckCondition) {
        outcome = kErr;
        // Fixed-format sense into SenseArea, no more than asked for and
        // no more than the area holds.
        uint8_t sense[18] = {};
        sense[0] = 0x70;
        sense[2] = r.senseKey;
        sense[7] = 10;
        sense[12] = r.asc;
        size_t n = req.senseLen;
        if (n > l.size - l.sense) n = l.size - l.sense;
        if (n > sizeof(sense)) n = sizeof(sense);
        std::memcpy(&b[l.sense], sense, n);
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
