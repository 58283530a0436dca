// Operates the running Kelvarin window from another process in the same
// Wine prefix, as a person at the screen would, and reports what the window
// shows. One subcommand per run; results on stdout, one fact a line, in
// UTF-8. Exit status 0 on success, 1 on failure (reason on stderr), 2 on
// bad usage.
#include <windows.h>
#include <commctrl.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/controlids.h"
#include "e2e/driver/probes.h"

namespace e2edriver {

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "driver: %s\n", why.c_str());
  std::exit(1);
}

}  // namespace e2edriver

namespace {

using e2edriver::Fail;
using e2edriver::PrintChecksum;
using e2edriver::PrintFaults;
using e2edriver::ProbeDevice;

const char kTitle[] = "Kelvarin";

struct Control {
  const char* name;
  int id;
};
const Control kControls[] = {
    {"Label1", IDC_LABEL1},     {"cbdrive", IDC_CBDRIVE}, {"Label2", IDC_LABEL2},
    {"cbvel", IDC_CBVEL},       {"btdetect", IDC_BTDETECT}, {"btload", IDC_BTLOAD},
    {"bteject", IDC_BTEJECT},   {"Bevel1", IDC_BEVEL1},   {"Label5", IDC_LABEL5},
};

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: driver wait-window|wait-question|wait-error [ms]\n"
               "       driver answer yes|no|ok | boxes | settle | close\n"
               "       driver lists | focus | uilang\n"
               "       driver device PATH CDB-HEX in|none LENGTH\n"
               "       driver key <control> down|up|home|end | click <control>\n"
               "       driver center <control> | item-point <control> <k> | dropped <control>\n"
               "       driver select-mouse <control> <k>\n"
               "       driver post-click <control> | cursor | cursor-shapes\n"
               "       driver checksum <path>\n"
               "       driver window | press tab|shift+tab|alt+<letter>... | faults\n");
  std::exit(2);
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return "";
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

// Window text through WM_GETTEXT, which Wine carries across processes.
std::wstring WideTextOf(HWND window) {
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(size_t(length) + 1, L'\0');
  const LRESULT got = SendMessageW(window, WM_GETTEXT, WPARAM(text.size()), LPARAM(&text[0]));
  text.resize(size_t(got));
  return text;
}

std::string TextOf(HWND window) { return Utf8(WideTextOf(window)); }

HWND MainWindow() { return FindWindowA(KELVARIN_WINDOW_CLASS, kTitle); }

HWND RequireMain() {
  HWND main = MainWindow();
  if (!main) Fail("the main window is not there");
  return main;
}

const Control& ControlNamed(const std::string& name) {
  for (const Control& c : kControls)
    if (name == c.name) return c;
  Fail("no control named '" + name + "'");
}

HWND RequireControl(const std::string& name) {
  HWND control = GetDlgItem(RequireMain(), ControlNamed(name).id);
  if (!control) Fail("the main window has no " + name);
  return control;
}

// A message box of the program: a dialog captioned like the application,
// owned by (or at least belonging to the process of) the main window.
HWND Box() {
  HWND box = nullptr;
  while ((box = FindWindowExA(nullptr, box, "#32770", kTitle)) != nullptr)
    if (IsWindowVisible(box)) return box;
  return nullptr;
}

bool IsQuestion(HWND box) { return GetDlgItem(box, IDYES) != nullptr; }

// The text of a message box: its static control with id 0xFFFF.
std::string BoxText(HWND box) {
  HWND text = GetDlgItem(box, 0xFFFF);
  return text ? TextOf(text) : std::string("(no text control)");
}

// Every wait stretched by KELVARIN_E2E_TIME_FACTOR: under an emulator the
// window takes that much longer to do the same thing.
DWORD Scaled(DWORD ms) {
  static const double factor = [] {
    const char* text = std::getenv("KELVARIN_E2E_TIME_FACTOR");
    const double f = text ? std::strtod(text, nullptr) : 1.0;
    return f >= 1.0 ? f : 1.0;
  }();
  return DWORD(ms * factor);
}

