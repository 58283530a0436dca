// The main window's logic, over a small view seam: the real Win32 window
// (app/) and the host tests' fake both implement tformview.
#pragma once

#include <string>

struct tcddriveinfo;

extern std::string detectprompt;

extern const char* const kApplicationTitle;  // "Kelvarin"

enum class tcaption { Label1, Label2, btdetect, btload, bteject };

// A drop-down list: texts in insertion order and a selected index (-1 none).
// A selection made through SetItemIndex never runs a change handler.
class tlistview {
 public:
  virtual ~tlistview() = default;
  virtual void Clear() = 0;
  virtual void Add(const std::string& text) = 0;
  virtual int ItemIndex() const = 0;
  virtual void SetItemIndex(int index) = 0;
};

class tformview {
 public:
  virtual ~tformview() = default;
  virtual tlistview& cbdrive() = 0;
  virtual tlistview& cbvel() = 0;
  // The detection question; true for Yes.
  virtual bool AskYesNo(const std::string& question) = 0;
  // The error box, given the final text (full stop already applied).
  virtual void ShowError(const std::string& text) = 0;
  // The wait pointer over the window, on while a handler works with the
  // drive or the store, off before a box waits for the user.
  virtual void SetBusy(bool busy) = 0;
  virtual void SetClientWidth(int width) = 0;
  virtual void SetCaption(tcaption control, const std::string& text) = 0;
};

// The error box's text: the message, with "." appended when its last
// character sorts after ".".
std::string ErrorBoxText(const std::string& message);

class TForm1 {
 public:
  explicit TForm1(tformview& view) : view_(view) {}

  // Handlers as the window's events run them: an error that ends one goes
  // to the error box and the program carries on.
  void FormCreate();
  void FormDestroy();
  void cbdriveChange();
  void cbvelChange();
  void btdetectClick();
  void btloadClick();
  void btejectClick();

 private:
  template <typename Body>
  void Guarded(Body body);
  bool Ask(const std::string& question);
  const tcddriveinfo* SelectedDrive();  // null when cbdrive has no selection
  void RefreshSpeeds();
  void ChooseSpeed();
  void Detect();

  tformview& view_;
};
