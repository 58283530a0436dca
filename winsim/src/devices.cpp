// Drive letters, device opens and the SCSI control calls, and CloseHandle.
#include <cstring>
#include <string>

#include "internal.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

constexpr DWORD kIoctlScsiGetAddress = 0x00041018;
constexpr DWORD kIoctlScsiPassThroughDirect = 0x0004D014;
constexpr DWORD kErrorInvalidFunction = 1;

// SCSI_PASS_THROUGH_DIRECT in this build's layout, by byte offset.
struct SptdLayout {
  size_t dataBuffer, senseInfoOffset, cdb, size;
};
constexpr SptdLayout kSptd = sizeof(void*) == 8 ? SptdLayout{24, 32, 36, 56}
                                                : SptdLayout{20, 24, 28, 44};

int LetterIndex(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a';
  return -1;
}

// "\\.\CdRomN" (decimal, no leading zeros) or "\\.\X:"; -1 when neither
// names a known device.
int DeviceForPath(const std::string& path) {
  const Machine& m = machine();
  if (path.compare(0, 4, "\\\\.\\") != 0) return -1;
  const std::string rest = path.substr(4);
  if (rest.size() == 2 && rest[1] == ':') {
    const int l = LetterIndex(rest[0]);
    return l < 0 ? -1 : m.letterDevice[l];
  }
  if (rest.size() < 6 || !EqualNoCase(rest.substr(0, 5), "CdRom")) return -1;
  const std::string digits = rest.substr(5);
  if (digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) return -1;
  int n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  auto it = m.cdrom.find(n);
  return it == m.cdrom.end() ? -1 : static_cast<int>(it->second);
}

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

BOOL Refuse(const std::string& why) {
  Misuse("DeviceIoControl(IOCTL_SCSI_PASS_THROUGH_DIRECT) refused: " + why);
  return Fail(ERROR_INVALID_PARAMETER, FALSE);
}

BOOL GetAddress(Device& d, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned) {
  if (in != nullptr || inSize != 0) Misuse("IOCTL_SCSI_GET_ADDRESS given an input buffer");
  if (out == nullptr || outSize < 8) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  if (d.failAddress) return Fail(ERROR_GEN_FAILURE, FALSE);
  uint8_t* a = static_cast<uint8_t*>(out);
  PutLe32(a, 8);  // Length
  a[4] = d.port;
  a[5] = d.pathId;
  a[6] = d.target;
  a[7] = d.lun;
  if (returned != nullptr) *returned = 8;
  return TRUE;
}

// Reads the block as the port driver does, refuses what it refuses, runs
// the drive and writes status, transferred length and sense back.
BOOL PassThrough(size_t index, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                 LPDWORD returned) {
  Machine& m = machine();
  Device& d = *m.devices[index];
  if (in == nullptr || inSize < sizeof(USHORT)) return Refuse("no input block");
  std::vector<uint8_t> blk(static_cast<const uint8_t*>(in), static_cast<const uint8_t*>(in) + inSize);

  PassThroughBlock p;
  p.inSize = inSize;
  p.outSize = outSize;
  std::memcpy(&p.length, &blk[0], 2);
  if (inSize < p.length) return Refuse("input size below Length");
  if (p.length != kSptd.size) return Refuse("Length is not the structure size");
  p.scsiStatus = blk[2];
  p.pathId = blk[3];
  p.targetId = blk[4];
  p.lun = blk[5];
  p.cdbLength = blk[6];
  p.senseInfoLength = blk[7];
  p.dataIn = blk[8];
  p.dataTransferLength = Le32(&blk[12]);
  p.timeOutValue = Le32(&blk[16]);
  std::memcpy(&p.dataBuffer, &blk[kSptd.dataBuffer], sizeof(void*));
  p.senseInfoOffset = Le32(&blk[kSptd.senseInfoOffset]);
  std::memcpy(p.cdb.data(), &blk[kSptd.cdb], 16);

  if (p.cdbLength == 0 || p.cdbLength > 16) return Refuse("CdbLength out of range");
  if (p.dataIn > 2) return Refuse("DataIn out of range");
  if (p.dataTransferLength > 0 && p.dataBuffer == 0) return Refuse("no DataBuffer for the transfer");
  if (out == nullptr || outSize < p.length) return Refuse("output smaller than the structure");
  if (p.senseInfoLength > 0 &&
      (p.senseInfoOffset < p.length ||
       uint64_t{p.senseInfoOffset} + p.senseInfoLength > outSize))
    return Refuse("sense area outside the output buffer");
  if (d.failControl) return Fail(ERROR_GEN_FAILURE, FALSE);

  const int dir = p.dataIn == 1 ? 1 : p.dataIn == 0 ? 2 : 0;
  simdrive::Reply r = d.drive.Execute(p.cdb.data(), p.cdbLength,
                                      reinterpret_cast<uint8_t*>(p.dataBuffer),
                                      p.dataTransferLength, dir);
  Machine::Command c{Machine::Command::PassThrough, static_cast<int>(index),
                     std::vector<uint8_t>(p.cdb.begin(), p.cdb.begin() + p.cdbLength), dir,
                     p.dataTransferLength};
  c.block = p;
  m.commands.push_back(c);
  if (r.callFailed) return Fail(ERROR_GEN_FAILURE, FALSE);

  // The system buffer goes back to the caller's output buffer.
  std::vector<uint8_t> reply(outSize, 0);
  std::memcpy(reply.data(), blk.data(), std::min<size_t>(blk.size(), outSize));
  reply[2] = r.status;
  PutLe32(&reply[12], r.transferred);
  DWORD senseWritten = 0;
  if (r.status == 2 && p.senseInfoLength > 0) {
    uint8_t sense[18] = {};
    sense[0] = 0x70;
    sense[2] = r.senseKey;
    sense[7] = 10;
    sense[12] = r.asc;
    senseWritten = std::min<DWORD>(p.senseInfoLength, sizeof(sense));
    std::memcpy(&reply[p.senseInfoOffset], sense, senseWritten);
  }
  reply[7] = static_cast<uint8_t>(senseWritten);
  std::memcpy(out, reply.data(), outSize);
  if (returned != nullptr) *returned = senseWritten ? p.senseInfoOffset + senseWritten : p.length;
  return TRUE;
}

}  // namespace

