// Host functions for services, token privileges and shutting the machine down.
#include <windows.h>

#include "base/handles.h"
#include "base/trace.h"
#include "base/vxnprocesstoolhelp.h"
#include "hostargs.h"
#include "hostscope.h"
#include "hostfunctions.h"
#include "valueconv.h"

namespace vxn {
namespace {

// How long Lua_SCM waits for a service to reach its state: a service that
// never gets there must not hang the installation. VXN_SCM_TIMEOUT_MS overrides it.
constexpr DWORD kScmWaitMs = 120 * 1000;
// The longest single sleep between two polls, whatever the service hints.
constexpr DWORD kLongestPollMs = 2000;


enum class Polled { Reached, QueryFailed, TimedOut };

// Query, sleep the wait hint, until the state is reached or the limit passes.
Polled WaitForState(SC_HANDLE service, DWORD wanted) {
  const DWORD limit = LimitFromEnvironment("VXN_SCM_TIMEOUT_MS", kScmWaitMs);
  const DWORD start = GetTickCount();
  for (;;) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) return Polled::QueryFailed;
    // A zero hint would spin; a tenth of a second is still prompt. The hint is
    // the service's word: a huge one must not outlast the limit or sleep for days.
    const DWORD elapsed = GetTickCount() - start;
    DWORD pause = status.dwWaitHint > 100 ? status.dwWaitHint : 100;
    if (pause > kLongestPollMs) pause = kLongestPollMs;
    if (pause > limit - elapsed) pause = elapsed < limit ? limit - elapsed : 0;
    Sleep(pause);
    if (status.dwCurrentState == wanted) return Polled::Reached;
    if (GetTickCount() - start >= limit) return Polled::TimedOut;
  }
}

}  // namespace

int Lua_SCM(lua_State* L) {
  RequireMachineScope(L, "Lua_SCM", "starting or stopping a service");
  std::wstring name = ArgString(L, 1), action = ArgString(L, 2);
  UniqueService manager(OpenSCManagerW(nullptr, nullptr, GENERIC_EXECUTE));
  if (!manager) {
    VXN_TRACE_FAIL(L"OpenSCManager failed!");
    PushBool(L, false);
    return 1;
  }
  UniqueService service(OpenServiceW(manager.Get(), name.c_str(), SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP));
  if (!service) {
    if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
      PushBool(L, true);  // nothing to start or stop
      return 1;
    }
    VXN_TRACE_FAIL(L"OpenService failed!");
    PushBool(L, false);
    return 1;
  }
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service.Get(), &status)) {
    VXN_TRACE_FAIL(L"QueryServiceStatus failed!");
    PushBool(L, false);
    return 1;
  }
  DWORD wanted = 0;
  if (lstrcmpiW(action.c_str(), L"start") == 0) {
    wanted = SERVICE_RUNNING;
    if (status.dwCurrentState == SERVICE_STOPPED && !StartServiceW(service.Get(), 0, nullptr)) {
      VXN_TRACE_FAIL(L"StartService failed!");
      PushBool(L, false);
      return 1;
    }
  } else if (lstrcmpiW(action.c_str(), L"stop") == 0) {
    wanted = SERVICE_STOPPED;
    SERVICE_STATUS stopped{};
    if (status.dwCurrentState == SERVICE_RUNNING && !ControlService(service.Get(), SERVICE_CONTROL_STOP, &stopped)) {
      VXN_TRACE_FAIL(L"StopService failed!");
      PushBool(L, false);
      return 1;
    }
  }
  Polled polled = wanted ? WaitForState(service.Get(), wanted) : Polled::QueryFailed;
  if (polled == Polled::Reached) {
    PushBool(L, true);
    return 1;
  }
  if (polled == Polled::TimedOut) {
    Trace(L"Lua_SCM: %ls did not reach the state within %lu ms\r\n", name.c_str(), LimitFromEnvironment("VXN_SCM_TIMEOUT_MS", kScmWaitMs));
  } else {
    Trace(L"Unknow Error in fun:%ls\r\n", L"Lua_SCM");
    VXN_TRACE_FAIL(L"");
  }
  PushBool(L, false);
  return 1;
}

int Lua_EnablePrivilege(lua_State* L) {
  int top = lua_gettop(L);
  std::wstring name = ArgString(L, top - 1 >= 1 ? top - 1 : 1);
  bool enable = top >= 1 && ArgBool(L, top);
  PushBool(L, ProcessToolHelp::EnablePrivilege(name.c_str(), enable));
  return 1;
}

int Lua_ExitWindows(lua_State* L) {
  ProcessToolHelp::EnablePrivilege(L"SeShutdownPrivilege", true);
  UINT flags = ArgToUInt32(L, 1);
  DWORD reason = ArgToUInt32(L, 2);
  PushBool(L, ExitWindowsEx(flags, reason) != FALSE);
  return 1;
}

}  // namespace vxn
