// Transport choice over the platform matrix, the administrator test, and
// releasing the transport.
#include <array>

#include "device_fixture.h"
#include "scsi/Privileges.h"

using winsim::Api;

namespace {

using AdminTest = DeviceTest;

// Windows NT 4: no CheckTokenMembership, so the token's groups are walked.
void GroupWalk(std::vector<winsim::Group> groups) {
  winsim::SetNT(4);
  winsim::machine().token.member = false;  // CheckTokenMembership must not be what answers
  winsim::machine().token.groups = std::move(groups);
}
void AdminGroupWalk() { GroupWalk({{winsim::AdministratorsSid(), SE_GROUP_ENABLED}}); }
void Fail(Api api) { winsim::machine().failAlways[static_cast<size_t>(api)] = true; }

TEST_F(AdminTest, AnswersOverThePlatformMatrixWithOnlyTheCallsItNeeds) {
  const int x = -1;  // not looked at
  const struct {
    const char* name;
    void (*setup)();
    bool admin;
    int sid, check, threadToken, processToken, groups;  // calls made
  } cases[] = {
      {"non-NT: no check",
       [] { winsim::SetNonNT(); M().token.member = false; M().token.groups.clear(); },
       true, 0, 0, 0, 0, 0},
      {"platform unreadable: the real check",
       [] { Fail(Api::GetVersionExA); M().token.member = false; }, false, x, 1, x, x, x},
      {"NT 5 member", [] {}, true, 1, 1, 0, 0, 0},
      {"NT 5 non-member", [] { M().token.member = false; }, false, 1, 1, 0, 0, 0},
      {"Windows 10 administrator unelevated", winsim::SetFilteredAdministrator, false, 1, 1, 0, 0,
       0},
      {"CheckTokenMembership fails", [] { Fail(Api::CheckTokenMembership); }, false, x, 1, 0, 0, 0},
      {"SID not built", [] { Fail(Api::AllocateAndInitializeSid); }, false, 1, 0, 0, 0, 0},
      {"NT 5 without CheckTokenMembership",
       [] { M().advapi32HasCheckTokenMembership = false; M().token.member = false; },
       true, x, 0, 1, 1, 2},
      {"NT 4 never looks for CheckTokenMembership", AdminGroupWalk, true, x, 0, 1, 1, 2},
      {"impersonating: the thread token",
       [] { AdminGroupWalk(); M().token.hasThreadToken = true; }, true, x, 0, 1, 0, 2},
      {"thread token error other than ERROR_NO_TOKEN",
       [] { AdminGroupWalk(); M().token.hasThreadToken = true; Fail(Api::OpenThreadToken); },
       false, x, 0, 1, 0, 0},
      {"process token fails",
       [] { AdminGroupWalk(); Fail(Api::OpenProcessToken); }, false, x, 0, 1, 1, 0},
      {"size query fails",
       [] { AdminGroupWalk(); winsim::ArmFailure({Api::GetTokenInformation}, 1); },
       false, x, 0, x, x, 1},
      {"groups query fails",
       [] { AdminGroupWalk(); winsim::ArmFailure({Api::GetTokenInformation}, 2); },
       false, x, 0, x, x, 2},
      {"EqualSid fails", [] { AdminGroupWalk(); Fail(Api::EqualSid); }, false, x, 0, x, x, 2},
      {"other groups only",
       [] { GroupWalk({{winsim::UsersSid(), SE_GROUP_ENABLED}}); }, false, x, 0, x, x, 2},
      {"no groups", [] { GroupWalk({}); }, false, x, 0, x, x, 2},
      {"deny-only Administrators entry, then an enabled one",
       [] {
         GroupWalk({{winsim::AdministratorsSid(), SE_GROUP_USE_FOR_DENY_ONLY},
                    {winsim::AdministratorsSid(), SE_GROUP_ENABLED}});
       },
       true, x, 0, x, x, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::Reset();
    c.setup();
    EXPECT_EQ(c.admin, IsAdmin());
    const std::pair<Api, int> calls[] = {{Api::AllocateAndInitializeSid, c.sid},
                                         {Api::CheckTokenMembership, c.check},
                                         {Api::OpenThreadToken, c.threadToken},
                                         {Api::OpenProcessToken, c.processToken},
                                         {Api::GetTokenInformation, c.groups}};
    for (const auto& call : calls) {
      if (call.second != x) {
        EXPECT_EQ(call.second, Calls(call.first)) << winsim::ApiName(call.first);
      }
    }
    if (Calls(Api::GetTokenInformation) > 0) {  // a token was opened
      EXPECT_EQ(static_cast<DWORD>(TOKEN_QUERY), M().lastTokenAccess);
      EXPECT_EQ(TRUE, M().lastOpenAsSelf);
    }
    EXPECT_TRUE(winsim::NothingOpen());
  }
}

TEST_F(AdminTest, OnlyEnabledAndNotDenyOnlyAdministratorsCount) {
  const struct {
    DWORD attributes;
    bool admin;
  } cases[] = {
      {SE_GROUP_ENABLED, true},
      {SE_GROUP_ENABLED | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_MANDATORY, true},
      {0, false},
      {SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_MANDATORY, false},
      {SE_GROUP_USE_FOR_DENY_ONLY, false},
      {SE_GROUP_USE_FOR_DENY_ONLY | SE_GROUP_ENABLED, false},
      {0x20 | SE_GROUP_ENABLED, true},  // bits outside the 14h mask do not matter
  };
  for (const auto& c : cases) {
    winsim::Reset();
    GroupWalk({{winsim::UsersSid(), SE_GROUP_ENABLED}, {winsim::AdministratorsSid(), c.attributes}});
    EXPECT_EQ(c.admin, IsAdmin()) << "attributes " << c.attributes;
  }
}

TEST_F(AdminTest, IsWinNTFollowsTheTopBitOfGetVersion) {
  const std::pair<DWORD, bool> cases[] = {
      {0x0A280105, true}, {0x7FFFFFFF, true}, {0x80000000, false}, {0xC0000A04, false}};
  for (const auto& c : cases) {
    M().version = c.first;
    EXPECT_EQ(c.second, IsWinNT()) << std::hex << c.first;
  }
}

using TransportTest = DeviceTest;

TEST_F(TransportTest, ChoiceOverThePlatformMatrix) {
  const int x = -1;  // not looked at
  const struct {
    const char* name;
    void (*setup)();
    ttransport request;
    bool ready;
    ttransport active;
    size_t drives;
    int loads, opens, sids;  // LoadLibraryA, CreateFileA, AllocateAndInitializeSid
  } cases[] = {
      {"NT administrator: pass-through without the library",
       [] { M().aspiPresent = true; winsim::AddCdRom(0, 1, 0, 0); },
       tpAuto, true, tpSpti, 1, 0, x, x},
      {"no optical drive: ready, empty", [] {}, tpAuto, true, tpSpti, 0, 0, x, x},
      {"NT non-administrator: ASPI", AspiForNonAdministrator, tpAuto, true, tpAspi, 0, 1, x, x},
      {"Windows 10 administrator unelevated: ASPI, not his drives",
       [] {
         winsim::SetFilteredAdministrator();
         M().aspiPresent = true;
         winsim::AddCdRom(0, 1, 0, 0, 'D');
       },
       tpAuto, true, tpAspi, 0, 1, 0, 1},
      {"Windows 10 administrator unelevated, no ASPI layer: none",
       [] { winsim::SetFilteredAdministrator(); winsim::AddCdRom(0, 1, 0, 0, 'D'); },
       tpAuto, false, tpNone, 0, 1, 0, 1},
      {"non-NT: ASPI without a security call", [] { winsim::SetNonNT(); M().aspiPresent = true; },
       tpAuto, true, tpAspi, 0, 1, x, 0},
      {"non-administrator without library: none",
       [] { M().token.member = false; winsim::AddCdRom(0, 1, 0, 0); },
       tpAuto, false, tpNone, 0, 1, 0, x},
      {"explicit ASPI for an administrator", [] { M().aspiPresent = true; },
       tpAspi, true, tpAspi, 0, 1, x, x},
      {"explicit pass-through on non-NT refused",
       [] { winsim::SetNonNT(); M().aspiPresent = true; winsim::AddCdRom(0, 1, 0, 0); },
       tpSpti, false, tpNone, 0, 0, x, x},
      {"explicit none touches nothing",
       [] { M().aspiPresent = true; winsim::AddCdRom(0, 1, 0, 0); },
       tpNone, false, tpNone, 0, 0, 0, x},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    c.setup();
    cddrives.resize(3);  // anything earlier is discarded
    EXPECT_EQ(c.ready, InitAspiSpti(c.request));
    EXPECT_EQ(c.active, activetransport);
    EXPECT_EQ(c.drives, cddrives.size());
    EXPECT_EQ(c.loads, Calls(Api::LoadLibraryA));
    if (c.opens != x) { EXPECT_EQ(c.opens, Calls(Api::CreateFileA)); }
    if (c.sids != x) { EXPECT_EQ(c.sids, Calls(Api::AllocateAndInitializeSid)); }
  }
}

TEST_F(TransportTest, LibraryNeedsItsTwoCalledEntryPointsAndIsReleasedOnlyOnAspi) {
  const struct {
    std::array<bool, 5> exports;  // GetASPI32SupportInfo, SendASPI32Command, the three others
    bool ready;
  } cases[] = {{{{false, true, true, true, true}}, false},
               {{{true, false, true, true, true}}, false},
               {{{true, true, false, false, false}}, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ready ? "uncalled entry points missing" : "a required entry point missing");
    Fresh();
    winsim::SetNonNT();
    M().aspiPresent = true;
    M().aspiExports = c.exports;
    winsim::AddAspiDrive(0, 1, 0);
    EXPECT_EQ(c.ready, InitAspiSpti(tpAuto));
    EXPECT_EQ(c.ready ? tpAspi : tpNone, activetransport);
    EXPECT_EQ(c.ready ? 1u : 0u, cddrives.size());
    EXPECT_EQ(c.ready, !M().aspi.log.empty());
    DoneAspiSpti();
    EXPECT_TRUE(cddrives.empty());
    DoneAspiSpti();  // a second release must not free the module again
    EXPECT_EQ(c.ready ? 0 : 1, M().count.loadedModules) << "the library stays loaded on none";
    EXPECT_EQ(c.ready ? 1 : 0, Calls(Api::FreeLibrary));
  }
}

TEST_F(TransportTest, AspiRescansEveryAdapterBeforeTheScan) {
  for (uint8_t adapters : {2, 0}) {
    Fresh();
    AspiForNonAdministrator();
    M().aspi.adapterCount = adapters;
    EXPECT_TRUE(InitAspiSpti(tpAuto));
    EXPECT_EQ(adapters == 0, M().aspi.log.empty()) << "nothing is sent without adapters";
    for (size_t i = 0; i < M().aspi.log.size(); ++i) {
      EXPECT_EQ(i < 2, M().aspi.log[i].cmd == 7) << i;
      if (i < 2) { EXPECT_EQ(i, M().aspi.log[i].haId); }
    }
  }
}

}  // namespace
