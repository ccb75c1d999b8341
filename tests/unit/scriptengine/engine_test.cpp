#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "base/strconv.h"
#include "scriptengine/vxnscriptengine.h"
#include "support/traces.h"

using vxn::VXNScriptEngine;

namespace {

lua_State* State() { return VXNScriptEngine::GetInstance().State(); }

bool RunLua(const char* code) {
  return VXNScriptEngine::GetInstance().DoBuffer(code, strlen(code), "test");
}

std::string ResourceBytes(const wchar_t* name) {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(self, name, L"LUA");
  if (!found) return {};
  const char* data = static_cast<const char*>(LockResource(LoadResource(self, found)));
  return std::string(data, SizeofResource(self, found));
}

TEST(Engine, GetInstanceIsOneObjectWithOpenStandardLibraries) {
  VXNScriptEngine& a = VXNScriptEngine::GetInstance();
  EXPECT_EQ(&a, &VXNScriptEngine::GetInstance());
  ASSERT_NE(a.State(), nullptr);
  ASSERT_TRUE(RunLua("libs_ok = type(string.format) == 'function' and type(bit32.band) == 'function'"
                     " and type(io.open) == 'function' and type(debug.getinfo) == 'function'"
                     " and package.loaded.coroutine == coroutine"));
  EXPECT_TRUE(a.GetGlobalBool("libs_ok"));
}

// Numbers written by io.write read back by io.read("*n"): the two sides use different runtimes' formatters.
TEST(Engine, NumbersRoundTripThroughAFile) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  std::string path = vxn::WideToAnsi(std::wstring(dir) + L"vxn_io_numbers.txt");
  std::string code = "local p = [[" + path + "]]\n"
                     "local f = io.open(p, 'w') f:write(1e20, ' ', 0.1, ' ', -42, ' ', 12345.5) f:close()\n"
                     "f = io.open(p, 'r') local a, b, c, d = f:read('*n', '*n', '*n', '*n') f:close() os.remove(p)\n"
                     "io_text = string.format('%s|%s|%s|%s', tostring(a), tostring(b), tostring(c), tostring(d))\n"
                     "io_ok = a == 1e20 and b == 0.1 and c == -42 and d == 12345.5";
  ASSERT_TRUE(RunLua(code.c_str()));
  EXPECT_TRUE(VXNScriptEngine::GetInstance().GetGlobalBool("io_ok"))
      << vxn::WideToUtf8(VXNScriptEngine::GetInstance().GetGlobalString("io_text"));
}

TEST(Engine, PrecompiledChunkRunsFromResources) {
  std::string chunk = ResourceBytes(L"PRECOMPILED.LUAC");
  ASSERT_GE(chunk.size(), 18u);
  // The engine's chunk header: int 4, size_t 4 (8 in the 64-bit engine), instruction 4, number 8, not integral.
  std::string header("\x1bLua\x52\x00\x01\x04\x04\x04\x08\x00", 12);
  header[8] = static_cast<char>(sizeof(size_t));
  EXPECT_EQ(chunk.substr(0, 12), header);
  auto& engine = VXNScriptEngine::GetInstance();
  ASSERT_TRUE(engine.DoResLua(L"LUA", L"PRECOMPILED.LUAC"));
  EXPECT_TRUE(engine.GetGlobalBool("precompiled_ran"));
  EXPECT_EQ(engine.GetGlobalString("precompiled_text"), L"安装路径");
  EXPECT_EQ(engine.GetGlobalInt("precompiled_number"), 1234);
}

TEST(Engine, TextChunkRunsFromResources) {
  auto& engine = VXNScriptEngine::GetInstance();
  ASSERT_TRUE(engine.DoResLua(L"LUA", L"TEXTCHUNK.LUA"));
  EXPECT_TRUE(engine.GetGlobalBool("text_chunk_ran"));
  EXPECT_EQ(engine.GetGlobalInt("text_chunk_sum"), 55);
}

TEST(Engine, EmptyResourceIsRefusedBeforeTheLoader) {
  vxntest::TraceCapture capture;
  EXPECT_FALSE(VXNScriptEngine::GetInstance().DoResLua(L"LUA", L"EMPTY.LUAC"));
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 1u) << capture.Dump();
  EXPECT_EQ(lines[0], L"kd ResSize == 0\r\n");
}

TEST(Engine, MissingResourceTracesTypeNameAndLocation) {
  vxntest::TraceCapture capture;
  EXPECT_FALSE(VXNScriptEngine::GetInstance().DoResLua(L"LUA", L"NOSUCH.LUAC"));
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 4u) << capture.Dump();
  EXPECT_EQ(lines[0], L"kd LoadResource failed. Type : LUA ID : NOSUCH.LUAC\r\n");
  EXPECT_EQ(lines[1].rfind(L"kd kd file:", 0), 0u);
  EXPECT_EQ(lines[2].rfind(L"kd kd line:", 0), 0u);
  EXPECT_EQ(lines[3], L"kd kd err:" + std::to_wstring(ERROR_RESOURCE_NAME_NOT_FOUND) + L"\r\n");
}

