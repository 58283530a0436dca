// A plain view for running the window logic without a window: the two lists
// as texts with a selection, scripted answers to the detection question, and
// a record of error boxes, width, captions and the busy pointer, with the
// platform calls made outside a busy span. No test framework inside, so the
// fuzz targets and benchmarks use it too.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include <winsim.h>

#include "ui/Unit1.h"

// A drop-down list: Pick is the user's choice; SetItemIndex the program's.
class FakeList : public tlistview {
 public:
  std::vector<std::string> items;
  int index = -1;
  int programselections = 0;

  void Clear() override {
    items.clear();
    index = -1;
  }
  void Add(const std::string& text) override { items.push_back(text); }
  int Count() const { return static_cast<int>(items.size()); }
  int ItemIndex() const override { return index; }
  void SetItemIndex(int i) override {
    ++programselections;
    index = i >= 0 && i < Count() ? i : -1;
  }
  void Pick(int i) { index = i; }
};

class RecordingView : public tformview {
 public:
  // Watches the simulated platform while it exists.
  RecordingView()
      : previous_(winsim::SetCallWatcher([this](winsim::Api api) {
          if (!busy) idlecalls.push_back(winsim::ApiName(api));
        })) {}
  ~RecordingView() override { winsim::SetCallWatcher(std::move(previous_)); }
  RecordingView(const RecordingView&) = delete;
  RecordingView& operator=(const RecordingView&) = delete;

  FakeList drives, speeds;
  std::deque<bool> answers;  // the user's answers to the detection question, in order
  bool laterAnswer = false;  // once the scripted answers are used up
  std::vector<std::string> questions;
  std::vector<std::string> errors;
  std::vector<std::string> layout;  // width and caption changes, in order
  std::map<tcaption, std::string> captions;
  int clientwidth = 413;
  bool busy = false;
  int busyspans = 0;                   // times the wait pointer came on
  int busyboxes = 0;                   // boxes shown under the wait pointer
  int busyrepeats = 0;                 // SetBusy to the state it already had
  std::vector<std::string> idlecalls;  // platform calls made without the wait pointer

  tlistview& cbdrive() override { return drives; }
  tlistview& cbvel() override { return speeds; }

  bool AskYesNo(const std::string& question) override {
    if (busy) ++busyboxes;
    questions.push_back(question);
    if (answers.empty()) return laterAnswer;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }
  void ShowError(const std::string& text) override {
    if (busy) ++busyboxes;
    errors.push_back(text);
  }
  void SetBusy(bool on) override {
    if (on == busy) ++busyrepeats;
    if (on && !busy) ++busyspans;
    busy = on;
  }
  // The wait pointer was on for every platform call and no box, and is off.
  bool BusyKeptRight() const {
    return !busy && busyboxes == 0 && busyrepeats == 0 && idlecalls.empty();
  }
  void SetClientWidth(int width) override {
    clientwidth = width;
    layout.push_back("width " + std::to_string(width));
  }
  void SetCaption(tcaption control, const std::string& text) override {
    captions[control] = text;
    layout.push_back(text);
  }

 private:
  winsim::CallWatcher previous_;
};
