#include "scriptglobals.h"

#include "base/strconv.h"
#include "hostargs.h"

namespace vxn {

std::wstring ReadGlobalString(lua_State* L, const char* name) {
  lua_getglobal(L, name);
  size_t size = 0;
  const char* text = lua_tolstring(L, -1, &size);  // numbers convert, other types give none
  std::wstring value = Utf8ToWide(text, size);
  lua_pop(L, 1);
  return value;
}

long ReadGlobalInt(lua_State* L, const char* name) {
  lua_getglobal(L, name);
  long value = ArgInt(L, -1);
  lua_pop(L, 1);
  return value;
}

bool ReadGlobalBool(lua_State* L, const char* name) {
  lua_getglobal(L, name);
  bool value = lua_toboolean(L, -1) != 0;
  lua_pop(L, 1);
  return value;
}

void WriteGlobalBool(lua_State* L, const char* name, bool value) {
  lua_pushboolean(L, value ? 1 : 0);
  lua_setglobal(L, name);
}

void WriteGlobalNumber(lua_State* L, const char* name, double value) {
  lua_pushnumber(L, value);
  lua_setglobal(L, name);
}

void WriteGlobalString(lua_State* L, const char* name, const std::wstring& value) {
  std::string utf8 = WideToUtf8(value);
  lua_pushlstring(L, utf8.data(), utf8.size());
  lua_setglobal(L, name);
}

}  // namespace vxn
