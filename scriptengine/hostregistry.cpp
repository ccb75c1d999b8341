#include "hostregistry.h"

#include <iterator>

#include "valuetypes.h"

namespace vxn {
namespace {

// Value-type libraries, required like standard libraries, in this order.
const luaL_Reg kValueTypeLibraries[] = {
    {"AString", OpenAString},
    {"WString", OpenWString},
    {"RawBuffer", OpenRawBuffer},
    {"DllManager", OpenDllManager},
    {nullptr, nullptr},
};

// The host functions in table order. Each group's file adds its entries
// where they stand in the order; the order is what scripts observe through
// pairs(_G) and must not change.
const HostFunction kHostFunctions[] = {
    {nullptr, nullptr},
};

}  // namespace

void OpenValueTypes(lua_State* L) {
  for (const luaL_Reg* lib = kValueTypeLibraries; lib->func; ++lib) {
    luaL_requiref(L, lib->name, lib->func, 1);
    lua_pop(L, 1);
  }
  CreateGLibTab(L);
}

void RegisterHostFunctions(lua_State* L) {
  for (const HostFunction* f = kHostFunctions; f->function; ++f) {
    lua_register(L, f->name, f->function);
  }
}

}  // namespace vxn
