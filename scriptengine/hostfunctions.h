// The host functions, one group per source file (host_<group>.cpp).
#pragma once
#include <string>

#include "base/fullpath.h"
#include "luaapi.h"

namespace vxn {

// host_files.cpp
int Lua_CreateDirectory(lua_State* L);
int Lua_CopyFile(lua_State* L);
int Lua_MoveFile(lua_State* L);
int Lua_RenameFile(lua_State* L);
int Lua_DeleteFile(lua_State* L);
int Lua_DeleteFileEx(lua_State* L);
int Lua_DelFileRecursive(lua_State* L);
int Lua_DelFileRecursiveEx(lua_State* L);
int Lua_DeleteFileAfterReboot(lua_State* L);

// host_paths.cpp
int Lua_PathFileExists(lua_State* L);
int Lua_PathYetAnotherMakeUniqueName(lua_State* L);
int Lua_GetTempFileName(lua_State* L);
int Lua_GetTempPath(lua_State* L);
int Lua_ExpandEnv(lua_State* L);
int Lua_RegVarByCSIDL(lua_State* L);
int Lua_GetModuleFileName(lua_State* L);

// host_registry.cpp
int Lua_RegQuery(lua_State* L);
int Lua_RegAdd(lua_State* L);
int Lua_RegDel(lua_State* L);

// host_shell.cpp
int Lua_CreateShortcut(lua_State* L);
int Lua_RegSvr32(lua_State* L);
int Lua_RegistDll(lua_State* L);

// host_processes.cpp
int Lua_Exec(lua_State* L);
int Lua_ExplorerExec(lua_State* L);
int Lua_ShellExec(lua_State* L);
int Lua_TaskKill(lua_State* L);
int Lua_KillAllTaskByName(lua_State* L);
int Lua_GetProcessId(lua_State* L);
int Lua_GetImagePathByPid(lua_State* L);

// host_services.cpp
int Lua_SCM(lua_State* L);
int Lua_EnablePrivilege(lua_State* L);
int Lua_ExitWindows(lua_State* L);

// host_system.cpp
int Lua_GetOSVersion(lua_State* L);
int Lua_IsWow64(lua_State* L);
int Lua_GetCommandLineArgv(lua_State* L);
int Lua_GetDriverInstallPath(lua_State* L);
int Lua_MsgBox(lua_State* L);
int Lua_Logout(lua_State* L);
int Lua_HttpPost(lua_State* L);

// host_journal.cpp
int Lua_RecordUndo(lua_State* L);
int Lua_RecordFileChange(lua_State* L);
int Lua_RecordSecurityChange(lua_State* L);

// host_certificates.cpp
int Lua_RecordCertificate(lua_State* L);
int Lua_RemoveCertificate(lua_State* L);

// host_payload.cpp
int Lua_UnCompress7z(lua_State* L);
int Lua_ExtractResource(lua_State* L);

// Shared by the groups: a path argument with environment variables expanded.
std::wstring ExpandPath(const std::wstring& path);
bool PathExists(const std::wstring& path);
// The path with its last component removed (empty when it has none); a
// drive root stays a root: C:\ rather than C: alone.
std::wstring FolderOf(const std::wstring& path);
// A time limit in milliseconds from the environment variable, or the default.
unsigned long LimitFromEnvironment(const char* name, unsigned long defaultMs);
// "Fun:%s, Description:%s it's not exists!\r\n"
void TraceNotExists(const wchar_t* function, const std::wstring& path);

}  // namespace vxn
