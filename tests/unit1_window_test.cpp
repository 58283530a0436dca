// The main window's handlers: refresh, detection question, speed choice,
// tray buttons and the error box, against simulated drives and registry.
#include <functional>
#include <string>
#include <vector>

#include "tests/unit1_fixture.h"
#include "tests/expected_texts.h"

namespace {

using winsim::Api;

const char kKey[] = "Software\\Orun\\Kelvarin";
// The inventory line of a drive added with AddCdRom(0, 1, 0, 0, 'E').
const char kDrive[] = "1:0:0 ACME     DVD-RW X1        1.0  (E:)";
const std::string kDriveDvd = std::string(kDrive) + " DVD";

// What detection finds on the simulated drive's default CD speeds.
const char kCdDetected[] = "65535,7056,5645,4234,2822,1411";

class MainWindow : public WindowTest {
 protected:
  static size_t AddDrive() { return winsim::AddCdRom(0, 1, 0, 0, 'E'); }
  static simdrive::Drive& Drive(size_t index = 0) { return M().devices[index]->drive; }
  static void Store(const std::string& name, const std::string& list) {
    winsim::SetString(HKEY_CURRENT_USER, kKey, name, list);
  }
  static std::string Stored(const std::string& name) {
    const winsim::RegValue* value = winsim::GetValue(HKEY_CURRENT_USER, kKey, name);
    if (!value) return "<none>";
    return std::string(value->data.begin(), value->data.end());
  }

  // Speeds sent with the set-speed command, in order.
  static std::vector<int> SentSpeeds() {
    std::vector<int> speeds;
    for (const auto& c : M().commands)
      if (c.cdb.at(0) == 0xBB) speeds.push_back(c.cdb.at(2) << 8 | c.cdb.at(3));
    return speeds;
  }
  static std::vector<uint8_t> LastCdb() {
    return M().commands.empty() ? std::vector<uint8_t>() : M().commands.back().cdb;
  }

