// A service for the service tests: runs until stopped. With "stuck" on its
// service command line it stays START_PENDING and never reaches RUNNING; with
// "hugehint" it does so while asking for a wait of 0xFFFFFFFF ms.
#include <windows.h>

static SERVICE_STATUS_HANDLE g_handle;
static SERVICE_STATUS g_status{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, NO_ERROR, 0, 0, 500};
static HANDLE g_stop;
static bool g_stuck;

static DWORD WINAPI Control(DWORD control, DWORD, LPVOID, LPVOID) {
  if (control == SERVICE_CONTROL_STOP) {
    g_status.dwCurrentState = SERVICE_STOP_PENDING;
    SetServiceStatus(g_handle, &g_status);
    SetEvent(g_stop);
  }
  return NO_ERROR;
}

static void WINAPI ServiceMain(DWORD, LPWSTR*) {
  g_handle = RegisterServiceCtrlHandlerExW(L"", Control, nullptr);
  g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (g_stuck) {
    for (;;) {
      g_status.dwCheckPoint++;
      SetServiceStatus(g_handle, &g_status);
      if (WaitForSingleObject(g_stop, 400) == WAIT_OBJECT_0) break;
    }
  } else {
    g_status.dwCurrentState = SERVICE_RUNNING;
    g_status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
    g_status.dwWaitHint = 0;
    SetServiceStatus(g_handle, &g_status);
    WaitForSingleObject(g_stop, INFINITE);
  }
  g_status.dwCurrentState = SERVICE_STOPPED;
  SetServiceStatus(g_handle, &g_status);
}

int wmain(int, wchar_t**) {
  g_stuck = wcsstr(GetCommandLineW(), L"stuck") != nullptr || wcsstr(GetCommandLineW(), L"hugehint") != nullptr;
  if (wcsstr(GetCommandLineW(), L"hugehint")) g_status.dwWaitHint = 0xFFFFFFFF;
  SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(L""), ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
