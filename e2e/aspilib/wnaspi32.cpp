// A test ASPI library for the end-to-end runs: the five published entry
// points over simulated drives. Environment:
//   KELVARIN_E2E_DRIVES  the drives file (see drivesfile.h); required
//   KELVARIN_E2E_LOG     every call is appended here, one line each
//   KELVARIN_E2E_STATE   drive state kept across runs of the program
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "simdrive/drivesfile.h"

namespace {

CRITICAL_SECTION lock;
e2edrives::Setup* setup;  // made on the first call, under the lock
std::string logPath, statePath;

// Data of a pending request, held back until it completes: an adapter
// moves the data when the command ends, so a caller that reads its buffer
// before the event is set finds it as it left it.
struct Transfer {
  uint8_t* buffer;
  std::vector<uint8_t> data;
};
std::vector<Transfer> transfers;

// The drives' state file is shared by every program of the prefix: a drive
// takes one request at a time, whoever sends it, so each request reads,
// changes and writes the state under a mutex of the whole session too.
HANDLE SharedState() {
  static const HANDLE shared = CreateMutexA(nullptr, FALSE, "kelvarin-e2e drive state");
  return shared;
}

class Locked {
 public:
  Locked() {
    EnterCriticalSection(&lock);
    if (SharedState()) WaitForSingleObject(SharedState(), INFINITE);
  }
  ~Locked() {
    if (SharedState()) ReleaseMutex(SharedState());
    LeaveCriticalSection(&lock);
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

std::string Env(const char* name) {
  char value[4096];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

void Log(const std::string& line) { e2edrives::WriteWhole(logPath, line + "\n", "ab"); }

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*x", digits, unsigned(value));
  return text;
}

// A drives file that cannot be read leaves a library with no adapters, and
// says why in the log.
e2edrives::Setup& Setup() {
  if (!setup) {
    logPath = Env("KELVARIN_E2E_LOG");
    statePath = Env("KELVARIN_E2E_STATE");
    setup = new e2edrives::Setup;
    const std::string drivesPath = Env("KELVARIN_E2E_DRIVES");
    const std::string text = e2edrives::ReadWhole(drivesPath);
    std::string error;
    if (text.empty()) error = "cannot read drives file '" + drivesPath + "'";
    if (error.empty() && !e2edrives::ParseDrives(text, *setup, error)) error = "drives file " + error;
    if (!error.empty()) {
      Log("ERROR " + error);
      setup->library.adapterCount = 0;
    }
  }
  return *setup;
}

std::vector<HANDLE> TakeCompleted() {
  for (const Transfer& t : transfers) std::copy(t.data.begin(), t.data.end(), t.buffer);
  transfers.clear();
  std::vector<HANDLE> events;
  setup->library.CompletePending([&](void* event) { events.push_back(static_cast<HANDLE>(event)); });
  return events;
}

// The caller's data buffer of an execute request, empty when it has none.
std::pair<uint8_t*, size_t> BufferOf(const uint8_t* srb) {
  const aspiwire::ExecLayout l = aspiwire::ExecLayoutFor(sizeof(void*));
  uint32_t length;
  uint8_t* buffer;
  std::memcpy(&length, srb + l.bufLen, sizeof length);
  std::memcpy(&buffer, srb + l.bufPointer, sizeof buffer);
  return buffer ? std::make_pair(buffer, size_t(length)) : std::make_pair(buffer, size_t(0));
}

// Completes the pending request a moment after SendASPI32Command returned,
// as a library whose adapter interrupts later does. The thread holds a
// reference to this module so that unloading cannot pull its code away.
DWORD WINAPI Completer(LPVOID self) {
  Sleep(setup->completeDelayMs);
  std::vector<HANDLE> events;
  {
    Locked held;
    events = TakeCompleted();
  }
  for (HANDLE e : events) SetEvent(e);
  FreeLibraryAndExitThread(static_cast<HMODULE>(self), 0);
}

void CompleteLater() {
  HMODULE self = nullptr;
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&Completer), &self)) {
    if (HANDLE thread = CreateThread(nullptr, 0, Completer, self, 0, nullptr)) {
      CloseHandle(thread);
      return;
    }
    FreeLibrary(self);
  }
  Log("ERROR no completion thread; completing at once");
  for (HANDLE e : TakeCompleted()) SetEvent(e);
}

BOOL NeverCalled(const char* name) {
  Locked held;
  Setup();
  Log(std::string("CALL ") + name);
  return FALSE;
}

}  // namespace

extern "C" {

DWORD __cdecl GetASPI32SupportInfo(void) {
  Locked held;
  const DWORD info = Setup().library.SupportInfo();
  Log("INFO -> " + Hex(info, 4));
  return info;
}

DWORD __cdecl SendASPI32Command(LPVOID srb) {
  Locked held;
  auto& s = Setup();
  if (!srb) {
    Log("SRB null -> 00");
    return 0;
  }
  e2edrives::ApplyState(e2edrives::ReadWhole(statePath), s.library);
  const auto* bytes = static_cast<const uint8_t*>(srb);
  const auto buffer = bytes[0] == aspiwire::kExecScsiCmd ? BufferOf(bytes) : std::make_pair<uint8_t*, size_t>(nullptr, 0);
  const std::vector<uint8_t> before(buffer.first, buffer.first + buffer.second);
  const DWORD status = s.library.Send(srb);  // logs every request
  Log(s.library.log.back().Describe());
  s.library.log.clear();
  if (bytes[0] == aspiwire::kExecScsiCmd) {
    e2edrives::WriteWhole(statePath, e2edrives::FormatState(s.library), "wb");
    if (s.library.HasPending()) {
      if (s.completion == e2edrives::Completion::Pending && buffer.second > 0) {
        transfers.push_back({buffer.first, std::vector<uint8_t>(buffer.first, buffer.first + buffer.second)});
        std::copy(before.begin(), before.end(), buffer.first);
      }
      if (s.completion == e2edrives::Completion::Signalled) {
        for (HANDLE e : TakeCompleted()) SetEvent(e);
      } else {
        CompleteLater();
      }
    }
  }
  return status;
}

// Looked up by the program but never called: a call shows in the log.
BOOL __cdecl GetASPI32Buffer(LPVOID) { return NeverCalled(__func__); }
BOOL __cdecl FreeASPI32Buffer(LPVOID) { return NeverCalled(__func__); }
BOOL __cdecl TranslateASPI32Address(PDWORD, PDWORD) { return NeverCalled(__func__); }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&lock);
  return TRUE;
}
