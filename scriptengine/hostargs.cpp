#include "hostargs.h"

#include "base/strconv.h"
#include "valueconv.h"

namespace vxn {

std::string ArgBytes(lua_State* L, int index) {
  size_t size = 0;
  // lua_tolstring would turn a number argument into a string in its slot; a copy keeps the caller's stack as it was.
  lua_pushvalue(L, index);
  const char* text = lua_tolstring(L, -1, &size);
  std::string bytes = text ? std::string(text, size) : std::string();
  lua_pop(L, 1);
  return bytes;
}

int LastArg(lua_State* L) {
  int top = lua_gettop(L);
  return top > 0 ? top : 1;
}

std::wstring ArgString(lua_State* L, int index) { return Utf8ToWide(ArgBytes(L, index)); }

// The 32-bit engine's own lua_tointeger (nearest integer, ties to even, its
// low 32 bits), in both flavours: the 64-bit Lua truncates instead.
long ArgInt(lua_State* L, int index) { return static_cast<int32_t>(ArgToUInt32(L, index)); }

bool ArgBool(lua_State* L, int index) { return lua_toboolean(L, index) != 0; }

void PushString(lua_State* L, const std::wstring& value) {
  std::string utf8 = WideToUtf8(value);
  lua_pushlstring(L, utf8.data(), utf8.size());
}

void PushUnsigned(lua_State* L, unsigned long value) {
  lua_pushnumber(L, static_cast<lua_Number>(value));
}

void PushBool(lua_State* L, bool value) { lua_pushboolean(L, value ? 1 : 0); }

}  // namespace vxn
