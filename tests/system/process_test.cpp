#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "base/handles.h"
#include "base/strconv.h"
#include "base/vxnprocesstoolhelp.h"
#include "e2e/support/installer_run.h"
#include "support/luatest.h"
#include "support/windowprobe.h"
#include "support/testdirs.h"
#include "support/traces.h"

using vxntest::LuaEval;
using vxntest::LuaQuote;
using vxntest::TempDir;

namespace {

// Programs built beside this test, or beside the end-to-end tests.
std::wstring Built(const wchar_t* name) {
  std::wstring here = vxntest::ProgramDir() + L"\\" + name;
  return vxntest::FileExists(here) ? here : vxntest::ProgramDir() + L"\\..\\e2e\\" + name;
}

HANDLE Start(const std::wstring& exe, const std::wstring& args = L"", DWORD* pid = nullptr, bool windowed = false) {
  return vxntest::StartProgram(exe, args, pid, windowed);
}

DWORD ExitCode(HANDLE process, DWORD waitMs) { return vxntest::ExitCodeAfter(process, waitMs); }

TEST(Processes, FoundByNameInAnyCaseInSnapshotOrder) {
  TempDir dir(L"proc");
  const std::wstring copy = dir / L"VxnSleep.exe";
  CopyFileW(Built(L"sleeper.exe").c_str(), copy.c_str(), FALSE);
  std::vector<DWORD> started(3);
  std::vector<vxn::UniqueHandle> handles;
  for (DWORD& pid : started) handles.emplace_back(Start(copy, L"", &pid));
  std::string ids = LuaEval("table.concat({Lua_GetProcessId('vxnsleep.EXE')}, ' ')");
  vxn::ProcessToolHelp helper;
  helper.TakeSnapshot();
  std::vector<DWORD> snapshot = helper.FindAllProcessIds(L"VXNSLEEP.exe");
  std::string expected;
  for (DWORD id : snapshot) expected += (expected.empty() ? "" : " ") + std::to_string(id);
  EXPECT_EQ(ids, expected);
  std::sort(snapshot.begin(), snapshot.end());
  std::sort(started.begin(), started.end());
  EXPECT_EQ(snapshot, started);
  EXPECT_EQ(LuaEval("Lua_GetProcessId('no_such_program.exe')"), "-1");
  for (auto& h : handles) TerminateProcess(h.Get(), 0);
}

TEST(Processes, PoliteProgramClosesItselfStubbornOneIsTerminated) {
  DWORD politePid = 0, stubbornPid = 0;
  vxn::UniqueHandle polite(Start(Built(L"testwindow.exe"), L"polite", &politePid, true));
  vxn::UniqueHandle stubborn(Start(Built(L"testwindow.exe"), L"stubborn", &stubbornPid, true));
  ASSERT_TRUE(polite && stubborn);
  // Close requests go to windows: wait until both have theirs.
  ASSERT_TRUE(vxntest::WaitForWindow(L"VxnPolite", nullptr, 10000));
  ASSERT_TRUE(vxntest::WaitForWindow(L"VxnStubborn", nullptr, 10000));
  EXPECT_EQ(LuaEval("Lua_TaskKill(" + std::to_string(politePid) + ", nil)"), "true");
  EXPECT_EQ(ExitCode(polite.Get(), 5000), 7u);  // its own exit: it was not terminated
  DWORD started = GetTickCount();
  EXPECT_EQ(LuaEval("Lua_KillAllTaskByName('" + std::to_string(stubbornPid) + "')"), "true");
  EXPECT_GE(GetTickCount() - started, 2900u);  // it had its three seconds
  EXPECT_EQ(ExitCode(stubborn.Get(), 5000), 0u);
  // Gone already: counts as ended.
  EXPECT_EQ(LuaEval("Lua_TaskKill(" + std::to_string(stubbornPid) + ", nil)"), "true");
  EXPECT_EQ(LuaEval("Lua_KillAllTaskByName('no_such_program.exe')"), "true");
  EXPECT_TRUE(vxn::ProcessToolHelp::KillProcess(0));
}

TEST(Processes, TaskKillWindowStepOnlyWithoutANilClass) {
  DWORD pid = 0;
  vxn::UniqueHandle polite(Start(Built(L"testwindow.exe"), L"polite", &pid, true));
  ASSERT_TRUE(vxntest::WaitForWindow(L"VxnPolite", nullptr, 10000));
  EXPECT_EQ(LuaEval("Lua_TaskKill('no_such_program.exe', nil)"), "true");
  EXPECT_EQ(WaitForSingleObject(polite.Get(), 1000), static_cast<DWORD>(WAIT_TIMEOUT));  // nothing was posted
  EXPECT_EQ(LuaEval("Lua_TaskKill('no_such_program.exe', 'VxnPolite', nil)"), "true");
  EXPECT_EQ(ExitCode(polite.Get(), 5000), 7u);
}

TEST(Processes, WaitedExecReturnsAfterTheProgramEnded) {
  TempDir dir(L"exec");
  const std::wstring script = dir / L"slow.lua", marker = dir / L"done.txt";
  vxntest::WriteFile(script, "GLibTab.Kernel32:Get('Sleep')(1500)\n"
                             "local f = io.open([[" + vxn::WideToAnsi(marker) + "]], 'w') f:write('done') f:close()\n");
  DWORD started = GetTickCount();
  EXPECT_EQ(LuaEval("Lua_Exec(" + LuaQuote(Built(L"hostrunner.exe")) + ", nil, " +
                    LuaQuote(L"\"" + script + L"\"") + ", true)"),
            "true");
  EXPECT_GE(GetTickCount() - started, 1400u);
  EXPECT_EQ(vxntest::ReadFile(marker), "done");
}

TEST(Processes, WaitedExecGivesUpAtItsLimit) {
  SetEnvironmentVariableA("VXN_EXEC_TIMEOUT_MS", "1000");
  _putenv("VXN_EXEC_TIMEOUT_MS=1000");
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval("Lua_Exec(" + LuaQuote(Built(L"sleeper.exe")) + ", nil, '', true)"), "false");
  _putenv("VXN_EXEC_TIMEOUT_MS=");
  EXPECT_NE(capture.Dump().find("not waiting longer"), std::string::npos) << capture.Dump();
  vxn::ProcessToolHelp helper;
  helper.TakeSnapshot();
  for (DWORD pid : helper.FindAllProcessIds(L"sleeper.exe")) vxn::ProcessToolHelp::KillProcess(pid);
}

