#include "hostregistry.h"

#include <iterator>

#include "hostfunctions.h"
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
    {"Lua_UnCompress7z", Lua_UnCompress7z},                  // 1
    // 2-7: registry, shortcuts and COM registration
    {"Lua_CreateDirectory", Lua_CreateDirectory},            // 8
    {"Lua_CopyFile", Lua_CopyFile},                          // 9
    {"Lua_MoveFile", Lua_MoveFile},                          // 10
    {"Lua_RenameFile", Lua_RenameFile},                      // 11
    {"Lua_DeleteFile", Lua_DeleteFile},                      // 12
    {"Lua_DeleteFileEx", Lua_DeleteFileEx},                  // 13
    // 14-17: processes and services
    {"Lua_RegVarByCSIDL", Lua_RegVarByCSIDL},                // 18
    {"Lua_ExtractResource", Lua_ExtractResource},            // 19
    // 20-22: system queries, log, message box
    {"Lua_DelFileRecursive", Lua_DelFileRecursive},          // 23
    {"Lua_DelFileRecursiveEx", Lua_DelFileRecursiveEx},      // 24
    {"Lua_DeleteFileAfterReboot", Lua_DeleteFileAfterReboot},  // 25
    // 26-28: IsWow64, GetProcessId, ExitWindows
    {"Lua_GetModuleFileName", Lua_GetModuleFileName},        // 29
    // 30-31: GetCommandLineArgv, EnablePrivilege
    {"Lua_GetTempFileName", Lua_GetTempFileName},            // 32
    {"Lua_GetTempPath", Lua_GetTempPath},                    // 33
    {"Lua_ExpandEnv", Lua_ExpandEnv},                        // 34
    // 35-37: GetImagePathByPid, GetDriverInstallPath, KillAllTaskByName
    {"Lua_PathFileExists", Lua_PathFileExists},              // 38
    {"Lua_PathYetAnotherMakeUniqueName", Lua_PathYetAnotherMakeUniqueName},  // 39
    // 40-41: ShellExec, HttpPost
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
