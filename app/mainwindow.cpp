#include "app/mainwindow.h"

#include <commctrl.h>

#include <vector>

#include "app/controlids.h"
#include "ui/texts.h"

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;
constexpr int kDesignWidth = kEnglishTexts.clientwidth;  // the layout is drawn for English
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

  const RECT frame = Frame();
  if (!CreateWindowExA(kWindowExStyle, KELVARIN_WINDOW_CLASS, kApplicationTitle, kWindowStyle,
                       frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                       nullptr, nullptr, instance, this))
    return false;

  // Before the window is first shown: a detection question and the
  // detection itself come first at a start without a stored list.
  form_.FormCreate();
  return true;
}

int tmainwindow::Run(int show) {
  ShowWindow(window_, show);
  UpdateWindow(window_);
  SetFocus(GetDlgItem(window_, IDC_CBDRIVE));
  // The hint shows only when the pointer rests on the button, so its
  // control can wait until the first frame is up.
  CreateTooltip();

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

// The handler keeps the thread until it returns, so the shape set here is
// what the pointer shows; WM_SETCURSOR keeps the class's arrow from coming
// back should anything dispatch messages meanwhile.
void tmainwindow::SetBusy(bool busy) {
  busy_ = busy;
  SetCursor(LoadCursor(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void tmainwindow::SetClientWidth(int width) {
  clientwidth_ = width;
  const RECT frame = Frame();
  SetWindowPos(window_, nullptr, frame.left, frame.top, frame.right - frame.left,
               frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
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
  if (handle == label1_ || handle == label2_) SizeLabel(handle, text.c_str());
}

// The window's frame around the client area at the current width, centred
// on the desktop.
RECT tmainwindow::Frame() const {
  RECT frame{0, 0, Scale(clientwidth_), Scale(kClientHeight)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  return RECT{left, top, left + width, top + height};
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
    case WM_SETCURSOR:
      // Children pass it to their parent first, so this covers the controls.
      if (busy_) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
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

HWND tmainwindow::AddControl(const char* classname, const char* text, DWORD style, int id,
                             const tfont& font, const tbounds& at) {
  HWND control = CreateWindowExA(0, classname, text, WS_CHILD | WS_VISIBLE | style, at.left,
                                 at.top, at.width, at.height, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                                 nullptr);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.Handle()), FALSE);
  return control;
}

// The controls are created in their places with their fonts: under Wine
// each later move or font change costs a round of server calls. The two
// lists and the line are the exception, created empty and placed once (see
// below). Creation order is tab order, and each label comes just before its
// list so that the label's access key moves the focus to that list.
void tmainwindow::CreateControls() {
  windowfont_.Create(-Scale(KELVARIN_CONTROL_FONT_HEIGHT), DEFAULT_CHARSET,
                     DEFAULT_PITCH | FF_DONTCARE, KELVARIN_CONTROL_FONT);
  listfont_.Create(-Scale(11), ANSI_CHARSET, FIXED_PITCH | FF_MODERN, "Fixedsys");
  SIZE label1, label2;
  {
    tdc screen(nullptr);
    label1 = CaptionSize(screen.Handle(), kEnglishTexts.label1);
    label2 = CaptionSize(screen.Handle(), kEnglishTexts.label2);
  }

  const DWORD liststyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
  const tbounds empty{0, 0, 0, 0};
  label1_ = AddControl("STATIC", kEnglishTexts.label1, SS_LEFT, IDC_LABEL1, windowfont_,
                       {Scale(8), Scale(12), label1.cx, label1.cy});
  HWND drives =
      AddControl("COMBOBOX", nullptr, liststyle | WS_GROUP, IDC_CBDRIVE, listfont_, empty);
  label2_ = AddControl("STATIC", kEnglishTexts.label2, SS_LEFT, IDC_LABEL2, windowfont_,
                       {Scale(8), Scale(44), label2.cx, label2.cy});
  HWND speeds = AddControl("COMBOBOX", nullptr, liststyle, IDC_CBVEL, listfont_, empty);
  btdetect_ = AddControl("BUTTON", kEnglishTexts.btdetect, BS_PUSHBUTTON | WS_TABSTOP, IDC_BTDETECT,
                         windowfont_, Bounds(IDC_BTDETECT));
  btload_ = AddControl("BUTTON", kEnglishTexts.btload, BS_PUSHBUTTON | WS_TABSTOP, IDC_BTLOAD,
                       windowfont_, Bounds(IDC_BTLOAD));
  bteject_ = AddControl("BUTTON", kEnglishTexts.bteject, BS_PUSHBUTTON | WS_TABSTOP, IDC_BTEJECT,
                        windowfont_, Bounds(IDC_BTEJECT));
  bevel1_ = AddControl("STATIC", nullptr, SS_ETCHEDHORZ, IDC_BEVEL1, windowfont_, empty);
  label5_ = AddControl("STATIC", kNotice, SS_RIGHT | SS_NOPREFIX, IDC_LABEL5, windowfont_,
                       Bounds(IDC_LABEL5));

  cbdrive_.Attach(drives);
  cbvel_.Attach(speeds);
  for (HWND list : {drives, speeds}) {
    SendMessageA(list, CB_SETITEMHEIGHT, 0, Scale(kListItemHeight));
    SendMessageA(list, CB_SETMINVISIBLE, kListDropped, 0);
    // A list's dropped part is what its sizing leaves below the closed
    // height, which the font sets; a list created at its size also costs
    // more under Wine than an empty one placed once.
    Place(GetDlgCtrlID(list));
    FitComboHeight(list);
  }
  // The etched line, created at its width, grows by its edge under Wine;
  // placed afterwards it keeps the width given.
  Place(IDC_BEVEL1);
}

void tmainwindow::CreateTooltip() {
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
  // Setting the height it already has still grows the field under Wine.
  if (adjusted > 0 && adjusted != field)
    SendMessageA(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), adjusted);
}

// Labels size themselves to their captions.
SIZE tmainwindow::CaptionSize(HDC dc, const char* text) const {
  RECT bounds{0, 0, 0, 0};
  HGDIOBJ previous = SelectObject(dc, windowfont_.Handle());
  DrawTextA(dc, text, -1, &bounds, DT_CALCRECT | DT_SINGLELINE | DT_LEFT);
  SelectObject(dc, previous);
  return SIZE{bounds.right, bounds.bottom};
}

void tmainwindow::SizeLabel(HWND label, const char* text) {
  SIZE size;
  {
    tdc dc(label);
    size = CaptionSize(dc.Handle(), text);
  }
  SetWindowPos(label, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Positions at 96 pixels per inch, scaled to the screen, at the current
// client width. The lists and the buttons are anchored to the right edge;
// the line and the notice span the width. The labels stay at the left.
tmainwindow::tbounds tmainwindow::Bounds(int id) const {
  const int shift = clientwidth_ - kDesignWidth;
  // A drop-down list's window height includes its dropped part.
  const int dropped = Scale(23) + kListDropped * Scale(kListItemHeight) + 2;
  switch (id) {
    case IDC_CBDRIVE: return {Scale(48 + shift), Scale(8), Scale(356), dropped};
    case IDC_CBVEL: return {Scale(48 + shift), Scale(40), Scale(53), dropped};
    case IDC_BTDETECT: return {Scale(111 + shift), Scale(41), Scale(117), Scale(21)};
    case IDC_BTLOAD: return {Scale(291 + shift), Scale(41), Scale(53), Scale(21)};
    case IDC_BTEJECT: return {Scale(351 + shift), Scale(41), Scale(53), Scale(21)};
    case IDC_BEVEL1: return {0, Scale(71), Scale(clientwidth_), 2};
    case IDC_LABEL5: return {0, Scale(76), Scale(clientwidth_), Scale(16)};
  }
  return {0, 0, 0, 0};
}

void tmainwindow::Place(int id) {
  const tbounds at = Bounds(id);
  SetWindowPos(GetDlgItem(window_, id), nullptr, at.left, at.top, at.width, at.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void tmainwindow::Layout() {
  for (int id :
       {IDC_CBDRIVE, IDC_CBVEL, IDC_BTDETECT, IDC_BTLOAD, IDC_BTEJECT, IDC_BEVEL1, IDC_LABEL5})
    Place(id);
}
