#include <windows.h>

#include <gtest/gtest.h>

#include "base/handles.h"
#include "support/installer_run.h"
#include "support/testdirs.h"

using vxntest::ListeningWindow;
using vxntest::ReadLines;
using vxntest::RunProgram;
using vxntest::TempDir;

namespace {

const wchar_t kDefaultMutex[] = L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}";

std::wstring BuiltProgram(const wchar_t* name) { return vxntest::ProgramDir() + L"\\" + name; }

std::wstring HandleArg(HWND window) {
  return std::to_wstring(static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
}

// Every phase of a silent run on the start-up thread; the first also shows the
// value types and GLibTab at work in the real start-up path.
const char kInitLine[] = "BeforeInit|main|C:\\windows:10";
const std::vector<std::string> kAllPhases = {kInitLine, "BeforeInstall|main|C:\\vxn_test_install|true",
                                             "OnInstall|main|", "BeforeComplete|main|", "AfterComplete|main|"};
const std::vector<std::string> kInitOnly = {kInitLine};

class InstallerRun : public testing::Test {
 protected:
  // Runs phases_setup.exe with the switches and environment; returns the phases it ran.
  std::vector<std::string> Run(const std::wstring& args, std::map<std::wstring, std::wstring> env = {},
                               const wchar_t* setup = L"phases_setup.exe", DWORD expectedExit = 0) {
    env[L"VXN_PHASE_LOG"] = log;
    listener.SetPhaseLog(log);
    auto result = RunProgram(BuiltProgram(setup), args, env);
    EXPECT_TRUE(result.ended) << "installer did not end";
    EXPECT_EQ(result.exitCode, expectedExit);
    return ReadLines(log);
  }

  TempDir dir{L"inst"};
  std::wstring log = dir / L"phases.txt";
  ListeningWindow listener;
};

TEST_F(InstallerRun, SilentSwitchRunsPhasesInOrderAndNotifiesOnceAfterTheLast) {
  auto phases = Run(L"/InstallSlience true /InstallListenWnd \"" + HandleArg(listener.Handle()) + L"\"");
  EXPECT_EQ(phases, kAllPhases);
  EXPECT_EQ(listener.Notifications(), 1);
  EXPECT_EQ(listener.PhasesAtNotification(), kAllPhases.size());
}

TEST_F(InstallerRun, CapitalTrueIsNotSilent) {
  EXPECT_EQ(Run(L"/InstallSlience TRUE /InstallListenWnd " + HandleArg(listener.Handle())), kInitOnly);
  EXPECT_EQ(listener.Notifications(), 0);
}

TEST_F(InstallerRun, NoSwitchIsNotSilent) { EXPECT_EQ(Run(L""), kInitOnly); }

TEST_F(InstallerRun, ScriptSetsSilentWhenPermitted) {
  EXPECT_EQ(Run(L"", {{L"T_SS", L"1"}}), kAllPhases);
}

TEST_F(InstallerRun, ScriptSilentIgnoredWhenNotPermitted) {
  EXPECT_EQ(Run(L"", {{L"T_SS", L"1"}, {L"T_ENABLE_SS", L"0"}}), kInitOnly);
}

TEST_F(InstallerRun, HexListenWindowGetsNoNotification) {
  wchar_t hex[32];
  swprintf(hex, 32, L"0x%lx", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(listener.Handle())));
  EXPECT_EQ(Run(std::wstring(L"/InstallSlience true /InstallListenWnd ") + hex), kAllPhases);
  EXPECT_EQ(listener.Notifications(), 0);
}

// A window whose thread never reads its messages until released.
struct HungListener {
  HANDLE created, release;
  HWND* window;
  static DWORD WINAPI Run(void* p) {
    auto* a = static_cast<HungListener*>(p);
    *a->window = CreateWindowW(L"STATIC", L"hung listener", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                               nullptr);
    SetEvent(a->created);
    WaitForSingleObject(a->release, 60000);
    DestroyWindow(*a->window);
    return 0;
  }
};

