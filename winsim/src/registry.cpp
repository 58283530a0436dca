// The registry: HKEY_CURRENT_USER and HKEY_USERS over RegKey trees.
#include <cstring>
#include <stdexcept>
#include <string>

#include "internal.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

constexpr LSTATUS kErrorNoAccess = 998;
constexpr REGSAM kWow64Flags = 0x0300;

RegKey* Root(HKEY h) {
  if (h == HKEY_CURRENT_USER) return &machine().hkcu;
  if (h == HKEY_USERS) return &machine().hku;
  return nullptr;
}

bool IsPredefined(HKEY h) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(h);
  return (v & 0xFFFFFFF0u) == 0x80000000u &&
         (sizeof(void*) == 4 || (static_cast<uint64_t>(v) >> 32) == 0xFFFFFFFFu);
}

// The key behind a handle and the rights it was opened with; null when the
// handle is neither a modelled root nor an open key.
RegKey* Resolve(HKEY h, REGSAM* access) {
  if (RegKey* r = Root(h)) {
    *access = KEY_ALL_ACCESS;
    return r;
  }
  auto it = state().keys.find(reinterpret_cast<uintptr_t>(h));
  if (it == state().keys.end()) return nullptr;
  *access = it->second.access;
  return it->second.key;
}

template <typename Map>
auto FindNoCase(Map& map, const std::string& name) -> decltype(map.begin()) {
  for (auto it = map.begin(); it != map.end(); ++it)
    if (EqualNoCase(it->first, name)) return it;
  return map.end();
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty() || parts.empty()) parts.push_back(part);
  if (parts.size() == 1 && parts[0].empty()) parts.clear();
  return parts;
}

// Rights beyond reading, which a refuseAllAccess key denies.
bool AsksMoreThanRead(REGSAM sam) { return (sam & ~(KEY_READ | kWow64Flags)) != 0; }

HKEY NewKeyHandle(RegKey* key, REGSAM sam) {
  const uintptr_t v = NewHandleValue();
  state().keys.emplace(v, OpenKey{key, sam});
  ++machine().count.openKeys;
  return reinterpret_cast<HKEY>(v);
}

// Walks (and with create, builds) the path below base. Returns the status;
// on success *found is the key and *created tells whether any key was made.
LSTATUS Walk(RegKey* base, LPCSTR subKey, bool create, RegKey** found, bool* created) {
  *created = false;
  const std::string path = subKey ? subKey : "";
  if (!path.empty() && path[0] == '\\') return ERROR_BAD_PATHNAME;
  RegKey* key = base;
  for (const std::string& part : SplitPath(path)) {
    if (part.empty()) return ERROR_BAD_PATHNAME;
    auto it = FindNoCase(key->subkeys, part);
    if (it != key->subkeys.end()) {
      key = it->second.get();
      continue;
    }
    if (!create) return ERROR_FILE_NOT_FOUND;
    if (key->refuseAllAccess) return ERROR_ACCESS_DENIED;
    auto made = key->subkeys.emplace(part, std::make_unique<RegKey>());
    key = made.first->second.get();
    *created = true;
  }
  *found = key;
  return ERROR_SUCCESS;
}

LSTATUS OpenOrCreate(HKEY h, LPCSTR subKey, REGSAM sam, bool create, PHKEY result,
                     LPDWORD disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  REGSAM baseAccess = 0;
  RegKey* base = Resolve(h, &baseAccess);
  if (base == nullptr) {
    if (IsPredefined(h)) return create ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    return ERROR_INVALID_HANDLE;
  }
  RegKey* key = nullptr;
  bool created = false;
  const LSTATUS status = Walk(base, subKey, create, &key, &created);
  if (status != ERROR_SUCCESS) return status;
  if (key->refuseAllAccess && AsksMoreThanRead(sam)) return ERROR_ACCESS_DENIED;
  if (disposition != nullptr)
    *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  // The predefined roots open as themselves and are never counted.
  if (Root(h) != nullptr && key == base) {
    *result = h;
    return ERROR_SUCCESS;
  }
  *result = NewKeyHandle(key, sam);
  return ERROR_SUCCESS;
}

std::string ValueName(LPCSTR name) { return name ? name : ""; }

// Replaces the value of that name, matched without case, or adds it.
void PutValue(RegKey& key, const std::string& name, const RegValue& v) {
  auto it = FindNoCase(key.values, name);
  if (it != key.values.end())
    it->second = v;
  else
    key.values.emplace(name, v);
}

