#include <algorithm>

#include "drive/tcddrive.h"

namespace {

// kB/s per step of each ladder; the CD unit is the integer 177, not 176.4.
constexpr uint16_t kDvdUnit = 1385;
constexpr uint16_t kCdUnit = 177;

void Record(tdynwordarray& list, uint16_t speed) {
  if (std::find(list.begin(), list.end(), speed) == list.end()) list.push_back(speed);
}

}  // namespace

// Every probe is made whatever the drive answers; what it settles on is the
// only thing that counts.
void tcddrive::DetectSpeeds(tdynwordarray& list) {
  list.clear();
  const uint16_t saved = GetCurrentSpeed();
  for (unsigned step = 47; step >= 7; --step) {
    SetSpeed(static_cast<uint16_t>(step * kDvdUnit));
    Record(list, GetCurrentSpeed());
  }
  for (unsigned step = 52; step >= 1; --step) {
    SetSpeed(static_cast<uint16_t>(step * kCdUnit));
    Record(list, GetCurrentSpeed());
  }
  SetSpeed(saved);
}
