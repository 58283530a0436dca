// Owners for the system objects the device layer opens, so each is released
// on every path, and typed look-ups of run-time entry points.
#pragma once

#include <windows.h>

#include <utility>

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

// A device opened with CreateFileA; -1 means not opened. Both opens answer a
// plain handle, closed as the pass-through unit's CloseDevice closes it.
struct DeviceTraits {
  using value_type = HANDLE;
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE handle) { CloseHandle(handle); }
};
using unique_device = unique_winobject<DeviceTraits>;

// Events, access tokens and mutexes, which answer null on failure.
struct KernelHandleTraits {
  using value_type = HANDLE;
  static HANDLE invalid() { return nullptr; }
  static void close(HANDLE handle) { CloseHandle(handle); }
};
using unique_event = unique_winobject<KernelHandleTraits>;
using unique_token = unique_winobject<KernelHandleTraits>;

// Ownership of a named mutex for the owner's lifetime: created or opened by
// name and waited for as long as another holds it; an owner that ended
// holding it left it abandoned, and it is taken over. When the mutex cannot
// be created or waited for, the owner holds nothing and the work goes on
// unguarded, as it did before there was a mutex.
class mutex_ownership {
 public:
  explicit mutex_ownership(const char* name) : handle_(CreateMutexA(nullptr, FALSE, name)) {
    if (!handle_) return;
    const DWORD waited = WaitForSingleObject(handle_.get(), INFINITE);
    owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  ~mutex_ownership() {
    if (owned_) ReleaseMutex(handle_.get());
  }
  mutex_ownership(const mutex_ownership&) = delete;
  mutex_ownership& operator=(const mutex_ownership&) = delete;

 private:
  unique_winobject<KernelHandleTraits> handle_;
  bool owned_ = false;
};

// Registry keys, which answer null when not opened.
struct KeyTraits {
  using value_type = HKEY;
  static HKEY invalid() { return nullptr; }
  static void close(HKEY key) { RegCloseKey(key); }
};
using unique_key = unique_winobject<KeyTraits>;

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
