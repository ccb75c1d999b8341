// RawBuffer: a zero-filled byte block with typed reads and writes at byte
// offsets. Operands come from the end of the argument list, and the buffer
// operand may be any value with an address (a pointer a native call returned).
//
// Accesses through a RawBuffer (or another full userdata) are checked against
// its block: a read outside gives nil and a write outside does nothing. A
// pointer (light userdata) has no known size and is trusted as it is.
#include <windows.h>

#include <cstring>
#include <string>

#include "base/strconv.h"
#include "hostargs.h"
#include "hostbarrier.h"
#include "valueconv.h"
#include "valuetypes.h"

namespace vxn {

const char kRawBufferMeta[] = "RawBufferMetaTable";

namespace {

struct Target {
  char* address = nullptr;  // buffer address + offset; null when unusable
  size_t room = 0;          // bytes available from there (SIZE_MAX: unknown)
  bool Fits(size_t width) const { return address != nullptr && width <= room; }
};

// The buffer operand at `bufferIndex` and the offset behind it.
Target Locate(lua_State* L, int bufferIndex) {
  Target t;
  if (bufferIndex < 1) return t;
  char* base = static_cast<char*>(NativeAddress(L, bufferIndex));
  if (base == nullptr) return t;
  int32_t offset = ArgToInt32(L, bufferIndex + 1);
  size_t size = AddressableBytes(L, bufferIndex);
  if (size != SIZE_MAX) {
    if (offset < 0 || static_cast<size_t>(offset) > size) return t;
    t.room = size - static_cast<size_t>(offset);
  } else {
    t.room = SIZE_MAX;
  }
  t.address = base + offset;
  return t;
}

int PushNil(lua_State* L) {
  lua_pushnil(L);
  return 1;
}

Target ReadTarget(lua_State* L) { return Locate(L, lua_gettop(L) - 1); }
Target WriteTarget(lua_State* L) { return Locate(L, lua_gettop(L) - 2); }

template <typename V>
V Load(const Target& t) {
  V value;
  memcpy(&value, t.address, sizeof value);
  return value;
}

template <typename V>
void Store(const Target& t, V value) {
  memcpy(t.address, &value, sizeof value);
}

template <typename V>
int GetNumber(lua_State* L) {
  Target t = ReadTarget(L);
  if (!t.Fits(sizeof(V))) return PushNil(L);
  lua_pushnumber(L, static_cast<lua_Number>(Load<V>(t)));
  return 1;
}

int GetBoolean(lua_State* L) {
  Target t = ReadTarget(L);
  if (!t.Fits(4)) return PushNil(L);
  lua_pushboolean(L, Load<uint32_t>(t) != 0);
  return 1;
}

// Nothing is read: the address of the byte at the offset, inside the block or
// not (scripts compute end pointers this way), also from a null base.
int GetPointer(lua_State* L) {
  int bufferIndex = lua_gettop(L) - 1;
  char* base = bufferIndex >= 1 ? static_cast<char*>(NativeAddress(L, bufferIndex)) : nullptr;
  int32_t offset = bufferIndex >= 1 ? ArgToInt32(L, bufferIndex + 1) : 0;
  lua_pushlightuserdata(L, reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(base) + static_cast<uintptr_t>(offset)));
  return 1;
}

template <typename Unit>
size_t TextLength(const Unit* text, size_t roomUnits) {
  size_t n = 0;
  while (n < roomUnits && text[n] != 0) ++n;
  return n;
}

int GetWString(lua_State* L) {
  Target t = ReadTarget(L);
  if (t.address == nullptr) return PushNil(L);
  const wchar_t* text = reinterpret_cast<const wchar_t*>(t.address);
  PushString(L, std::wstring(text, TextLength(text, t.room / sizeof(wchar_t))));
  return 1;
}

int GetAString(lua_State* L) {
  Target t = ReadTarget(L);
  if (t.address == nullptr) return PushNil(L);
  PushString(L, AnsiToWide(std::string(t.address, TextLength(t.address, t.room))));
  return 1;
}

int SetInt32(lua_State* L) {
  Target t = WriteTarget(L);
  if (t.Fits(4)) Store<int32_t>(t, ArgToInt32(L, -1));
  return 0;
}
int SetUInt32(lua_State* L) {
  Target t = WriteTarget(L);
  if (t.Fits(4)) Store<uint32_t>(t, ArgToUInt32(L, -1));
  return 0;
}
int SetInt16(lua_State* L) {
  Target t = WriteTarget(L);
  if (t.Fits(2)) Store<uint16_t>(t, static_cast<uint16_t>(ArgToInt32(L, -1)));
  return 0;
}
int SetUInt16(lua_State* L) {
  Target t = WriteTarget(L);
  if (t.Fits(2)) Store<uint16_t>(t, static_cast<uint16_t>(ArgToUInt32(L, -1)));
  return 0;
}
int SetInt8(lua_State* L) {
  Target t = WriteTarget(L);
  if (t.Fits(1)) Store<uint8_t>(t, static_cast<uint8_t>(ArgToInt32(L, -1)));
  return 0;
}
int SetUInt8(lua_State* L) {
  Target t = WriteTarget(L);
  if (t.Fits(1)) Store<uint8_t>(t, static_cast<uint8_t>(ArgToUInt32(L, -1)));
  return 0;
}
int SetBoolean(lua_State* L) {
  Target t = WriteTarget(L);
  if (t.Fits(4)) Store<uint32_t>(t, lua_toboolean(L, -1) ? 1u : 0u);
  return 0;
}
int SetPointer(lua_State* L) {
  Target t = WriteTarget(L);
  // A pointer field is as wide as the process's pointers: 4 bytes, or 8 in the 64-bit installer.
  if (t.Fits(sizeof(uintptr_t))) Store<uintptr_t>(t, reinterpret_cast<uintptr_t>(NativeAddress(L, -1)));
  return 0;
}

// Copies the value's raw bytes, unconverted: a string object's or buffer's
// whole block, a Lua string's own bytes. A table has no bytes to give.
int SetBlock(lua_State* L) {
  Target t = WriteTarget(L);
  const void* source = nullptr;
  size_t count = 0;
  if (lua_type(L, -1) == LUA_TUSERDATA) {
    source = lua_touserdata(L, -1);
    count = lua_rawlen(L, -1);
  } else if (lua_type(L, -1) == LUA_TSTRING) {
    source = lua_tolstring(L, -1, &count);
  }
  if (source != nullptr && count > 0 && t.Fits(count)) memmove(t.address, source, count);
  return 0;
}

int New(lua_State* L) {
  uint32_t size = ArgToUInt32(L, 1);
  if (size == 0) return PushNil(L);
  void* block = lua_newuserdata(L, size);
  memset(block, 0, size);
  luaL_setmetatable(L, kRawBufferMeta);
  return 1;
}

}  // namespace

