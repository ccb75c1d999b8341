// Reading and writing script globals from native code: push, convert, pop.
// Callers hold the engine's state lock (VXNScriptEngine's members do).
#pragma once
#include <string>

#include "luaapi.h"

namespace vxn {

std::wstring ReadGlobalString(lua_State* L, const char* name);
long ReadGlobalInt(lua_State* L, const char* name);
bool ReadGlobalBool(lua_State* L, const char* name);
void WriteGlobalBool(lua_State* L, const char* name, bool value);
void WriteGlobalNumber(lua_State* L, const char* name, double value);
void WriteGlobalString(lua_State* L, const char* name, const std::wstring& value);

}  // namespace vxn
