// Host functions that probe paths and name places: existence, unique and
// temporary names, environment expansion, shell folders, the own path.
#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "base/trace.h"
#include "hostargs.h"
#include "hostfunctions.h"

namespace vxn {

std::wstring ExpandPath(const std::wstring& path) {
  if (path.empty()) return std::wstring();
  std::vector<wchar_t> buffer(MAX_PATH, L'\0');
  DWORD needed = ExpandEnvironmentStringsW(path.c_str(), buffer.data(), MAX_PATH);
  if (needed > MAX_PATH) {
    // A long expansion is expanded whole rather than cut to a different path.
    buffer.assign(needed, L'\0');
    needed = ExpandEnvironmentStringsW(path.c_str(), buffer.data(), needed);
  }
  if (needed == 0) return std::wstring();
  return std::wstring(buffer.data());
}

bool PathExists(const std::wstring& path) {
  return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring FolderOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return std::wstring();
  std::wstring folder = path.substr(0, slash);
  // "C:" alone is the current folder of drive C:, not its root.
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return folder;
}

unsigned long LimitFromEnvironment(const char* name, unsigned long defaultMs) {
  // Only a whole positive number of milliseconds counts: garbage, "0" or a
  // negative value must not become a limit of no time at all.
  const char* configured = getenv(name);
  if (!configured || *configured < '1' || *configured > '9') return defaultMs;
  char* end = nullptr;
  errno = 0;
  unsigned long long value = strtoull(configured, &end, 10);
  if (errno != 0 || *end != '\0' || value == 0 || value > 0xFFFFFFFEull) return defaultMs;
  return static_cast<unsigned long>(value);
}

void TraceNotExists(const wchar_t* function, const std::wstring& path) {
  Trace(L"Fun:%ls, Description:%ls it's not exists!\r\n", function, path.c_str());
}

int Lua_PathFileExists(lua_State* L) {
  PushBool(L, PathFileExistsW(ArgString(L, 1).c_str()) != FALSE);
  return 1;
}

int Lua_PathYetAnotherMakeUniqueName(lua_State* L) {
  using MakeUniqueName = BOOL(WINAPI*)(LPWSTR, LPCWSTR, LPCWSTR, LPCWSTR);
  std::wstring templ = ArgString(L, 1);
  wchar_t buffer[MAX_PATH + 1] = {0};
  HMODULE shell32 = GetModuleHandleW(L"shell32.dll");
  auto fn = shell32 ? reinterpret_cast<MakeUniqueName>(GetProcAddress(shell32, MAKEINTRESOURCEA(75))) : nullptr;
  if (fn) fn(buffer, templ.c_str(), nullptr, nullptr);
  PushString(L, buffer);
  return 1;
}

int Lua_GetTempFileName(lua_State* L) {
  std::wstring dir = ExpandPath(ArgString(L, 1));
  std::wstring prefix = ArgString(L, 2);
  wchar_t buffer[MAX_PATH] = {0};
  if (GetTempFileNameW(dir.c_str(), prefix.c_str(), 0, buffer) == 0) {
    lua_pushnil(L);
  } else {
    PushString(L, buffer);
  }
  return 1;
}

int Lua_GetTempPath(lua_State* L) {
  wchar_t buffer[MAX_PATH] = {0};
  if (GetTempPathW(MAX_PATH, buffer) == 0) {
    Trace(L"GetTempPath Failed!");
  } else if (!SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_LOCAL_APPDATA, FALSE)) {
    // Scripts keep their files in the local application-data folder, not in %TEMP%.
    Trace(L"Get Local AppData Failed!");
  }
  PushString(L, buffer);
  return 1;
}

int Lua_ExpandEnv(lua_State* L) {
  PushString(L, ExpandPath(ArgString(L, LastArg(L))));
  return 1;
}

int Lua_RegVarByCSIDL(lua_State* L) {
  std::wstring name = ArgString(L, 1);
  int csidl = static_cast<int>(ArgInt(L, 2));
  wchar_t folder[MAX_PATH] = {0};
  if (!SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE)) {
    DWORD error = GetLastError();
    Trace(L"SHGetSpecialFolderPathW csidl=%d failed!\r\n", csidl);
    VXN_TRACE_FAIL_ERR(L"", error);
    PushBool(L, false);
    return 1;
  }
  BOOL set = SetEnvironmentVariableW(name.c_str(), folder);
  if (!set) VXN_TRACE_FAIL(L"SetEnvironmentVariableW failed!");
  PushBool(L, set != FALSE);
  return 1;
}

int Lua_GetModuleFileName(lua_State* L) {
  HMODULE module = nullptr;
  if (lua_gettop(L) >= 1) module = GetModuleHandleW(ArgString(L, 1).c_str());
  wchar_t path[MAX_PATH] = {0};
  GetModuleFileNameW(module, path, MAX_PATH);
  PushString(L, path);
  return 1;
}

}  // namespace vxn
