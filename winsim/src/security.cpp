// SIDs, tokens and group membership.
#include <cstring>

#include "internal.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

constexpr DWORD kErrorNoAccess = 998;
constexpr DWORD kErrorInvalidSid = 1337;
constexpr BYTE kMaxSubAuthorities = 15;

HANDLE PseudoProcess() { return reinterpret_cast<HANDLE>(intptr_t{-1}); }
HANDLE PseudoThread() { return reinterpret_cast<HANDLE>(intptr_t{-2}); }

bool ValidSid(const void* sid) {
  if (sid == nullptr) return false;
  const BYTE* b = static_cast<const BYTE*>(sid);
  return b[0] == 1 && b[1] <= kMaxSubAuthorities;
}

size_t SidSize(const void* sid) { return 8 + 4 * static_cast<const BYTE*>(sid)[1]; }

bool SameSid(const void* a, const std::vector<uint8_t>& b) {
  return b.size() == SidSize(a) && std::memcmp(a, b.data(), b.size()) == 0;
}

HANDLE NewToken(DWORD access) {
  Object o{Kind::Token};
  o.access = access;
  machine().lastTokenAccess = access;
  return NewHandle(o);
}

}  // namespace

BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0,
                                     DWORD s1, DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6,
                                     DWORD s7, PSID* sid) {
  if (Enter(Api::AllocateAndInitializeSid)) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
  if (authority == nullptr || sid == nullptr || count > 8)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  const DWORD subs[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
  const size_t size = 8 + 4 * static_cast<size_t>(count);
  BYTE* b = new BYTE[size];
  b[0] = 1;  // revision
  b[1] = count;
  std::memcpy(&b[2], authority->Value, 6);
  std::memcpy(&b[8], subs, 4 * static_cast<size_t>(count));
  state().sids.emplace(b, size);
  ++machine().count.openSids;
  *sid = b;
  return TRUE;
}

PVOID WINAPI FreeSid(PSID sid) {
  if (Enter(Api::FreeSid)) return sid;
  auto it = state().sids.find(sid);
  if (it == state().sids.end()) {
    Misuse("FreeSid on a SID that is not allocated (double free?)");
    return sid;
  }
  delete[] static_cast<BYTE*>(it->first);
  state().sids.erase(it);
  --machine().count.openSids;
  return nullptr;
}

BOOL WINAPI EqualSid(PSID a, PSID b) {
  if (Enter(Api::EqualSid)) return Fail(kErrorInvalidSid, FALSE);
  if (!ValidSid(a) || !ValidSid(b)) return Fail(kErrorInvalidSid, FALSE);
  SetLastError(ERROR_SUCCESS);
  return SidSize(a) == SidSize(b) && std::memcmp(a, b, SidSize(a)) == 0;
}

// As Windows: a SID counts when the token holds it as an enabled group that
// is not deny-only, so the filtered token of an unelevated administrator is
// no member of Administrators. Token::member false also denies that alias.
BOOL WINAPI CheckTokenMembership(HANDLE token, PSID sid, PBOOL isMember) {
  if (Enter(Api::CheckTokenMembership)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (token != nullptr) {
    if (FindObject(token, Kind::Token) == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  }
  if (!ValidSid(sid)) return Fail(kErrorInvalidSid, FALSE);
  if (isMember == nullptr) return Fail(kErrorNoAccess, FALSE);
  const Token& t = machine().token;
  bool member = false;
  for (const Group& g : t.groups)
    if (SameSid(sid, g.sid) &&
        (g.attributes & (SE_GROUP_ENABLED | SE_GROUP_USE_FOR_DENY_ONLY)) == SE_GROUP_ENABLED)
      member = true;
  if (SameSid(sid, AdministratorsSid()) && !t.member) member = false;
  *isMember = member ? TRUE : FALSE;
  return TRUE;
}

HANDLE WINAPI GetCurrentThread(void) { return PseudoThread(); }
HANDLE WINAPI GetCurrentProcess(void) { return PseudoProcess(); }

BOOL WINAPI OpenThreadToken(HANDLE thread, DWORD access, BOOL openAsSelf, PHANDLE token) {
  if (Enter(Api::OpenThreadToken)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  machine().lastOpenAsSelf = openAsSelf;
  if (thread != PseudoThread()) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (token == nullptr) return Fail(kErrorNoAccess, FALSE);
  if (!machine().token.hasThreadToken) return Fail(ERROR_NO_TOKEN, FALSE);
  *token = NewToken(access);
  return TRUE;
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  if (Enter(Api::OpenProcessToken)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  // Windows 98 and ME have the call only as a stub.
  if (machine().platformId != VER_PLATFORM_WIN32_NT) return Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
  if (process != PseudoProcess()) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (token == nullptr) return Fail(kErrorNoAccess, FALSE);
  *token = NewToken(access);
  return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                DWORD length, PDWORD returnLength) {
  if (Enter(Api::GetTokenInformation)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  Object* o = FindObject(token, Kind::Token);
  if (o == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(o->access & TOKEN_QUERY)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (returnLength == nullptr) return Fail(kErrorNoAccess, FALSE);
  // Elevation is a question from Vista on; before, the class is unknown.
  if (infoClass == TokenElevation && (machine().version & 0xFF) >= 6) {
    *returnLength = sizeof(TOKEN_ELEVATION);
    if (info == nullptr || length != sizeof(TOKEN_ELEVATION)) return Fail(ERROR_BAD_LENGTH, FALSE);
    static_cast<TOKEN_ELEVATION*>(info)->TokenIsElevated = machine().token.elevated ? 1 : 0;
    return TRUE;
  }
  if (infoClass != TokenGroups) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  // TOKEN_GROUPS, its SID_AND_ATTRIBUTES array, then the SIDs themselves,
  // all in the caller's buffer.
  const std::vector<Group>& groups = machine().token.groups;
  const size_t head = offsetof(TOKEN_GROUPS, Groups) + groups.size() * sizeof(SID_AND_ATTRIBUTES);
  size_t needed = head;
  for (const Group& g : groups) needed += (g.sid.size() + 3) & ~size_t{3};
  *returnLength = static_cast<DWORD>(needed);
  if (info == nullptr || length < needed) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  BYTE* base = static_cast<BYTE*>(info);
  TOKEN_GROUPS* tg = static_cast<TOKEN_GROUPS*>(info);
  tg->GroupCount = static_cast<DWORD>(groups.size());
  size_t at = head;
  for (size_t i = 0; i < groups.size(); ++i) {
    std::memcpy(base + at, groups[i].sid.data(), groups[i].sid.size());
    SID_AND_ATTRIBUTES* sa = reinterpret_cast<SID_AND_ATTRIBUTES*>(
        base + offsetof(TOKEN_GROUPS, Groups) + i * sizeof(SID_AND_ATTRIBUTES));
    sa->Sid = base + at;
    sa->Attributes = groups[i].attributes;
    at += (groups[i].sid.size() + 3) & ~size_t{3};
  }
  return TRUE;
}