// What makes one message box differ from another: its styles, its buttons,
// the icon it shows (matched against the system's by its pixels), and
// whether the box disables its owner.
const char* IconOf(HWND box) {
  HWND icon = GetDlgItem(box, 0x0440);
  if (!icon) return "none";
  RECT r;
  GetClientRect(icon, &r);
  const int w = r.right, h = r.bottom;
  POINT at{0, 0};
  ClientToScreen(icon, &at);
  HDC screen = GetDC(nullptr);
  HDC seen = CreateCompatibleDC(screen), drawn = CreateCompatibleDC(screen);
  HBITMAP seenbits = CreateCompatibleBitmap(screen, w, h), drawnbits = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ oldseen = SelectObject(seen, seenbits), olddrawn = SelectObject(drawn, drawnbits);
  const struct {
    const char* name;
    LPCSTR id;
  } icons[] = {{"error", IDI_HAND}, {"question", IDI_QUESTION}, {"warning", IDI_EXCLAMATION},
               {"information", IDI_ASTERISK}};
  const char* found = "other";
  // The box may not be painted yet when it is first found.
  for (int attempt = 0; attempt < 20 && std::strcmp(found, "other") == 0; ++attempt) {
    if (attempt > 0) Sleep(50);
    BitBlt(seen, 0, 0, w, h, screen, at.x, at.y, SRCCOPY);
    for (const auto& candidate : icons) {
      HBRUSH background = CreateSolidBrush(GetPixel(seen, 0, 0));
      RECT all{0, 0, w, h};
      FillRect(drawn, &all, background);
      DeleteObject(background);
      DrawIconEx(drawn, 0, 0, LoadIconA(nullptr, candidate.id), w, h, 0, nullptr, DI_NORMAL);
      bool same = true;
      for (int y = 0; y < h && same; ++y)
        for (int x = 0; x < w && same; ++x) same = GetPixel(seen, x, y) == GetPixel(drawn, x, y);
      if (same) {
        found = candidate.name;
        break;
      }
    }
  }
  SelectObject(seen, oldseen);
  SelectObject(drawn, olddrawn);
  DeleteObject(seenbits);
  DeleteObject(drawnbits);
  DeleteDC(seen);
  DeleteDC(drawn);
  ReleaseDC(nullptr, screen);
  return found;
}

void PrintBox(HWND box, HWND main) {
  std::printf("style=%08lx\n", static_cast<unsigned long>(GetWindowLongW(box, GWL_STYLE)));
  std::printf("exstyle=%08lx\n", static_cast<unsigned long>(GetWindowLongW(box, GWL_EXSTYLE)));
  std::string buttons;
  const std::pair<int, const char*> ids[] = {{IDOK, "ok"},         {IDCANCEL, "cancel"}, {IDABORT, "abort"},
                                             {IDRETRY, "retry"},   {IDIGNORE, "ignore"}, {IDYES, "yes"},
                                             {IDNO, "no"}};
  for (const auto& id : ids)
    if (GetDlgItem(box, id.first)) buttons += (buttons.empty() ? "" : ",") + std::string(id.second);
  std::printf("buttons=%s\n", buttons.c_str());
  std::printf("icon=%s\n", IconOf(box));
  std::printf("owner_enabled=%d\n", main && IsWindowEnabled(main) ? 1 : 0);
}

template <typename Ready>
bool WaitFor(DWORD ms, Ready ready) {
  ms = Scaled(ms);
  const DWORD start = GetTickCount();
  for (;;) {
    if (ready()) return true;
    if (GetTickCount() - start >= ms) return false;
    Sleep(20);
  }
}

// A ceiling, not a pause: the wait ends when the window or box shows. The
// first Wine process of a fresh prefix on a loaded machine has taken more
// than 10 s to show its window.
DWORD Timeout(int argc, char** argv, int at) {
  return argc > at ? DWORD(std::strtoul(argv[at], nullptr, 10)) : 20000;
}

// Returns once the window's thread has handled everything sent before:
// a handler still running (a detection, a command waiting for the drive)
// holds this call until it returns to the message loop.
void Settle() {
  HWND main = MainWindow();
  if (!main) return;
  for (int round = 0; round < 3; ++round) {
    DWORD_PTR result;
    if (!SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, Scaled(60000), &result))
      Fail("the window did not respond within " + std::to_string(Scaled(60000) / 1000) + " s");
    Sleep(40);
  }
}

std::vector<std::string> Entries(HWND combo) {
  std::vector<std::string> entries;
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, WPARAM(i), 0);
    if (length == CB_ERR) Fail("cannot read entry " + std::to_string(i));
    std::wstring text(size_t(length) + 1, L'\0');
    const LRESULT got = SendMessageW(combo, CB_GETLBTEXT, WPARAM(i), LPARAM(&text[0]));
    text.resize(got == CB_ERR ? 0 : size_t(got));
    entries.push_back(Utf8(text));
  }
  return entries;
}

