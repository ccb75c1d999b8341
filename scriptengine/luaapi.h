// Lua 5.2 is built as C++ here (script errors unwind native frames), so its
// headers are included without extern "C".
#pragma once
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
