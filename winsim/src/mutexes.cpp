// Mutexes as Windows keeps them: one object per name in the session, owned
// by one thread at a time with a recursion count, released only by that
// thread, abandoned when it ends holding it, gone with its last handle.
#include <cstring>
#include <string>

#include "internal.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

uint32_t NewMutexKey() {
  static uint32_t next = 0;
  return ++next;
}

// A name may open with a namespace ("Global\" or "Local\"); any other
// backslash names a directory of objects that does not exist.
bool NameHasPath(const std::string& name) {
  std::string rest = name;
  for (const char* prefix : {"Global\\", "Local\\"})
    if (rest.compare(0, std::strlen(prefix), prefix) == 0) {
      rest.erase(0, std::strlen(prefix));
      break;
    }
  return rest.find('\\') != std::string::npos;
}

MutexObject* MutexOf(HANDLE h) {
  Object* o = FindObject(h, Kind::Mutex);
  if (o == nullptr) return nullptr;
  auto it = state().mutexes.find(o->mutex);
  return it == state().mutexes.end() ? nullptr : &it->second;
}

}  // namespace

namespace winsim::detail {

DWORD WaitForMutex(Object& handle, DWORD milliseconds) {
  MutexObject& mutex = state().mutexes.at(handle.mutex);
  const uint32_t thread = machine().thread;
  if (mutex.owner == 0) {
    mutex.owner = thread;
    mutex.count = 1;
    if (mutex.abandoned) {
      mutex.abandoned = false;
      return WAIT_ABANDONED;
    }
    return WAIT_OBJECT_0;
  }
  if (mutex.owner == thread) {
    ++mutex.count;
    return WAIT_OBJECT_0;
  }
  if (milliseconds == INFINITE) {
    // Another thread of this single-threaded model can never release it.
    machine().deadlock = true;
    Misuse("WaitForSingleObject(INFINITE) on a mutex another thread owns");
    return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
  }
  return WAIT_TIMEOUT;
}

void CloseMutexHandle(const Object& handle) {
  auto it = state().mutexes.find(handle.mutex);
  if (it != state().mutexes.end() && --it->second.handles == 0) state().mutexes.erase(it);
  --machine().count.openHandles;
}

}  // namespace winsim::detail

namespace winsim {

void EndThread(uint32_t thread) {
  for (auto& entry : state().mutexes) {
    MutexObject& mutex = entry.second;
    if (mutex.owner != thread) continue;
    mutex.owner = 0;
    mutex.count = 0;
    mutex.abandoned = true;
  }
}

MutexOwnership MutexOwner(const std::string& name) {
  for (const auto& entry : state().mutexes)
    if (!name.empty() && entry.second.name == name) return {entry.second.owner, entry.second.count};
  return {0, 0};
}

}  // namespace winsim

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
  if (Enter(Api::CreateMutexA)) return Fail(ERROR_NOT_ENOUGH_MEMORY, nullptr);
  const std::string text = name != nullptr ? name : "";
  if (text.size() > MAX_PATH) return Fail(ERROR_FILENAME_EXCED_RANGE, nullptr);
  if (NameHasPath(text)) return Fail(ERROR_PATH_NOT_FOUND, nullptr);
  auto& mutexes = state().mutexes;
  uint32_t key = 0;
  if (!text.empty())  // names are compared case-sensitively
    for (const auto& entry : mutexes)
      if (entry.second.name == text) key = entry.first;
  const bool existed = key != 0;
  if (!existed) {
    key = NewMutexKey();
    MutexObject fresh;
    fresh.name = text;
    // The creator alone takes the initial ownership it asks for.
    if (initialOwner) {
      fresh.owner = machine().thread;
      fresh.count = 1;
    }
    mutexes.emplace(key, fresh);
  }
  ++mutexes.at(key).handles;
  Object o{Kind::Mutex};
  o.mutex = key;
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return NewHandle(o);
}

BOOL WINAPI ReleaseMutex(HANDLE h) {
  if (Enter(Api::ReleaseMutex)) return Fail(ERROR_NOT_OWNER, FALSE);
  MutexObject* mutex = MutexOf(h);
  if (mutex == nullptr) {
    Misuse("ReleaseMutex on something that is not an open mutex");
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  }
  if (mutex->owner != machine().thread) return Fail(ERROR_NOT_OWNER, FALSE);
  if (--mutex->count == 0) mutex->owner = 0;
  return TRUE;
}