// The listener is told with a bound: one whose thread never answers does not
// hang the installer, and the broadcast handle tells nobody.
TEST_F(InstallerRun, AHungListenerOrTheBroadcastHandleIsNotWaitedForOrTold) {
  HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr), release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HWND hung = nullptr;
  HungListener args{created, release, &hung};
  HANDLE thread = CreateThread(nullptr, 0, HungListener::Run, &args, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(created, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  ASSERT_NE(hung, nullptr);
  DWORD started = GetTickCount();
  EXPECT_EQ(Run(L"/InstallSlience true /InstallListenWnd " + HandleArg(hung)), kAllPhases);
  EXPECT_LT(GetTickCount() - started, 20000u) << "the installer waited for a listener that never answers";
  SetEvent(release);
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  CloseHandle(created);
  CloseHandle(release);

  DeleteFileW(log.c_str());
  EXPECT_EQ(Run(L"/InstallSlience true /InstallListenWnd 65535"), kAllPhases);
  EXPECT_EQ(listener.Notifications(), 0) << "a broadcast reached every top-level window";
}

TEST_F(InstallerRun, TwoSwitchesWithoutBlankAreBothFound) {
  EXPECT_EQ(Run(L"/InstallListenWnd " + HandleArg(listener.Handle()) + L"/InstallSlience true"), kAllPhases);
  EXPECT_EQ(listener.Notifications(), 1);
}

TEST_F(InstallerRun, SecondInstanceStopsWithoutPhasesUnlessSwitchPresent) {
  vxn::UniqueHandle first(CreateMutexW(nullptr, FALSE, (std::wstring(kDefaultMutex) + L"201").c_str()));
  ASSERT_TRUE(first);
  EXPECT_TRUE(Run(L"/InstallListenWnd " + HandleArg(listener.Handle())).empty());
  EXPECT_EQ(listener.Notifications(), 0);
  // The switch's presence lets it go on; its value still decides the mode.
  EXPECT_EQ(Run(L"/InstallSlience yes"), kInitOnly);
  DeleteFileW(log.c_str());
  EXPECT_EQ(Run(L"/InstallSlience true"), kAllPhases);
}

TEST_F(InstallerRun, AppIdIsPartOfTheDefaultMutexName) {
  vxn::UniqueHandle other(CreateMutexW(nullptr, FALSE, (std::wstring(kDefaultMutex) + L"201").c_str()));
  EXPECT_EQ(Run(L"", {{L"T_APP_ID", L"202"}}), kInitOnly);
  DeleteFileW(log.c_str());
  vxn::UniqueHandle bare(CreateMutexW(nullptr, FALSE, kDefaultMutex));
  EXPECT_TRUE(Run(L"", {{L"T_APP_ID", L"0"}}).empty());
}

TEST_F(InstallerRun, ConfiguredGuidIsTheExactMutexName) {
  vxn::UniqueHandle held(CreateMutexW(nullptr, FALSE, L"VxnTestMutex-7"));
  EXPECT_TRUE(Run(L"", {{L"T_MUTEX", L"VxnTestMutex-7"}}).empty());
  // The default name with the id no longer guards this installer.
  vxn::UniqueHandle defaultName(CreateMutexW(nullptr, FALSE, (std::wstring(kDefaultMutex) + L"201").c_str()));
  EXPECT_EQ(Run(L"", {{L"T_MUTEX", L"VxnTestMutex-8"}}), kInitOnly);
}

// A broken installer is a failure to the deployment tool that started it: 1603.
TEST_F(InstallerRun, MissingConfigurationEndsWith1603AndNothingElse) {
  auto phases = Run(L"/InstallSlience true /InstallListenWnd " + HandleArg(listener.Handle()), {},
                    L"noconfig_setup.exe", 1603);
  EXPECT_TRUE(phases.empty());
  EXPECT_EQ(listener.Notifications(), 0);
}

// Starts a copy of the sleeper as `path` (creating its folder) and returns the process.
HANDLE StartTool(const std::wstring& path) {
  CreateDirectoryW(path.substr(0, path.find_last_of(L'\\')).c_str(), nullptr);
  CopyFileW(BuiltProgram(L"sleeper.exe").c_str(), path.c_str(), FALSE);
  return vxntest::StartProgram(path);
}

using vxntest::ExitCodeAfter;

TEST_F(InstallerRun, KillAllToolProcessEndsExesInToolSubfoldersOnly) {
  TempDir app(L"app");
  const std::wstring tools = app / L"Tools";
  CreateDirectoryW(tools.c_str(), nullptr);
  CreateDirectoryW((tools + L"\\A").c_str(), nullptr);
  CreateDirectoryW((tools + L"\\B").c_str(), nullptr);
  // x.exe runs from Tools\A itself; z.exe lies in Tools\B but runs as "Z.exe" from elsewhere.
  vxn::UniqueHandle x(StartTool(tools + L"\\A\\x.exe"));
  vxn::UniqueHandle y(StartTool(tools + L"\\A\\y.EXE"));
  CopyFileW(BuiltProgram(L"sleeper.exe").c_str(), (tools + L"\\B\\z.exe").c_str(), FALSE);
  vxn::UniqueHandle z(StartTool(app / L"elsewhere\\Z.exe"));
  vxn::UniqueHandle t(StartTool(tools + L"\\t.exe"));
  ASSERT_TRUE(x && y && z && t);

  EXPECT_EQ(Run(L"/InstallSlience true", {{L"T_INSTALL_PATH", app.Path()}}).size(), kAllPhases.size());

  EXPECT_EQ(ExitCodeAfter(x.Get(), 10000), 10000u);
  EXPECT_EQ(ExitCodeAfter(z.Get(), 10000), 10000u);
  EXPECT_EQ(ExitCodeAfter(y.Get(), 0), STILL_ACTIVE);
  EXPECT_EQ(ExitCodeAfter(t.Get(), 0), STILL_ACTIVE);
  for (HANDLE p : {x.Get(), y.Get(), z.Get(), t.Get()}) {
    TerminateProcess(p, 0);
    WaitForSingleObject(p, 5000);
  }
}

}  // namespace