void PrintList(const char* name) {
  HWND combo = RequireControl(name);
  const auto entries = Entries(combo);
  const LRESULT selected = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  std::printf("%s count=%u selected=%d\n", name, unsigned(entries.size()), int(selected));
  for (size_t i = 0; i < entries.size(); ++i) std::printf("%s[%u]=%s\n", name, unsigned(i), entries[i].c_str());
}

// A control's rectangle in the main window's client area; the main window's
// own on the screen.
RECT ClientRectOf(HWND window, HWND main) {
  RECT r;
  GetWindowRect(window, &r);
  if (window != main) MapWindowPoints(HWND_DESKTOP, main, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string ClassOf(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

void PrintWindowFacts(const char* name, HWND window, HWND main) {
  const RECT r = ClientRectOf(window, main);
  std::printf("%s %s %08lx %08lx %ld %ld %ld %ld \"%s\"\n", name, ClassOf(window).c_str(),
              static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongW(window, GWL_EXSTYLE)), r.left, r.top,
              r.right - r.left, r.bottom - r.top, TextOf(window).c_str());
}

std::string NameOf(HWND window, HWND main);

// The tools of a tooltip of the program. Its messages carry pointers, which
// Wine does not carry across processes, so the structures live in the
// program's memory.
void PrintTools(HWND tooltip, HWND main) {
  DWORD pid = 0;
  GetWindowThreadProcessId(tooltip, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) Fail("cannot open the program's process");
  const size_t chars = 1024;
  auto* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, sizeof(TOOLINFOW) + chars * sizeof(WCHAR),
                                                   MEM_COMMIT, PAGE_READWRITE));
  if (!remote) Fail("cannot reach the program's memory");
  auto* remotetext = reinterpret_cast<WCHAR*>(remote + sizeof(TOOLINFOW));
  const LRESULT count = SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.lpszText = remotetext;
    WriteProcessMemory(process, remote, &tool, sizeof tool, nullptr);
    SendMessageW(tooltip, TTM_ENUMTOOLSW, WPARAM(i), LPARAM(remote));
    ReadProcessMemory(process, remote, &tool, sizeof tool, nullptr);
    tool.lpszText = remotetext;
    WriteProcessMemory(process, remote, &tool, sizeof tool, nullptr);
    SendMessageW(tooltip, TTM_GETTEXTW, chars, LPARAM(remote));
    std::wstring text(chars, L'\0');
    ReadProcessMemory(process, remotetext, &text[0], chars * sizeof(WCHAR), nullptr);
    text.resize(wcsnlen(text.c_str(), chars));
    const HWND id = reinterpret_cast<HWND>(tool.uId);
    std::printf("tool %08x %s %s \"%s\"\n", unsigned(tool.uFlags), NameOf(tool.hwnd, main).c_str(),
                (tool.uFlags & TTF_IDISHWND) ? NameOf(id, main).c_str() : "id", Utf8(text).c_str());
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
}

// The main window, its children in creation (and tab) order, and the
// tooltips it owns.
// What a label's caption needs, drawn as a static control draws it: the
// controls' font at the screen's resolution, the access key's ampersand not
// counted unless the label shows it.
void PrintCaptionExtent(const char* name, HWND label) {
  const std::wstring caption = WideTextOf(label);
  if (caption.empty()) return;
  HDC screen = GetDC(nullptr);
  const int height = MulDiv(KELVARIN_CONTROL_FONT_HEIGHT, GetDeviceCaps(screen, LOGPIXELSY), 96);
  HFONT font = CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, KELVARIN_CONTROL_FONT);
  HGDIOBJ previous = SelectObject(screen, font);
  RECT extent{0, 0, 0, 0};
  const UINT prefix = (GetWindowLongW(label, GWL_STYLE) & SS_NOPREFIX) ? DT_NOPREFIX : 0;
  DrawTextW(screen, caption.c_str(), -1, &extent, DT_CALCRECT | DT_SINGLELINE | DT_LEFT | prefix);
  SelectObject(screen, previous);
  DeleteObject(font);
  ReleaseDC(nullptr, screen);
  std::printf("extent %s %ld %ld\n", name, extent.right, extent.bottom);
}

