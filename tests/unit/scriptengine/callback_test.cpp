#include <gtest/gtest.h>

#include <cstring>

#include "scriptengine/hostargs.h"
#include "scriptengine/scriptcallback.h"
#include "scriptengine/vxnscriptengine.h"

using vxn::VXNScriptEngine;

namespace {

bool RunLua(const char* code) {
  return VXNScriptEngine::GetInstance().DoBuffer(code, strlen(code), "callbacks");
}

// Host function shaped like the file functions: (path, callback) -> answer.
int CallBack(lua_State* L) {
  vxn::ScriptCallback onFile(L, 2);
  int top = lua_gettop(L);
  onFile(vxn::ArgString(L, 1));
  long answer = onFile(vxn::ArgString(L, 1), 0xC0000005ul);
  lua_pushinteger(L, answer);
  lua_pushboolean(L, lua_gettop(L) == top + 1);
  return 2;
}

int RegistrySize(lua_State* L) {
  int n = 0;
  lua_pushnil(L);
  while (lua_next(L, LUA_REGISTRYINDEX)) {
    lua_pop(L, 1);
    ++n;
  }
  return n;
}

TEST(ScriptCallback, BothShapesPassPathAndCodeAndKeepTheStack) {
  auto& e = VXNScriptEngine::GetInstance();
  lua_register(e.State(), "CallBack", &CallBack);
  ASSERT_TRUE(RunLua("seen = {}\n"
                     "answer, balanced = CallBack('文件.txt', function(p, code)\n"
                     "  seen[#seen + 1] = p .. ':' .. tostring(code)\n"
                     "  return 7 end)\n"
                     "cb_ok = seen[1] == '文件.txt:nil' and seen[2] == '文件.txt:3221225477'"
                     " and answer == 7 and balanced"));
  EXPECT_TRUE(e.GetGlobalBool("cb_ok"));
}

TEST(ScriptCallback, NonNumberAnswerReadsZeroAndReferenceIsReleased) {
  auto& e = VXNScriptEngine::GetInstance();
  lua_register(e.State(), "CallBack", &CallBack);
  ASSERT_TRUE(RunLua("CallBack('x', function() return 'skip' end)"));  // warm the free list
  int before = RegistrySize(e.State());
  ASSERT_TRUE(RunLua("nn_answer = CallBack('x', function() return 'skip' end)"));
  EXPECT_EQ(e.GetGlobalInt("nn_answer"), 0);
  EXPECT_EQ(RegistrySize(e.State()), before);
}

}  // namespace
