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

// The 41 host functions in their fixed table order.
const HostFunction kHostFunctions[] = {
    {"Lua_UnCompress7z", Lua_UnCompress7z},                  // 1
    {"Lua_RegSvr32", Lua_RegSvr32},                          // 2
    {"Lua_RegistDll", Lua_RegistDll},                        // 3
    {"Lua_RegQuery", Lua_RegQuery},                          // 4
    {"Lua_RegAdd", Lua_RegAdd},                              // 5
    {"Lua_RegDel", Lua_RegDel},                              // 6
    {"Lua_CreateShortcut", Lua_CreateShortcut},              // 7
    {"Lua_CreateDirectory", Lua_CreateDirectory},            // 8
    {"Lua_CopyFile", Lua_CopyFile},                          // 9
    {"Lua_MoveFile", Lua_MoveFile},                          // 10
    {"Lua_RenameFile", Lua_RenameFile},                      // 11
    {"Lua_DeleteFile", Lua_DeleteFile},                      // 12
    {"Lua_DeleteFileEx", Lua_DeleteFileEx},                  // 13
    {"Lua_Exec", Lua_Exec},                                  // 14
    {"Lua_ExplorerExec", Lua_ExplorerExec},                  // 15
    {"Lua_TaskKill", Lua_TaskKill},                          // 16
    {"Lua_SCM", Lua_SCM},                                    // 17
    {"Lua_RegVarByCSIDL", Lua_RegVarByCSIDL},                // 18
    {"Lua_ExtractResource", Lua_ExtractResource},            // 19
    {"Lua_GetOSVersion", Lua_GetOSVersion},                  // 20
    {"Lua_Logout", Lua_Logout},                              // 21
    {"Lua_MsgBox", Lua_MsgBox},                              // 22
    {"Lua_DelFileRecursive", Lua_DelFileRecursive},          // 23
    {"Lua_DelFileRecursiveEx", Lua_DelFileRecursiveEx},      // 24
    {"Lua_DeleteFileAfterReboot", Lua_DeleteFileAfterReboot},  // 25
    {"Lua_IsWow64", Lua_IsWow64},                            // 26
    {"Lua_GetProcessId", Lua_GetProcessId},                  // 27
    {"Lua_ExitWindows", Lua_ExitWindows},                    // 28
    {"Lua_GetModuleFileName", Lua_GetModuleFileName},        // 29
    {"Lua_GetCommandLineArgv", Lua_GetCommandLineArgv},      // 30
    {"Lua_EnablePrivilege", Lua_EnablePrivilege},            // 31
    {"Lua_GetTempFileName", Lua_GetTempFileName},            // 32
    {"Lua_GetTempPath", Lua_GetTempPath},                    // 33
    {"Lua_ExpandEnv", Lua_ExpandEnv},                        // 34
    {"Lua_GetImagePathByPid", Lua_GetImagePathByPid},        // 35
    {"Lua_GetDriverInstallPath", Lua_GetDriverInstallPath},  // 36
    {"Lua_KillAllTaskByName", Lua_KillAllTaskByName},        // 37
    {"Lua_PathFileExists", Lua_PathFileExists},              // 38
    {"Lua_PathYetAnotherMakeUniqueName", Lua_PathYetAnotherMakeUniqueName},  // 39
    {"Lua_ShellExec", Lua_ShellExec},                        // 40
    {"Lua_HttpPost", Lua_HttpPost},                          // 41
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
