// Transport choice over the platform matrix, the administrator test, and
// releasing the transport.
#include "device_fixture.h"
#include "scsi/Privileges.h"

using winsim::Api;

namespace {

class AdminTest : public DeviceTest {
 protected:
  // Windows NT 4: no CheckTokenMembership, so the token's groups are walked.
  static void UseGroupWalk(std::vector<winsim::Group> groups) {
    winsim::SetNT(4);
    M().token.member = false;  // CheckTokenMembership must not be what answers
    M().token.groups = std::move(groups);
  }
};

TEST_F(AdminTest, NonNtIsAdminWithoutAnySecurityCall) {
  winsim::SetNonNT();
  M().token.member = false;
  M().token.groups.clear();
  EXPECT_TRUE(IsAdmin());
  EXPECT_EQ(0, Calls(Api::AllocateAndInitializeSid));
  EXPECT_EQ(0, Calls(Api::CheckTokenMembership));
  EXPECT_EQ(0, Calls(Api::OpenThreadToken));
  EXPECT_EQ(0, Calls(Api::OpenProcessToken));
}

TEST_F(AdminTest, UnreadablePlatformGetsTheRealCheck) {
  FailAlways(Api::GetVersionExA);
  M().token.member = false;
  EXPECT_FALSE(IsAdmin());
  EXPECT_EQ(1, Calls(Api::CheckTokenMembership));
}

TEST_F(AdminTest, Nt5AsksCheckTokenMembershipAndNothingElse) {
  for (bool member : {true, false}) {
    winsim::Reset();
    M().token.member = member;
    EXPECT_EQ(member, IsAdmin());
    EXPECT_EQ(1, Calls(Api::CheckTokenMembership));
    EXPECT_EQ(0, Calls(Api::OpenThreadToken));
    EXPECT_EQ(0, Calls(Api::OpenProcessToken));
    EXPECT_TRUE(winsim::NothingOpen());
  }
}

TEST_F(AdminTest, FailedCheckTokenMembershipIsNotAdmin) {
  FailAlways(Api::CheckTokenMembership);
  EXPECT_FALSE(IsAdmin());
  EXPECT_EQ(0, Calls(Api::OpenThreadToken));
}

TEST_F(AdminTest, SidNotBuiltIsNotAdminAndOpensNoToken) {
  FailAlways(Api::AllocateAndInitializeSid);
  EXPECT_FALSE(IsAdmin());
  EXPECT_EQ(0, Calls(Api::CheckTokenMembership));
  EXPECT_EQ(0, Calls(Api::OpenThreadToken));
}

TEST_F(AdminTest, Nt5WithoutCheckTokenMembershipWalksTheGroups) {
  M().advapi32HasCheckTokenMembership = false;
  M().token.member = false;
  EXPECT_TRUE(IsAdmin());  // the default token holds the enabled Administrators group
  EXPECT_EQ(0, Calls(Api::CheckTokenMembership));
  EXPECT_EQ(2, Calls(Api::GetTokenInformation));
}

TEST_F(AdminTest, Nt4NeverLooksForCheckTokenMembership) {
  UseGroupWalk({{winsim::AdministratorsSid(), SE_GROUP_ENABLED}});
  EXPECT_TRUE(IsAdmin());
  EXPECT_EQ(0, Calls(Api::CheckTokenMembership));
}

TEST_F(AdminTest, NoThreadTokenFallsBackToTheProcessToken) {
  UseGroupWalk({{winsim::AdministratorsSid(), SE_GROUP_ENABLED}});
  M().token.hasThreadToken = false;
  EXPECT_TRUE(IsAdmin());
  EXPECT_EQ(1, Calls(Api::OpenThreadToken));
  EXPECT_EQ(1, Calls(Api::OpenProcessToken));
}

TEST_F(AdminTest, ThreadTokenIsUsedWhenImpersonating) {
  UseGroupWalk({{winsim::AdministratorsSid(), SE_GROUP_ENABLED}});
  M().token.hasThreadToken = true;
  EXPECT_TRUE(IsAdmin());
  EXPECT_EQ(0, Calls(Api::OpenProcessToken));
  EXPECT_EQ(static_cast<DWORD>(TOKEN_QUERY), M().lastTokenAccess);
  EXPECT_EQ(TRUE, M().lastOpenAsSelf);
}

TEST_F(AdminTest, ThreadTokenErrorOtherThanNoTokenIsNotAdmin) {
  UseGroupWalk({{winsim::AdministratorsSid(), SE_GROUP_ENABLED}});
  M().token.hasThreadToken = true;
  FailAlways(Api::OpenThreadToken);
  EXPECT_FALSE(IsAdmin());
  EXPECT_EQ(0, Calls(Api::OpenProcessToken));
}

TEST_F(AdminTest, AnyFailingStepOfTheGroupWalkIsNotAdmin) {
  const struct {
    Api api;
    int nth;  // 0: every call fails
  } cases[] = {
      {Api::OpenProcessToken, 0},
      {Api::GetTokenInformation, 1},  // the size query
      {Api::GetTokenInformation, 2},  // the groups themselves
      {Api::EqualSid, 0},
  };
  for (const auto& c : cases) {
    winsim::Reset();
    UseGroupWalk({{winsim::AdministratorsSid(), SE_GROUP_ENABLED}});
    if (c.nth == 0)
      FailAlways(c.api);
    else
      winsim::ArmFailure({c.api}, c.nth);
    EXPECT_FALSE(IsAdmin()) << winsim::ApiName(c.api) << " " << c.nth;
    EXPECT_TRUE(winsim::NothingOpen()) << winsim::ApiName(c.api);
  }
}

TEST_F(AdminTest, OnlyEnabledAndNotDenyOnlyAdministratorsCount) {
  struct Case {
    DWORD attributes;
    bool admin;
  };
  const Case cases[] = {
      {SE_GROUP_ENABLED, true},
      {SE_GROUP_ENABLED | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_MANDATORY, true},
      {0, false},
      {SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_MANDATORY, false},
      {SE_GROUP_USE_FOR_DENY_ONLY, false},
      {SE_GROUP_USE_FOR_DENY_ONLY | SE_GROUP_ENABLED, false},
      {0x20 | SE_GROUP_ENABLED, true},  // bits outside the 14h mask do not matter
  };
  for (const Case& c : cases) {
    winsim::Reset();
    UseGroupWalk({{winsim::UsersSid(), SE_GROUP_ENABLED}, {winsim::AdministratorsSid(), c.attributes}});
    EXPECT_EQ(c.admin, IsAdmin()) << "attributes " << c.attributes;
    EXPECT_TRUE(winsim::NothingOpen());
  }
}

TEST_F(AdminTest, WalkGoesOnPastADenyOnlyAdministratorsEntry) {
  UseGroupWalk({{winsim::AdministratorsSid(), SE_GROUP_USE_FOR_DENY_ONLY},
                {winsim::AdministratorsSid(), SE_GROUP_ENABLED}});
  EXPECT_TRUE(IsAdmin());
}

TEST_F(AdminTest, OtherGroupsOnlyIsNotAdmin) {
  UseGroupWalk({{winsim::UsersSid(), SE_GROUP_ENABLED}});
  EXPECT_FALSE(IsAdmin());
  UseGroupWalk({});
  EXPECT_FALSE(IsAdmin());
}

TEST_F(AdminTest, IsWinNTFollowsTheTopBitOfGetVersion) {
  EXPECT_TRUE(IsWinNT());
  winsim::SetNonNT();
  EXPECT_FALSE(IsWinNT());
  M().version = 0x7FFFFFFF;
  EXPECT_TRUE(IsWinNT());
  M().version = 0x80000000;
  EXPECT_FALSE(IsWinNT());
}

using TransportTest = DeviceTest;

TEST_F(TransportTest, NtAdministratorGetsPassThroughWithoutTheLibrary) {
  M().aspiPresent = true;
  winsim::AddCdRom(0, 1, 0, 0);
  EXPECT_TRUE(InitAspiSpti(tpAuto));
  EXPECT_EQ(tpSpti, activetransport);
  EXPECT_EQ(0, Calls(Api::LoadLibraryA));
  EXPECT_EQ(1u, cddrives.size());
}

TEST_F(TransportTest, NtNonAdministratorGetsAspi) {
  M().token.member = false;
  M().aspiPresent = true;
  EXPECT_TRUE(InitAspiSpti(tpAuto));
  EXPECT_EQ(tpAspi, activetransport);
  EXPECT_EQ(1, M().count.loadedModules);
}

TEST_F(TransportTest, NonNtGetsAspiWithoutAnySecurityCall) {
  winsim::SetNonNT();
  M().aspiPresent = true;
  EXPECT_TRUE(InitAspiSpti(tpAuto));
  EXPECT_EQ(tpAspi, activetransport);
  EXPECT_EQ(0, Calls(Api::AllocateAndInitializeSid));
}

TEST_F(TransportTest, NoOpticalDriveStillReadyWithAnEmptyInventory) {
  EXPECT_TRUE(InitAspiSpti(tpAuto));
  EXPECT_EQ(tpSpti, activetransport);
  EXPECT_TRUE(cddrives.empty());
}

TEST_F(TransportTest, NonAdministratorWithoutLibraryHasNoTransport) {
  M().token.member = false;
  winsim::AddCdRom(0, 1, 0, 0);  // reachable only by an administrator
  cddrives.resize(3);             // anything earlier is discarded
  EXPECT_FALSE(InitAspiSpti(tpAuto));
  EXPECT_EQ(tpNone, activetransport);
  EXPECT_TRUE(cddrives.empty());
  EXPECT_EQ(1, Calls(Api::LoadLibraryA));
  EXPECT_EQ(0, Calls(Api::CreateFileA));
}

TEST_F(TransportTest, LibraryLackingARequiredEntryPointIsGivenUpButStaysLoaded) {
  for (size_t missing : {0u, 1u}) {  // GetASPI32SupportInfo, SendASPI32Command
    winsim::Reset();
    ForgetProgramState();
    winsim::SetNonNT();
    M().aspiPresent = true;
    M().aspiExports[missing] = false;
    winsim::AddAspiDrive(0, 1, 0);
    EXPECT_FALSE(InitAspiSpti(tpAuto));
    EXPECT_EQ(tpNone, activetransport);
    EXPECT_TRUE(cddrives.empty());
    EXPECT_EQ(1, M().count.loadedModules);
    EXPECT_EQ(0, Calls(Api::FreeLibrary));
    EXPECT_TRUE(M().aspi.log.empty());
    DoneAspiSpti();
    EXPECT_EQ(1, M().count.loadedModules) << "released although the transport is none";
  }
}

TEST_F(TransportTest, LibraryWithoutTheUncalledEntryPointsLoads) {
  M().aspiPresent = true;
  M().aspiExports = {{true, true, false, false, false}};
  EXPECT_TRUE(LoadAspi());
  EXPECT_EQ(nullptr, TranslateASPI32Address);
  EXPECT_NE(nullptr, SendASPI32Command);
}

TEST_F(TransportTest, ExplicitRequestIsUsedUnchanged) {
  M().aspiPresent = true;  // an NT administrator could have had pass-through
  EXPECT_TRUE(InitAspiSpti(tpAspi));
  EXPECT_EQ(tpAspi, activetransport);
}

TEST_F(TransportTest, ExplicitPassThroughOnNonNtIsRefused) {
  winsim::SetNonNT();
  M().aspiPresent = true;
  winsim::AddCdRom(0, 1, 0, 0);
  EXPECT_FALSE(InitAspiSpti(tpSpti));
  EXPECT_EQ(tpNone, activetransport);
  EXPECT_TRUE(cddrives.empty());
  EXPECT_EQ(0, Calls(Api::LoadLibraryA));
}

TEST_F(TransportTest, ExplicitNoneLeavesNoTransportAndTouchesNothing) {
  M().aspiPresent = true;
  winsim::AddCdRom(0, 1, 0, 0);
  EXPECT_FALSE(InitAspiSpti(tpNone));
  EXPECT_EQ(tpNone, activetransport);
  EXPECT_TRUE(cddrives.empty());
  EXPECT_EQ(0, Calls(Api::LoadLibraryA));
  EXPECT_EQ(0, Calls(Api::CreateFileA));
}

TEST_F(TransportTest, AspiRescansEveryAdapterBeforeTheScan) {
  M().token.member = false;
  M().aspiPresent = true;
  M().aspi.adapterCount = 2;
  EXPECT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_GE(M().aspi.log.size(), 2u);
  EXPECT_EQ(7, M().aspi.log[0].cmd);
  EXPECT_EQ(0, M().aspi.log[0].haId);
  EXPECT_EQ(7, M().aspi.log[1].cmd);
  EXPECT_EQ(1, M().aspi.log[1].haId);
  for (size_t i = 2; i < M().aspi.log.size(); ++i) EXPECT_NE(7, M().aspi.log[i].cmd);
}

TEST_F(TransportTest, ZeroAdaptersSendsNothing) {
  winsim::SetNonNT();
  M().aspiPresent = true;
  M().aspi.adapterCount = 0;
  M().aspi.supportStatus = 1;
  EXPECT_TRUE(InitAspiSpti(tpAuto));
  EXPECT_TRUE(cddrives.empty());
  EXPECT_EQ(0, Calls(Api::SendASPI32Command));
}

TEST_F(TransportTest, DoneReleasesTheLibraryOnlyOnAspi) {
  M().token.member = false;
  M().aspiPresent = true;
  winsim::AddAspiDrive(0, 1, 0);
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_EQ(1u, cddrives.size());
  DoneAspiSpti();
  EXPECT_EQ(0, M().count.loadedModules);
  EXPECT_EQ(1, Calls(Api::FreeLibrary));
  EXPECT_TRUE(cddrives.empty());
  DoneAspiSpti();  // a second release must not free the module again
  EXPECT_EQ(1, Calls(Api::FreeLibrary));
}

TEST_F(TransportTest, DoneOnPassThroughReleasesNoLibrary) {
  winsim::AddCdRom(0, 1, 0, 0);
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_EQ(tpSpti, activetransport);
  DoneAspiSpti();
  EXPECT_EQ(0, Calls(Api::FreeLibrary));
  EXPECT_TRUE(cddrives.empty());
}

}  // namespace