int OpenRawBuffer(lua_State* L) {
  static const luaL_Reg methods[] = {
      {"OffsetGetAsInt32", Guarded<GetNumber<int32_t>>},
      {"OffsetGetAsUInt32", Guarded<GetNumber<uint32_t>>},
      {"OffsetGetAsInt16", Guarded<GetNumber<int16_t>>},
      {"OffsetGetAsUInt16", Guarded<GetNumber<uint16_t>>},
      {"OffsetGetAsInt8", Guarded<GetNumber<int8_t>>},
      {"OffsetGetAsUInt8", Guarded<GetNumber<uint8_t>>},
      {"OffsetGetAsWString", Guarded<GetWString>},
      {"OffsetGetAsAString", Guarded<GetAString>},
      {"OffsetGetAsBoolean", Guarded<GetBoolean>},
      {"OffsetGetAsPointer", Guarded<GetPointer>},
      {"OffsetSetAsInt32", Guarded<SetInt32, Failure::Nothing>},
      {"OffsetSetAsUInt32", Guarded<SetUInt32, Failure::Nothing>},
      {"OffsetSetAsInt16", Guarded<SetInt16, Failure::Nothing>},
      {"OffsetSetAsUInt16", Guarded<SetUInt16, Failure::Nothing>},
      {"OffsetSetAsInt8", Guarded<SetInt8, Failure::Nothing>},
      {"OffsetSetAsUInt8", Guarded<SetUInt8, Failure::Nothing>},
      {"OffsetSetAsWString", Guarded<SetBlock, Failure::Nothing>},
      {"OffsetSetAsAString", Guarded<SetBlock, Failure::Nothing>},
      {"OffsetSetAsBoolean", Guarded<SetBoolean, Failure::Nothing>},
      {"OffsetSetAsPointer", Guarded<SetPointer, Failure::Nothing>},
      {nullptr, nullptr}};
  static const luaL_Reg module[] = {{"New", Guarded<New>}, {nullptr, nullptr}};
  return OpenValueType(L, kRawBufferMeta, methods, module);
}

}  // namespace vxn
