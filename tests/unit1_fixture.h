// The main window's logic over a plain fake view and the simulated machine;
// the speed-list store and language tests share the machine-only base.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "scsi/aspispti.h"
#include "ui/Unit1.h"

// A drop-down list: Pick is the user's choice; SetItemIndex the program's.
class FakeList : public tlistview {
 public:
  std::vector<std::string> items;
  int index = -1;

  void Clear() override {
    items.clear();
    index = -1;
  }
  void Add(const std::string& text) override { items.push_back(text); }
  int Count() const override { return static_cast<int>(items.size()); }
  std::string Item(int i) const override { return items.at(static_cast<size_t>(i)); }
  int ItemIndex() const override { return index; }
  void SetItemIndex(int i) override {
    ++programselections;
    index = i >= 0 && i < Count() ? i : -1;
  }
  void Pick(int i) { index = i; }

  int programselections = 0;
};

class FakeView : public tformview {
 public:
  FakeList drives, speeds;
  std::deque<bool> answers;  // the user's answers to the detection question, in order
  std::vector<std::string> questions;
  std::vector<std::string> errors;
  std::vector<std::string> layout;  // width and caption changes, in order
  std::map<tcaption, std::string> captions;
  int clientwidth = 413;

  tlistview& cbdrive() override { return drives; }
  tlistview& cbvel() override { return speeds; }

  bool AskYesNo(const std::string& question) override {
    // The drive object that read the medium class is gone before the box.
    EXPECT_TRUE(winsim::NothingOpen());
    questions.push_back(question);
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected detection question";
      return false;
    }
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }
  void ShowError(const std::string& text) override {
    EXPECT_TRUE(winsim::NothingOpen());
    errors.push_back(text);
  }
  void SetClientWidth(int width) override {
    clientwidth = width;
    layout.push_back("width " + std::to_string(width));
  }
  void SetCaption(tcaption control, const std::string& text) override {
    captions[control] = text;
    layout.push_back(text);
  }
};

// A fresh simulated machine, and nothing left open at the end.
class SimulatedWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override { EXPECT_TRUE(winsim::NothingOpen()); }

  static winsim::Machine& M() { return winsim::machine(); }
  static int Calls(winsim::Api api) { return M().count.calls[static_cast<size_t>(api)]; }
  static void FailAlways(winsim::Api api) { M().failAlways[static_cast<size_t>(api)] = true; }
  static std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
};

class WindowTest : public SimulatedWindowsTest {
 protected:
  void SetUp() override {
    SimulatedWindowsTest::SetUp();
    ForgetProgramState();
  }
  void TearDown() override {
    form.FormDestroy();
    SimulatedWindowsTest::TearDown();
    EXPECT_TRUE(cddrives.empty());
    EXPECT_TRUE(view.answers.empty()) << "questions expected but not asked";
    ForgetProgramState();
  }
  static void ForgetProgramState() {
    activetransport = tpAspi;
    cddrives.clear();
    detectprompt.clear();
  }

  FakeView view;
  TForm1 form{view};
};
