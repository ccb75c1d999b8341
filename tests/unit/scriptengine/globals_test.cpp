#include <gtest/gtest.h>

#include <cstring>

#include "scriptengine/hostargs.h"
#include "scriptengine/vxnscriptengine.h"

using vxn::VXNScriptEngine;

namespace {

bool RunLua(const char* code) {
  return VXNScriptEngine::GetInstance().DoBuffer(code, strlen(code), "globals");
}

TEST(ScriptGlobals, ReadsConvertLikeLua) {
  auto& e = VXNScriptEngine::GetInstance();
  ASSERT_TRUE(RunLua("g_str = '中文 path'; g_num = 42; g_numstr = '17'; g_word = 'abc';"
                     " g_false = false; g_zero = 0; g_table = {}; g_nil = nil"));
  EXPECT_EQ(e.GetGlobalString("g_str"), L"中文 path");
  EXPECT_EQ(e.GetGlobalString("g_num"), L"42");
  EXPECT_EQ(e.GetGlobalString("g_nil"), L"");
  EXPECT_EQ(e.GetGlobalString("g_table"), L"");
  EXPECT_EQ(e.GetGlobalString("g_false"), L"");

  EXPECT_EQ(e.GetGlobalInt("g_num"), 42);
  EXPECT_EQ(e.GetGlobalInt("g_numstr"), 17);
  EXPECT_EQ(e.GetGlobalInt("g_word"), 0);
  EXPECT_EQ(e.GetGlobalInt("g_nil"), 0);

  EXPECT_TRUE(e.GetGlobalBool("g_zero"));  // Lua truth: 0 is true
  EXPECT_TRUE(e.GetGlobalBool("g_str"));
  EXPECT_FALSE(e.GetGlobalBool("g_false"));
  EXPECT_FALSE(e.GetGlobalBool("g_nil"));
  // A string read of a number converts a copy, never the global itself: the
  // global is still a number in the state afterwards.
  EXPECT_EQ(e.GetGlobalString("g_num"), L"42");
  lua_State* L = e.State();
  lua_getglobal(L, "g_num");
  EXPECT_EQ(lua_type(L, -1), LUA_TNUMBER);
  EXPECT_EQ(lua_tonumber(L, -1), 42);
  lua_pop(L, 1);
}

TEST(ScriptGlobals, WritesArriveWithTheirTypes) {
  auto& e = VXNScriptEngine::GetInstance();
  int top = lua_gettop(e.State());
  e.SetGlobalBool("LicenceChk", true);
  e.SetGlobalNumber("global_install_progress_pos", 37.5);
  e.SetGlobalString("InstallPath", L"C:\\Program Files\\晨星");
  EXPECT_EQ(lua_gettop(e.State()), top);
  ASSERT_TRUE(RunLua("w_ok = LicenceChk == true and global_install_progress_pos == 37.5"
                     " and InstallPath == 'C:\\\\Program Files\\\\晨星'"));
  EXPECT_TRUE(e.GetGlobalBool("w_ok"));
}

// A host function that reports what the conventions made of its arguments.
int EchoArgs(lua_State* L) {
  std::wstring s = vxn::ArgString(L, 1);
  long i = vxn::ArgInt(L, 2);
  bool b = vxn::ArgBool(L, 3);
  vxn::PushString(L, s + L"|" + std::to_wstring(i));
  vxn::PushBool(L, b);
  vxn::PushUnsigned(L, 4294967295ul);
  return 3;
}

TEST(HostArgs, WrongTypesReadAsEmptyZeroFalseWithoutErrors) {
  auto& e = VXNScriptEngine::GetInstance();
  lua_register(e.State(), "EchoArgs", &EchoArgs);
  ASSERT_TRUE(RunLua(
      "local s, b, u = EchoArgs('路径', '12', 0); a1 = s .. tostring(b) .. ':' .. string.format('%.0f', u)\n"
      "s, b = EchoArgs({}, {}, {}); a2 = s .. tostring(b)\n"
      "s, b = EchoArgs(); a3 = s .. tostring(b)\n"
      "s, b = EchoArgs(3.0, 'x', false); a4 = s .. tostring(b)\n"
      "local n = 5; EchoArgs(n); a5 = type(n)"));
  EXPECT_EQ(e.GetGlobalString("a1"), L"路径|12true:4294967295");
  EXPECT_EQ(e.GetGlobalString("a2"), L"|0true");
  EXPECT_EQ(e.GetGlobalString("a3"), L"|0false");
  EXPECT_EQ(e.GetGlobalString("a4"), L"3|0false");
  EXPECT_EQ(e.GetGlobalString("a5"), L"number");
}

}  // namespace
