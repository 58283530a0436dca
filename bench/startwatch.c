/* Times a program from its start to its first visible top-level window:
   starts it, polls its windows every millisecond, then closes it.
   Usage: startwatch PROGRAM RUNS
   Prints one line per run: the milliseconds to the first shown window.

   Under Wine every window query is a call to the wineserver, which the
   program being timed waits on too, so the watcher keeps its own share
   small and out of the timed span: it connects to the window system (and
   so makes sure the desktop process runs) before the clock starts, and it
   polls only the top-level windows of the program's first thread, where
   both programs measured create their window, rather than every window of
   the desktop. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

struct search {
  DWORD process;
  HWND found;
};

static BOOL CALLBACK Visit(HWND window, LPARAM data) {
  struct search* s = (struct search*)data;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == s->process && IsWindowVisible(window)) {
    s->found = window;
    return FALSE;
  }
  return TRUE;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: startwatch PROGRAM RUNS\n");
    return 2;
  }
  const int runs = atoi(argv[2]);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  struct search self = {GetCurrentProcessId(), NULL};
  EnumWindows(Visit, (LPARAM)&self);
  for (int run = 0; run < runs; ++run) {
    STARTUPINFOA start;
    ZeroMemory(&start, sizeof start);
    start.cb = sizeof start;
    /* As the shell starts a program: shown normally. */
    start.dwFlags = STARTF_USESHOWWINDOW;
    start.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process;
    LARGE_INTEGER begin, end;
    QueryPerformanceCounter(&begin);
    if (!CreateProcessA(argv[1], NULL, NULL, NULL, FALSE, 0, NULL, NULL, &start, &process)) {
      fprintf(stderr, "cannot start %s: %lu\n", argv[1], GetLastError());
      return 1;
    }
    struct search s = {process.dwProcessId, NULL};
    while (s.found == NULL) {
      if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) break;
      EnumThreadWindows(process.dwThreadId, Visit, (LPARAM)&s);
    }
    QueryPerformanceCounter(&end);
    if (s.found == NULL) {
      fprintf(stderr, "%s ended without showing a window\n", argv[1]);
      return 1;
    }
    printf("%.2f\n", (end.QuadPart - begin.QuadPart) * 1000.0 / frequency.QuadPart);
    fflush(stdout);
    PostMessageA(s.found, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
      TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  return 0;
}
