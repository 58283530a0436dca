// The model behind the simulated Windows: tests set it up before they call
// the program, and inspect it afterwards (commands received, open handles,
// keys, events and modules).
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "simdrive/aspiwire.h"
#include "simdrive/drivemodel.h"

namespace winsim {

// Every platform call the program can make, for counting and fault injection.
enum class Api : uint8_t {
  GetVersion,
  GetVersionExA,
  AllocateAndInitializeSid,
  CheckTokenMembership,
  OpenThreadToken,
  OpenProcessToken,
  GetTokenInformation,
  GetModuleHandleA,
  GetProcAddress,
  LoadLibraryA,
  FreeLibrary,
  GetDriveTypeA,
  CreateFileA,
  DeviceIoControl,
  CloseHandle,
  CreateEventA,
  ResetEvent,
  WaitForSingleObject,
  SendASPI32Command,
  GetASPI32SupportInfo,
  RegOpenKeyExA,
  RegCreateKeyExA,
  RegQueryValueExA,
  RegSetValueExA,
  RegCloseKey,
  GetUserDefaultUILanguage,
  FreeSid,
  EqualSid,
  SetEvent,
  GetASPI32Buffer,
  FreeASPI32Buffer,
  TranslateASPI32Address,
  CreateMutexA,
  ReleaseMutex,
  GetSystemDirectoryA,
  Count
};
const char* ApiName(Api api);

struct Group {
  std::vector<uint8_t> sid;  // binary SID
  DWORD attributes = SE_GROUP_ENABLED;
};
std::vector<uint8_t> AdministratorsSid();  // S-1-5-32-544
std::vector<uint8_t> UsersSid();           // S-1-5-32-545

struct Token {
  // CheckTokenMembership counts a SID when it is an enabled, not deny-only,
  // group below; false here also makes it deny Administrators, so that tests
  // can tell its answer from the group walk's.
  bool member = true;
  bool hasThreadToken = false;    // else OpenThreadToken fails with ERROR_NO_TOKEN
  bool elevated = true;           // TokenElevation's answer, on Vista and later
  std::vector<Group> groups{{AdministratorsSid(), SE_GROUP_ENABLED}};
};

// A device reachable as "\\.\CdRomN" and/or through drive letters.
struct Device {
  simdrive::Drive drive;
  uint8_t port = 0, pathId = 0, target = 0, lun = 0;
  bool failOpen = false;
  bool failAddress = false;
  bool failControl = false;  // DeviceIoControl(pass-through) returns FALSE
};

struct RegValue {
  DWORD type = REG_SZ;
  std::vector<uint8_t> data;
};
struct RegKey {
  std::map<std::string, RegValue> values;      // names compared case-insensitively
  std::map<std::string, std::unique_ptr<RegKey>> subkeys;
  bool refuseAllAccess = false;  // opening with more than read rights: ERROR_ACCESS_DENIED
};

// SCSI_PASS_THROUGH_DIRECT as DeviceIoControl read it, field by field.
struct PassThroughBlock {
  DWORD inSize = 0, outSize = 0;
  USHORT length = 0;
  UCHAR scsiStatus = 0, pathId = 0, targetId = 0, lun = 0, cdbLength = 0, senseInfoLength = 0,
        dataIn = 0;
  ULONG dataTransferLength = 0, timeOutValue = 0;
  uintptr_t dataBuffer = 0;
  ULONG senseInfoOffset = 0;
  std::array<uint8_t, 16> cdb{};
};

struct Counters {
  int openHandles = 0;   // device handles, tokens and mutex handles
  int openEvents = 0;
  int openKeys = 0;
  int loadedModules = 0;  // LoadLibraryA minus FreeLibrary on wnaspi32.dll
  int openSids = 0;       // AllocateAndInitializeSid minus FreeSid
  std::array<int, static_cast<size_t>(Api::Count)> calls{};
};

struct Machine {
  // System information
  DWORD version = 0x0A280105;  // GetVersion: NT 5.1 (top bit clear)
  DWORD platformId = VER_PLATFORM_WIN32_NT;
  bool kernel32HasGetUserDefaultUILanguage = true;
  LANGID uiLanguage = 0x0409;
  bool advapi32HasCheckTokenMembership = true;
  Token token;
  std::string systemDirectory = "C:\\WINDOWS\\system32";  // GetSystemDirectoryA