  void Choose(int index) {
    view.speeds.Pick(index);
    form.cbvelChange();
  }
};

TEST_F(MainWindow, StartWithoutListAsksAndYesDetectsStoresAndSelectsCurrentSpeed) {
  AddDrive();
  view.answers = {true};
  form.FormCreate();

  EXPECT_EQ(view.questions, std::vector<std::string>{kExpectedEnglish.question});
  EXPECT_EQ(view.drives.items, std::vector<std::string>{kDrive});
  EXPECT_EQ(view.drives.index, 0);
  EXPECT_EQ(Stored(kDrive), std::string(kCdDetected) + '\0');
  EXPECT_EQ(view.speeds.items, (std::vector<std::string>{"MAX", "40x", "32x", "24x", "16x", "8x"}));
  EXPECT_EQ(view.speeds.index, 1);
  // Only the detection's 93 probes and its return to the earlier speed.
  const std::vector<int> sent = SentSpeeds();
  ASSERT_EQ(sent.size(), 94u);
  EXPECT_EQ(sent.back(), 7056);
  EXPECT_TRUE(view.errors.empty());
}

// The view's own checks hold the wait pointer to every platform call and no
// box; here, each handler turns it on once, and a question splits the span.
TEST_F(MainWindow, EachHandlerIsOneBusySpanThatTheQuestionInterrupts) {
  AddDrive();
  view.answers = {true};
  form.FormCreate();
  EXPECT_EQ(view.busyspans, 2);
  const std::pair<const char*, std::function<void()>> handlers[] = {
      {"refresh", [this] { form.cbdriveChange(); }},
      {"choice", [this] { Choose(1); }},
      {"detection", [this] { form.btdetectClick(); }},
      {"load", [this] { form.btloadClick(); }},
      {"eject", [this] { form.btejectClick(); }},
  };
  for (const auto& h : handlers) {
    const int before = view.busyspans;
    h.second();
    EXPECT_EQ(view.busyspans, before + 1) << h.first;
    EXPECT_FALSE(view.busy) << h.first;
  }
  EXPECT_GT(M().commands.size(), 94u);
}

TEST_F(MainWindow, StartWithoutListAnsweredNoStoresNothingAndAsksAgainOnNextRefresh) {
  AddDrive();
  view.answers = {false};
  form.FormCreate();

  EXPECT_EQ(view.questions.size(), 1u);
  EXPECT_TRUE(view.speeds.items.empty());
  EXPECT_EQ(view.speeds.index, -1);
  EXPECT_EQ(Stored(kDrive), "<none>");
  EXPECT_TRUE(M().commands.size() > 0);
  EXPECT_TRUE(SentSpeeds().empty());

  view.answers = {false};
  form.cbdriveChange();
  EXPECT_EQ(view.questions.size(), 2u);
}

TEST_F(MainWindow, EmptyInventoryAsksNothingAndEveryHandlerStops) {
  for (bool transport : {true, false}) {
    SCOPED_TRACE(transport ? "no drive" : "no transport");
    FakeView shown;
    TForm1 window{shown};
    winsim::Reset();
    ForgetProgramState();
    if (!transport) {
      AddDrive();
      M().token.member = false;  // not an administrator, and no ASPI library
    }
    window.FormCreate();
    EXPECT_EQ(activetransport, transport ? tpSpti : tpNone);
    window.cbdriveChange();
    window.cbvelChange();
    window.btdetectClick();
    window.btloadClick();
    window.btejectClick();
    EXPECT_TRUE(shown.drives.items.empty());
    EXPECT_EQ(shown.drives.index, -1);
    EXPECT_TRUE(shown.speeds.items.empty());
    EXPECT_TRUE(shown.questions.empty());
    EXPECT_TRUE(shown.errors.empty());
    EXPECT_TRUE(M().commands.empty());
    EXPECT_EQ(winsim::FindKey(HKEY_CURRENT_USER, kKey), nullptr);
    window.FormDestroy();
  }
}

TEST_F(MainWindow, StoredListShownWithCurrentSpeedSelectedAndNoSpeedSent) {
  AddDrive();
  Store(kDrive, "65535,7056,5645,4234");
  form.FormCreate();
  EXPECT_TRUE(view.questions.empty());
  EXPECT_EQ(view.speeds.items, (std::vector<std::string>{"MAX", "40x", "32x", "24x"}));
  EXPECT_EQ(view.speeds.index, 1);

  for (const auto& c : {std::make_pair(5645, 2), std::make_pair(1411, -1)}) {
    Drive().currentSpeed = static_cast<uint16_t>(c.first);
    view.speeds.programselections = 0;
    form.cbdriveChange();
    EXPECT_EQ(view.speeds.index, c.second) << c.first;
    EXPECT_EQ(view.speeds.programselections, c.second < 0 ? 0 : 1) << c.first;
  }
  EXPECT_TRUE(SentSpeeds().empty());
}

TEST_F(MainWindow, DvdAndCdListsOfOneDriveLiveSideBySide) {
  AddDrive();
  Store(kDrive, "65535,7056,5645");
  form.FormCreate();
  EXPECT_EQ(view.speeds.items, (std::vector<std::string>{"MAX", "40x", "32x"}));

  // A DVD has no list yet: detection stores one under the DVD name.
  Drive().profile = simdrive::kDvdPlusRDl;
  Drive().currentSpeed = 11080;
  view.answers = {true};
  form.cbdriveChange();
  EXPECT_EQ(Stored(kDriveDvd), std::string("65535,22160,16620,11080,5540") + '\0');
  EXPECT_EQ(Stored(kDrive), std::string("65535,7056,5645") + '\0');
  EXPECT_EQ(view.speeds.items, (std::vector<std::string>{"MAX", "16x", "12x", "8x", "4x"}));
  EXPECT_EQ(view.speeds.index, 3);

  Drive().profile = simdrive::kNoMedium;
  form.cbdriveChange();
  EXPECT_EQ(view.speeds.items, (std::vector<std::string>{"MAX", "40x", "32x"}));
  Drive().profile = simdrive::kDvdRom;
  form.cbdriveChange();
  EXPECT_EQ(view.speeds.items.size(), 5u);
  EXPECT_EQ(view.questions.size(), 1u);
}

TEST_F(MainWindow, EachDriveEntryShowsThatDrivesList) {
  AddDrive();
  winsim::AddCdRom(1, 2, 1, 0, 'F');
  Store(kDrive, "65535,7056");
  Store("2:1:0 ACME     DVD-RW X1        1.0  (F:)", "65535,5645,4234");
  form.FormCreate();
  EXPECT_EQ(view.speeds.items, (std::vector<std::string>{"MAX", "40x"}));

  view.drives.Pick(1);
  form.cbdriveChange();
  EXPECT_EQ(view.speeds.items, (std::vector<std::string>{"MAX", "32x", "24x"}));
  Choose(2);
  ASSERT_FALSE(M().commands.empty());
  EXPECT_EQ(M().commands.back().device, 1);
  EXPECT_EQ(SentSpeeds(), std::vector<int>{4234});
}

TEST_F(MainWindow, ChoosingEntryKSendsFieldKPlusOne) {
  AddDrive();
  Store(kDrive, "65535,7056,5645,$B04,-1");
  form.FormCreate();

  const struct {
    int entry;
    int speed;
  } cases[] = {{0, 65535}, {1, 7056}, {2, 5645}, {3, 2820}, {4, 65535}};
  for (const auto& c : cases) {
    M().commands.clear();
    Choose(c.entry);
    EXPECT_EQ(SentSpeeds(), std::vector<int>{c.speed}) << "entry " << c.entry;
  }
  EXPECT_TRUE(view.errors.empty());
}

TEST_F(MainWindow, ChoiceReadsListOfMediumNowLoadedWithoutRefresh) {
  AddDrive();
  Store(kDrive, "65535,7056,5645");
  Store(kDriveDvd, "65535,22160,16620");
  form.FormCreate();

  Drive().profile = simdrive::kDvdRom;
  Choose(2);
  EXPECT_EQ(SentSpeeds(), std::vector<int>{16620});
  // The list on screen is still the CD one.
  EXPECT_EQ(view.speeds.items, (std::vector<std::string>{"MAX", "40x", "32x"}));

  // No list for the medium now loaded: the field is the empty text.
  winsim::FindKey(HKEY_CURRENT_USER, kKey)->values.erase(kDriveDvd);
  Choose(1);
  EXPECT_EQ(view.errors, std::vector<std::string>{NotAnIntegerError("") + "."});
  EXPECT_EQ(SentSpeeds(), std::vector<int>{16620});
}

TEST_F(MainWindow, FieldThatIsNoNumberShowsZeroXAndChoosingItSendsNothing) {
  AddDrive();
  Store(kDrive, "65535,abc,7056");
  form.FormCreate();
  EXPECT_EQ(view.speeds.items, (std::vector<std::string>{"MAX", "0x", "40x"}));
  EXPECT_EQ(view.speeds.index, 2);

  Choose(1);
  EXPECT_EQ(view.errors, std::vector<std::string>{NotAnIntegerError("abc") + "."});
  EXPECT_TRUE(SentSpeeds().empty());

  // The window goes on: the next choice is sent.
  Choose(2);
  EXPECT_EQ(SentSpeeds(), std::vector<int>{7056});
}

TEST_F(MainWindow, StoredNonTextValueShowsRegistryErrorWithoutFullStop) {
  AddDrive();
  winsim::SetValue(HKEY_CURRENT_USER, kKey, kDrive, REG_DWORD, {0xC0, 0x1B, 0, 0});
  form.FormCreate();

  EXPECT_EQ(view.errors,
            std::vector<std::string>{InvalidTypeError(kDrive)});
  EXPECT_EQ(view.drives.items, std::vector<std::string>{kDrive});
  EXPECT_TRUE(view.speeds.items.empty());
  EXPECT_TRUE(view.questions.empty());

  // Still usable: the tray buttons work, and every refresh shows the error.
  form.btejectClick();
  EXPECT_EQ(LastCdb(), (std::vector<uint8_t>{0x1B, 1, 0, 0, 0x02, 0}));
  form.cbdriveChange();
  EXPECT_EQ(view.errors.size(), 2u);
}

TEST_F(MainWindow, FailedKeyCreationAsksAgainAndEachYesDetectsAgainUntilNo) {
  AddDrive();
  FailAlways(Api::RegCreateKeyExA);
  view.answers = {true, true, false};
  form.FormCreate();

  EXPECT_EQ(view.questions.size(), 3u);
  EXPECT_EQ(SentSpeeds().size(), 2 * 94u);
  EXPECT_TRUE(view.speeds.items.empty());
  EXPECT_TRUE(view.errors.empty());
}

TEST_F(MainWindow, FailedValueWriteEndsNestedActionWithOneErrorBox) {
  AddDrive();
  FailAlways(Api::RegSetValueExA);
  view.answers = {true};
  form.FormCreate();

  EXPECT_EQ(view.questions.size(), 1u);
  EXPECT_EQ(view.errors,
            std::vector<std::string>{SetDataError(kDrive)});
  EXPECT_TRUE(view.speeds.items.empty());
  EXPECT_EQ(view.drives.index, 0);
}

TEST_F(MainWindow, DetectButtonReplacesListAndRefreshes) {
  AddDrive();
  Store(kDrive, "65535,1411");
  form.FormCreate();
  EXPECT_EQ(view.speeds.items.size(), 2u);

  form.btdetectClick();
  EXPECT_EQ(Stored(kDrive), std::string(kCdDetected) + '\0');
  EXPECT_EQ(view.speeds.items.size(), 6u);
  EXPECT_EQ(view.speeds.index, 1);
  EXPECT_TRUE(view.questions.empty());
}

TEST_F(MainWindow, LoadAndEjectSendTheirCommandAndDoNotRefresh) {
  AddDrive();
  Store(kDrive, "65535,7056,5645");
  Store(kDriveDvd, "65535,22160");
  form.FormCreate();
  const std::vector<std::string> shown = view.speeds.items;
  const int reads = Calls(Api::RegQueryValueExA);

  form.btejectClick();
  EXPECT_EQ(LastCdb(), (std::vector<uint8_t>{0x1B, 1, 0, 0, 0x02, 0}));
  Drive().profile = simdrive::kDvdRom;
  form.btloadClick();
  EXPECT_EQ(LastCdb(), (std::vector<uint8_t>{0x1B, 1, 0, 0, 0x03, 0}));

  EXPECT_EQ(view.speeds.items, shown);
  EXPECT_EQ(Calls(Api::RegQueryValueExA), reads);
  EXPECT_TRUE(SentSpeeds().empty());
}

TEST(ErrorBoxText, FullStopOnlyAfterCharactersSortingAfterIt) {
  const struct {
    const char* message;
    const char* shown;
  } cases[] = {
      {"'abc' is not a valid integer value", "'abc' is not a valid integer value."},
      {"Invalid data type for 'x'", "Invalid data type for 'x'"},
      {"ends.", "ends."},
      {"ends-", "ends-"},
      {"ends/", "ends/."},
      {"ends ", "ends "},
      {"ends\xE3", "ends\xE3."},  // compared as an unsigned byte
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorBoxText(c.message), c.shown) << c.message;
}

}  // namespace