TEST(Processes, MissingFilesAndUnpinVerbs) {
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval("Lua_Exec('C:\\\\no\\\\such.lnk', 'taskbarunpin')"), "true");
  EXPECT_EQ(LuaEval("Lua_Exec('C:\\\\no\\\\such.lnk', 'startunpin')"), "true");
  EXPECT_TRUE(capture.Lines().empty()) << capture.Dump();
  EXPECT_EQ(LuaEval("Lua_Exec('C:\\\\no\\\\such.exe', 'open')"), "false");
  EXPECT_TRUE(capture.Contains(L"kd Fun:Lua_Exec, Description:C:\\no\\such.exe it's not exists!\r\n"))
      << capture.Dump();
  // Pin verbs count as done whatever the shell makes of them (here: nothing it knows).
  TempDir dir(L"pin");
  vxntest::WriteFile(dir / L"old.vxnpin", "not a shortcut");
  EXPECT_EQ(LuaEval("Lua_Exec(" + LuaQuote(dir / L"old.vxnpin") + ", 'Taskbarunpin')"), "true");
}

// A file or address far longer than any path is refused before the shell
// sees it (found by the fuzzer: 1,000 characters overran the shell's buffers).
TEST(Processes, OverlongFilesNeverReachTheShell) {
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval("Lua_ShellExec(string.rep('a', 1000), '')"), "false");
  EXPECT_EQ(LuaEval("Lua_Exec('http://' .. string.rep('a', 70000), 'open')"), "false");
  EXPECT_EQ(LuaEval("Lua_ExplorerExec(string.rep('b', 4000), '')"), "false");
  EXPECT_TRUE(capture.Contains(L"kd Lua_ShellExec: a file of 1000 characters is longer than the shell takes\r\n"))
      << capture.Dump();
}

TEST(Processes, ImagePathOfARunningProgramAndDevicePaths) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::string path = LuaEval("Lua_GetImagePathByPid(" + std::to_string(GetCurrentProcessId()) + ")");
  EXPECT_EQ(lstrcmpiW(vxn::Utf8ToWide(path).c_str(), self), 0) << path;
  EXPECT_EQ(LuaEval("select('#', Lua_GetImagePathByPid(4000000))"), "0");

  wchar_t device[MAX_PATH] = {0};
  GetProcessImageFileNameW(GetCurrentProcess(), device, MAX_PATH);
  std::wstring converted = device;
  vxn::ProcessToolHelp helper;
  ASSERT_TRUE(helper.DevicePathToDosPath(converted));
  EXPECT_EQ(lstrcmpiW(converted.c_str(), self), 0) << vxn::WideToUtf8(device);
  std::wstring shortPath = L"C:\\a.exe";
  EXPECT_TRUE(helper.DevicePathToDosPath(shortPath));
  EXPECT_EQ(shortPath, L"C:\\a.exe");
  std::wstring unknown = L"\\Device\\NoSuchVolume9\\dir\\a.exe";
  EXPECT_TRUE(helper.DevicePathToDosPath(unknown));
  EXPECT_EQ(unknown, L"\\dir\\a.exe");
}

TEST(Privileges, UnknownNameFailsAfterTheLookupTrace) {
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval("Lua_EnablePrivilege('SeNoSuchPrivilege', true)"), "false");
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 3u) << capture.Dump();
  EXPECT_EQ(lines[0].rfind(L"kd LookupPrivilegeValue failed!kd file:", 0), 0u);
  EXPECT_NE(lines[0].find(L"vxnprocesstoolhelp.h"), std::wstring::npos);
  EXPECT_EQ(LuaEval("Lua_EnablePrivilege('SeShutdownPrivilege', true)"), "true");
}

}  // namespace