// Where the window stands on the screen and the colour a person sees behind
// its controls (a pixel of the client area's top left corner, where there is
// no control), beside the system's button face.
void PrintPlaceAndColour(HWND main) {
  std::printf("screen %d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  POINT corner{2, 2};
  ClientToScreen(main, &corner);
  HDC screen = GetDC(nullptr);
  const COLORREF seen = GetPixel(screen, corner.x, corner.y);
  ReleaseDC(nullptr, screen);
  std::printf("colours background %06lx btnface %06lx window %06lx\n",
              static_cast<unsigned long>(seen), static_cast<unsigned long>(GetSysColor(COLOR_BTNFACE)),
              static_cast<unsigned long>(GetSysColor(COLOR_WINDOW)));
}

void PrintWholeWindow() {
  HWND main = RequireMain();
  PrintWindowFacts("main", main, main);
  PrintPlaceAndColour(main);
  RECT client;
  GetClientRect(main, &client);
  std::printf("client %ld %ld\n", client.right, client.bottom);
  for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::string name = NameOf(child, main);
    PrintWindowFacts(name.c_str(), child, main);
    if (lstrcmpiA(ClassOf(child).c_str(), "Static") == 0) PrintCaptionExtent(name.c_str(), child);
  }
  HWND tooltip = nullptr;
  while ((tooltip = FindWindowExW(nullptr, tooltip, TOOLTIPS_CLASSW, nullptr)) != nullptr) {
    if (GetWindow(tooltip, GW_OWNER) != main) continue;
    PrintWindowFacts("tooltip", tooltip, main);
    PrintTools(tooltip, main);
  }
}

// The control that has the keyboard focus in the window's thread.
HWND FocusOf(HWND main) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

std::string NameOf(HWND window, HWND main) {
  if (!window) return "none";
  if (window == main) return "main";
  for (const Control& c : kControls)
    if (GetDlgItem(main, c.id) == window) return c.name;
  // The focus may sit in a child of a control (none of ours have one).
  return "other:" + ClassOf(window);
}

void PressKeys(const std::vector<WORD>& down);

// Keys pressed one after the other through the system's input queue
// ("tab", "shift+tab", "alt+x"), each waited for; the focus after each.
void PressAndPrintFocus(int count, char** keys) {
  HWND main = RequireMain();
  for (int i = 0; i < count; ++i) {
    const std::string key = keys[i];
    if (key == "tab" || key == "shift+tab")
      PressKeys(key == "tab" ? std::vector<WORD>{VK_TAB} : std::vector<WORD>{VK_SHIFT, VK_TAB});
    else if (key.size() == 5 && key.compare(0, 4, "alt+") == 0)
      PressKeys({VK_MENU, WORD(toupper(static_cast<unsigned char>(key[4])))});
    else
      Fail("unknown key '" + key + "'");
    Sleep(100);
    Settle();
    std::printf("%s\n", NameOf(FocusOf(main), main).c_str());
  }
}

// The drop-down part of a combo box: a top-level "ComboLBox" of the same
// thread, visible while the list is dropped.
HWND DroppedList(HWND combo) {
  const DWORD thread = GetWindowThreadProcessId(combo, nullptr);
  HWND list = nullptr;
  while ((list = FindWindowExA(nullptr, list, "ComboLBox", nullptr)) != nullptr)
    if (IsWindowVisible(list) && GetWindowThreadProcessId(list, nullptr) == thread) return list;
  return nullptr;
}

// Screen point at the middle of entry k of a dropped list.
POINT ItemPoint(HWND combo, int k) {
  HWND list = DroppedList(combo);
  if (!list) Fail("the list is not dropped down");
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  if (k < 0 || k >= count) Fail("no entry " + std::to_string(k) + " in a list of " + std::to_string(count));
  const LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
  const LRESULT height = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
  RECT client;
  GetClientRect(list, &client);
  if (k < top || (k - top + 1) * height > client.bottom)
    Fail("entry " + std::to_string(k) + " is scrolled out of view");
  POINT p{client.right / 2, LONG((k - top) * height + height / 2)};
  ClientToScreen(list, &p);
  return p;
}

