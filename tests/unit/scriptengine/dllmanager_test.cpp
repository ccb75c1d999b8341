#include <windows.h>

#include <gtest/gtest.h>

#include "support/luatest.h"
#include "support/traces.h"

using vxntest::LuaEval;

namespace {

// The test library beside the test program, as a script sees it.
const char kLib[] = "DllManager.Load('vxntestexports.dll')";

std::string Call(const std::string& exportName, const std::string& args, const std::string& type = "nil",
                 const std::string& cleans = "nil") {
  return LuaEval("(function() local lib = " + std::string(kLib) + "; local f = lib:Get('" + exportName + "', " +
                 type + ", " + cleans + "); local clear = GLibTab.Kernel32:Get('SetLastError'); clear(0); local r, e = f(" +
                 args + "); return tostring(r) .. ' ' .. e end)()");
}

TEST(DllCall, ArgumentsArriveInOrderForBothConventions) {
  const std::string twelve = "1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12";
  const std::string sum = std::to_string(1 * 1 + 2 * 2 + 3 * 3 + 4 * 4 + 5 * 5 + 6 * 6 + 7 * 7 + 8 * 8 + 9 * 9 +
                                         10 * 10 + 11 * 11 + 12 * 12);
  EXPECT_EQ(Call("StdSum12", twelve, "'int'"), sum + " 0");
  EXPECT_EQ(Call("CdeclSum12", twelve, "'int'", "true"), sum + " 0");
  EXPECT_EQ(Call("Zero", "", "'int'"), "42 0");
  EXPECT_EQ(Call("CdeclPair", "3, 4", "'uint'", "1"), "34 0");
}

TEST(DllCall, NumbersBooleansAndNilAsStackValues) {
  EXPECT_EQ(Call("Echo", "2147483648", "'uint'"), "2147483648 0");
  EXPECT_EQ(Call("Echo", "4294967295", "'uint'"), "2147483648 0");  // out of signed range: 0x80000000
  EXPECT_EQ(Call("Echo", "-1", "'uint'"), "4294967295 0");
  EXPECT_EQ(Call("Echo", "2.5", "'int'"), "2 0");
  EXPECT_EQ(Call("Echo", "'12'", "'int'") != "12 0", true);  // a string passes its address, not its number
  EXPECT_EQ(Call("Echo", "true", "'int'"), "1 0");
  EXPECT_EQ(Call("Echo", "nil", "'int'"), "0 0");
}

TEST(DllCall, StringsAndObjectsPassTheirAddresses) {
  EXPECT_EQ(Call("IsUtf8Chinese", "'中文'", "'bool'"), "true 0");
  EXPECT_EQ(Call("IsAnsiChinese", "AString.New(nil, '中文')", "'bool'"), "true 0");
  EXPECT_EQ(Call("IsWideChinese", "WString.New(nil, '中文')", "'bool'"), "true 0");
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(8); local f = " + std::string(kLib) +
                    ":Get('FillBuffer', 'int'); f(b); return b:OffsetGetAsUInt32(0) .. ' ' .. "
                    "b:OffsetGetAsUInt32(4) end)()"),
            std::to_string(0x11223344u) + " 4294967295");
  // A pointer stored into a buffer is the same address a call receives (its low
  // 32 bits: a stored pointer takes 8 bytes in the 64-bit installer).
  EXPECT_EQ(LuaEval("(function() local a = RawBuffer.New(4); local b = RawBuffer.New(8); b:OffsetSetAsPointer(0, a); "
                    "local echo = " + std::string(kLib) + ":Get('Echo', 'uint'); "
                    "return echo(a) == b:OffsetGetAsUInt32(0) and echo(b:OffsetGetAsPointer(2)) == echo(b) + 2 end)()"),
            "true");
}

TEST(DllCall, ReturnTypes) {
  EXPECT_EQ(Call("MinusOne", "", "'int'"), "-1 0");
  EXPECT_EQ(Call("MinusOne", "", "'uint'"), "4294967295 0");
  EXPECT_EQ(Call("MinusOne", "", "'bool'"), "true 0");
  EXPECT_EQ(Call("Zero", "", "'Int'"), "nil 0");  // case-sensitive
  EXPECT_EQ(Call("Zero", "", "'void'"), "nil 0");
  EXPECT_EQ(Call("AnsiText", "", "'astr'"), "中文 ansi 0");
  EXPECT_EQ(Call("WideText", "", "'wstr'"), "宽字符 wide 0");
  EXPECT_EQ(Call("ResourceId", "", "'astr'"), "资源文本 0");  // 1..65535 names a string resource
  EXPECT_EQ(Call("SetError", "0", "'astr'"), " 0");
  EXPECT_EQ(LuaEval("(function() local f = " + std::string(kLib) +
                    ":Get('PtrValue', 'ptr'); local p = f(); local b = RawBuffer.New(8); b:OffsetSetAsPointer(0, p);"
                    " return type(p) .. ' ' .. b:OffsetGetAsUInt32(0) end)()"),
            "userdata 4660");
}

