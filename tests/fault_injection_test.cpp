// Every platform call an action makes, made to fail one at a time: for each
// action on each transport the n-th call of one API fails, for every n up to
// the number of calls a clean run makes. Nothing may crash or stay open, and
// the window must end in the state the failed call explains.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "scsi/aspispti.h"
#include "tests/fakeview.h"
#include "ui/UILanguage.h"
#include "ui/Unit1.h"

namespace {

using winsim::Api;

using FakeView = RecordingView;  // says No to every question

// What the window shows after an action.
struct Shown {
  std::vector<std::string> drives;
  std::vector<std::string> speeds;
  int selected = -1;
  int questions = 0;
  std::vector<std::string> errors;
};

bool operator==(const Shown& a, const Shown& b) {
  return a.drives == b.drives && a.speeds == b.speeds && a.selected == b.selected &&
         a.questions == b.questions && a.errors == b.errors;
}

std::ostream& operator<<(std::ostream& out, const Shown& s) {
  out << "drives [";
  for (const auto& d : s.drives) out << '"' << d << "\" ";
  out << "] speeds [";
  for (const auto& v : s.speeds) out << v << ' ';
  out << "] selected " << s.selected << " questions " << s.questions << " errors [";
  for (const auto& e : s.errors) out << '"' << e << "\" ";
  return out << ']';
}

Shown ShownBy(const FakeView& view) {
  return {view.drives.items, view.speeds.items, view.speeds.index,
          static_cast<int>(view.questions.size()), view.errors};
}

enum class Route { Spti, Aspi };

const char* const kStore = "Software\\Orun\\Kelvarin";
// The drive as each transport lists it: the address leads, the letter ends.
const std::string kSptiName = "1:0:0 ACME     DVD-RW X1        1.0  (E:)";
const std::string kAspiName = "0:1:0 ACME     DVD-RW X1        1.0  (E:)";
const std::string kOldDvdList = "65535,22160,16620,11080";
const std::string kCdList = "65535,7056,5645";
// What detection finds on the simulated drive with a DVD loaded.
const std::string kNewDvdList = "65535,22160,16620,11080,5540";
const std::vector<std::string> kOldDvdEntries{"MAX", "16x", "12x", "8x"};
const std::vector<std::string> kNewDvdEntries{"MAX", "16x", "12x", "8x", "4x"};
const std::vector<std::string> kCdEntries{"MAX", "40x", "32x"};
constexpr uint16_t kCurrent = 16620;  // 12x on a DVD

const std::string& NameOf(Route route) { return route == Route::Spti ? kSptiName : kAspiName; }

// Identification lost: vendor, product and revision print empty at their widths.
std::string Unidentified(const std::string& address, const std::string& letter) {
  return address + " " + std::string(8, ' ') + " " + std::string(16, ' ') + " " +
         std::string(4, ' ') + " (" + letter + ":)";
}

simdrive::Drive& TheDrive(Route route) {
  winsim::Machine& m = winsim::machine();
  return route == Route::Spti ? m.devices.at(0)->drive : m.aspiDevices.at(0)->drive;
}

// An administrator on XP with one drive at \\.\CdRom0 (port 1) and letter E,
// or Windows 98 with one ASPI drive at 0:1:0 whose drive number is E. A DVD
// is loaded, both lists are stored, the interface language is Portuguese
// by the system call and by the registry.
void SetUpMachine(Route route) {
  winsim::Reset();
  winsim::Machine& m = winsim::machine();
  m.uiLanguage = kLangPortuguesePortugal;
  if (route == Route::Spti) {
    winsim::AddCdRom(0, 1, 0, 0, 'E');
    winsim::SetString(HKEY_USERS, ".DEFAULT\\Control Panel\\International", "Locale", "00000816");
  } else {
    winsim::SetNonNT();
    m.kernel32HasGetUserDefaultUILanguage = false;
    m.aspiPresent = true;
    winsim::AddAspiDrive(0, 1, 0, 4);
    winsim::SetString(HKEY_CURRENT_USER, "Control Panel\\Desktop\\ResourceLocale", "", "00000816");
  }
  simdrive::Drive& drive = TheDrive(route);
  drive.profile = simdrive::kDvdRom;
  drive.currentSpeed = kCurrent;
  winsim::SetString(HKEY_CURRENT_USER, kStore, NameOf(route) + " DVD", kOldDvdList);
  winsim::SetString(HKEY_CURRENT_USER, kStore, NameOf(route), kCdList);
}

std::string Stored(const std::string& name) {
  const winsim::RegValue* value = winsim::GetValue(HKEY_CURRENT_USER, kStore, name);
  if (value == nullptr) return "(none)";
  return std::string(value->data.begin(), value->data.end());
}

std::string Text(const std::string& list) { return list + std::string(1, '\0'); }

// The commands a drive received, as "opcode:byte2:byte3:byte4" in hex.
std::vector<std::string> CommandsSince(size_t first) {
  std::vector<std::string> out;
  const auto& commands = winsim::machine().commands;
  for (size_t i = first; i < commands.size(); ++i) {
    char line[16];
    std::vector<uint8_t> cdb = commands[i].cdb;
    cdb.resize(5);
    std::snprintf(line, sizeof line, "%02X:%02X:%02X:%02X", cdb[0], cdb[2], cdb[3], cdb[4]);
    out.push_back(line);
  }
  return out;
}

struct Observed {
  Shown shown;
  ttransport transport;
  std::vector<std::string> commands;  // received during the action
  std::string dvdList, cdList;        // stored after the action
  int modulesAfterDestroy;
};

using Step = std::function<void(TForm1&, FakeView&)>;

// One run: set-up, the unarmed preparation, the action with the n-th call of
// api failing (0: none), then shut-down. Invariants that hold for every n
// are checked here.
Observed RunOnce(Route route, Api api, int n, const Step& prepare, const Step& action,
                 int* cleanCount = nullptr) {
  SetUpMachine(route);
  winsim::Machine& m = winsim::machine();
  FakeView view;
  TForm1 form(view);
  prepare(form, view);
  EXPECT_TRUE(winsim::NothingOpen()) << "before the action";
  const size_t firstCommand = m.commands.size();
  const int callsBefore = m.count.calls[static_cast<size_t>(api)];
  if (n > 0) winsim::ArmFailure({api}, n);
  action(form, view);
  if (n > 0) {
    EXPECT_GE(m.failSeen, n) << "the armed call was not reached";
  }
  winsim::DisarmFailure();
  if (cleanCount) *cleanCount = m.count.calls[static_cast<size_t>(api)] - callsBefore;

  Observed seen{ShownBy(view), activetransport, CommandsSince(firstCommand),
                Stored(NameOf(route) + " DVD"), Stored(NameOf(route)), 0};
  EXPECT_TRUE(winsim::NothingOpen()) << "handles " << m.count.openHandles << " events "
                                     << m.count.openEvents << " keys " << m.count.openKeys
                                     << " SIDs " << m.count.openSids;
  EXPECT_TRUE(m.misuse.empty()) << m.misuse.front();
  EXPECT_FALSE(m.deadlock);
  EXPECT_LE(m.count.loadedModules, 1);

  const ttransport before = activetransport;
  const int loaded = m.count.loadedModules;
  form.FormDestroy();
  EXPECT_TRUE(cddrives.empty());
  EXPECT_TRUE(winsim::NothingOpen());
  // Errors included: the wait pointer on for every call, off for every box.
  EXPECT_TRUE(view.BusyKeptRight()) << "busy " << view.busy << " boxes " << view.busyboxes
                                    << " repeats " << view.busyrepeats << " idle calls "
                                    << view.idlecalls.size();
  // The library goes with the transport; one that lacked an entry point stays.
  seen.modulesAfterDestroy = m.count.loadedModules;
  EXPECT_EQ(seen.modulesAfterDestroy, before == tpAspi ? 0 : loaded);
  return seen;
}

// Runs the action clean to count its calls of api, checks that count, then
// fails each of those calls in turn and hands the outcome to check(n, seen).
void Sweep(Route route, Api api, int expectedCount, const Step& prepare, const Step& action,
           const std::function<void(int, const Observed&)>& check) {
  int count = 0;
  {
    SCOPED_TRACE(std::string("clean run, counting ") + winsim::ApiName(api));
    RunOnce(route, api, 0, prepare, action, &count);
  }
  ASSERT_EQ(count, expectedCount) << winsim::ApiName(api) << " calls in a clean run";
  for (int n = 1; n <= count; ++n) {
    SCOPED_TRACE(std::string(winsim::ApiName(api)) + " call " + std::to_string(n) + " of " +
                 std::to_string(count) + " fails");
    const Observed seen = RunOnce(route, api, n, prepare, action);
    check(n, seen);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// A sweep in which failing call n must end in the window state of row n.
void SweepShown(Route route, Api api, const Step& prepare, const Step& action,
                const std::vector<Shown>& expected) {
  Sweep(route, api, static_cast<int>(expected.size()), prepare, action,
        [&expected](int n, const Observed& seen) { EXPECT_EQ(seen.shown, expected[n - 1]); });
}

const Step kNothing = [](TForm1&, FakeView&) {};
const Step kCreate = [](TForm1& form, FakeView&) { form.FormCreate(); };

// Outcomes of creation and of a refresh.
Shown Listed(const std::string& name, std::vector<std::string> speeds, int selected) {
  return {{name}, std::move(speeds), selected, 0, {}};
}
Shown Baseline(Route route) { return Listed(NameOf(route), kOldDvdEntries, 2); }
// The medium class read failed: the list without " DVD"; the DVD speed
// matches none of its entries.
Shown CdListShown(Route route) { return Listed(NameOf(route), kCdEntries, -1); }
// The current speed read failed: 0 matches no entry.
Shown NoSelection(Route route) { return Listed(NameOf(route), kOldDvdEntries, -1); }
Shown Asked(const std::string& name) { return {{name}, {}, -1, 1, {}}; }
Shown ReadFailed(const std::string& name) {
  return {{name}, {}, -1, 0, {"Failed to get data for '" + name + " DVD'"}};
}
const Shown kNoDrive{};

// ---- Start-up: InitAspiSpti(tpAuto) inside FormCreate ----

TEST(FaultStartup, PassThroughOpensEndInTheStatesTheFailedOpenExplains) {
  // Discovery opens \\.\CdRom0..255; then the identifying drive object
  // searches and opens (2), the letter search opens E: (1), the refresh's
  // two drive objects search and open (4).
  Sweep(Route::Spti, Api::CreateFileA, 256 + 2 + 1 + 4, kNothing, kCreate,
        [](int n, const Observed& seen) {
          EXPECT_EQ(seen.transport, tpSpti);
          if (n == 1)
            EXPECT_EQ(seen.shown, kNoDrive);
          else if (n <= 256)
            EXPECT_EQ(seen.shown, Baseline(Route::Spti));
          else if (n <= 258)
            EXPECT_EQ(seen.shown, Asked(Unidentified("1:0:0", "E")));
          else if (n == 259)
            EXPECT_EQ(seen.shown, Asked("1:0:0 ACME     DVD-RW X1        1.0  (:)"));
          else if (n <= 261)
            EXPECT_EQ(seen.shown, CdListShown(Route::Spti));
          else
            EXPECT_EQ(seen.shown, NoSelection(Route::Spti));
        });
}

TEST(FaultStartup, PassThroughControlCallsEndInTheStatesTheFailedCallExplains) {
  // Address in discovery; search address and INQUIRY; letter address;
  // search address and GET CONFIGURATION; search address and MODE SENSE.
  SweepShown(Route::Spti, Api::DeviceIoControl, kNothing, kCreate,
             {Asked(Unidentified("0:0:0", "")),  // the drive listed at 0:0:0
              Asked(Unidentified("1:0:0", "E")), Asked(Unidentified("1:0:0", "E")),
              Asked("1:0:0 ACME     DVD-RW X1        1.0  (:)"), CdListShown(Route::Spti),
              CdListShown(Route::Spti), NoSelection(Route::Spti), NoSelection(Route::Spti)});
}

TEST(FaultStartup, AdministratorTestFailuresLeaveNoTransport) {
  // IsAdmin runs twice: for the choice and for the readiness test.
  for (Api api : {Api::AllocateAndInitializeSid, Api::CheckTokenMembership}) {
    Sweep(Route::Spti, api, 2, kNothing, kCreate, [](int, const Observed& seen) {
      EXPECT_EQ(seen.transport, tpNone);
      EXPECT_EQ(seen.shown, kNoDrive);
      EXPECT_TRUE(seen.commands.empty());
    });
  }
}

TEST(FaultStartup, TokenCallFailuresOnNT4LeaveNoTransport) {
  // Without CheckTokenMembership the token's groups are walked: the thread
  // has no token, so the process token is opened and asked twice.
  const Step create = [](TForm1& form, FakeView&) {
    winsim::SetNT(4);
    form.FormCreate();
  };
  const std::pair<Api, int> calls[] = {{Api::AllocateAndInitializeSid, 2},
                                       {Api::OpenThreadToken, 2},
                                       {Api::OpenProcessToken, 2},
                                       {Api::GetTokenInformation, 4}};
  for (const auto& [api, count] : calls) {
    Sweep(Route::Spti, api, count, kNothing, create, [](int, const Observed& seen) {
      EXPECT_EQ(seen.transport, tpNone);
      EXPECT_EQ(seen.shown, kNoDrive);
    });
  }
}

TEST(FaultStartup, EntryPointLookupFailuresOnPassThroughFallBackWithoutChange) {
  // CheckTokenMembership twice (then the token walk answers), then
  // GetUserDefaultUILanguage (then the registry answers Portuguese).
  for (Api api : {Api::GetModuleHandleA, Api::GetProcAddress}) {
    Sweep(Route::Spti, api, 3, kNothing, kCreate, [](int, const Observed& seen) {
      EXPECT_EQ(seen.transport, tpSpti);
      EXPECT_EQ(seen.shown, Baseline(Route::Spti));
    });
  }
}

TEST(FaultStartup, PassThroughRegistryFailuresAskOrShowTheReadError) {
  SweepShown(Route::Spti, Api::RegOpenKeyExA, kNothing, kCreate, {Asked(kSptiName)});
  Sweep(Route::Spti, Api::RegQueryValueExA, 2, kNothing, kCreate, [](int n, const Observed& seen) {
    EXPECT_EQ(seen.shown, n == 1 ? Asked(kSptiName) : ReadFailed(kSptiName));
    EXPECT_EQ(seen.dvdList, Text(kOldDvdList));
  });
}

TEST(FaultStartup, AspiLibraryLoadFailureLeavesNoTransportAndNothingLoaded) {
  Sweep(Route::Aspi, Api::LoadLibraryA, 1, kNothing, kCreate, [](int, const Observed& seen) {
    EXPECT_EQ(seen.transport, tpNone);
    EXPECT_EQ(seen.shown, kNoDrive);
    EXPECT_EQ(seen.modulesAfterDestroy, 0);
  });
}

TEST(FaultStartup, AspiEntryPointLookupFailures) {
  // The five library names in order, then GetUserDefaultUILanguage, which
  // this Windows 98 lacks anyway (the registry answers).
  Sweep(Route::Aspi, Api::GetProcAddress, 6, kNothing, kCreate, [](int n, const Observed& seen) {
    if (n <= 2) {
      // A required entry point missing: no transport, the library stays loaded.
      EXPECT_EQ(seen.transport, tpNone);
      EXPECT_EQ(seen.shown, kNoDrive);
      EXPECT_EQ(seen.modulesAfterDestroy, 1);
    } else {
      EXPECT_EQ(seen.transport, tpAspi);
      EXPECT_EQ(seen.shown, Baseline(Route::Aspi));
    }
  });
}

TEST(FaultStartup, AspiRequestFailuresEndInTheStatesTheFailedRequestExplains) {
  // One rescan, 64 device-type queries (0:1:0 is the 9th), INQUIRY, disk
  // information, GET CONFIGURATION, MODE SENSE.
  Sweep(Route::Aspi, Api::SendASPI32Command, 1 + 64 + 4, kNothing, kCreate,
        [](int n, const Observed& seen) {
          EXPECT_EQ(seen.transport, tpAspi);
          if (n == 1 + 9)
            EXPECT_EQ(seen.shown, kNoDrive);
          else if (n <= 65)
            EXPECT_EQ(seen.shown, Baseline(Route::Aspi));
          else if (n == 66)
            EXPECT_EQ(seen.shown, Asked(Unidentified("0:1:0", "E")));
          else if (n == 67)
            EXPECT_EQ(seen.shown, Asked("0:1:0 ACME     DVD-RW X1        1.0  (:)"));
          else if (n == 68)
            EXPECT_EQ(seen.shown, CdListShown(Route::Aspi));
          else
            EXPECT_EQ(seen.shown, NoSelection(Route::Aspi));
        });
}

TEST(FaultStartup, AspiEventCreationFailuresSendNothingForThatCommand) {
  // INQUIRY, GET CONFIGURATION, MODE SENSE.
  SweepShown(Route::Aspi, Api::CreateEventA, kNothing, kCreate,
             {Asked(Unidentified("0:1:0", "E")), CdListShown(Route::Aspi),
              NoSelection(Route::Aspi)});
}

TEST(FaultStartup, AspiRegistryFailuresKeepEnglishOrAskOrShowTheReadError) {
  // The language key first (Windows 98 reads it from the registry), then
  // the speed list's key.
  SweepShown(Route::Aspi, Api::RegOpenKeyExA, kNothing, kCreate,
             {Baseline(Route::Aspi), Asked(kAspiName)});
  SweepShown(Route::Aspi, Api::RegQueryValueExA, kNothing, kCreate,
             {Baseline(Route::Aspi), Baseline(Route::Aspi), Asked(kAspiName),
              ReadFailed(kAspiName)});
}

TEST(FaultStartup, LanguageLookupFailuresFallBackToEnglish) {
  for (Route route : {Route::Spti, Route::Aspi}) {
    for (Api api : {Api::RegOpenKeyExA, Api::RegQueryValueExA}) {
      // Only the first call of each is the language's; later ones are the store's.
      SetUpMachine(route);
      FakeView view;
      TForm1 form(view);
      winsim::machine().kernel32HasGetUserDefaultUILanguage = false;
      winsim::ArmFailure({api}, 1);
      form.FormCreate();
      winsim::DisarmFailure();
      EXPECT_EQ(view.clientwidth, 413) << winsim::ApiName(api);
      EXPECT_EQ(detectprompt.size(), 83u);
      form.FormDestroy();
      EXPECT_TRUE(winsim::NothingOpen());
    }
  }
}

// ---- Actions after a clean start-up ----

Step WithChoice(int index) {
  return [index](TForm1& form, FakeView& view) {
    form.FormCreate();
    view.speeds.index = index;  // the user's pick
  };
}
const Step kRefresh = [](TForm1& form, FakeView&) { form.cbdriveChange(); };
const Step kChoose = [](TForm1& form, FakeView&) { form.cbvelChange(); };
const Step kDetect = [](TForm1& form, FakeView&) { form.btdetectClick(); };
const Step kLoad = [](TForm1& form, FakeView&) { form.btloadClick(); };
const Step kEject = [](TForm1& form, FakeView&) { form.btejectClick(); };

// The device calls of one drive object per command: on pass-through a
// search (address query) precedes the commands of each object.
struct DeviceCalls {
  Api api;
  int count;
};

std::vector<DeviceCalls> DeviceApis(Route route, int objects, int commands) {
  if (route == Route::Spti)
    return {{Api::CreateFileA, 2 * objects}, {Api::DeviceIoControl, objects + commands}};
  return {{Api::CreateEventA, commands}, {Api::SendASPI32Command, commands}};
}

// Where the n-th call of api falls, on this route, when every drive object
// issues the given numbers of commands: the object (0-based), and the call
// within it (0 for the search on pass-through); -1 for both past the last.
struct Position {
  int object, call;
};

Position PositionOf(Route route, Api api, int n, const std::vector<int>& commandsPerObject) {
  int first = 1;
  for (size_t k = 0; k < commandsPerObject.size(); ++k) {
    const int commands = commandsPerObject[k];
    const int calls =
        api == Api::CreateFileA ? 2 : (route == Route::Spti ? 1 + commands : commands);
    if (n < first + calls) return {static_cast<int>(k), n - first + (route == Route::Spti ? 0 : 1)};
    first += calls;
  }
  return {-1, -1};
}

class FaultAction : public ::testing::TestWithParam<Route> {};

TEST_P(FaultAction, RefreshDeviceFailuresLoseOnlyTheClassOrTheCurrentSpeed) {
  const Route route = GetParam();
  for (const DeviceCalls& calls : DeviceApis(route, 2, 2)) {
    Sweep(route, calls.api, calls.count, kCreate, kRefresh,
          [route, calls](int n, const Observed& seen) {
            const int object = PositionOf(route, calls.api, n, {1, 1}).object;
            EXPECT_EQ(seen.shown, object == 0 ? CdListShown(route) : NoSelection(route));
            for (const auto& command : seen.commands) EXPECT_NE(command.substr(0, 2), "BB");
          });
  }
}

TEST_P(FaultAction, RefreshRegistryFailuresAskOrShowTheReadError) {
  const Route route = GetParam();
  SweepShown(route, Api::RegOpenKeyExA, kCreate, kRefresh, {Asked(NameOf(route))});
  Sweep(route, Api::RegQueryValueExA, 2, kCreate, kRefresh, [route](int n, const Observed& seen) {
    EXPECT_EQ(seen.shown, n == 1 ? Asked(NameOf(route)) : ReadFailed(NameOf(route)));
    EXPECT_EQ(seen.dvdList, Text(kOldDvdList));
    EXPECT_EQ(seen.cdList, Text(kCdList));
  });
}

TEST_P(FaultAction, ChoiceDeviceFailuresSendTheOtherListsFieldOrNothing) {
  const Route route = GetParam();
  // Entry 1 is 16x: field 2 of the DVD list, 22160 (5690h); of the CD list 7056 (1B90h).
  for (const DeviceCalls& calls : DeviceApis(route, 1, 2)) {
    Sweep(route, calls.api, calls.count, WithChoice(1), kChoose,
          [route, calls](int n, const Observed& seen) {
            const int call = PositionOf(route, calls.api, n, {2}).call;
            std::vector<std::string> expected;
            // A command whose call failed never reaches the drive.
            if (calls.api != Api::CreateFileA && call == 1)  // the class read failed
              expected = {"BB:1B:90:00"};
            else if (calls.api != Api::CreateFileA && call == 2)  // the set-speed call failed
              expected = {"46:00:00:00"};
            EXPECT_EQ(seen.commands, expected);
            EXPECT_TRUE(seen.shown.errors.empty());
            EXPECT_EQ(seen.dvdList, Text(kOldDvdList));
          });
  }
}

TEST_P(FaultAction, ChoiceRegistryFailuresShowTheErrorAndSendNothing) {
  const Route route = GetParam();
  Sweep(route, Api::RegOpenKeyExA, 1, WithChoice(1), kChoose, [](int, const Observed& seen) {
    // No list read: field 2 of the empty text is empty.
    EXPECT_EQ(seen.shown.errors, std::vector<std::string>{"'' is not a valid integer value."});
    EXPECT_EQ(seen.commands, std::vector<std::string>{"46:00:00:00"});
  });
  Sweep(route, Api::RegQueryValueExA, 2, WithChoice(1), kChoose,
        [route](int n, const Observed& seen) {
          const std::string error = n == 1 ? "'' is not a valid integer value."
                                           : "Failed to get data for '" + NameOf(route) + " DVD'";
          EXPECT_EQ(seen.shown.errors, std::vector<std::string>{error});
          EXPECT_EQ(seen.commands, std::vector<std::string>{"46:00:00:00"});
        });
}

// Detection: GET CONFIGURATION, the first MODE SENSE, 93 pairs, the final
// set-speed (one object); then the refresh's two objects.
const std::vector<int> kDetectionObjects{1 + 1 + 2 * 93 + 1, 1, 1};

bool WellFormedList(const std::string& stored) {
  const std::string prefix = "65535,";
  if (stored.size() < prefix.size() + 1 || stored.compare(0, prefix.size(), prefix) != 0 ||
      stored.back() != '\0')
    return false;
  std::vector<std::string> seen;
  std::string field;
  for (size_t i = prefix.size(); i < stored.size(); ++i) {
    if (stored[i] == ',' || stored[i] == '\0') {
      const bool known = field == "0" || field == "22160" || field == "16620" ||
                         field == "11080" || field == "5540";
      for (const auto& s : seen)
        if (s == field) return false;
      if (!known) return false;
      seen.push_back(field);
      field.clear();
    } else {
      field += stored[i];
    }
  }
  return true;
}

TEST_P(FaultAction, DetectionDeviceFailuresStoreAWellFormedListUnderTheClassRead) {
  const Route route = GetParam();
  for (const DeviceCalls& calls : DeviceApis(route, 3, 1 + 1 + 186 + 1 + 2)) {
    Sweep(route, calls.api, calls.count, kCreate, kDetect,
          [route, calls](int n, const Observed& seen) {
            const auto [object, call] = PositionOf(route, calls.api, n, kDetectionObjects);
            const bool lostDrive = object == 0 && (calls.api == Api::CreateFileA || call == 0);
            if (lostDrive) {
              // The drive object has no transport: class 2 and the single speed 0.
              EXPECT_EQ(seen.cdList, Text("65535,0"));
              EXPECT_EQ(seen.dvdList, Text(kOldDvdList));
              EXPECT_EQ(seen.shown, Baseline(route));
            } else if (object == 0 && call == 1) {
              // The class read failed: the new list lands under the CD name.
              EXPECT_EQ(seen.cdList, Text(kNewDvdList));
              EXPECT_EQ(seen.dvdList, Text(kOldDvdList));
              EXPECT_EQ(seen.shown, Baseline(route));
            } else if (object == 0 && (call == 2 || call == 189)) {
              // The speed to return to was not read (0 is asked for, the
              // drive settles on its lowest), or that last request failed
              // (the drive stays on the last probe's, its lowest).
              EXPECT_EQ(seen.dvdList, Text(kNewDvdList));
              EXPECT_EQ(seen.shown, Listed(NameOf(route), kNewDvdEntries, 4));
            } else if (object == 0) {
              EXPECT_EQ(seen.cdList, Text(kCdList));
              EXPECT_TRUE(WellFormedList(seen.dvdList)) << seen.dvdList;
              // A failed read-back records 0; a failed request leaves the
              // drive where it was, which is already in the list.
              const bool readBack = call >= 4 && call % 2 == 0 && call <= 188;
              EXPECT_EQ(seen.dvdList.find(",0,") != std::string::npos ||
                            seen.dvdList.find(",0\0", 0, 3) != std::string::npos,
                        readBack)
                  << seen.dvdList;
              EXPECT_EQ(seen.shown.questions, 0);
              EXPECT_TRUE(seen.shown.errors.empty());
            } else {
              EXPECT_EQ(seen.dvdList, Text(kNewDvdList));
              EXPECT_EQ(seen.shown, object == 1 ? CdListShown(route)
                                                : Listed(NameOf(route), kNewDvdEntries, -1));
            }
          });
  }
}

TEST_P(FaultAction, DetectionRegistryFailuresKeepTheStoredListIntact) {
  const Route route = GetParam();
  // The key cannot be created: nothing stored, nothing said, the old list shown.
  Sweep(route, Api::RegCreateKeyExA, 1, kCreate, kDetect, [route](int, const Observed& seen) {
    EXPECT_EQ(seen.dvdList, Text(kOldDvdList));
    EXPECT_EQ(seen.shown, Baseline(route));
  });
  // The value cannot be set: the error ends the handler before the refresh.
  Sweep(route, Api::RegSetValueExA, 1, kCreate, kDetect, [route](int, const Observed& seen) {
    EXPECT_EQ(seen.dvdList, Text(kOldDvdList));
    Shown expected = Baseline(route);
    expected.errors = {"Failed to set data for '" + NameOf(route) + " DVD'"};
    EXPECT_EQ(seen.shown, expected);
  });
  // The refresh after the write cannot read it back.
  Sweep(route, Api::RegOpenKeyExA, 1, kCreate, kDetect, [route](int, const Observed& seen) {
    EXPECT_EQ(seen.dvdList, Text(kNewDvdList));
    EXPECT_EQ(seen.shown, Asked(NameOf(route)));
  });
  Sweep(route, Api::RegQueryValueExA, 2, kCreate, kDetect, [route](int n, const Observed& seen) {
    EXPECT_EQ(seen.dvdList, Text(kNewDvdList));
    EXPECT_EQ(seen.shown, n == 1 ? Asked(NameOf(route)) : ReadFailed(NameOf(route)));
  });
}

TEST_P(FaultAction, TrayFailuresSendNothingAndShowNothing) {
  const Route route = GetParam();
  for (const Step& action : {kLoad, kEject}) {
    for (const DeviceCalls& calls : DeviceApis(route, 1, 1)) {
      Sweep(route, calls.api, calls.count, kCreate, action, [](int, const Observed& seen) {
        EXPECT_TRUE(seen.commands.empty());
        EXPECT_EQ(seen.shown.errors.size(), 0u);
      });
    }
  }
}

// The address's mutex guards against a second program; when it cannot be
// created, waited for or given back, each action still does exactly what it
// does with it, and leaves nothing open.
TEST_P(FaultAction, DriveMutexFailuresChangeNothingTheUserSeesOrTheDriveGets) {
  const Route route = GetParam();
  const struct {
    const char* name;
    Step prepare, action;
    int objects;  // drive objects the action makes
  } actions[] = {{"start-up", kNothing, kCreate, 3},  {"refresh", kCreate, kRefresh, 2},
                 {"choice", WithChoice(1), kChoose, 1}, {"detection", kCreate, kDetect, 3},
                 {"load", kCreate, kLoad, 1},           {"eject", kCreate, kEject, 1}};
  // Every wait on pass-through is a mutex's; on ASPI most are the commands'.
  std::vector<Api> apis{Api::CreateMutexA, Api::ReleaseMutex};
  if (route == Route::Spti) apis.push_back(Api::WaitForSingleObject);
  for (const auto& a : actions) {
    SCOPED_TRACE(a.name);
    const Observed clean = RunOnce(route, Api::CreateMutexA, 0, a.prepare, a.action);
    for (Api api : apis)
      Sweep(route, api, a.objects, a.prepare, a.action, [&clean](int, const Observed& seen) {
        EXPECT_EQ(seen.shown, clean.shown);
        EXPECT_EQ(seen.commands, clean.commands);
        EXPECT_EQ(seen.dvdList, clean.dvdList);
        EXPECT_EQ(seen.cdList, clean.cdList);
      });
  }
}

TEST_P(FaultAction, CleanRunsShowTheStoredListSendTheChoiceAndStoreTheDetection) {
  const Route route = GetParam();
  Observed seen = RunOnce(route, Api::CreateFileA, 0, kNothing, kCreate);
  EXPECT_EQ(seen.transport, route == Route::Spti ? tpSpti : tpAspi);
  EXPECT_EQ(seen.shown, Baseline(route));
  EXPECT_EQ(seen.commands, (std::vector<std::string>{"12:00:00:24", "46:00:00:00", "5A:2A:00:00"}));

  seen = RunOnce(route, Api::CreateFileA, 0, WithChoice(1), kChoose);
  EXPECT_EQ(seen.commands, (std::vector<std::string>{"46:00:00:00", "BB:56:90:00"}));
  EXPECT_TRUE(seen.shown.errors.empty());

  seen = RunOnce(route, Api::CreateFileA, 0, kCreate, kDetect);
  EXPECT_EQ(seen.dvdList, Text(kNewDvdList));
  EXPECT_EQ(seen.cdList, Text(kCdList));
  EXPECT_EQ(seen.shown, Listed(NameOf(route), kNewDvdEntries, 2));
  EXPECT_EQ(seen.commands.size(), 1u + 188u + 2u);

  seen = RunOnce(route, Api::CreateFileA, 0, kCreate, kLoad);
  EXPECT_EQ(seen.commands, std::vector<std::string>{"1B:00:00:03"});
  seen = RunOnce(route, Api::CreateFileA, 0, kCreate, kEject);
  EXPECT_EQ(seen.commands, std::vector<std::string>{"1B:00:00:02"});
}

TEST_P(FaultAction, ShutDownReleasesTheLibraryOnlyOnAspi) {
  const Route route = GetParam();
  winsim::Machine& m = winsim::machine();
  SetUpMachine(route);
  FakeView view;
  TForm1 form(view);
  form.FormCreate();
  const auto before = m.count.calls;
  form.FormDestroy();
  int calls = 0;
  for (size_t i = 0; i < before.size(); ++i) calls += m.count.calls[i] - before[i];
  // Windows 98 with the ASPI library: FreeLibrary alone; pass-through: nothing.
  EXPECT_EQ(calls, route == Route::Aspi ? 1 : 0);
  EXPECT_EQ(m.count.loadedModules, 0);
  EXPECT_TRUE(cddrives.empty());
  EXPECT_TRUE(winsim::NothingOpen());
}

TEST(FaultShutDown, AFailedLibraryReleaseEmptiesTheInventoryAndIsNotRepeated) {
  SetUpMachine(Route::Aspi);
  winsim::Machine& m = winsim::machine();
  FakeView view;
  TForm1 form(view);
  form.FormCreate();
  winsim::ArmFailure({Api::FreeLibrary}, 1);
  form.FormDestroy();
  winsim::DisarmFailure();
  EXPECT_TRUE(cddrives.empty());
  EXPECT_TRUE(winsim::NothingOpen());
  EXPECT_EQ(m.count.loadedModules, 1);  // the system kept it
  // A second shut-down must not release a module it no longer owns.
  form.FormDestroy();
  EXPECT_EQ(m.count.calls[static_cast<size_t>(Api::FreeLibrary)], 1);
  EXPECT_TRUE(m.misuse.empty());
}

INSTANTIATE_TEST_SUITE_P(BothTransports, FaultAction, ::testing::Values(Route::Spti, Route::Aspi),
                         [](const ::testing::TestParamInfo<Route>& info) {
                           return info.param == Route::Spti ? "PassThrough" : "Aspi";
                         });

}  // namespace
