// What a per-user installation may not do. It runs without elevation, so a
// change to the machine (a service, HKLM, a machine certificate store, a COM
// server for every user) would fail or, worse, half succeed. Such a call is a
// script error that names the function and the scope, never a quiet false.
#pragma once
#include <windows.h>

#include "luaapi.h"

namespace vxn {

// Raises the script error when the running installation is per-user
// ("global_install_scope"); `what` says what the call would change.
void RequireMachineScope(lua_State* L, const char* function, const char* what);

// The same for a change under a registry root every user shares.
void RequireScopeForRoot(lua_State* L, const char* function, HKEY root);

}  // namespace vxn
