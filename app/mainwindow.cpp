#include "app/mainwindow.h"

#include <commctrl.h>

#include <vector>

#include "app/controlids.h"
#include "ui/texts.h"

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;
constexpr int kDesignWidth = 413;  // client width the layout is drawn for
constexpr int kClientHeight = 92;
constexpr int kListItemHeight = 15;
constexpr int kListDropped = 8;  // entries shown when a list drops down

// The notice line: right-justified, ending in one blank. A9h is the
// copyright sign in Windows-1252.
constexpr char kNotice[] = "Copyright \xA9 2026 Orun ";

// A window's device context, released on every path.
class tdc {
 public:
  explicit tdc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~tdc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  tdc(const tdc&) = delete;
  tdc& operator=(const tdc&) = delete;
  HDC Handle() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

}  // namespace

void tcombolist::Clear() { SendMessageA(handle_, CB_RESETCONTENT, 0, 0); }

void tcombolist::Add(const std::string& text) {
  SendMessageA(handle_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int tcombolist::Count() const {
  return static_cast<int>(SendMessageA(handle_, CB_GETCOUNT, 0, 0));
}

std::string tcombolist::Item(int index) const {
  const LRESULT length = SendMessageA(handle_, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR) return std::string();
  std::vector<char> text(static_cast<size_t>(length) + 1);
  const LRESULT copied =
      SendMessageA(handle_, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  if (copied == CB_ERR) return std::string();
  return std::string(text.data(), static_cast<size_t>(copied));
}

int tcombolist::ItemIndex() const {
  return static_cast<int>(SendMessageA(handle_, CB_GETCURSEL, 0, 0));
}

void tcombolist::SetItemIndex(int index) { SendMessageA(handle_, CB_SETCURSEL, index, 0); }

tfont::~tfont() {
  if (font_) DeleteObject(font_);
}

void tfont::Create(int height, BYTE charset, BYTE pitchandfamily, const char* face) {
  font_ = CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitchandfamily, face);
}

bool tmainwindow::Create(HINSTANCE instance) {
  instance_ = instance;
  {
    tdc screen(nullptr);
    dpi_ = GetDeviceCaps(screen.Handle(), LOGPIXELSY);
    if (dpi_ <= 0) dpi_ = 96;
  }

  WNDCLASSEXA windowclass{};
  windowclass.cbSize = sizeof(windowclass);
  windowclass.lpfnWndProc = WindowProc;
  windowclass.hInstance = instance;
  windowclass.hIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_KELVARIN), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXICON),
                                                    GetSystemMetrics(SM_CYICON), 0));
  windowclass.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_KELVARIN), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), 0));
  windowclass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowclass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowclass.lpszClassName = KELVARIN_WINDOW_CLASS;
  if (!RegisterClassExA(&windowclass)) return false;

  RECT frame{0, 0, Scale(clientwidth_), Scale(kClientHeight)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  if (!CreateWindowExA(kWindowExStyle, KELVARIN_WINDOW_CLASS, kApplicationTitle, kWindowStyle,
                       CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                       frame.bottom - frame.top, nullptr, nullptr, instance, this))
    return false;

  // Before the window is first shown: a detection question and the
  // detection itself come first at a start without a stored list.
  form_.FormCreate();
  return true;
}

