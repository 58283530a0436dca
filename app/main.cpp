#include <windows.h>
#include <commctrl.h>

#include <cstdlib>

#include "app/hardening.h"
#include "app/mainwindow.h"
#include "scsi/winhandles.h"

// The runtime's default terminate handler prints the demangled type of an
// uncaught exception to stderr, which a windowed program does not have; it
// would also bring the demangler and a full printf into the exe (over
// 100 KB). Every handler catches its errors, so this is only a last stop.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace {

// A window that reads no messages for 5 s would be replaced by a "Not
// Responding" ghost offering to end the program in the middle of a
// detection; without the ghost it keeps its wait pointer. Systems before XP
// lack the call.
void KeepWindowWhileBusy() {
  HMODULE user32 = GetModuleHandleA("user32.dll");
  if (user32 == nullptr) return;
  const auto disable = ProcAddress<decltype(&DisableProcessWindowsGhosting)>(
      user32, "DisableProcessWindowsGhosting");
  if (disable != nullptr) disable();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  HardenProcess();  // before anything is loaded by name
  KeepWindowWhileBusy();
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_BAR_CLASSES;  // the tooltip
  InitCommonControlsEx(&controls);

  tmainwindow window;
  if (!window.Create(instance)) return 1;
  return window.Run(show);
}
