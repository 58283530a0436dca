#include <winsim.h>

#include <cctype>
#include <stdexcept>

#include "internal.h"

namespace winsim {

namespace detail {

void State::FreeSids() {
  for (auto& s : sids) delete[] static_cast<uint8_t*>(s.first);
  sids.clear();
}

State& state() {
  static State s;
  return s;
}

CallWatcher& Watcher() {
  static CallWatcher watcher;
  return watcher;
}

bool Enter(Api api) {
  if (Watcher()) Watcher()(api);
  Machine& m = machine();
  const size_t i = static_cast<size_t>(api);
  ++m.count.calls[i];
  bool fail = m.failAlways[i];
  if (m.failArmed[i] && m.failAt > 0) {
    ++m.failSeen;
    if (m.failSeen == m.failAt) fail = true;
  }
  return fail;
}

uintptr_t NewHandleValue() {
  static uintptr_t next = 0x1000;
  next += 4;
  return next;
}

void Misuse(const std::string& what) { machine().misuse.push_back(what); }

Object* FindObject(HANDLE h) {
  auto it = state().objects.find(reinterpret_cast<uintptr_t>(h));
  return it == state().objects.end() ? nullptr : &it->second;
}

Object* FindObject(HANDLE h, Kind kind) {
  Object* o = FindObject(h);
  return o != nullptr && o->kind == kind ? o : nullptr;
}

HANDLE NewHandle(const Object& o) {
  const uintptr_t v = NewHandleValue();
  state().objects.emplace(v, o);
  ++(o.kind == Kind::Event ? machine().count.openEvents : machine().count.openHandles);
  return reinterpret_cast<HANDLE>(v);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace detail

using namespace detail;

const char* ApiName(Api api) {
  static const char* const names[] = {
      "GetVersion",          "GetVersionExA",        "AllocateAndInitializeSid",
      "CheckTokenMembership", "OpenThreadToken",     "OpenProcessToken",
      "GetTokenInformation", "GetModuleHandleA",     "GetProcAddress",
      "LoadLibraryA",        "FreeLibrary",          "GetDriveTypeA",
      "CreateFileA",         "DeviceIoControl",      "CloseHandle",
      "CreateEventA",        "ResetEvent",           "WaitForSingleObject",
      "SendASPI32Command",   "GetASPI32SupportInfo", "RegOpenKeyExA",
      "RegCreateKeyExA",     "RegQueryValueExA",     "RegSetValueExA",
      "RegCloseKey",         "GetUserDefaultUILanguage", "FreeSid",
      "EqualSid",            "SetEvent",             "GetASPI32Buffer",
      "FreeASPI32Buffer",    "TranslateASPI32Address", "CreateMutexA",
      "ReleaseMutex",        "GetSystemDirectoryA"};
  static_assert(sizeof(names) / sizeof(names[0]) == static_cast<size_t>(Api::Count),
                "one name per call");
  const size_t i = static_cast<size_t>(api);
  return i < static_cast<size_t>(Api::Count) ? names[i] : "?";
}

static std::vector<uint8_t> BuiltinSid(DWORD rid) {
  std::vector<uint8_t> sid{1, 2, 0, 0, 0, 0, 0, 5};
  for (DWORD sub : {static_cast<DWORD>(SECURITY_BUILTIN_DOMAIN_RID), rid})
    for (int i = 0; i < 4; ++i) sid.push_back(static_cast<uint8_t>(sub >> (8 * i)));
  return sid;
}

std::vector<uint8_t> AdministratorsSid() { return BuiltinSid(DOMAIN_ALIAS_RID_ADMINS); }
std::vector<uint8_t> UsersSid() { return BuiltinSid(0x221); }

static void Fresh(Machine& m) {
  m.driveType.fill(DRIVE_NO_ROOT_DIR);
  m.letterDevice.fill(-1);
}

Machine& machine() {
  static Machine m;
  static const bool fresh = (Fresh(m), true);
  (void)fresh;
  return m;
}

void Reset() {
  // SIDs the program leaked in the last run are released here, not by it.
  State& st = state();
  st.FreeSids();
  st.objects.clear();
  st.keys.clear();
  st.mutexes.clear();
  st.lastError = 0;
  Machine& m = machine();
  m = Machine{};
  Fresh(m);
}

size_t AddCdRom(int number, uint8_t port, uint8_t target, uint8_t lun, char letter) {
  Machine& m = machine();
  auto d = std::make_unique<Device>();
  d->port = port;
  d->target = target;
  d->lun = lun;
  m.devices.push_back(std::move(d));
  const size_t index = m.devices.size() - 1;
  if (number >= 0) m.cdrom[number] = index;
  if (letter != 0) {
    const int l = std::toupper(static_cast<unsigned char>(letter)) - 'A';
    if (l < 0 || l >= 26) throw std::invalid_argument("drive letter");
    m.driveType[l] = DRIVE_CDROM;
    m.letterDevice[l] = static_cast<int>(index);
  }
  return index;
}

size_t AddAspiDrive(uint8_t adapter, uint8_t target, uint8_t lun, uint8_t driveNumber) {
  Machine& m = machine();
  m.aspiDevices.push_back(std::make_unique<Device>());
  aspiwire::Device d;
  d.adapter = adapter;
  d.target = target;
  d.lun = lun;
  d.deviceType = 5;
  d.driveNumber = driveNumber;
  d.drive = &m.aspiDevices.back()->drive;
  m.aspi.devices.push_back(d);
  return m.aspi.devices.size() - 1;
}

void SetNonNT() {
  machine().version = 0xC0000A04;  // 4.10, as Windows 98 reports it
  machine().platformId = VER_PLATFORM_WIN32_WINDOWS;
  machine().systemDirectory = "C:\\WINDOWS\\SYSTEM";
}

void SetNT(int major) {
  Machine& m = machine();
  m.platformId = VER_PLATFORM_WIN32_NT;
  switch (major) {
    case 4: m.version = 0x05650004; break;   // 4.0.1381
    case 5: m.version = 0x0A280105; break;   // 5.1.2600
    case 6: m.version = 0x1DB10106; break;   // 6.1.7601
    default: m.version = 0x0A280000u | static_cast<uint8_t>(major); break;
  }
}

CallWatcher SetCallWatcher(CallWatcher watcher) {
  CallWatcher previous = std::move(detail::Watcher());
  detail::Watcher() = std::move(watcher);
  return previous;
}

void SetFilteredAdministrator() {
  SetNT(10);
  machine().token.elevated = false;
  machine().token.groups = {{AdministratorsSid(), SE_GROUP_USE_FOR_DENY_ONLY},
                            {UsersSid(), SE_GROUP_ENABLED | SE_GROUP_ENABLED_BY_DEFAULT |
                                             SE_GROUP_MANDATORY}};
}

void ArmFailure(std::initializer_list<Api> apis, int nth) {
  Machine& m = machine();
  m.failArmed.fill(false);
  for (Api a : apis) m.failArmed[static_cast<size_t>(a)] = true;
  m.failAt = nth;
  m.failSeen = 0;
}

void DisarmFailure() { ArmFailure({}, 0); }

bool NothingOpen() {
  const Counters& c = machine().count;
  return c.openHandles == 0 && c.openEvents == 0 && c.openKeys == 0 && c.openSids == 0;
}

}  // namespace winsim

DWORD WINAPI GetLastError(void) { return winsim::detail::state().lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { winsim::detail::state().lastError = dwErrCode; }
