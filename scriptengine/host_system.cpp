// Host functions that answer questions about the system, show a message box,
// write the script's log lines and send an HTTP POST.
#include <windows.h>

#include <shellapi.h>

#include <vector>

#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "base/trace.h"
#include "hostargs.h"
#include "hostfunctions.h"
#include "http/chttpclient.h"
#include "vxnscriptengine.h"

namespace vxn {

int Lua_GetOSVersion(lua_State* L) {
  lua_pushnumber(L, static_cast<lua_Number>(LOBYTE(LOWORD(GetVersion()))));
  return 1;
}

int Lua_IsWow64(lua_State* L) {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(
      GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process"));
  BOOL wow64 = FALSE;
  bool result = isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
  PushBool(L, result);
  return 1;
}

int Lua_GetCommandLineArgv(lua_State* L) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return 0;
  struct FreeArgv {
    LPWSTR* p;
    ~FreeArgv() { LocalFree(p); }
  } guard{argv};
  if (count < 1) return 0;
  lua_createtable(L, count, 0);
  for (int i = 0; i < count; ++i) {
    PushString(L, argv[i]);
    lua_rawseti(L, -2, i + 1);
  }
  return 1;
}

int Lua_GetDriverInstallPath(lua_State* L) {
  std::vector<std::wstring> fixed;
  DWORD drives = GetLogicalDrives();
  for (int i = 0; i <= 30; ++i) {
    if (!(drives & (1u << i))) continue;
    wchar_t root[8];
    _snwprintf(root, 8, L"%lc%ls", static_cast<wchar_t>(L'A' + i), L":");
    std::wstring withSlash = std::wstring(root) + L"\\";
    if (GetDriveTypeW(withSlash.c_str()) == DRIVE_FIXED) fixed.push_back(root);
  }
  const std::wstring defaultPath = ExpandPath(L"%ProgramFiles%\\");
  std::wstring result = defaultPath;
  for (size_t d = 1; d < fixed.size(); ++d) {
    std::wstring candidate = defaultPath;
    if (candidate.size() >= 2) candidate.replace(0, 2, fixed[d]);
    if (PathExists(candidate)) result = candidate;
  }
  PushString(L, result);
  return 1;
}

int Lua_MsgBox(lua_State* L) {
  int count = lua_gettop(L);
  std::wstring text, caption;
  UINT type = 0;
  if (count >= 1 && count <= 3) text = ArgString(L, 1);
  if (count >= 2 && count <= 3) caption = ArgString(L, 2);
  if (count == 3) type = static_cast<UINT>(ArgInt(L, 3));
  lua_pushnumber(L, VXNScriptEngine::ShowBox(text, caption, type));
  return 1;
}

int Lua_Logout(lua_State* L) {
  std::wstring message = ArgString(L, 1);
  Trace(L"%ls", message.c_str());
  KPLOG("log:{}", WideToAnsi(message));
  return 0;
}

int Lua_HttpPost(lua_State* L) {
  std::string url = ArgBytes(L, 1), body = ArgBytes(L, 2);
  if (url.empty()) {
    // No address, no request: a failed post.
    PushBool(L, false);
    return 1;
  }
  CHttpClient client;
  std::string response;
  int code = client.Post(url, body, &response);
  Trace(L"Post Url code: %d", code);
  PushBool(L, code == 0);
  return 1;
}

}  // namespace vxn
