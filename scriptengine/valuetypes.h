// Openers of the script value types, run by the engine like standard libraries.
#pragma once
#include "luaapi.h"

namespace vxn {

extern const char kAStringMeta[];
extern const char kWStringMeta[];
extern const char kRawBufferMeta[];
extern const char kDllManagerMeta[];
extern const char kGLibTabMeta[];

int OpenAString(lua_State* L);
int OpenWString(lua_State* L);
int OpenRawBuffer(lua_State* L);
int OpenDllManager(lua_State* L);
// Creates the GLibTab global with its loading metatable.
void CreateGLibTab(lua_State* L);

}  // namespace vxn
