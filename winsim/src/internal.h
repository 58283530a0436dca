// Shared by the simulated calls: the object tables behind handles and keys,
// call counting and fault injection.
#pragma once

#include <winsim.h>

#include <map>
#include <string>

namespace winsim::detail {

enum class Kind : uint8_t { Device, Token, Event };

struct Object {
  Kind kind;
  size_t device = 0;       // Device: index into machine().devices
  DWORD access = 0;        // Token: desired access
  bool signalled = false;  // Event
  bool manualReset = true; // Event
};

struct OpenKey {
  RegKey* key;
  REGSAM access;
};

struct State {
  DWORD lastError = 0;
  std::map<uintptr_t, Object> objects;
  std::map<uintptr_t, OpenKey> keys;
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

bool EqualNoCase(const std::string& a, const std::string& b);

// Fake module handles, fixed like the system's own.
HMODULE Kernel32Module();
HMODULE Advapi32Module();
HMODULE AspiModule();
HMODULE ExeModule();

// The ASPI library's entry points as winsim provides them.
FARPROC AspiExport(const char* name);

}  // namespace winsim::detail
