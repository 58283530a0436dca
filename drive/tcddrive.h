// One CD/DVD drive, opened for the span of one action. While it exists no
// other drive object for the same address, in this program or another one of
// the session, sends commands: each holds the address's named mutex.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scsi/transport.h"
#include "scsi/winhandles.h"

typedef std::vector<uint16_t> tdynwordarray;

class tcddrive {
 public:
  tcddrive(uint8_t adapter, uint8_t target, uint8_t lun);
  ~tcddrive();
  tcddrive(const tcddrive&) = delete;
  tcddrive& operator=(const tcddrive&) = delete;

  bool ExecCmd(const uint8_t* cdb, uint8_t cdblength, void* buffer, uint32_t bufferlength,
               tdirection direction);
  bool Inquiry(std::string& vendor, std::string& product, std::string& revision);
  bool ModeSense(uint8_t page, void* buffer, uint32_t length);
  uint16_t GetCurrentSpeed();
  bool SetSpeed(uint16_t speed);
  uint16_t GetCurrentProfile();
  uint8_t GetMediaClass();
  bool Eject(uint8_t immediate);
  bool Load(uint8_t immediate);
  void DetectSpeeds(tdynwordarray& list);

  ttransport Transport() const { return transport; }

 private:
  // Taken before the device is opened, released after it is closed.
  std::optional<mutex_ownership> lock;
  ttransport transport;
  uint8_t adapter;
  uint8_t target;
  uint8_t lun;
  HANDLE handle;
};

// Medium classes answered by GetMediaClass.
constexpr uint8_t kMediaCd = 0;
constexpr uint8_t kMediaDvd = 1;
constexpr uint8_t kMediaOther = 2;
uint8_t MediaClassOfProfile(uint16_t profile);