  // Devices: "\\.\CdRomN" -> index into devices; letters -> drive type and device.
  std::vector<std::unique_ptr<Device>> devices;
  std::map<int, size_t> cdrom;                 // device number -> devices index
  std::array<UINT, 26> driveType{};            // DRIVE_NO_ROOT_DIR by default (set by Reset)
  std::array<int, 26> letterDevice{};          // devices index or -1

  // The ASPI library "wnaspi32.dll"
  bool aspiPresent = false;
  std::array<bool, 5> aspiExports{{true, true, true, true, true}};  // order of the five names
  aspiwire::Library aspi;
  std::vector<std::unique_ptr<Device>> aspiDevices;  // drives behind aspi.devices[i].drive

  // Registry: HKEY_CURRENT_USER and HKEY_USERS
  RegKey hkcu, hku;

  // Fault injection: the n-th call (1-based, counted from arm time) of the
  // armed APIs fails; 0 disarms.
  std::array<bool, static_cast<size_t>(Api::Count)> failArmed{};
  int failAt = 0;
  int failSeen = 0;
  // Per-call failure switches that stay on.
  std::array<bool, static_cast<size_t>(Api::Count)> failAlways{};

  Counters count;

  // Every command block a drive received, in order.
  struct Command {
    enum Route : uint8_t { PassThrough, Aspi } route;
    int device;  // devices index (pass-through) or aspi.devices index
    std::vector<uint8_t> cdb;  // CdbLength bytes
    int dir;                   // 0 none, 1 in, 2 out (as the command-block convention)
    uint32_t bufferLength;
    // The block as the system read it, for assertions on the values sent.
    PassThroughBlock block{};      // route PassThrough
    aspiwire::Request request{};   // route Aspi: the execute block
  };
  std::vector<Command> commands;

  // The thread the program's calls come from: a mutex is owned by a thread.
  // Tests switch it to play a second program; EndThread abandons what a
  // thread still owns.
  uint32_t thread = 1;

  // Loud markers for misuse that Windows would not report politely.
  bool deadlock = false;           // an INFINITE wait that could never end
  std::vector<std::string> misuse;  // calls made against the documented contract
  std::vector<std::string> openedPaths;  // every CreateFileA path, in order
  std::vector<std::string> loadedNames;  // every LoadLibraryA name, in order
  DWORD lastTokenAccess = 0;       // DesiredAccess of the last token open
  BOOL lastOpenAsSelf = FALSE;     // OpenAsSelf of the last OpenThreadToken
};

Machine& machine();

// Fresh machine: NT 5.1 administrator, no devices, no ASPI library, empty
// registry, every counter zero.
void Reset();

// Convenience set-up. Returns the new device's index.
size_t AddCdRom(int number, uint8_t port, uint8_t target, uint8_t lun, char letter = 0);
// The library reports aspi.adapterCount adapters whatever drives are added.
size_t AddAspiDrive(uint8_t adapter, uint8_t target, uint8_t lun, uint8_t driveNumber = 0xFF);
void SetNonNT();          // Windows 9x: top bit of GetVersion set, platform id 1, C:\WINDOWS\SYSTEM
void SetNT(int major);    // NT family with this major version
// Windows 10, an administrator's program started without elevation: the
// filtered token holds Administrators deny-only.
void SetFilteredAdministrator();
void ArmFailure(std::initializer_list<Api> apis, int nth);
// Called with every platform call as it is made; Reset leaves it in place.
// Returns the watcher it replaces.
using CallWatcher = std::function<void(Api)>;
CallWatcher SetCallWatcher(CallWatcher watcher);
void DisarmFailure();

// A thread ends: every mutex it owns is abandoned, to be taken over by the
// next wait.
void EndThread(uint32_t thread);
// The owner and recursion count of the named mutex, {0, 0} when unowned or
// when no handle to it is open.
struct MutexOwnership {
  uint32_t owner;
  uint32_t count;
};
MutexOwnership MutexOwner(const std::string& name);

// Registry helpers for tests (paths without a leading backslash).
RegKey* FindKey(HKEY root, const std::string& path);
RegKey& MakeKey(HKEY root, const std::string& path);
void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
              const std::vector<uint8_t>& data);
void SetString(HKEY root, const std::string& path, const std::string& name,
               const std::string& text, DWORD type = REG_SZ);  // stores text plus NUL
const RegValue* GetValue(HKEY root, const std::string& path, const std::string& name);

// True when nothing is left open: handles, keys, events, SIDs.
bool NothingOpen();

}  // namespace winsim
