// Shared by the simulated calls: the object tables behind handles and keys,
// call counting and fault injection.
#pragma once

#include <winsim.h>

#include <map>
#include <string>

namespace winsim::detail {

enum class Kind : uint8_t { Device, Token, Event, Mutex };

struct Object {
  Kind kind;
  size_t device = 0;       // Device: index into machine().devices
  DWORD access = 0;        // Token: desired access
  bool signalled = false;  // Event
  bool manualReset = true; // Event
  uint32_t mutex = 0;      // Mutex: key into State::mutexes
};

// One mutex object, shared by every handle opened to it by name. It lives
// while a handle to it is open.
struct MutexObject {
  std::string name;        // empty: unnamed
  uint32_t owner = 0;      // owning thread, 0 for none
  uint32_t count = 0;      // recursion count of the owner
  bool abandoned = false;  // its owner ended holding it; the next wait says so
  uint32_t handles = 0;
};

struct OpenKey {
  RegKey* key;
  REGSAM access;
};

struct State {
  DWORD lastError = 0;
  std::map<uintptr_t, Object> objects;
  std::map<uintptr_t, OpenKey> keys;
  std::map<uint32_t, MutexObject> mutexes;
  std::map<void*, size_t> sids;  // live SIDs from AllocateAndInitializeSid, with their size
  void FreeSids();
  ~State() { FreeSids(); }
};
State& state();

// Counts the call; true when it must fail now (failAlways or armed).
bool Enter(Api api);

// A fresh handle value, never reused in the process, so that a stale or
// doubly closed handle is always unknown.
uintptr_t NewHandleValue();

void Misuse(const std::string& what);
Object* FindObject(HANDLE h);
// The open object behind h when it is of that kind, else null.
Object* FindObject(HANDLE h, Kind kind);
// A new handle to o, counted as an open event or handle by its kind.
HANDLE NewHandle(const Object& o);

// A failed call's ending: the thread's last error set, the failure value answered.
template <typename Result>
Result Fail(DWORD error, Result result) {
  SetLastError(error);
  return result;
}

bool EqualNoCase(const std::string& a, const std::string& b);

// Fake module handles, fixed like the system's own.
HMODULE Kernel32Module();
HMODULE Advapi32Module();
HMODULE AspiModule();
HMODULE ExeModule();

// A wait on a mutex handle (WaitForSingleObject's part for mutexes), and a
// mutex handle closed (CloseHandle's).
DWORD WaitForMutex(Object& handle, DWORD milliseconds);
void CloseMutexHandle(const Object& handle);

// A function as GetProcAddress answers it.
template <typename F>
FARPROC AsFarProc(F* f) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f));
}

// The ASPI library's entry points as winsim provides them.
FARPROC AspiExport(const char* name);

}  // namespace winsim::detail
