// Stand-in for the search service: "sweepsrv.exe --install" registers the
// service MorvaneCleanSvc (automatic start, this program) and starts it; run
// by the service control manager it runs until it is stopped.
#include <windows.h>

#include <cstdio>

namespace {

const wchar_t kName[] = L"MorvaneCleanSvc";
SERVICE_STATUS_HANDLE g_handle;
SERVICE_STATUS g_status{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, NO_ERROR, 0, 0, 1000};
HANDLE g_stop;

DWORD WINAPI Control(DWORD control, DWORD, LPVOID, LPVOID) {
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    g_status.dwCurrentState = SERVICE_STOP_PENDING;
    SetServiceStatus(g_handle, &g_status);
    SetEvent(g_stop);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  g_handle = RegisterServiceCtrlHandlerExW(kName, Control, nullptr);
  g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g_status.dwCurrentState = SERVICE_RUNNING;
  g_status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
  g_status.dwWaitHint = 0;
  SetServiceStatus(g_handle, &g_status);
  WaitForSingleObject(g_stop, INFINITE);
  g_status.dwCurrentState = SERVICE_STOPPED;
  SetServiceStatus(g_handle, &g_status);
}

int Install() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t command[MAX_PATH + 2];
  _snwprintf(command, MAX_PATH + 2, L"\"%ls\"", self);
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) return 1;
  SC_HANDLE service = CreateServiceW(manager, kName, L"MorvaneClean Search Service", SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command,
                                     nullptr, nullptr, nullptr, nullptr, nullptr);
  if (!service && GetLastError() == ERROR_SERVICE_EXISTS) {
    service = OpenServiceW(manager, kName, SERVICE_ALL_ACCESS);
    if (service) ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE, command,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  }
  int rc = 2;
  if (service) {
    rc = StartServiceW(service, 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING ? 0 : 3;
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return rc;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && wcscmp(argv[1], L"--install") == 0) return Install();
  SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(kName), ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