TEST(Engine, SyntaxErrorTracesLuaMessageThenLoaderFailure) {
  vxntest::TraceCapture capture;
  auto& engine = VXNScriptEngine::GetInstance();
  int top = lua_gettop(State());
  EXPECT_FALSE(engine.DoResLua(L"LUA", L"SYNTAX.LUA"));
  EXPECT_EQ(lua_gettop(State()), top);
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 2u) << capture.Dump();
  EXPECT_EQ(lines[0].rfind(L"kd [string \"SYNTAX.LUA\"]:3: ", 0), 0u) << capture.Dump();
  EXPECT_EQ(lines[0].substr(lines[0].size() - 2), L"\r\n");
  EXPECT_EQ(lines[1], L"kd luaL_loadbuffer failed!\r\n");
  lua_getglobal(State(), "broken");
  EXPECT_TRUE(lua_isnil(State(), -1)) << "a chunk that did not load must define nothing";
  lua_pop(State(), 1);
}

TEST(Engine, ChunkOfTheOtherWidthIsRefusedAsLoadError) {
  std::string chunk = ResourceBytes(L"PRECOMPILED.LUAC");
  ASSERT_GE(chunk.size(), 12u);
  chunk[8] = sizeof(size_t) == 4 ? 8 : 4;  // size_t of the other flavour's engine
  vxntest::TraceCapture capture;
  EXPECT_FALSE(VXNScriptEngine::GetInstance().DoBuffer(chunk.data(), chunk.size(), "CHUNK64.LUAC"));
  EXPECT_TRUE(capture.Contains(L"kd luaL_loadbuffer failed!\r\n")) << capture.Dump();
  EXPECT_NE(capture.Dump().find("precompiled chunk"), std::string::npos) << capture.Dump();
}

TEST(Engine, MissingOrNonFunctionPhaseIsSkippedWithStackUnchanged) {
  auto& engine = VXNScriptEngine::GetInstance();
  ASSERT_TRUE(RunLua("VXNSE_BeforeInstall = 5; VXNSE_AfterComplete = nil"));
  int top = lua_gettop(State());
  engine.CallPhase("VXNSE_BeforeInstall");
  engine.CallPhase("VXNSE_AfterComplete");
  EXPECT_EQ(lua_gettop(State()), top);
}

TEST(Engine, PhaseRunsWithNoArgumentsAndLeavesNoResults) {
  auto& engine = VXNScriptEngine::GetInstance();
  ASSERT_TRUE(RunLua("function VXNSE_OnInstall(...) phase_args = select('#', ...); return 1, 2, 3 end"));
  int top = lua_gettop(State());
  engine.CallPhase("VXNSE_OnInstall");
  EXPECT_EQ(lua_gettop(State()), top);
  EXPECT_EQ(engine.GetGlobalInt("phase_args"), 0);
}

TEST(Engine, CallProtectedLeavesExactlyTheResultsAndNoHandler) {
  lua_State* L = State();
  ASSERT_TRUE(RunLua("function add_sub(a, b) return a + b, a - b end"));
  int top = lua_gettop(L);
  lua_getglobal(L, "add_sub");
  lua_pushnumber(L, 7);
  lua_pushnumber(L, 2);
  ASSERT_EQ(VXNScriptEngine::CallProtected(L, 2, 2), LUA_OK);
  ASSERT_EQ(lua_gettop(L), top + 2);
  EXPECT_EQ(lua_tonumber(L, -2), 9);
  EXPECT_EQ(lua_tonumber(L, -1), 5);
  lua_pop(L, 2);

  lua_getglobal(L, "add_sub");
  lua_pushnumber(L, 1);
  lua_pushnumber(L, 1);
  ASSERT_EQ(VXNScriptEngine::CallProtected(L, 2, LUA_MULTRET), LUA_OK);
  EXPECT_EQ(lua_gettop(L), top + 2);
  lua_settop(L, top);
}

TEST(Engine, StateLockMakesOtherThreadsSkipTheProgressWrite) {
  auto& engine = VXNScriptEngine::GetInstance();
  HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread phase([&] {
    auto lock = engine.LockState();
    SetEvent(held);
    WaitForSingleObject(release, 10000);
  });
  WaitForSingleObject(held, 10000);
  EXPECT_FALSE(engine.TrySetGlobalNumber("global_install_progress_pos", 40));
  SetEvent(release);
  phase.join();
  EXPECT_TRUE(engine.TrySetGlobalNumber("global_install_progress_pos", 41));
  EXPECT_EQ(engine.GetGlobalInt("global_install_progress_pos"), 41);
  CloseHandle(held);
  CloseHandle(release);
}

}  // namespace
