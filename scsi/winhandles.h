// Owners for the system objects the device layer opens, so each is released
// on every path, and typed look-ups of run-time entry points.
#pragma once

#include <windows.h>

#include <utility>

#include "scsi/uspti.h"

template <typename Traits>
class unique_winobject {
 public:
  using value_type = typename Traits::value_type;

  unique_winobject() : value_(Traits::invalid()) {}
  explicit unique_winobject(value_type value) : value_(value) {}
  ~unique_winobject() { reset(); }
  unique_winobject(const unique_winobject&) = delete;
  unique_winobject& operator=(const unique_winobject&) = delete;
  unique_winobject(unique_winobject&& other) noexcept : value_(other.release()) {}
  unique_winobject& operator=(unique_winobject&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  value_type get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::invalid(); }

  value_type release() { return std::exchange(value_, Traits::invalid()); }
  void reset(value_type value = Traits::invalid()) {
    value_type old = std::exchange(value_, value);
    if (old != Traits::invalid()) Traits::close(old);
  }

 private:
  value_type value_;
};

// A device opened with CreateFileA; -1 means not opened.
struct DeviceTraits {
  using value_type = HANDLE;
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE handle) { CloseDevice(handle); }
};
using unique_device = unique_winobject<DeviceTraits>;

// Events and access tokens, which answer null on failure.
struct KernelHandleTraits {
  using value_type = HANDLE;
  static HANDLE invalid() { return nullptr; }
  static void close(HANDLE handle) { CloseHandle(handle); }
};
using unique_event = unique_winobject<KernelHandleTraits>;
using unique_token = unique_winobject<KernelHandleTraits>;

struct SidTraits {
  using value_type = PSID;
  static PSID invalid() { return nullptr; }
  static void close(PSID sid) { FreeSid(sid); }
};
using unique_sid = unique_winobject<SidTraits>;

// GetProcAddress answers a generic FARPROC; the caller names the real type
// with decltype of the entry point's declaration. Going through void(*)()
// is the conversion the compiler accepts between unrelated function types.
template <typename Fn>
Fn ProcAddress(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
