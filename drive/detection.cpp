#include <algorithm>

#include "drive/mmc.h"
#include "drive/tcddrive.h"

namespace {

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
    SetSpeed(static_cast<uint16_t>(step * mmc::kDvdSpeedStep));
    Record(list, GetCurrentSpeed());
  }
  for (unsigned step = 52; step >= 1; --step) {
    SetSpeed(static_cast<uint16_t>(step * mmc::kCdLadderStep));
    Record(list, GetCurrentSpeed());
  }
  SetSpeed(saved);
}