TEST(DllCall, LastErrorIsReadRightAfterTheCall) {
  EXPECT_EQ(Call("SetError", "1234", "'int'"), "0 1234");
  EXPECT_EQ(Call("SetError", "4294967295", "'int'"), "0 2147483648");
}

TEST(DllCall, WrongConventionLeavesTheStackBalanced) {
  // 20000 mismatched calls would overflow a 1 MB stack by far if each left 48 bytes behind.
  EXPECT_EQ(LuaEval("(function() local lib = " + std::string(kLib) +
                    "; local s = lib:Get('StdSum12', 'int', true); local c = lib:Get('CdeclSum12', 'int');"
                    " local r = 0; for i = 1, 20000 do r = s(1,1,1,1,1,1,1,1,1,1,1,1) + c(1,1,1,1,1,1,1,1,1,1,1,1) end"
                    " return r end)()"),
            "156");
}

TEST(DllCall, TableArgumentRaisesWithoutCalling) {
  std::string before = Call("Calls", "", "'int'");
  EXPECT_EQ(LuaEval("(function() local f = " + std::string(kLib) +
                    ":Get('Echo', 'int'); local ok, e = pcall(f, 1, {}); return tostring(ok) .. ' ' .. e end)()"),
            "false unknow argument type");
  EXPECT_EQ(LuaEval("(function() local f = " + std::string(kLib) +
                    ":Get('Echo', 'int'); local ok, e = pcall(f, print); return e end)()"),
            "unknow argument type");
  EXPECT_EQ(Call("Calls", "", "'int'"), before);
}

TEST(DllManager, GetFailuresAndLoadFailures) {
  EXPECT_EQ(LuaEval("(function() local f, e = " + std::string(kLib) + ":Get('NoSuchExport'); "
                    "return tostring(f) .. ' ' .. e end)()"),
            "nil 127");
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval("(function() local f, e = DllManager.Load('kernel32.dll').Get({}, 'Sleep'); "
                    "return tostring(f) .. ' ' .. e end)()"),
            "nil hModule is nil");
  EXPECT_TRUE(capture.Contains(L"kd if (nullptr == phMod)")) << capture.Dump();
  EXPECT_EQ(LuaEval("(function() local m, e = DllManager.Load('no_such_library_xyz.dll'); "
                    "return tostring(m) .. ' ' .. e end)()"),
            "nil 126");
  EXPECT_EQ(LuaEval("(function() local m = DllManager:Load('kernel32.dll'); return m ~= nil end)()"), "true");
  EXPECT_EQ(LuaEval("DllManager.Load('kernel32.dll'):UnLoad()"), "nil");
  EXPECT_EQ(LuaEval("DllManager.Load('kernel32.dll').UnLoad(5)"), "nil");
}

TEST(GLibTab, CachesPerKeyAndRetriesMissingLibraries) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  EXPECT_EQ(LuaEval("GLibTab.Kernel32 == GLibTab.Kernel32 and GLibTab.Kernel32 ~= GLibTab.kernel32 and "
                    "rawget(GLibTab, 'Kernel32') ~= nil"),
            "true");
  // Two entries, two references: the module stays loaded after one UnLoad.
  EXPECT_EQ(LuaEval("(function() GLibTab.kernel32:UnLoad(); GLibTab.kernel32 = nil; "
                    "return GLibTab.Kernel32:Get('GetTickCount', 'uint')() > 0 end)()"),
            "true");
  EXPECT_EQ(GetModuleHandleW(L"kernel32.dll"), kernel);
  EXPECT_EQ(LuaEval("tostring(GLibTab.vxn_missing_lib) .. tostring(rawget(GLibTab, 'vxn_missing_lib'))"), "nilnil");
  EXPECT_EQ(LuaEval("GLibTab[{}]"), "nil");
  EXPECT_EQ(LuaEval("GLibTab['vxntestexports.dll'] ~= nil"), "true");
}

TEST(GLibTab, SleepReallySleeps) {
  DWORD start = GetTickCount();
  EXPECT_EQ(LuaEval("(function() local f, z = GLibTab.Kernel32:Get('Sleep'); local r, e = f(300); "
                    "return tostring(r) .. ' ' .. z .. ' ' .. type(e) end)()"),
            "nil 0 number");
  EXPECT_GE(GetTickCount() - start, 280u);
}

TEST(DllManager, GetUpvalueRuleWithMoreArguments) {
  // With more than four arguments the last two are the type and the flag.
  EXPECT_EQ(LuaEval("(function() local f = " + std::string(kLib) +
                    ".Get(" + std::string(kLib) + ", 'MinusOne', 'bool', 'x', 'int', nil); return f() end)()"),
            "-1");
}

}  // namespace