RegKey* TestRoot(HKEY root) {
  RegKey* r = Root(root);
  if (r == nullptr) throw std::invalid_argument("winsim models HKEY_CURRENT_USER and HKEY_USERS");
  return r;
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY h, LPCSTR subKey, DWORD options, REGSAM sam, PHKEY result) {
  if (Enter(Api::RegOpenKeyExA)) return ERROR_ACCESS_DENIED;
  if (options != 0) Misuse("RegOpenKeyExA with options");
  return OpenOrCreate(h, subKey, sam, false, result, nullptr);
}

LSTATUS WINAPI RegCreateKeyExA(HKEY h, LPCSTR subKey, DWORD, LPSTR, DWORD options, REGSAM sam,
                               const LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
  if (Enter(Api::RegCreateKeyExA)) return ERROR_ACCESS_DENIED;
  if (options != REG_OPTION_NON_VOLATILE) Misuse("RegCreateKeyExA with a volatile or other option");
  return OpenOrCreate(h, subKey, sam, true, result, disposition);
}

LSTATUS WINAPI RegQueryValueExA(HKEY h, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD size) {
  if (Enter(Api::RegQueryValueExA)) return ERROR_ACCESS_DENIED;
  REGSAM access = 0;
  RegKey* key = Resolve(h, &access);
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (data != nullptr && size == nullptr) return kErrorNoAccess;
  if (!(access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  auto it = FindNoCase(key->values, ValueName(name));
  if (it == key->values.end()) return ERROR_FILE_NOT_FOUND;
  const RegValue& v = it->second;
  const DWORD stored = static_cast<DWORD>(v.data.size());
  if (type != nullptr) *type = v.type;
  if (data == nullptr) {
    if (size != nullptr) *size = stored;
    return ERROR_SUCCESS;
  }
  if (*size < stored) {
    *size = stored;
    return ERROR_MORE_DATA;
  }
  if (stored > 0) std::memcpy(data, v.data.data(), stored);
  // A string stored without its terminating NUL gets one when there is room.
  const bool text = v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ;
  if (text && *size > stored && (stored == 0 || v.data.back() != 0)) data[stored] = 0;
  *size = stored;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY h, LPCSTR name, DWORD, DWORD type, const BYTE* data,
                              DWORD size) {
  if (Enter(Api::RegSetValueExA)) return ERROR_ACCESS_DENIED;
  REGSAM access = 0;
  RegKey* key = Resolve(h, &access);
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (!(access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (data == nullptr && size > 0) return kErrorNoAccess;
  RegValue v;
  v.type = type;
  if (size > 0) v.data.assign(data, data + size);
  PutValue(*key, ValueName(name), v);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY h) {
  if (Enter(Api::RegCloseKey)) return ERROR_INVALID_HANDLE;
  if (IsPredefined(h)) return ERROR_SUCCESS;
  auto it = state().keys.find(reinterpret_cast<uintptr_t>(h));
  if (it == state().keys.end()) {
    Misuse("RegCloseKey on a key that is not open");
    return ERROR_INVALID_HANDLE;
  }
  state().keys.erase(it);
  --machine().count.openKeys;
  return ERROR_SUCCESS;
}

namespace winsim {

RegKey* FindKey(HKEY root, const std::string& path) {
  RegKey* key = Root(root);
  if (key == nullptr) return nullptr;
  for (const std::string& part : SplitPath(path)) {
    auto it = FindNoCase(key->subkeys, part);
    if (it == key->subkeys.end()) return nullptr;
    key = it->second.get();
  }
  return key;
}

RegKey& MakeKey(HKEY root, const std::string& path) {
  RegKey* key = TestRoot(root);
  for (const std::string& part : SplitPath(path)) {
    auto it = FindNoCase(key->subkeys, part);
    if (it == key->subkeys.end()) it = key->subkeys.emplace(part, std::make_unique<RegKey>()).first;
    key = it->second.get();
  }
  return *key;
}

void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
              const std::vector<uint8_t>& data) {
  PutValue(MakeKey(root, path), name, RegValue{type, data});
}

void SetString(HKEY root, const std::string& path, const std::string& name,
               const std::string& text, DWORD type) {
  std::vector<uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  SetValue(root, path, name, type, data);
}

const RegValue* GetValue(HKEY root, const std::string& path, const std::string& name) {
  RegKey* key = FindKey(root, path);
  if (key == nullptr) return nullptr;
  auto it = FindNoCase(key->values, name);
  return it == key->values.end() ? nullptr : &it->second;
}

}  // namespace winsim