int tmainwindow::Run(int show) {
  RECT frame;
  GetWindowRect(window_, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(window_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(window_, show);
  UpdateWindow(window_);
  SetFocus(GetDlgItem(window_, IDC_CBDRIVE));

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    // Dialog-style keyboard: Tab order and access keys.
    if (window_ && IsDialogMessageA(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

bool tmainwindow::AskYesNo(const std::string& question) {
  return MessageBoxA(window_, question.c_str(), kApplicationTitle, MB_YESNO | MB_ICONQUESTION) ==
         IDYES;
}

void tmainwindow::ShowError(const std::string& text) {
  MessageBoxA(window_, text.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
}

void tmainwindow::SetClientWidth(int width) {
  clientwidth_ = width;
  RECT frame{0, 0, Scale(clientwidth_), Scale(kClientHeight)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Layout();
}

void tmainwindow::SetCaption(tcaption control, const std::string& text) {
  HWND handle = nullptr;
  switch (control) {
    case tcaption::Label1: handle = label1_; break;
    case tcaption::Label2: handle = label2_; break;
    case tcaption::btdetect: handle = btdetect_; break;
    case tcaption::btload: handle = btload_; break;
    case tcaption::bteject: handle = bteject_; break;
  }
  SetWindowTextA(handle, text.c_str());
  if (handle == label1_ || handle == label2_) SizeLabel(handle);
}

LRESULT CALLBACK tmainwindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<tmainwindow*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<tmainwindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!self) return DefWindowProcA(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT tmainwindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      CreateControls();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_NEXTDLGCTL: {
      // The dialog manager moves the focus (Tab, a label's access key) with
      // this message, which only a dialog's own window procedure handles.
      HWND target = LOWORD(lparam) ? reinterpret_cast<HWND>(wparam)
                                   : GetNextDlgTabItem(window_, GetFocus(), wparam != 0);
      if (target) SetFocus(target);
      return 0;
    }
    case WM_ACTIVATE:
      // Keep the focused control across a switch to another window, as a
      // dialog does.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window_, focus)) focus_ = focus;
      } else if (focus_ && IsWindow(focus_)) {
        SetFocus(focus_);
        return 0;
      }
      break;
    case WM_DESTROY:
      form_.FormDestroy();
      SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window_, message, wparam, lparam);
}

void tmainwindow::OnCommand(int id, int code) {
  if (code == CBN_SELCHANGE) {
    if (id == IDC_CBDRIVE) form_.cbdriveChange();
    if (id == IDC_CBVEL) form_.cbvelChange();
    return;
  }
  if (code != BN_CLICKED) return;
  switch (id) {
    case IDC_BTDETECT: form_.btdetectClick(); break;
    case IDC_BTLOAD: form_.btloadClick(); break;
    case IDC_BTEJECT: form_.btejectClick(); break;
  }
}

HWND tmainwindow::AddControl(const char* classname, const char* text, DWORD style, int id) {
  HWND control = CreateWindowExA(0, classname, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                                 window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 instance_, nullptr);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(windowfont_.Handle()), FALSE);
  return control;
}

// Creation order is tab order, and each label comes just before its list so
// that the label's access key moves the focus to that list.
void tmainwindow::CreateControls() {
  windowfont_.Create(-Scale(11), DEFAULT_CHARSET, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
  listfont_.Create(-Scale(11), ANSI_CHARSET, FIXED_PITCH | FF_MODERN, "Fixedsys");

  const DWORD liststyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
  label1_ = AddControl("STATIC", kEnglishTexts.label1, SS_LEFT, IDC_LABEL1);
  HWND drives = AddControl("COMBOBOX", nullptr, liststyle | WS_GROUP, IDC_CBDRIVE);
  label2_ = AddControl("STATIC", kEnglishTexts.label2, SS_LEFT, IDC_LABEL2);
  HWND speeds = AddControl("COMBOBOX", nullptr, liststyle, IDC_CBVEL);
  btdetect_ = AddControl("BUTTON", kEnglishTexts.btdetect, BS_PUSHBUTTON | WS_TABSTOP, IDC_BTDETECT);
  btload_ = AddControl("BUTTON", kEnglishTexts.btload, BS_PUSHBUTTON | WS_TABSTOP, IDC_BTLOAD);
  bteject_ = AddControl("BUTTON", kEnglishTexts.bteject, BS_PUSHBUTTON | WS_TABSTOP, IDC_BTEJECT);
  bevel1_ = AddControl("STATIC", nullptr, SS_ETCHEDHORZ, IDC_BEVEL1);
  label5_ = AddControl("STATIC", kNotice, SS_RIGHT | SS_NOPREFIX, IDC_LABEL5);

  cbdrive_.Attach(drives);
  cbvel_.Attach(speeds);
  for (HWND list : {drives, speeds}) {
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(listfont_.Handle()), FALSE);
    SendMessageA(list, CB_SETITEMHEIGHT, 0, Scale(kListItemHeight));
    SendMessageA(list, CB_SETMINVISIBLE, kListDropped, 0);
  }
  SizeLabel(label1_);
  SizeLabel(label2_);
  Layout();
  FitComboHeight(drives);
  FitComboHeight(speeds);

  HWND tooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                 instance_, nullptr);
  TOOLINFOA tool{};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;  // the size every common-controls version takes
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(btdetect_);
  tool.lpszText = const_cast<char*>(kDetectHint);
  SendMessageA(tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

// The closed list is 23 pixels high as designed: the selection field's
// height is what sets it.
void tmainwindow::FitComboHeight(HWND combo) {
  RECT closed;
  GetWindowRect(combo, &closed);
  const LRESULT field = SendMessageA(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  if (field == CB_ERR) return;
  const int adjusted = static_cast<int>(field) + Scale(23) - (closed.bottom - closed.top);
  if (adjusted > 0) SendMessageA(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), adjusted);
}

// Labels size themselves to their captions.
void tmainwindow::SizeLabel(HWND label) {
  char text[64] = {};
  GetWindowTextA(label, text, sizeof(text));
  RECT bounds{0, 0, 0, 0};
  {
    tdc dc(label);
    HGDIOBJ previous = SelectObject(dc.Handle(), windowfont_.Handle());
    DrawTextA(dc.Handle(), text, -1, &bounds, DT_CALCRECT | DT_SINGLELINE | DT_LEFT);
    SelectObject(dc.Handle(), previous);
  }
  SetWindowPos(label, nullptr, 0, 0, bounds.right, bounds.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Positions at 96 pixels per inch, scaled to the screen. The lists and the
// buttons are anchored to the right edge, the labels to the left; the line
// and the notice span the width.
void tmainwindow::Layout() {
  const int shift = clientwidth_ - kDesignWidth;
  auto place = [this](HWND control, int left, int top, int width, int height) {
    SetWindowPos(control, nullptr, Scale(left), Scale(top), Scale(width), height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  };
  auto move = [this](HWND control, int left, int top) {
    SetWindowPos(control, nullptr, Scale(left), Scale(top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  };
  // A drop-down list's window height includes its dropped part.
  const int dropped = Scale(23) + kListDropped * Scale(kListItemHeight) + 2;
  move(label1_, 8, 12);
  place(GetDlgItem(window_, IDC_CBDRIVE), 48 + shift, 8, 356, dropped);
  move(label2_, 8, 44);
  place(GetDlgItem(window_, IDC_CBVEL), 48 + shift, 40, 53, dropped);
  place(btdetect_, 111 + shift, 41, 117, Scale(21));
  place(btload_, 291 + shift, 41, 53, Scale(21));
  place(bteject_, 351 + shift, 41, 53, Scale(21));
  place(bevel1_, 0, 71, clientwidth_, 2);
  place(label5_, 0, 76, clientwidth_, Scale(16));
}
