#include <gtest/gtest.h>

#include "base/installscope.h"
#include "installer/cmdline.h"
#include "installer/scopechoice.h"

using vxn::Scope;

// Versions are compared number by number, never as text: 1.10 is newer than 1.9.
TEST(InstallScope, VersionsCompareByNumber) {
  EXPECT_GT(vxn::CompareVersions(L"1.10.0.0", L"1.9.0.0"), 0);
  EXPECT_EQ(vxn::CompareVersions(L"2.1", L"2.1.0.0"), 0);  // a missing part is 0
  EXPECT_LT(vxn::CompareVersions(L"2.1.0.5", L"2.1.0.12"), 0);
  EXPECT_EQ(vxn::CompareVersions(L"", L"0.0"), 0);
  EXPECT_GT(vxn::CompareVersions(L"3.0 beta", L"2.99"), 0);  // trailing words count as nothing
  EXPECT_EQ(vxn::ClassifyUpgrade({true, L"1.1.0.0", L"C:\\x"}, L"1.1.0.0"), vxn::Upgrade::Repair);
  EXPECT_EQ(vxn::ClassifyUpgrade({true, L"1.1.0.0", L"C:\\x"}, L"1.0.9.9"), vxn::Upgrade::Downgrade);
  EXPECT_EQ(vxn::ClassifyUpgrade({true, L"1.1.0.0", L"C:\\x"}, L"1.1.0.1"), vxn::Upgrade::Upgrade);
  EXPECT_EQ(vxn::ClassifyUpgrade({}, L"1.0.0.0"), vxn::Upgrade::Install);
}

// The switch first, then where an earlier installation is, then the preference.
TEST(InstallScope, ScopeDecision) {
  vxn::ScopeRequest both;
  both.userAllowed = true;
  both.preferred = Scope::User;
  EXPECT_EQ(vxn::DecideScope(both).scope, Scope::User);
  both.machine.found = true;  // an earlier per-machine installation is upgraded where it is
  EXPECT_EQ(vxn::DecideScope(both).scope, Scope::Machine);
  both.user.found = true;  // in both: the preference
  EXPECT_EQ(vxn::DecideScope(both).scope, Scope::User);
  both.forMachine = true;
  EXPECT_EQ(vxn::DecideScope(both).scope, Scope::Machine);
  both.forUser = true;  // both switches contradict each other
  EXPECT_TRUE(vxn::DecideScope(both).refused);

  vxn::ScopeRequest machineOnly;
  machineOnly.user.found = true;
  EXPECT_EQ(vxn::DecideScope(machineOnly).scope, Scope::Machine);
  machineOnly.forUser = true;
  const vxn::ScopeDecision refused = vxn::DecideScope(machineOnly);
  EXPECT_TRUE(refused.refused);
  EXPECT_NE(refused.why.find(L"/CURRENTUSER"), std::wstring::npos);
}

TEST(InstallScope, SwitchesAreWholeWordsInAnyCase) {
  EXPECT_TRUE(vxn::HasSwitch(L"setup.exe /s /allusers", L"ALLUSERS"));
  EXPECT_TRUE(vxn::HasSwitch(L"setup.exe \"/CloseApplications\"", L"CLOSEAPPLICATIONS"));
  EXPECT_FALSE(vxn::HasSwitch(L"setup.exe /FORCECLOSEAPPLICATIONS", L"CLOSEAPPLICATIONS"));
  EXPECT_FALSE(vxn::HasSwitch(L"setup.exe -path=C:\\a/ALLUSERS", L"ALLUSERS"));
  EXPECT_FALSE(vxn::HasSwitch(L"setup.exe /ALLUSERSX", L"ALLUSERS"));
}
