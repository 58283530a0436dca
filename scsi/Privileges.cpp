#include "scsi/Privileges.h"

#include <cstddef>
#include <vector>

#include "scsi/platform.h"
#include "scsi/winhandles.h"

namespace {

bool IsNTPlatform() {
  // Only a definite non-NT answer skips the check; an unreadable platform
  // gets the real test, which fails safe.
  return PlatformId(VER_PLATFORM_WIN32_NT) == VER_PLATFORM_WIN32_NT;
}

// Windows 2000 and later answer membership directly, deny-only groups and
// impersonation included.
bool CheckMembership(PSID sid, bool& member) {
  if (LOBYTE(LOWORD(GetVersion())) < 5) return false;
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  if (advapi == nullptr) return false;
  const auto check = ProcAddress<decltype(&CheckTokenMembership)>(advapi, "CheckTokenMembership");
  if (check == nullptr) return false;
  BOOL ismember = FALSE;
  member = check(nullptr, sid, &ismember) != FALSE && ismember != FALSE;
  return true;
}

unique_token OpenCallerToken() {
  HANDLE token = nullptr;
  if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return unique_token(token);
  // A thread that is not impersonating has no token of its own.
  if (GetLastError() != ERROR_NO_TOKEN) return unique_token();
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return unique_token(token);
  return unique_token();
}

bool TokenHasEnabledGroup(HANDLE token, PSID sid) {
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenGroups, nullptr, 0, &size) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  if (size < offsetof(TOKEN_GROUPS, Groups)) return false;
  // Word-sized storage keeps the SID pointers inside aligned.
  std::vector<DWORD_PTR> storage((size + sizeof(DWORD_PTR) - 1) / sizeof(DWORD_PTR));
  if (!GetTokenInformation(token, TokenGroups, storage.data(), size, &size)) return false;
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(storage.data());
  const size_t room = (storage.size() * sizeof(DWORD_PTR) - offsetof(TOKEN_GROUPS, Groups)) /
                      sizeof(SID_AND_ATTRIBUTES);
  const size_t count = groups->GroupCount < room ? groups->GroupCount : room;
  const SID_AND_ATTRIBUTES* group = groups->Groups;
  for (size_t i = 0; i < count; ++i) {
    // Enabled, and not kept only to deny access.
    const DWORD state = group[i].Attributes & (SE_GROUP_ENABLED | SE_GROUP_USE_FOR_DENY_ONLY);
    if (EqualSid(group[i].Sid, sid) && state == SE_GROUP_ENABLED) return true;
  }
  return false;
}

}  // namespace

bool IsInBuiltinAlias(DWORD rid) {
  if (!IsNTPlatform()) return true;

  SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
  PSID raw = nullptr;
  if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0, 0,
                                &raw))
    return false;
  const unique_sid sid(raw);

  bool member = false;
  if (CheckMembership(sid.get(), member)) return member;

  const unique_token token = OpenCallerToken();
  if (!token) return false;
  return TokenHasEnabledGroup(token.get(), sid.get());
}

bool IsAdmin() { return IsInBuiltinAlias(DOMAIN_ALIAS_RID_ADMINS); }

bool IsElevated() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  const unique_token token(raw);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
         size == sizeof elevation && elevation.TokenIsElevated != 0;
}

// A wnaspi32.dll left in Downloads beside the program, in the current folder
// or in a PATH folder the user can write must not run with an elevated
// token: elevated, only System32 is searched, and the ASPI layer is taken by
// its full path there, since where the search cannot be narrowed that far
// (Vista, 7 without KB2533623) PATH would still be searched. Unelevated, the
// program's own folder stays too, where an ASPI layer may be put on purpose.
tlibrarysearch LibrarySearchFor(bool elevated) {
  if (elevated) return {LOAD_LIBRARY_SEARCH_SYSTEM32, true};
  return {LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR, false};
}
