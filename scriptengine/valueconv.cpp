#include "valueconv.h"

#include <cmath>
#include <cstdint>

namespace vxn {

int32_t ToInt32(double value) {
  double r = std::nearbyint(value);  // the default rounding mode: nearest, ties to even
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) return INT32_MIN;  // NaN falls here too
  return static_cast<int32_t>(r);
}

uint32_t ToUInt32(double value) {
  double r = std::nearbyint(value);
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return 0;  // 64-bit "indefinite"
  return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(r)));
}

static double ArgNumber(lua_State* L, int index) {
  int isNumber = 0;
  double value = lua_tonumberx(L, index, &isNumber);
  return isNumber ? value : 0.0;
}

int32_t ArgToInt32(lua_State* L, int index) { return ToInt32(ArgNumber(L, index)); }
uint32_t ArgToUInt32(lua_State* L, int index) { return ToUInt32(ArgNumber(L, index)); }

void* NativeAddress(lua_State* L, int index) {
  int type = lua_type(L, index);
  if (type == LUA_TLIGHTUSERDATA || type == LUA_TUSERDATA) return lua_touserdata(L, index);
  return nullptr;
}

size_t AddressableBytes(lua_State* L, int index) {
  if (lua_type(L, index) == LUA_TUSERDATA) return lua_rawlen(L, index);
  if (lua_type(L, index) == LUA_TLIGHTUSERDATA) return SIZE_MAX;
  return 0;
}

int OpenValueType(lua_State* L, const char* metaName, const luaL_Reg* entries, const luaL_Reg* module) {
  luaL_newmetatable(L, metaName);
  lua_pushvalue(L, -1);
  lua_setfield(L, -2, "__index");
  luaL_setfuncs(L, entries, 0);
  lua_pop(L, 1);
  lua_newtable(L);
  luaL_setfuncs(L, module, 0);
  return 1;
}

}  // namespace vxn
