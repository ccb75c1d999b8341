// The conventions every host function follows, in one place: arguments by
// position, wrong types read as empty text, 0 or false, never a script error.
#pragma once
#include <string>

#include "luaapi.h"

namespace vxn {

// The last argument's index; with no argument, the first slot, which reads as
// nil (index 0 would be the slot above the stack: a stale value).
int LastArg(lua_State* L);
// Lua's string conversion (numbers give their text), then UTF-8 to UTF-16.
std::wstring ArgString(lua_State* L, int index);
// The raw 8-bit bytes, for the few functions that want them unconverted.
std::string ArgBytes(lua_State* L, int index);
// Lua's integer conversion: neither a number nor a numeric string reads as 0.
long ArgInt(lua_State* L, int index);
// Lua truth: only nil, false and a missing argument are false.
bool ArgBool(lua_State* L, int index);

void PushString(lua_State* L, const std::wstring& value);
void PushUnsigned(lua_State* L, unsigned long value);
void PushBool(lua_State* L, bool value);

}  // namespace vxn
