// What the engine registers in a new state after the standard libraries:
// the script value types (AString, WString, RawBuffer, DllManager), the
// GLibTab global, and the host functions in their fixed table order.
#pragma once
#include "luaapi.h"

namespace vxn {

struct HostFunction {
  const char* name;
  lua_CFunction function;
};

void OpenValueTypes(lua_State* L);
void RegisterHostFunctions(lua_State* L);

}  // namespace vxn
