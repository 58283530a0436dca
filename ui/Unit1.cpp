#include "ui/Unit1.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "drive/tcddrive.h"
#include "scsi/aspispti.h"
#include "ui/UILanguage.h"
#include "ui/speedlist.h"
#include "ui/texts.h"

std::string detectprompt;

const char* const kApplicationTitle = "Kelvarin";

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

namespace {

uint8_t ReadMediaClass(const tcddriveinfo& info) {
  tcddrive drive(info.adapter, info.target, info.lun);
  return drive.GetMediaClass();
}

uint16_t ReadCurrentSpeed(const tcddriveinfo& info) {
  tcddrive drive(info.adapter, info.target, info.lun);
  return drive.GetCurrentSpeed();
}

// The view's busy state for a scope: on for a handler's work, off while a
// box waits inside it. Both ends hold on every path, errors included.
class tbusystate {
 public:
  tbusystate(tformview& view, bool busy) : view_(view), busy_(busy) { view_.SetBusy(busy_); }
  ~tbusystate() { view_.SetBusy(!busy_); }
  tbusystate(const tbusystate&) = delete;
  tbusystate& operator=(const tbusystate&) = delete;

 private:
  tformview& view_;
  bool busy_;
};

}  // namespace

// The busy span ends with the try block, so the error box comes after it.
template <typename Body>
void TForm1::Guarded(Body body) {
  try {
    const tbusystate busy(view_, true);
    body();
  } catch (const std::exception& error) {
    view_.ShowError(ErrorBoxText(error.what()));
  }
}

bool TForm1::Ask(const std::string& question) {
  const tbusystate waiting(view_, false);
  return view_.AskYesNo(question);
}

const tcddriveinfo* TForm1::SelectedDrive() {
  const int index = view_.cbdrive().ItemIndex();
  if (index < 0 || static_cast<size_t>(index) >= cddrives.size()) return nullptr;
  return &cddrives[static_cast<size_t>(index)];
}

void TForm1::FormCreate() {
  Guarded([this] {
    detectprompt = kEnglishTexts.detectprompt;
    InitAspiSpti(tpAuto);
    if (static_cast<WORD>(GetUILanguage()) == kLangPortuguesePortugal) {
      view_.SetClientWidth(kPortugueseTexts.clientwidth);
      detectprompt = kPortugueseTexts.detectprompt;
      view_.SetCaption(tcaption::Label1, kPortugueseTexts.label1);
      view_.SetCaption(tcaption::Label2, kPortugueseTexts.label2);
      view_.SetCaption(tcaption::btdetect, kPortugueseTexts.btdetect);
      view_.SetCaption(tcaption::btload, kPortugueseTexts.btload);
      view_.SetCaption(tcaption::bteject, kPortugueseTexts.bteject);
    }
    tlistview& drives = view_.cbdrive();
    drives.Clear();
    // The inventory's count is one byte wide.
    const size_t count = std::min(cddrives.size(), kMaxDrives);
    for (size_t i = 0; i < count; ++i) drives.Add(cddrives[i].description);
    if (count > 0) drives.SetItemIndex(0);
    RefreshSpeeds();
  });
}

void TForm1::FormDestroy() {
  Guarded([] { DoneAspiSpti(); });
}

void TForm1::cbdriveChange() {
  Guarded([this] { RefreshSpeeds(); });
}

void TForm1::cbvelChange() {
  Guarded([this] { ChooseSpeed(); });
}

void TForm1::btdetectClick() {
  Guarded([this] { Detect(); });
}

void TForm1::btloadClick() {
  Guarded([this] {
    const tcddriveinfo* info = SelectedDrive();
    if (!info) return;
    tcddrive drive(info->adapter, info->target, info->lun);
    drive.Load(1);
  });
}

void TForm1::btejectClick() {
  Guarded([this] {
    const tcddriveinfo* info = SelectedDrive();
    if (!info) return;
    tcddrive drive(info->adapter, info->target, info->lun);
    drive.Eject(1);
  });
}

// Runs raw inside a handler: an error here ends the whole user action, nested
// detections included, with one error box.
void TForm1::RefreshSpeeds() {
  const tcddriveinfo* info = SelectedDrive();
  if (!info) return;
  tlistview& speeds = view_.cbvel();
  speeds.Clear();
  const uint8_t mediaclass = ReadMediaClass(*info);
  const std::string list = ReadSpeedList(SpeedListKey(info->description, mediaclass));
  if (list.empty()) {
    if (Ask(detectprompt)) Detect();
    return;
  }
  // One pass over the text: the cost grows with its length alone. The
  // entries are matched as made, not read back from the list.
  std::vector<std::string> entries;
  for (const std::string& field : SplitTokens(list, kFieldDelimiter)) {
    entries.push_back(SpeedText(field, mediaclass));
    speeds.Add(entries.back());
  }
  const uint16_t current = ReadCurrentSpeed(*info);
  const int match = MatchCurrentSpeed(entries, current, mediaclass);
  if (match >= 0) speeds.SetItemIndex(match);
}

// The list and the medium class are read at the moment of the choice: entry k
// stands for field k + 1 of whatever list the medium now loaded has.
void TForm1::ChooseSpeed() {
  const tcddriveinfo* info = SelectedDrive();
  if (!info) return;
  tcddrive drive(info->adapter, info->target, info->lun);
  const uint8_t mediaclass = drive.GetMediaClass();
  const std::string list = ReadSpeedList(SpeedListKey(info->description, mediaclass));
  const std::string field = GetToken(list, kFieldDelimiter, view_.cbvel().ItemIndex() + 1);
  drive.SetSpeed(static_cast<uint16_t>(StrToInt(field)));
}

void TForm1::Detect() {
  const tcddriveinfo* info = SelectedDrive();
  if (!info) return;
  uint8_t mediaclass;
  tdynwordarray speeds;
  {
    tcddrive drive(info->adapter, info->target, info->lun);
    mediaclass = drive.GetMediaClass();
    drive.DetectSpeeds(speeds);
  }
  WriteSpeedList(SpeedListKey(info->description, mediaclass), FormatSpeedList(speeds));
  RefreshSpeeds();
}