// One key, pressed and released, as the keyboard driver delivers it to the
// window with the focus. The keys go into the system's input queue, so
// they reach whichever window of the program is active.
void PressKeys(const std::vector<WORD>& down) {
  // Each key down in order, then up in reverse order.
  std::vector<INPUT> inputs(2 * down.size());
  for (size_t i = 0; i < inputs.size(); ++i) {
    const WORD vk = i < down.size() ? down[i] : down[inputs.size() - 1 - i];
    inputs[i].type = INPUT_KEYBOARD;
    inputs[i].ki.wVk = vk;
    inputs[i].ki.wScan = WORD(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    inputs[i].ki.dwFlags = i < down.size() ? 0 : KEYEVENTF_KEYUP;
  }
  if (SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size()) Fail("SendInput refused");
}

void ClickAt(POINT p) {
  // Absolute coordinates are in 0..65535 over the primary screen.
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  INPUT in[3]{};
  for (auto& i : in) {
    i.type = INPUT_MOUSE;
    i.mi.dx = LONG((p.x * 65535 + w / 2) / (w - 1));
    i.mi.dy = LONG((p.y * 65535 + h / 2) / (h - 1));
    i.mi.dwFlags = MOUSEEVENTF_ABSOLUTE;
  }
  in[0].mi.dwFlags |= MOUSEEVENTF_MOVE;
  in[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
  in[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
  if (SendInput(3, in, sizeof(INPUT)) != 3) Fail("SendInput refused");
}

POINT CenterOf(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

WORD VirtualKey(const std::string& name) {
  if (name == "down") return VK_DOWN;
  if (name == "up") return VK_UP;
  if (name == "home") return VK_HOME;
  if (name == "end") return VK_END;
  if (name == "space") return VK_SPACE;
  if (name == "return") return VK_RETURN;
  if (name == "escape") return VK_ESCAPE;
  if (name == "tab") return VK_TAB;
  Fail("unknown key '" + name + "'");
}

int Run(int argc, char** argv) {
  if (argc < 2) Usage();
  const std::string command = argv[1];
  const std::string arg = argc > 2 ? argv[2] : "";

  if (command == "wait-window") {
    if (!WaitFor(Timeout(argc, argv, 2), [] { HWND m = MainWindow(); return m && IsWindowVisible(m); }))
      Fail(Box() ? "a message box is up instead of the main window: " + BoxText(Box())
                 : std::string("the main window did not appear"));
    std::printf("shown\n");
  } else if (command == "wait-question" || command == "wait-error") {
    const bool question = command == "wait-question";
    HWND box = nullptr;
    if (!WaitFor(Timeout(argc, argv, 2), [&] { box = Box(); return box != nullptr; }))
      Fail(question ? "no question box appeared" : "no error box appeared");
    if (IsQuestion(box) != question)
      Fail(std::string("a box appeared, but it is ") + (question ? "not a question: " : "a question: ") +
           BoxText(box));
    HWND main = MainWindow();
    std::printf("text=%s\n", BoxText(box).c_str());
    std::printf("main=%s\n", main && IsWindowVisible(main) ? "visible" : main ? "hidden" : "absent");
    std::printf("owner=%s\n", GetWindow(box, GW_OWNER) == main && main ? "main" : "other");
    PrintBox(box, main);
  } else if (command == "boxes") {
    HWND box = Box();
    std::printf("%s\n", !box ? "none" : IsQuestion(box) ? "question" : "error");
  } else if (command == "answer") {
    // Yes or No to the question, OK to the error box.
    const int id = arg == "yes" ? IDYES : arg == "no" ? IDNO : arg == "ok" ? IDOK : 0;
    if (!id) Usage();
    const std::string kind = id == IDOK ? "error" : "question";
    HWND box = Box();
    if (!box || IsQuestion(box) != (id != IDOK)) Fail("no " + kind + " box to answer");
    HWND button = GetDlgItem(box, id);
    if (!button) Fail("the " + kind + " box has no " + arg + " button");
    std::printf("button=%s\n", TextOf(button).c_str());
    SendMessageW(button, BM_CLICK, 0, 0);
    if (!WaitFor(5000, [&] { return !IsWindow(box); })) Fail("the " + kind + " box stayed open");
  } else if (command == "uilang") {
    // What Wine makes of the locale this prefix runs under.
    std::printf("%04x\n", unsigned(GetUserDefaultUILanguage()));
  } else if (command == "faults") {
    PrintFaults();
  } else if (command == "settle") {
    Settle();
  } else if (command == "close") {
    // The close button of the caption: the system command a click on it sends.
    PostMessageW(RequireMain(), WM_SYSCOMMAND, SC_CLOSE, 0);
  } else if (command == "lists") {
    PrintList("cbdrive");
    PrintList("cbvel");
  } else if (command == "window") {
    PrintWholeWindow();
  } else if (command == "press" && argc > 2) {
    PressAndPrintFocus(argc - 2, argv + 2);
  } else if (command == "focus") {
    HWND main = RequireMain();
    std::printf("%s\n", NameOf(FocusOf(main), main).c_str());
  } else if (command == "key" && argc == 4) {
    // What the keyboard does to a focused drop-down list: a key-down and a
    // key-up posted to it.
    HWND control = RequireControl(arg);
    const WORD vk = VirtualKey(argv[3]);
    const LPARAM scan = LPARAM(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(control, WM_KEYDOWN, vk, 1 | scan);
    PostMessageW(control, WM_KEYUP, vk, 1 | scan | (LPARAM(3) << 30));
    Settle();
  } else if (command == "click" && argc == 3) {
    // A button pressed and released with the mouse: BM_CLICK sends the
    // button the same down and up it gets from a click.
    SendMessageW(RequireControl(arg), BM_CLICK, 0, 0);
  } else if (command == "post-click" && argc == 3) {
    // A press whose handler runs after the driver has gone on: for watching
    // the window while the handler works.
    PostMessageW(RequireControl(arg), BM_CLICK, 0, 0);
  } else if (command == "cursor") {
    // The pointer as the system reports it to any process: the cursor of
    // the thread whose window has the input.
    CURSORINFO info{};
    info.cbSize = sizeof info;
    if (!GetCursorInfo(&info)) Fail("GetCursorInfo failed");
    std::printf("handle=%p\nshowing=%d\nat=%ld %ld\n", static_cast<void*>(info.hCursor),
                (info.flags & CURSOR_SHOWING) ? 1 : 0, info.ptScreenPos.x, info.ptScreenPos.y);
  } else if (command == "cursor-shapes") {
    // The system's arrow and wait cursors as this process loads them: their
    // sizes and hot spots, to tell them apart on the display.
    for (const auto& shape : {std::make_pair("arrow", IDC_ARROW), std::make_pair("wait", IDC_WAIT)}) {
      ICONINFO icon{};
      if (!GetIconInfo(LoadCursor(nullptr, shape.second), &icon)) Fail("GetIconInfo failed");
      BITMAP mask{};
      GetObjectW(icon.hbmMask, sizeof mask, &mask);
      // A cursor without colour bitmap has its AND and XOR masks stacked.
      const long height = icon.hbmColor ? mask.bmHeight : mask.bmHeight / 2;
      std::printf("%s=%ld %ld %lu %lu\n", shape.first, mask.bmWidth, height, icon.xHotspot,
                  icon.yHotspot);
      if (icon.hbmColor) DeleteObject(icon.hbmColor);
      DeleteObject(icon.hbmMask);
    }
  } else if (command == "checksum" && argc == 3) {
    PrintChecksum(arg.c_str());
  } else if (command == "center" && argc == 3) {
    const POINT p = CenterOf(RequireControl(arg));
    std::printf("%ld %ld\n", p.x, p.y);
  } else if (command == "dropped" && argc == 3) {
    std::printf("%d\n", SendMessageW(RequireControl(arg), CB_GETDROPPEDSTATE, 0, 0) ? 1 : 0);
  } else if (command == "item-point" && argc == 4) {
    const POINT p = ItemPoint(RequireControl(arg), std::atoi(argv[3]));
    std::printf("%ld %ld\n", p.x, p.y);
  } else if (command == "select-mouse" && argc == 4) {
    // Click the list open, then click the entry, through the system's input
    // queue: the path a mouse takes.
    HWND combo = RequireControl(arg);
    ClickAt(CenterOf(combo));
    if (!WaitFor(3000, [&] { return DroppedList(combo) != nullptr; })) Fail("the list did not drop down");
    Sleep(100);
    ClickAt(ItemPoint(combo, std::atoi(argv[3])));
    if (!WaitFor(3000, [&] { return DroppedList(combo) == nullptr; })) Fail("the list stayed dropped down");
    Settle();
  } else if (command == "device" && argc == 6) {
    ProbeDevice(argv[2], argv[3], std::string(argv[4]) == "in", std::strtoul(argv[5], nullptr, 0));
  } else {
    Usage();
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return Run(argc, argv); }
