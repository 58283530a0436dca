// The main window as Win32 controls: implements the view that TForm1 drives.
#pragma once

#include <windows.h>

#include <string>

#include "ui/Unit1.h"
#include "ui/texts.h"

// A drop-down list control. CB_SETCURSEL sends no notification, so a
// selection made here never reaches a change handler.
class tcombolist : public tlistview {
 public:
  void Attach(HWND handle) { handle_ = handle; }
  void Clear() override;
  void Add(const std::string& text) override;
  int ItemIndex() const override;
  void SetItemIndex(int index) override;

 private:
  HWND handle_ = nullptr;
};

// A GDI font released with its owner.
class tfont {
 public:
  tfont() = default;
  ~tfont();
  tfont(const tfont&) = delete;
  tfont& operator=(const tfont&) = delete;
  void Create(int height, BYTE charset, BYTE pitchandfamily, const char* face);
  HFONT Handle() const { return font_; }

 private:
  HFONT font_ = nullptr;
};

class tmainwindow : public tformview {
 public:
  // Creates the window hidden, centred on the desktop, and runs FormCreate;
  // false when the window could not be created.
  bool Create(HINSTANCE instance);
  // Shows the window and runs the message loop until the window is
  // destroyed.
  int Run(int show);

  tlistview& cbdrive() override { return cbdrive_; }
  tlistview& cbvel() override { return cbvel_; }
  bool AskYesNo(const std::string& question) override;
  void ShowError(const std::string& text) override;
  void SetBusy(bool busy) override;
  void SetClientWidth(int width) override;
  void SetCaption(tcaption control, const std::string& text) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  // A control's place in the client area, in screen pixels.
  struct tbounds {
    int left, top, width, height;
  };
  RECT Frame() const;
  void CreateControls();
  void CreateTooltip();
  HWND AddControl(const char* classname, const char* text, DWORD style, int id, const tfont& font,
                  const tbounds& at);
  void FitComboHeight(HWND combo);
  SIZE CaptionSize(HDC dc, const char* text) const;
  void SizeLabel(HWND label, const char* text);
  tbounds Bounds(int id) const;
  void Place(int id);
  void Layout();
  int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }
  void OnCommand(int id, int code);

  HINSTANCE instance_ = nullptr;
  HWND window_ = nullptr;
  HWND label1_ = nullptr, label2_ = nullptr, btdetect_ = nullptr, btload_ = nullptr,
       bteject_ = nullptr, bevel1_ = nullptr, label5_ = nullptr;
  HWND focus_ = nullptr;  // restored when the window is activated again
  tcombolist cbdrive_, cbvel_;
  tfont windowfont_, listfont_;
  int dpi_ = 96;
  int clientwidth_ = kEnglishTexts.clientwidth;  // at 96 pixels per inch
  bool busy_ = false;
  TForm1 form_{*this};
};
