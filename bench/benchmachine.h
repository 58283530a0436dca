// Simulated machines for the benchmarks: n drives on pass-through (an XP
// administrator) or on ASPI (Windows 98), a DVD loaded in each, a stored
// list for each drive, and the window's logic over the tests' plain view.
#pragma once

#include <windows.h>
#include <winsim.h>

#include <string>
#include <vector>

#include "scsi/aspispti.h"
#include "tests/fakeview.h"
#include "ui/Unit1.h"

namespace bench {

enum class Route { Spti, Aspi };

inline const char* RouteName(Route route) { return route == Route::Spti ? "spti" : "aspi"; }

using View = RecordingView;  // says No to every question

constexpr const char* kStore = "Software\\Orun\\Kelvarin";

// Drive i sits at a distinct address; the first 23 get the letters D to Z.
inline void SetUpMachine(Route route, int drives) {
  winsim::Reset();
  winsim::Machine& m = winsim::machine();
  if (route == Route::Aspi) {
    winsim::SetNonNT();
    m.aspiPresent = true;
  }
  for (int i = 0; i < drives; ++i) {
    const auto a = static_cast<uint8_t>(i / 64), t = static_cast<uint8_t>(i / 8 % 8),
               l = static_cast<uint8_t>(i % 8);
    simdrive::Drive* drive;
    if (route == Route::Spti) {
      const size_t d = winsim::AddCdRom(i, static_cast<uint8_t>(a + 1), t, l,
                                        i < 23 ? static_cast<char>('D' + i) : 0);
      drive = &m.devices[d]->drive;
    } else {
      winsim::AddAspiDrive(a, t, l, i < 23 ? static_cast<uint8_t>(3 + i) : 0xFF);
      drive = &m.aspiDevices.back()->drive;
    }
    drive->profile = simdrive::kDvdRom;
    drive->currentSpeed = 16620;
  }
}

// Creates the window once to learn the drives' lines, stores a list for
// each, and leaves the window created with the last drive selected (the one
// a pass-through search reaches last).
inline void StoreListsAndSelectLast(TForm1& form, View& view) {
  form.FormCreate();
  for (const tcddriveinfo& info : cddrives)
    winsim::SetString(HKEY_CURRENT_USER, kStore, info.description + " DVD",
                      "65535,22160,16620,11080,5540");
  view.drives.index = view.drives.Count() - 1;
  form.cbdriveChange();
}

inline int TotalCalls() {
  int total = 0;
  for (int c : winsim::machine().count.calls) total += c;
  return total;
}

}  // namespace bench
