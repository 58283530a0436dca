// Shared set-up for the device-layer and drive tests: a fresh simulated
// machine and fresh program state for every test, and a check that nothing
// a test did left a handle, event, key or SID open or misused a call.
#pragma once

#include <gtest/gtest.h>
#include <winsim.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "drive/tcddrive.h"
#include "scsi/aspispti.h"
#include "scsi/wnaspi32.h"

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { Fresh(); }
  void TearDown() override {
    EXPECT_TRUE(winsim::NothingOpen());
    EXPECT_FALSE(M().deadlock);
    for (const std::string& what : M().misuse) ADD_FAILURE() << "misuse: " << what;
    ForgetProgramState();
  }

  // A fresh machine and program state: for each test, and each case of a table.
  static void Fresh() {
    winsim::Reset();
    ForgetProgramState();
  }
  static void ForgetProgramState() {
    activetransport = tpAspi;  // the value before InitAspiSpti runs
    cddrives.clear();
    ForgetAspi();
  }

  static winsim::Machine& M() { return winsim::machine(); }
  static int Calls(winsim::Api api) { return M().count.calls[static_cast<size_t>(api)]; }
  static void FailAlways(winsim::Api api) { M().failAlways[static_cast<size_t>(api)] = true; }

  static void UseSpti() { activetransport = tpSpti; }
  static void UseAspi() {
    M().aspiPresent = true;
    ASSERT_TRUE(LoadAspi());
    activetransport = tpAspi;
  }
  // NT, not an administrator, library present: InitAspiSpti(tpAuto) picks ASPI.
  static void AspiForNonAdministrator() {
    M().token.member = false;
    M().aspiPresent = true;
  }

  static simdrive::Drive& DeviceDrive(size_t index) { return M().devices[index]->drive; }
  static simdrive::Drive& AspiDrive(size_t index) { return *M().aspi.devices[index].drive; }

  // The ASPI requests of one kind (2: execute) the library received, in order.
  static std::vector<aspiwire::Request> AspiRequests(uint8_t cmd = 2) {
    std::vector<aspiwire::Request> requests;
    for (const aspiwire::Request& r : M().aspi.log)
      if (r.cmd == cmd) requests.push_back(r);
    return requests;
  }
};

// Little-endian value into an expected block, as the platform lays it out.
inline void PutLE(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A 16-byte command area holding cdb, with a marker in the bytes behind the
// command that no transport may send.
inline std::vector<uint8_t> CommandArea(const std::vector<uint8_t>& cdb) {
  std::vector<uint8_t> area(cdb.size() < 16 ? 16 : cdb.size(), 0xEE);
  std::copy(cdb.begin(), cdb.end(), area.begin());
  return area;
}
