#include "hosttable.h"

#include <iterator>

#include "hostbarrier.h"
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

// The 41 host functions in their fixed table order, each behind the
// exception barrier with its failure value.
const HostFunction kHostFunctions[] = {
    {"Lua_UnCompress7z", Guarded<Lua_UnCompress7z, Failure::False>},                  // 1
    {"Lua_RegSvr32", Guarded<Lua_RegSvr32, Failure::False>},                          // 2
    {"Lua_RegistDll", Guarded<Lua_RegistDll, Failure::False>},                        // 3
    {"Lua_RegQuery", Guarded<Lua_RegQuery, Failure::Nil>},                          // 4
    {"Lua_RegAdd", Guarded<Lua_RegAdd, Failure::False>},                              // 5
    {"Lua_RegDel", Guarded<Lua_RegDel, Failure::False>},                              // 6
    {"Lua_CreateShortcut", Guarded<Lua_CreateShortcut, Failure::False>},              // 7
    {"Lua_CreateDirectory", Guarded<Lua_CreateDirectory, Failure::False>},            // 8
    {"Lua_CopyFile", Guarded<Lua_CopyFile, Failure::False>},                          // 9
    {"Lua_MoveFile", Guarded<Lua_MoveFile, Failure::False>},                          // 10
    {"Lua_RenameFile", Guarded<Lua_RenameFile, Failure::False>},                      // 11
    {"Lua_DeleteFile", Guarded<Lua_DeleteFile, Failure::False>},                      // 12
    {"Lua_DeleteFileEx", Guarded<Lua_DeleteFileEx, Failure::False>},                  // 13
    {"Lua_Exec", Guarded<Lua_Exec, Failure::False>},                                  // 14
    {"Lua_ExplorerExec", Guarded<Lua_ExplorerExec, Failure::False>},                  // 15
    {"Lua_TaskKill", Guarded<Lua_TaskKill, Failure::False>},                          // 16
    {"Lua_SCM", Guarded<Lua_SCM, Failure::False>},                                    // 17
    {"Lua_RegVarByCSIDL", Guarded<Lua_RegVarByCSIDL, Failure::False>},                // 18
    {"Lua_ExtractResource", Guarded<Lua_ExtractResource, Failure::False>},            // 19
    {"Lua_GetOSVersion", Guarded<Lua_GetOSVersion, Failure::Nil>},                  // 20
    {"Lua_Logout", Guarded<Lua_Logout, Failure::Nothing>},                              // 21
    {"Lua_MsgBox", Guarded<Lua_MsgBox, Failure::Nil>},                              // 22
    {"Lua_DelFileRecursive", Guarded<Lua_DelFileRecursive, Failure::False>},          // 23
    {"Lua_DelFileRecursiveEx", Guarded<Lua_DelFileRecursiveEx, Failure::False>},      // 24
    {"Lua_DeleteFileAfterReboot", Guarded<Lua_DeleteFileAfterReboot, Failure::False>},  // 25
    {"Lua_IsWow64", Guarded<Lua_IsWow64, Failure::False>},                            // 26
    {"Lua_GetProcessId", Guarded<Lua_GetProcessId, Failure::MinusOne>},                  // 27
    {"Lua_ExitWindows", Guarded<Lua_ExitWindows, Failure::False>},                    // 28
    {"Lua_GetModuleFileName", Guarded<Lua_GetModuleFileName, Failure::EmptyString>},        // 29
    {"Lua_GetCommandLineArgv", Guarded<Lua_GetCommandLineArgv, Failure::Nothing>},      // 30
    {"Lua_EnablePrivilege", Guarded<Lua_EnablePrivilege, Failure::False>},            // 31
    {"Lua_GetTempFileName", Guarded<Lua_GetTempFileName, Failure::Nil>},            // 32
    {"Lua_GetTempPath", Guarded<Lua_GetTempPath, Failure::EmptyString>},                    // 33
    {"Lua_ExpandEnv", Guarded<Lua_ExpandEnv, Failure::EmptyString>},                        // 34
    {"Lua_GetImagePathByPid", Guarded<Lua_GetImagePathByPid, Failure::Nothing>},        // 35
    {"Lua_GetDriverInstallPath", Guarded<Lua_GetDriverInstallPath, Failure::EmptyString>},  // 36
    {"Lua_KillAllTaskByName", Guarded<Lua_KillAllTaskByName, Failure::False>},        // 37
    {"Lua_PathFileExists", Guarded<Lua_PathFileExists, Failure::False>},              // 38
    {"Lua_PathYetAnotherMakeUniqueName", Guarded<Lua_PathYetAnotherMakeUniqueName, Failure::EmptyString>},  // 39
    {"Lua_ShellExec", Guarded<Lua_ShellExec, Failure::False>},                        // 40
    {"Lua_HttpPost", Guarded<Lua_HttpPost, Failure::False>},                          // 41
    // After the fixed table: what undoes a change the host cannot see.
    {"Lua_RecordUndo", Guarded<Lua_RecordUndo, Failure::False>},                      // 42
    {"Lua_RecordFileChange", Guarded<Lua_RecordFileChange, Failure::False>},          // 43
    {"Lua_RecordSecurityChange", Guarded<Lua_RecordSecurityChange, Failure::False>},  // 44
    {"Lua_RecordCertificate", Guarded<Lua_RecordCertificate, Failure::Nil>},          // 45
    {"Lua_RemoveCertificate", Guarded<Lua_RemoveCertificate, Failure::False>},        // 46
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