UINT WINAPI GetDriveTypeA(LPCSTR root) {
  if (Enter(Api::GetDriveTypeA)) return DRIVE_UNKNOWN;
  if (root == nullptr || std::strlen(root) != 3 || LetterIndex(root[0]) < 0 || root[1] != ':' ||
      root[2] != '\\') {
    Misuse(std::string("GetDriveTypeA given \"") + (root ? root : "(null)") + "\", not a root path");
    return DRIVE_NO_ROOT_DIR;
  }
  return machine().driveType[LetterIndex(root[0])];
}

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (Enter(Api::CreateFileA)) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  Machine& m = machine();
  if (name == nullptr) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  m.openedPaths.push_back(name);
  if (access != (GENERIC_READ | GENERIC_WRITE) || share != (FILE_SHARE_READ | FILE_SHARE_WRITE) ||
      disposition != OPEN_EXISTING) {
    Misuse(std::string("CreateFileA(") + name + ") with access, sharing or disposition other than read-write, shared, existing");
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  if (security != nullptr || templateFile != nullptr || (flags != 0 && flags != FILE_ATTRIBUTE_NORMAL))
    Misuse(std::string("CreateFileA(") + name + ") with unexpected attributes or template");
  const int index = DeviceForPath(name);
  if (index < 0) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (m.devices[index]->failOpen) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  Object o{Kind::Device};
  o.device = static_cast<size_t>(index);
  return NewHandle(o);
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                            DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  if (Enter(Api::DeviceIoControl)) return Fail(ERROR_GEN_FAILURE, FALSE);
  Object* o = FindObject(device, Kind::Device);
  if (o == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (overlapped != nullptr) Misuse("DeviceIoControl with an OVERLAPPED on a synchronous handle");
  if (returned == nullptr) {
    // Without an OVERLAPPED the count is required.
    Misuse("DeviceIoControl without a returned-bytes count");
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  Device& d = *machine().devices[o->device];
  switch (code) {
    case kIoctlScsiGetAddress:
      return GetAddress(d, in, inSize, out, outSize, returned);
    case kIoctlScsiPassThroughDirect:
      return PassThrough(o->device, in, inSize, out, outSize, returned);
    default:
      Misuse("DeviceIoControl with an unsupported control code");
      return Fail(kErrorInvalidFunction, FALSE);
  }
}

BOOL WINAPI CloseHandle(HANDLE h) {
  if (Enter(Api::CloseHandle)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  auto& objects = state().objects;
  auto it = objects.find(reinterpret_cast<uintptr_t>(h));
  if (it == objects.end()) {
    Misuse("CloseHandle on a handle that is not open");
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  }
  Machine& m = machine();
  if (it->second.kind == Kind::Event) {
    if (m.aspi.Abandon(h) > 0)
      Misuse("event closed while an ASPI request would still signal it");
    --m.count.openEvents;
  } else if (it->second.kind == Kind::Mutex) {
    CloseMutexHandle(it->second);
  } else {
    --m.count.openHandles;
  }
  objects.erase(it);
  return TRUE;
}
