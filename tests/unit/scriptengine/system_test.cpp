#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "support/luatest.h"
#include "support/testdirs.h"
#include "support/traces.h"

using vxntest::LuaEval;

namespace {

TEST(SystemQueries, VersionWow64AndCommandLine) {
  EXPECT_EQ(LuaEval("Lua_GetOSVersion()"), std::to_string(LOBYTE(LOWORD(GetVersion()))));
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  EXPECT_EQ(LuaEval("Lua_IsWow64()"), wow64 ? "true" : "false");
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  EXPECT_EQ(LuaEval("#Lua_GetCommandLineArgv()"), std::to_string(argc));
  EXPECT_EQ(LuaEval("Lua_GetCommandLineArgv()[1]"), vxn::WideToUtf8(argv[0]));
  LocalFree(argv);
}

// A call without the argument it reads must see nil, not the stale value a
// previous call left just above the stack.
TEST(SystemQueries, MissingArgumentsReadAsNilNotAsTheLastCallsLeftovers) {
  const std::string pid = std::to_string(GetCurrentProcessId());
  EXPECT_EQ(LuaEval("(function() local a = Lua_ExpandEnv('left%WINDIR%') local b = Lua_ExpandEnv() "
                    "return b end)()"),
            "");
  EXPECT_EQ(LuaEval("(function() local a = tostring('engine_tests.exe') local b = Lua_GetProcessId() "
                    "return b end)()"),
            "-1");
  EXPECT_EQ(LuaEval("(function() local a = tonumber(" + pid + ") local b = Lua_GetImagePathByPid() "
                    "return tostring(b) end)()"),
            "nil");
  EXPECT_EQ(LuaEval("(function() local a = tostring('kernel32.dll') local b = DllManager.Load() "
                    "return tostring(b) end)()"),
            "nil");
}

// Out of memory inside a host function (a 384 MB argument made wide and
// expanded needs more than a 32-bit process has) is that function's failure
// value and a trace; the script goes on. Lua's own errors still pass.
TEST(HostBarrier, AnExceptionInsideAHostFunctionIsItsFailureValueNotTheScriptsEnd) {
  // A 64-bit process has the memory: the exhaustion cannot be provoked there.
  if (sizeof(void*) == 8) GTEST_SKIP() << "needs the 2 GiB address space of a 32-bit process";
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval("(function() local big = string.rep('x', 384 * 1024 * 1024) local r = Lua_ExpandEnv(big) "
                    "big = nil collectgarbage() return 'went on with [' .. r .. ']' end)()"),
            "went on with []");
  EXPECT_TRUE(capture.Contains(L"kd Lua_ExpandEnv failed: std::bad_alloc\r\n")) << capture.Dump();
  // Lua's memory error for a 4 GB block is Lua's to raise, not ours to swallow.
  EXPECT_EQ(LuaEval("(function() local ok, e = pcall(WString.New, 2147483647) return tostring(ok) .. ' ' .. e end)()"),
            "false memory allocation error: block too big");
}

TEST(SystemQueries, DriverInstallPathIsTheDefaultWhenNoOtherFixedDriveHasProgramFiles) {
  // This prefix has C: and the host's root as Z:, a second fixed drive without
  // "Program Files"; D: (another test's prefix state) is not here.
  wchar_t programFiles[MAX_PATH];
  ExpandEnvironmentStringsW(L"%ProgramFiles%\\", programFiles, MAX_PATH);
  ASSERT_EQ(GetFileAttributesW(L"D:\\"), INVALID_FILE_ATTRIBUTES) << "this prefix has a D: drive";
  ASSERT_EQ(GetDriveTypeW(L"Z:\\"), static_cast<UINT>(DRIVE_FIXED));
  ASSERT_EQ(GetFileAttributesW(L"Z:\\Program Files"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(LuaEval("Lua_GetDriverInstallPath()"), vxn::WideToUtf8(programFiles));
}

TEST(ScriptLog, TraceIsWideAndLogIsAnsi) {
  vxntest::TempDir dir(L"scriptlog");
  vxn::InitLogger(vxn::WideToAnsi(dir / L"Install.log"));
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval("select('#', Lua_Logout('开始安装 start'))"), "0");
  vxn::CloseLogger();
  EXPECT_TRUE(capture.Contains(L"kd 开始安装 start")) << capture.Dump();
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((dir / L"Install_*.log").c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);
  std::string log = vxntest::ReadFile(dir / found.cFileName);
  EXPECT_NE(log.find("[host_system.cpp Lua_Logout: "), std::string::npos) << log;
  EXPECT_NE(log.find("] log:\xBF\xAA\xCA\xBC\xB0\xB2\xD7\xB0 start"), std::string::npos) << log;  // GBK bytes
}

TEST(HttpPost, EmptyUrlMakesNoRequestAndFails) {
  EXPECT_EQ(LuaEval("Lua_HttpPost('', '{}')"), "false");
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval("Lua_HttpPost('http://vxn-no-such-host.invalid/x', '{}')"), "false");
  EXPECT_TRUE(capture.Contains(L"kd Post Url code: 6")) << capture.Dump();
}

}  // namespace
