#include <windows.h>
#include <commctrl.h>

#include <cstdlib>

#include "app/mainwindow.h"

// The runtime's default terminate handler prints the demangled type of an
// uncaught exception to stderr, which a windowed program does not have; it
// would also bring the demangler and a full printf into the exe (over
// 100 KB). Every handler catches its errors, so this is only a last stop.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_BAR_CLASSES;  // the tooltip
  InitCommonControlsEx(&controls);

  tmainwindow window;
  if (!window.Create(instance)) return 1;
  return window.Run(show);
}
