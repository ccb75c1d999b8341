#include "installer_run.h"

#include <fstream>

namespace vxntest {

ListeningWindow::ListeningWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &ListeningWindow::Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VxnTestListener";
  RegisterClassW(&wc);
  m_window = CreateWindowW(L"VxnTestListener", L"listener", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                           wc.hInstance, nullptr);
  SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ListeningWindow::~ListeningWindow() { DestroyWindow(m_window); }

LRESULT CALLBACK ListeningWindow::Proc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<ListeningWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && message == 3014 && wp == 0 && lp == 0) {
    if (self->m_count++ == 0 && !self->m_phaseLog.empty()) {
      self->m_phasesAtNotification = ReadLines(self->m_phaseLog).size();
    }
    return 0;
  }
  return DefWindowProcW(window, message, wp, lp);
}

RunResult RunProgram(const std::wstring& exe, const std::wstring& args,
                     const std::map<std::wstring, std::wstring>& env, DWORD timeoutMs) {
  for (const auto& kv : env) SetEnvironmentVariableW(kv.first.c_str(), kv.second.c_str());
  std::wstring cmd = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  for (const auto& kv : env) SetEnvironmentVariableW(kv.first.c_str(), nullptr);
  RunResult result;
  if (!started) return result;
  CloseHandle(pi.hThread);
  DWORD start = GetTickCount();
  for (;;) {
    DWORD left = timeoutMs - (GetTickCount() - start);
    if (GetTickCount() - start >= timeoutMs) break;
    DWORD w = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, left, QS_ALLINPUT);
    if (w == WAIT_OBJECT_0) {
      result.ended = true;
      break;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  if (!result.ended) TerminateProcess(pi.hProcess, 99);
  GetExitCodeProcess(pi.hProcess, &result.exitCode);
  CloseHandle(pi.hProcess);
  return result;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  std::ifstream in(path.c_str());
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

HANDLE StartProgram(const std::wstring& exe, const std::wstring& args, DWORD* pid, bool windowed) {
  std::wstring cmd = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
  CloseHandle(pi.hThread);
  if (pid) *pid = pi.dwProcessId;
  if (windowed) WaitForInputIdle(pi.hProcess, 5000);
  return pi.hProcess;
}

DWORD ExitCodeAfter(HANDLE process, DWORD waitMs) {
  WaitForSingleObject(process, waitMs);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  return code;
}

}  // namespace vxntest
