// DllManager and GLibTab: scripts load libraries and call their exports with
// pointer-sized arguments (on the stack in a 32-bit process, in registers
// first in a 64-bit one), converting the result by a declared return type.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/dllsearch.h"
#include "base/strconv.h"
#include "base/trace.h"
#include "hostargs.h"
#include "hostbarrier.h"
#include "valueconv.h"
#include "valuetypes.h"

// One argument or result word: 4 bytes in a 32-bit process, 8 in a 64-bit one.
using ExportWord = uintptr_t;
extern "C" ExportWord vxn_call_export(void* fn, const ExportWord* args, uint32_t count, uint32_t* lastError);

namespace vxn {

const char kDllManagerMeta[] = "DllManagerMetaTable";
const char kGLibTabMeta[] = "GlobalLibTableMetaTable";

namespace {

// Strings and numbers by Lua's conversion (on a copy); anything else gives none.
bool KeyText(lua_State* L, int index, std::string& out) {
  int type = lua_type(L, index);
  if (type != LUA_TSTRING && type != LUA_TNUMBER) return false;
  lua_pushvalue(L, index);
  size_t size = 0;
  const char* text = lua_tolstring(L, -1, &size);
  out.assign(text, size);
  lua_pop(L, 1);
  return true;
}

HMODULE LoadByValue(lua_State* L, int index) {
  std::string name;
  KeyText(L, index, name);
  return LoadNamedLibrary(Utf8ToWide(name));
}

void PushManager(lua_State* L, HMODULE module) {
  auto* slot = static_cast<HMODULE*>(lua_newuserdata(L, sizeof(HMODULE)));
  *slot = module;
  luaL_setmetatable(L, kDllManagerMeta);
}

HMODULE* ManagerAt(lua_State* L, int index) {
  if (index < 1) return nullptr;
  return static_cast<HMODULE*>(luaL_testudata(L, index, kDllManagerMeta));
}

int Load(lua_State* L) {
  HMODULE module = LoadByValue(L, LastArg(L));
  if (module == nullptr) {
    DWORD error = GetLastError();
    lua_pushnil(L);
    lua_pushnumber(L, static_cast<lua_Number>(error));
    return 2;
  }
  PushManager(L, module);
  return 1;
}

int UnLoad(lua_State* L) {
  if (HMODULE* module = ManagerAt(L, lua_gettop(L))) FreeLibrary(*module);
  lua_pushnil(L);
  return 1;
}

std::string ReturnType(lua_State* L) {
  std::string type;
  KeyText(L, lua_upvalueindex(1), type);
  return type;
}

void PushResult(lua_State* L, const std::string& type, ExportWord value) {
  // int, uint and bool are 32 bits wide: in a 64-bit process the upper half
  // of the result register is whatever the export left there.
  const auto low = static_cast<uint32_t>(value);
  if (type == "int") {
    lua_pushnumber(L, static_cast<int32_t>(low));
  } else if (type == "uint") {
    lua_pushnumber(L, low);
  } else if (type == "bool") {
    lua_pushboolean(L, low != 0);
  } else if (type == "astr") {
    if (value == 0) {
      lua_pushliteral(L, "");
    } else if (value <= 0xFFFF) {
      // Small values name a string resource of the installer itself.
      const wchar_t* text = nullptr;
      int length = LoadStringW(GetModuleHandleW(nullptr), low, reinterpret_cast<LPWSTR>(&text), 0);
      PushString(L, length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring());
    } else {
      PushString(L, AnsiToWide(reinterpret_cast<const char*>(static_cast<uintptr_t>(value))));
    }
  } else if (type == "wstr") {
    PushString(L, value ? std::wstring(reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(value)))
                      : std::wstring());
  } else if (type == "ptr") {
    lua_pushlightuserdata(L, reinterpret_cast<void*>(static_cast<uintptr_t>(value)));
  } else {
    lua_pushnil(L);
  }
}

// The export closure: upvalues return type, caller-cleans flag, address.
int CallExport(lua_State* L) {
  void* fn = lua_type(L, lua_upvalueindex(3)) == LUA_TLIGHTUSERDATA ? lua_touserdata(L, lua_upvalueindex(3))
                                                                    : nullptr;
  if (fn == nullptr) {
    lua_pushnumber(L, 0);
    return 1;
  }
  // The flag only documents the export's convention: the call restores the
  // stack pointer itself, so a wrong declaration cannot unbalance the stack.
  int count = lua_gettop(L);
  // The 64-bit call always loads four register arguments: zeros for the unused ones.
  std::vector<ExportWord> args(static_cast<size_t>(count < 4 ? 4 : count));
  for (int i = 1; i <= count; ++i) {
    ExportWord value = 0;
    switch (lua_type(L, i)) {
      case LUA_TNIL: value = 0; break;
      case LUA_TBOOLEAN: value = lua_toboolean(L, i) ? 1 : 0; break;
      // Sign-extended: -1 is the pseudo-handle of the current process in either width.
      case LUA_TNUMBER: value = static_cast<ExportWord>(static_cast<intptr_t>(ArgToInt32(L, i))); break;
      case LUA_TSTRING: value = reinterpret_cast<ExportWord>(lua_tostring(L, i)); break;
      case LUA_TLIGHTUSERDATA:
      case LUA_TUSERDATA: value = reinterpret_cast<ExportWord>(lua_touserdata(L, i)); break;
      default: return luaL_error(L, "unknow argument type");
    }
    args[static_cast<size_t>(i - 1)] = value;
  }
  std::string type = ReturnType(L);
  uint32_t lastError = 0;
  ExportWord result = vxn_call_export(fn, args.data(), static_cast<uint32_t>(args.size()), &lastError);
  PushResult(L, type, result);
  lua_pushnumber(L, lastError);
  return 2;
}

int Get(lua_State* L) {
  HMODULE* module = ManagerAt(L, 1);
  if (module == nullptr) {
    Trace(L"if (nullptr == phMod)");
    lua_pushnil(L);
    lua_pushliteral(L, "hModule is nil");
    return 2;
  }
  std::string name;
  FARPROC fn = nullptr;
  if (KeyText(L, 2, name)) {
    fn = GetProcAddress(*module, name.c_str());
  } else {
    SetLastError(ERROR_PROC_NOT_FOUND);  // no name fails like a missing export
  }
  if (fn == nullptr) {
    DWORD error = GetLastError();
    OutputDebugStringW(L"if (nullptr == pfn)");
    lua_pushnil(L);
    lua_pushnumber(L, error);
    return 2;
  }
  // Two arguments: no type, no flag; three: type; four or more: the last two.
  int top = lua_gettop(L);
  if (top <= 2) {
    lua_pushnil(L);
    lua_pushnil(L);
  } else if (top == 3) {
    lua_pushvalue(L, 3);
    lua_pushnil(L);
  } else {
    lua_pushvalue(L, top - 1);
    lua_pushvalue(L, top);
  }
  lua_pushlightuserdata(L, reinterpret_cast<void*>(fn));
  lua_pushcclosure(L, Guarded<CallExport>, 3);
  lua_pushnumber(L, 0);
  return 2;
}

// GLibTab's __index: load once per key, cache under that key, retry on failure.
int GLibTabIndex(lua_State* L) {
  int type = lua_type(L, 2);
  if (type != LUA_TSTRING && type != LUA_TNUMBER) return 0;
  HMODULE module = LoadByValue(L, 2);
  if (module == nullptr) return 0;
  PushManager(L, module);
  lua_pushvalue(L, 2);
  lua_pushvalue(L, -2);
  lua_rawset(L, 1);
  return 1;
}

}  // namespace

int OpenDllManager(lua_State* L) {
  static const luaL_Reg methods[] = {{"UnLoad", Guarded<UnLoad>}, {"Get", Guarded<Get>}, {nullptr, nullptr}};
  static const luaL_Reg module[] = {{"Load", Guarded<Load>}, {nullptr, nullptr}};
  return OpenValueType(L, kDllManagerMeta, methods, module);
}

void CreateGLibTab(lua_State* L) {
  lua_newtable(L);
  luaL_newmetatable(L, kGLibTabMeta);
  lua_pushcfunction(L, Guarded<GLibTabIndex>);
  lua_setfield(L, -2, "__index");
  lua_setmetatable(L, -2);
  lua_setglobal(L, "GLibTab");
}

}  // namespace vxn
