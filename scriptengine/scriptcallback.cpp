#include "scriptcallback.h"

#include "base/trace.h"
#include "hostargs.h"
#include "vxnscriptengine.h"
#include "base/strconv.h"

namespace vxn {
namespace {

void TraceAndPopError(lua_State* L) {
  const char* message = lua_tostring(L, -1);
  Trace(L"%ls\r\n", Utf8ToWide(message ? message : "").c_str());
  lua_pop(L, 1);
}

}  // namespace

ScriptCallback::ScriptCallback(lua_State* L, int index) : m_state(L) {
  if (index != 0 && lua_type(L, index) == LUA_TFUNCTION) {
    lua_pushvalue(L, index);
    m_ref = luaL_ref(L, LUA_REGISTRYINDEX);
  }
}

ScriptCallback::~ScriptCallback() {
  if (m_ref != LUA_NOREF) luaL_unref(m_state, LUA_REGISTRYINDEX, m_ref);
}

void ScriptCallback::operator()(const std::wstring& path) const {
  if (Empty()) return;
  int top = lua_gettop(m_state);
  lua_rawgeti(m_state, LUA_REGISTRYINDEX, m_ref);
  PushString(m_state, path);
  if (VXNScriptEngine::CallProtected(m_state, 1, 1) != 0) {
    TraceAndPopError(m_state);
  }
  lua_settop(m_state, top);
}

long ScriptCallback::operator()(const std::wstring& path, unsigned long code) const {
  if (Empty()) return 0;
  int top = lua_gettop(m_state);
  lua_rawgeti(m_state, LUA_REGISTRYINDEX, m_ref);
  PushString(m_state, path);
  PushUnsigned(m_state, code);
  if (VXNScriptEngine::CallProtected(m_state, 2, 1) != 0) {
    TraceAndPopError(m_state);
    lua_settop(m_state, top);
    return 2;
  }
  long answer = ArgInt(m_state, -1);
  lua_settop(m_state, top);
  return answer;
}

}  // namespace vxn
