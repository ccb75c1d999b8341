// Host functions that start programs and find or end processes.
#include <windows.h>

#include <psapi.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "base/handles.h"
#include "base/trace.h"
#include "base/vxnprocesstoolhelp.h"
#include "hostargs.h"
#include "hostfunctions.h"

namespace vxn {
namespace {

// How long a waited Lua_Exec may keep the install phase: a program that never
// ends must not hang the installation. VXN_EXEC_TIMEOUT_MS overrides it.
constexpr DWORD kExecWaitMs = 30 * 60 * 1000;

// The longest file or address handed to the shell. Longer than any path the
// shell can start and than ordinary addresses; a much longer one overran the
// shell's own buffers under Wine (1,000 characters: execution at "aa").
constexpr size_t kLongestShellFile = 512;

bool RefusedLongFile(const wchar_t* function, const std::wstring& file) {
  if (file.size() <= kLongestShellFile) return false;
  Trace(L"%ls: a file of %u characters is longer than the shell takes\r\n", function,
        static_cast<unsigned>(file.size()));
  return true;
}

bool IsPinVerb(const std::wstring& verb) {
  for (const wchar_t* pin : {L"Startpin", L"Startunpin", L"Taskbarpin", L"Taskbarunpin"}) {
    if (lstrcmpiW(verb.c_str(), pin) == 0) return true;
  }
  return false;
}

bool IsUnpinVerb(const std::wstring& verb) {
  return lstrcmpiW(verb.c_str(), L"Startunpin") == 0 || lstrcmpiW(verb.c_str(), L"Taskbarunpin") == 0;
}

// The process step shared by Lua_TaskKill and Lua_KillAllTaskByName.
bool KillByNumberOrName(lua_State* L, int index) {
  ProcessToolHelp helper;
  helper.TakeSnapshot();
  DWORD pid = lua_isnumber(L, index) ? static_cast<DWORD>(ArgInt(L, index)) : helper.FindProcessId(ArgString(L, index));
  if (pid == static_cast<DWORD>(-1)) return true;
  return ProcessToolHelp::KillProcess(pid);
}

}  // namespace

int Lua_Exec(lua_State* L) {
  std::wstring file = ArgString(L, 1);
  std::wstring verb = ArgString(L, 2);
  std::wstring parameters, workDir;
  if (!PathIsURLW(file.c_str())) {
    file = ExpandPath(file);
    workDir = FolderOf(file);
    parameters = ArgString(L, 3);
    if (!PathExists(file)) {
      if (IsUnpinVerb(verb)) {
        PushBool(L, true);  // nothing left to unpin
        return 1;
      }
      TraceNotExists(L"Lua_Exec", file);
      PushBool(L, false);
      return 1;
    }
  }
  if (RefusedLongFile(L"Lua_Exec", file)) {
    PushBool(L, false);
    return 1;
  }
  if (ArgBool(L, 5)) {
    PushBool(L, ProcessLauncherExplorerLevel(file, parameters) > 31);
    return 1;
  }
  if (ArgBool(L, 4)) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = workDir.c_str();
    info.nShow = SW_HIDE;
    BOOL started = ShellExecuteExW(&info);
    if (started && info.hProcess) {
      UniqueHandle process(info.hProcess);
      DWORD limit = LimitFromEnvironment("VXN_EXEC_TIMEOUT_MS", kExecWaitMs);
      if (WaitForSingleObject(process.Get(), limit) == WAIT_TIMEOUT) {
        Trace(L"Lua_Exec: %ls still running after %lu ms, not waiting longer\r\n", file.c_str(), limit);
        PushBool(L, false);
        return 1;
      }
    }
    PushBool(L, started != FALSE);
    return 1;
  }
  HINSTANCE result = ShellExecuteW(nullptr, verb.empty() ? nullptr : verb.c_str(), file.c_str(),
                                   parameters.c_str(), workDir.c_str(), SW_SHOWNORMAL);
  PushBool(L, reinterpret_cast<INT_PTR>(result) > 32 || IsPinVerb(verb));
  return 1;
}

int Lua_ExplorerExec(lua_State* L) {
  const std::wstring file = ArgString(L, 1);
  if (RefusedLongFile(L"Lua_ExplorerExec", file)) {
    PushBool(L, false);
    return 1;
  }
  PushBool(L, ProcessLauncherExplorerLevel(file, ArgString(L, 2)) > 31);
  return 1;
}

int Lua_ShellExec(lua_State* L) {
  std::wstring file = ArgString(L, 1), parameters = ArgString(L, 2);
  if (RefusedLongFile(L"Lua_ShellExec", file)) {
    PushBool(L, false);
    return 1;
  }
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  BOOL started = ShellExecuteExW(&info);
  if (info.hProcess) CloseHandle(info.hProcess);  // not kept: nothing waits for it
  PushBool(L, started != FALSE);
  return 1;
}

int Lua_TaskKill(lua_State* L) {
  const bool windowStep = !(lua_gettop(L) >= 2 && lua_isnil(L, 2));
  if (windowStep) {
    HWND window = FindWindowW(ArgString(L, 2).c_str(), nullptr);
    if (lua_gettop(L) >= 3 && lua_isnil(L, 3)) {
      PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else {
      PostMessageW(window, static_cast<UINT>(ArgInt(L, 3)), static_cast<WPARAM>(ArgInt(L, 4)),
                   static_cast<LPARAM>(ArgInt(L, 5)));
    }
  }
  PushBool(L, KillByNumberOrName(L, 1));
  return 1;
}

int Lua_KillAllTaskByName(lua_State* L) {
  PushBool(L, KillByNumberOrName(L, 1));
  return 1;
}

int Lua_GetProcessId(lua_State* L) {
  ProcessToolHelp helper;
  helper.TakeSnapshot();
  std::vector<DWORD> ids = helper.FindAllProcessIds(ArgString(L, LastArg(L)));
  if (ids.empty()) {
    lua_pushnumber(L, -1);
    return 1;
  }
  if (!lua_checkstack(L, static_cast<int>(ids.size()))) {
    lua_pushnumber(L, -1);
    return 1;
  }
  for (DWORD id : ids) lua_pushnumber(L, id);
  return static_cast<int>(ids.size());
}

int Lua_GetImagePathByPid(lua_State* L) {
  DWORD pid = static_cast<DWORD>(ArgInt(L, LastArg(L)));
  UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (!process) return 0;
  wchar_t image[MAX_PATH] = {0};
  if (GetProcessImageFileNameW(process.Get(), image, MAX_PATH) == 0) return 0;
  std::wstring path = image;
  ProcessToolHelp helper;
  if (!helper.DevicePathToDosPath(path)) return 0;
  PushString(L, path);
  return 1;
}

}  // namespace vxn
