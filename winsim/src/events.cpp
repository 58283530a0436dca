// Events and the ASPI library's entry points.
#include <cstring>

#include "internal.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

constexpr DWORD kSsErr = 0x04;
constexpr DWORD kSsInvalidSrb = 0xE0;
constexpr DWORD kSsNoAdapters = 0xE8;

Object* FindEvent(HANDLE h) {
  Object* o = FindObject(h);
  return o != nullptr && o->kind == Kind::Event ? o : nullptr;
}

void Signal(void* event) {
  Object* o = FindEvent(event);
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

BOOL __cdecl SimGetASPI32Buffer(LPVOID) {
  Enter(Api::GetASPI32Buffer);
  Misuse("GetASPI32Buffer called");
  return FALSE;
}

BOOL __cdecl SimFreeASPI32Buffer(LPVOID) {
  Enter(Api::FreeASPI32Buffer);
  Misuse("FreeASPI32Buffer called");
  return FALSE;
}

BOOL __cdecl SimTranslateASPI32Address(PDWORD, PDWORD) {
  Enter(Api::TranslateASPI32Address);
  Misuse("TranslateASPI32Address called");
  return FALSE;
}

template <typename F>
FARPROC AsFarProc(F* f) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f));
}

}  // namespace

namespace winsim::detail {

FARPROC AspiExport(const char* name) {
  static const char* const names[5] = {"GetASPI32SupportInfo", "SendASPI32Command",
                                       "GetASPI32Buffer", "FreeASPI32Buffer",
                                       "TranslateASPI32Address"};
  const FARPROC procs[5] = {AsFarProc(&SimGetASPI32SupportInfo), AsFarProc(&SimSendASPI32Command),
                            AsFarProc(&SimGetASPI32Buffer), AsFarProc(&SimFreeASPI32Buffer),
                            AsFarProc(&SimTranslateASPI32Address)};
  for (size_t i = 0; i < 5; ++i)
    if (std::strcmp(name, names[i]) == 0) return machine().aspiExports[i] ? procs[i] : nullptr;
  return nullptr;
}

}  // namespace winsim::detail

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState,
                           LPCSTR name) {
  if (Enter(Api::CreateEventA)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (name != nullptr) Misuse("CreateEventA with a name");
  const uintptr_t v = NewHandleValue();
  Object o{Kind::Event};
  o.manualReset = manualReset != FALSE;
  o.signalled = initialState != FALSE;
  state().objects.emplace(v, o);
  ++machine().count.openEvents;
  SetLastError(ERROR_SUCCESS);
  return reinterpret_cast<HANDLE>(v);
}

namespace {

BOOL SetSignalled(Api api, HANDLE h, bool signalled) {
  if (Enter(api)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  Object* o = FindEvent(h);
  if (o == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
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
  if (Enter(Api::WaitForSingleObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  Machine& m = machine();
  if (Object* o = FindObject(h); o != nullptr && o->kind == Kind::Mutex)
    return WaitForMutex(*o, milliseconds);
  if (FindEvent(h) == nullptr) {
    Misuse("WaitForSingleObject on something that is not an open event or mutex");
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (m.aspi.HasPending()) m.aspi.CompletePending(Signal);
  Object* o = FindEvent(h);
  if (o->signalled) {
    if (!o->manualReset) o->signalled = false;
    return WAIT_OBJECT_0;
  }
  if (milliseconds == INFINITE) {
    m.deadlock = true;
    Misuse("WaitForSingleObject(INFINITE) on an event that nothing will signal");
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return WAIT_TIMEOUT;
}
