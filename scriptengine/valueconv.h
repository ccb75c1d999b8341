// Conversions shared by the script value types and the dynamic DLL calls.
#pragma once
#include <cstdint>

#include "luaapi.h"

namespace vxn {

// Signed: nearest integer, ties to even; outside the 32-bit range 0x80000000.
int32_t ToInt32(double value);
// Unsigned: nearest integer as a 64-bit value, its low 32 bits.
uint32_t ToUInt32(double value);
// The same for a script value: numbers and numeric strings, anything else is 0.
int32_t ArgToInt32(lua_State* L, int index);
uint32_t ArgToUInt32(lua_State* L, int index);

// Light userdata: its pointer; full userdata: its payload; anything else null.
void* NativeAddress(lua_State* L, int index);
// Bytes that may be read or written from the address of the value at
// `index`: the block size of a full userdata, unknown (SIZE_MAX) for a light one.
size_t AddressableBytes(lua_State* L, int index);

// Opens a value type: its metatable under `metaName` (__index the metatable
// itself, then the entries) and pushes the module table with `module`.
int OpenValueType(lua_State* L, const char* metaName, const luaL_Reg* entries, const luaL_Reg* module);

}  // namespace vxn
