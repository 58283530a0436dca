/* The yardstick for start-up under Wine: a plain Win32 program that shows
   one empty window and runs its message loop, nothing else. Built with
   COMMON_CONTROLS_6 it also carries the program's manifest and initialises
   the common controls, the part of start-up that the visual style costs. */
#include <windows.h>
#ifdef COMMON_CONTROLS_6
#include <commctrl.h>
#endif

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command, int show) {
  (void)previous;
  (void)command;
#ifdef COMMON_CONTROLS_6
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
#endif
  WNDCLASSA kind = {0};
  kind.lpfnWndProc = WindowProc;
  kind.hInstance = instance;
  kind.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
  kind.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  kind.lpszClassName = "EmptyWindow";
  RegisterClassA(&kind);
  HWND window = CreateWindowA("EmptyWindow", "Empty", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                              CW_USEDEFAULT, CW_USEDEFAULT, 419, 121, NULL, NULL, instance, NULL);
  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
