#include "e2e/driver/probes.h"

#include <windows.h>
#include <imagehlp.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scsi/ntddscsi.h"

namespace e2edriver {
namespace {

// The first-chance exceptions of this process, as a vectored handler sees
// them before any frame handler: code and, for access violations, whether
// it was a write.
struct SeenException {
  DWORD code;
  ULONG_PTR write;
};
std::vector<SeenException> g_seen;

LONG CALLBACK RecordException(PEXCEPTION_POINTERS e) {
  const EXCEPTION_RECORD* r = e->ExceptionRecord;
  g_seen.push_back({r->ExceptionCode, r->NumberParameters >= 1 ? r->ExceptionInformation[0] : 0});
  // A guard page drops its guard as it fires: the access goes through when retried.
  return r->ExceptionCode == STATUS_GUARD_PAGE_VIOLATION ? EXCEPTION_CONTINUE_EXECUTION
                                                        : EXCEPTION_CONTINUE_SEARCH;
}

std::string Seen() {
  std::string out;
  char item[40];
  for (const SeenException& s : g_seen) {
    std::snprintf(item, sizeof item, "%s%08lx/%u", out.empty() ? "" : ",", s.code, unsigned(s.write));
    out += item;
  }
  g_seen.clear();
  return out.empty() ? "none" : out;
}

}  // namespace

// How faults reach a Windows program in this prefix: the probes Windows
// answers with an access violation, a write to a read-only page, a guard page.
void PrintFaults() {
  void* handler = AddVectoredExceptionHandler(1, RecordException);
  if (!handler) Fail("AddVectoredExceptionHandler failed");
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  void* freed = VirtualAlloc(nullptr, si.dwPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!freed || !VirtualFree(freed, 0, MEM_RELEASE)) Fail("VirtualAlloc or VirtualFree failed");
  const BOOL bad_read = IsBadReadPtr(freed, 4);
  std::printf("read-freed=%d %s\n", bad_read, Seen().c_str());
  void* readonly = VirtualAlloc(nullptr, si.dwPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
  if (!readonly) Fail("VirtualAlloc failed");
  const BOOL bad_write = IsBadWritePtr(readonly, 4);
  std::printf("write-readonly=%d %s\n", bad_write, Seen().c_str());
  void* guarded = VirtualAlloc(nullptr, si.dwPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE | PAGE_GUARD);
  if (!guarded) Fail("VirtualAlloc failed");
  const int value = *static_cast<volatile int*>(guarded);
  std::printf("guard=%d %s\n", value, Seen().c_str());
  VirtualFree(readonly, 0, MEM_RELEASE);
  VirtualFree(guarded, 0, MEM_RELEASE);
  RemoveVectoredExceptionHandler(handler);
}

// What Wine's device code hands back for one device: the address query and
// one pass-through block, each with its result, error and returned size, as
// the program's own calls make them.
void ProbeDevice(const char* path, const std::string& hex, bool dataIn, unsigned long length) {
  HANDLE device = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (device == INVALID_HANDLE_VALUE) Fail(std::string("cannot open ") + path);
  tscsiaddress address;
  std::memset(&address, 0xA5, sizeof address);
  DWORD returned = 0xA5A5;
  SetLastError(0);
  BOOL ok = DeviceIoControl(device, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof address,
                            &returned, nullptr);
  std::printf("address=%d error=%lu returned=%lu length=%lu port=%u path=%u target=%u lun=%u\n", ok ? 1 : 0,
              GetLastError(), returned, address.Length, address.PortNumber, address.PathId, address.TargetId,
              address.Lun);

  std::vector<UCHAR> data(length + 1, 0xA5);
  tsptdwithsense block;
  std::memset(&block, 0, sizeof block);
  std::memset(block.sense, 0xA5, sizeof block.sense);
  block.spt.Length = sizeof block.spt;
  block.spt.CdbLength = UCHAR(hex.size() / 2);
  block.spt.SenseInfoLength = sizeof block.sense;
  block.spt.DataIn = dataIn ? kScsiIoctlDataIn : kScsiIoctlDataUnspecified;
  block.spt.DataTransferLength = length;
  block.spt.TimeOutValue = 60;
  block.spt.DataBuffer = length ? data.data() : nullptr;
  block.spt.SenseInfoOffset = offsetof(tsptdwithsense, sense);
  for (size_t i = 0; i + 1 < hex.size() && i / 2 < sizeof block.spt.Cdb; i += 2)
    block.spt.Cdb[i / 2] = UCHAR(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
  returned = 0xA5A5;
  SetLastError(0);
  ok = DeviceIoControl(device, IOCTL_SCSI_PASS_THROUGH_DIRECT, &block, sizeof block, &block, sizeof block,
                       &returned, nullptr);
  std::printf("passthrough=%d error=%lu returned=%lu status=%u transferred=%lu senselength=%u sense=", ok ? 1 : 0,
              GetLastError(), returned, block.spt.ScsiStatus, block.spt.DataTransferLength,
              block.spt.SenseInfoLength);
  for (UCHAR b : block.sense) std::printf("%02x", b);
  std::printf("\n");
  CloseHandle(device);
}

void PrintChecksum(const char* path) {
  DWORD stored = 0, computed = 0;
  const DWORD status = MapFileAndCheckSumA(path, &stored, &computed);
  if (status != CHECKSUM_SUCCESS) Fail("MapFileAndCheckSumA: " + std::to_string(status));
  std::printf("stored=%08lx\ncomputed=%08lx\n", stored, computed);
}

}  // namespace e2edriver
