// Platform calls and device commands of each window action, one drive on
// each transport, against the fewest the action's algorithm can make.
// Prints a Markdown table; exits 1 when an action exceeds its minimum.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench/benchmachine.h"

namespace {

using bench::Route;

// The fewest calls, from the algorithms. Every drive object takes its
// address's mutex (create, wait) and gives it back (release, close).
// Pass-through: a drive object finds device 0 at once (open, address query,
// close) and opens it (open, close); each command is one control call.
// ASPI: each command creates, resets, sends, waits for and closes one
// event. A store read opens the key, asks for the size, reads, closes; a
// write creates, sets, closes.
struct Minimum {
  int calls;
  int commands;
};

constexpr int kDriveMutex = 4;
int DriveObject(Route route, int commands) {
  return kDriveMutex + (route == Route::Spti ? 5 + commands : 5 * commands);
}
constexpr int kRead = 4;
constexpr int kWrite = 3;
int Refresh(Route route) { return 2 * DriveObject(route, 1) + kRead; }

Minimum MinimumFor(const std::string& action, Route route) {
  const bool spti = route == Route::Spti;
  if (action == "start-up") {
    // Pass-through: IsWinNT and IsAdmin (platform, SID, version, module,
    // entry point, membership, free) twice; 256 opens, one address query
    // and close; INQUIRY on a drive object; the letter search to D (version,
    // 4 drive types, open, address, close); the language entry point (3).
    // ASPI: IsWinNT; the elevation question (a token open, which Windows 98
    // refuses); the library and its 5 entry points; the adapter count and one
    // rescan; the count and 64 device-type queries; INQUIRY; the letter
    // (version, one query); the language (3).
    const int calls = spti ? 2 * 8 + (256 + 2) + DriveObject(route, 1) + 8 + 3
                           : 1 + 1 + 6 + 2 + 65 + DriveObject(route, 1) + 2 + 3;
    return {calls + Refresh(route), 3};
  }
  if (action == "refresh") return {Refresh(route), 2};
  if (action == "choice") return {DriveObject(route, 2) + kRead, 2};
  if (action == "detection")
    return {DriveObject(route, 1 + 188) + kWrite + Refresh(route), 1 + 188 + 2};
  if (action == "load" || action == "eject") return {DriveObject(route, 1), 1};
  return {spti ? 0 : 1, 0};  // shut-down: the library is released
}

struct Row {
  std::string action;
  std::function<void(TForm1&, bench::View&)> run;
  bool fresh;  // the action starts before the window exists
};

std::string Breakdown(const winsim::Counters& before) {
  const winsim::Counters& after = winsim::machine().count;
  std::string out;
  for (size_t i = 0; i < after.calls.size(); ++i) {
    const int n = after.calls[i] - before.calls[i];
    if (n == 0) continue;
    if (!out.empty()) out += ", ";
    out += winsim::ApiName(static_cast<winsim::Api>(i));
    out += " " + std::to_string(n);
  }
  return out.empty() ? "none" : out;
}

}  // namespace

int main() {
  const std::vector<Row> rows = {
      {"start-up", [](TForm1& f, bench::View&) { f.FormCreate(); }, true},
      {"refresh", [](TForm1& f, bench::View&) { f.cbdriveChange(); }, false},
      {"choice",
       [](TForm1& f, bench::View& v) {
         v.speeds.index = 1;
         f.cbvelChange();
       },
       false},
      {"detection", [](TForm1& f, bench::View&) { f.btdetectClick(); }, false},
      {"load", [](TForm1& f, bench::View&) { f.btloadClick(); }, false},
      {"eject", [](TForm1& f, bench::View&) { f.btejectClick(); }, false},
      {"shut-down", [](TForm1& f, bench::View&) { f.FormDestroy(); }, false},
  };
  bool withinMinimum = true;
  std::printf("| Action | Transport | Platform calls | Minimum | Device commands | Minimum | Calls made |\n");
  std::printf("|---|---|---:|---:|---:|---:|---|\n");
  for (const Row& row : rows) {
    for (Route route : {Route::Spti, Route::Aspi}) {
      bench::SetUpMachine(route, 1);
      bench::View view;
      TForm1 form(view);
      bench::StoreListsAndSelectLast(form, view);
      if (row.fresh) form.FormDestroy();
      winsim::Machine& m = winsim::machine();
      const winsim::Counters before = m.count;
      const size_t commands = m.commands.size();
      row.run(form, view);
      const int calls = bench::TotalCalls() - [&] {
        int t = 0;
        for (int c : before.calls) t += c;
        return t;
      }();
      const int sent = static_cast<int>(m.commands.size() - commands);
      const Minimum least = MinimumFor(row.action, route);
      withinMinimum = withinMinimum && calls <= least.calls && sent <= least.commands;
      std::printf("| %s | %s | %d | %d | %d | %d | %s |\n", row.action.c_str(),
                  bench::RouteName(route), calls, least.calls, sent, least.commands,
                  Breakdown(before).c_str());
      if (row.action != "shut-down") form.FormDestroy();
    }
  }
  return withinMinimum ? 0 : 1;
}
