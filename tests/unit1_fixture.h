// The main window's logic over a plain fake view and the simulated machine;
// the speed-list store and language tests share the machine-only base.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>

#include <string>
#include <vector>

#include "scsi/aspispti.h"
#include "tests/fakeview.h"
#include "ui/Unit1.h"

// The window's view with the checks every window test wants: nothing is open
// while a box is up, no question comes that the test did not script, and
// the wait pointer covers every platform call and no box.
class FakeView : public RecordingView {
 public:
  ~FakeView() override {
    EXPECT_FALSE(busy) << "the wait pointer stayed on";
    EXPECT_EQ(busyboxes, 0) << "a box under the wait pointer";
    EXPECT_EQ(busyrepeats, 0);
    EXPECT_TRUE(idlecalls.empty()) << idlecalls.front() << " without the wait pointer";
  }
  bool AskYesNo(const std::string& question) override {
    // The drive object that read the medium class is gone before the box.
    EXPECT_TRUE(winsim::NothingOpen());
    if (answers.empty()) ADD_FAILURE() << "unexpected detection question";
    return RecordingView::AskYesNo(question);
  }
  void ShowError(const std::string& text) override {
    EXPECT_TRUE(winsim::NothingOpen());
    RecordingView::ShowError(text);
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
