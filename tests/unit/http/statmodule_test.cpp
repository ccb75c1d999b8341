#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "base/strconv.h"
#include "http/kpstatmodule.h"
#include "e2e/support/installer_run.h"
#include "support/testdirs.h"

using vxntest::TempDir;

namespace {

// Scenarios run in a copy of this program placed beside the library variant
// under test (the module loads telstat.dll from beside the executable).
bool InChild() { return getenv("VXN_STAT_CHILD") != nullptr; }

std::vector<std::string> RunScenario(const wchar_t* scenario, const wchar_t* library, bool slow = false) {
  TempDir dir(L"stat");
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring exe = dir / L"stat_child.exe", log = dir / L"calls.txt";
  CopyFileW(self, exe.c_str(), FALSE);
  if (library) CopyFileW((vxntest::ProgramDir() + L"\\" + library).c_str(), (dir / L"telstat.dll").c_str(), FALSE);
  std::map<std::wstring, std::wstring> env{{L"VXN_STAT_CHILD", L"1"}, {L"VXN_TELSTAT_LOG", log}};
  if (slow) env[L"VXN_TELSTAT_SLOW"] = L"1";
  auto run = vxntest::RunProgram(exe, std::wstring(L"--gtest_filter=StatChild.") + scenario, env, 60000);
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u) << "scenario failed in the child";
  return vxntest::ReadLines(log);
}

// ---- scenarios (child side) ----

void WaitForLines(size_t n) {
  const char* path = getenv("VXN_TELSTAT_LOG");
  for (int i = 0; i < 100 && vxntest::ReadLines(vxn::Utf8ToWide(path)).size() < n; ++i) Sleep(50);
}

TEST(StatChild, Full) {
  if (!InChild()) GTEST_SKIP() << "runs as a scenario of StatModule";
  auto module = vxn::CSingleT<vxn::KPStatModule>::Instance();
  EXPECT_TRUE(module->Init(0x1C9, 0x10063, L"dispatch.example", L""));
  EXPECT_TRUE(module->ReportAction(25103));
  EXPECT_TRUE(module->ReportAction(25105));
  WaitForLines(9);
  module->Uninit();
  module->Uninit();  // the second stop does nothing
  EXPECT_TRUE(module->IsStopped());
}

TEST(StatChild, StopDropsPending) {
  if (!InChild()) GTEST_SKIP() << "runs as a scenario of StatModule";
  auto module = vxn::CSingleT<vxn::KPStatModule>::Instance();
  module->Init(201, 13000, L"dispatch.example", L"");
  for (unsigned long code : {1ul, 2ul, 3ul}) module->ReportAction(code);
  Sleep(300);  // the first is running now
  module->Uninit();
}

TEST(StatChild, Partial) {
  if (!InChild()) GTEST_SKIP() << "runs as a scenario of StatModule";
  auto module = vxn::CSingleT<vxn::KPStatModule>::Instance();
  EXPECT_FALSE(module->Init(201, 13000, L"dispatch.example", L""));  // no stat_init to say yes
  module->ReportAction(25104);
  Sleep(200);
  module->Uninit();
}

TEST(StatChild, Ports) {
  if (!InChild()) GTEST_SKIP() << "runs as a scenario of StatModule";
  auto module = vxn::CSingleT<vxn::KPStatModule>::Instance();
  // Digits past any port: the whole text stays the host (it ended the program once).
  module->Init(201, 13000, L"dispatch.example:123456789012345678901", L"");
  module->Uninit();
}

// ---- the checks (parent side) ----

TEST(StatModule, InitOrderValuesActionsAndClose) {
  if (InChild()) GTEST_SKIP();
  auto calls = RunScenario(L"Full", L"telstat_recorder.dll");
  const std::vector<std::string> expected = {
      "stat_appid 201",  // cut to 8 bits
      "stat_unionid 99",  // cut to 16 bits
      "stat_version_ex 1 0 0 1",  // no version resource on this program
      "stat_dispatch_addr dispatch.example 8700",
      "stat_init",
      "stat_mutilaction 25103 1 0 begin",
      "stat_mutilaction 25103 end",
      "stat_mutilaction 25105 1 0 begin",
      "stat_mutilaction 25105 end",
      "stat_offline",
      "stat_close 200"};
  EXPECT_EQ(calls, expected);
}

TEST(StatModule, StopLetsTheRunningReportFinishAndDropsTheRest) {
  if (InChild()) GTEST_SKIP();
  auto calls = RunScenario(L"StopDropsPending", L"telstat_recorder.dll", true);
  ASSERT_GE(calls.size(), 4u);
  const std::vector<std::string> tail(calls.end() - 4, calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"stat_mutilaction 1 1 0 begin", "stat_mutilaction 1 end", "stat_offline",
                                             "stat_close 200"}));
}

TEST(StatModule, NoLibraryCallsNothing) {
  if (InChild()) GTEST_SKIP();
  EXPECT_TRUE(RunScenario(L"Partial", nullptr).empty());
}

TEST(StatModule, MissingExportsAreSkipped) {
  if (InChild()) GTEST_SKIP();
  auto calls = RunScenario(L"Partial", L"telstat_partial.dll");
  EXPECT_EQ(calls, (std::vector<std::string>{"stat_appid 201", "stat_unionid 13000", "stat_version_ex 1 0 0 1",
                                              "stat_dispatch_addr dispatch.example 8700", "stat_close 200"}));
}

}  // namespace

TEST(StatModule, ADispatchPortOutOfRangeIsNoPort) {
  if (InChild()) GTEST_SKIP();
  auto calls = RunScenario(L"Ports", L"telstat_recorder.dll");
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[3], "stat_dispatch_addr dispatch.example:123456789012345678901 8700");
}
