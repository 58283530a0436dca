// Events and the ASPI library's entry points.
#include <cstring>

#include "internal.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

constexpr DWORD kSsErr = 0x04;
constexpr DWORD kSsInvalidSrb = 0xE0;
constexpr DWORD kSsNoAdapters = 0xE8;

void Signal(void* event) {
  Object* o = FindObject(event, Kind::Event);
  if (o == nullptr) {
    Misuse("ASPI completion signalled an event that is not open");
    return;
  }
  o->signalled = true;
}

void CheckLoaded(const char* entry) {
  if (machine().count.loadedModules <= 0)
    Misuse(std::string(entry) + " called while wnaspi32.dll is not loaded");
}

DWORD __cdecl SimGetASPI32SupportInfo(void) {
  CheckLoaded("GetASPI32SupportInfo");
  if (Enter(Api::GetASPI32SupportInfo)) return kSsNoAdapters << 8;
  return machine().aspi.SupportInfo();
}

DWORD __cdecl SimSendASPI32Command(LPVOID srb) {
  CheckLoaded("SendASPI32Command");
  Machine& m = machine();
  if (srb == nullptr) {
    Enter(Api::SendASPI32Command);
    Misuse("SendASPI32Command without a request block");
    return kSsInvalidSrb;
  }
  if (Enter(Api::SendASPI32Command)) {
    static_cast<uint8_t*>(srb)[1] = static_cast<uint8_t>(kSsErr);
    return kSsErr;
  }
  const DWORD status = m.aspi.Send(srb);
  const aspiwire::Request& r = m.aspi.log.back();
  if (r.executed) {
    const int dir = (r.flags & 0x08) ? 1 : (r.flags & 0x10) ? 2 : 0;
    Machine::Command c{Machine::Command::Aspi, r.device,
                       std::vector<uint8_t>(r.cdb.begin(), r.cdb.begin() + r.cdbLen), dir, r.bufLen};
    c.request = r;
    m.commands.push_back(c);
  }
  return status;
}

// The entry points the program looks up but never calls.
template <Api api, typename... Args>
BOOL __cdecl SimUncalled(Args...) {
  Enter(api);
  Misuse(std::string(ApiName(api)) + " called");
  return FALSE;
}

}  // namespace

namespace winsim::detail {

FARPROC AspiExport(const char* name) {
  static const char* const names[5] = {"GetASPI32SupportInfo", "SendASPI32Command",
                                       "GetASPI32Buffer", "FreeASPI32Buffer",
                                       "TranslateASPI32Address"};
  const FARPROC procs[5] = {AsFarProc(&SimGetASPI32SupportInfo), AsFarProc(&SimSendASPI32Command),
                            AsFarProc(&SimUncalled<Api::GetASPI32Buffer, LPVOID>),
                            AsFarProc(&SimUncalled<Api::FreeASPI32Buffer, LPVOID>),
                            AsFarProc(&SimUncalled<Api::TranslateASPI32Address, PDWORD, PDWORD>)};
  for (size_t i = 0; i < 5; ++i)
    if (std::strcmp(name, names[i]) == 0) return machine().aspiExports[i] ? procs[i] : nullptr;
  return nullptr;
}

}  // namespace winsim::detail

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState,
                           LPCSTR name) {
  if (Enter(Api::CreateEventA)) return Fail(ERROR_NOT_ENOUGH_MEMORY, nullptr);
  if (name != nullptr) Misuse("CreateEventA with a name");
  Object o{Kind::Event};
  o.manualReset = manualReset != FALSE;
  o.signalled = initialState != FALSE;
  SetLastError(ERROR_SUCCESS);
  return NewHandle(o);
}

namespace {

BOOL SetSignalled(Api api, HANDLE h, bool signalled) {
  if (Enter(api)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  Object* o = FindObject(h, Kind::Event);
  if (o == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  o->signalled = signalled;
  return TRUE;
}

}  // namespace

BOOL WINAPI ResetEvent(HANDLE h) { return SetSignalled(Api::ResetEvent, h, false); }

BOOL WINAPI SetEvent(HANDLE h) { return SetSignalled(Api::SetEvent, h, true); }

// Time stands still in the model: pending ASPI requests complete when
// someone waits, and a wait that nothing could ever end is reported rather
// than hung.
DWORD WINAPI WaitForSingleObject(HANDLE h, DWORD milliseconds) {
  if (Enter(Api::WaitForSingleObject)) return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
  Machine& m = machine();
  if (Object* o = FindObject(h, Kind::Mutex)) return WaitForMutex(*o, milliseconds);
  if (FindObject(h, Kind::Event) == nullptr) {
    Misuse("WaitForSingleObject on something that is not an open event or mutex");
    return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
  }
  if (m.aspi.HasPending()) m.aspi.CompletePending(Signal);
  Object* o = FindObject(h, Kind::Event);
  if (o->signalled) {
    if (!o->manualReset) o->signalled = false;
    return WAIT_OBJECT_0;
  }
  if (milliseconds == INFINITE) {
    m.deadlock = true;
    Misuse("WaitForSingleObject(INFINITE) on an event that nothing will signal");
    return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
  }
  return WAIT_TIMEOUT;
}
