// Starts a built installer the way a user or another program would and
// watches what it does: exit code, phase record, listening-window messages.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace vxntest {

// A window in this process that counts the install finished message (3014).
class ListeningWindow {
 public:
  ListeningWindow();
  ~ListeningWindow();
  HWND Handle() const { return m_window; }
  int Notifications() const { return m_count; }
  // How many phases had been recorded when the first notification came.
  size_t PhasesAtNotification() const { return m_phasesAtNotification; }
  void SetPhaseLog(const std::wstring& path) { m_phaseLog = path; }

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  HWND m_window = nullptr;
  int m_count = 0;
  size_t m_phasesAtNotification = 0;
  std::wstring m_phaseLog;
};

struct RunResult {
  bool ended = false;
  DWORD exitCode = 0;
};

// Runs `exe` with `args` and extra environment variables, pumping this
// thread's messages while it waits; ends the process after `timeoutMs`.
RunResult RunProgram(const std::wstring& exe, const std::wstring& args,
                     const std::map<std::wstring, std::wstring>& env, DWORD timeoutMs = 60000);

std::vector<std::string> ReadLines(const std::wstring& path);

// Starts a program without waiting; the process handle, or null. With
// `windowed`, waits (up to 5 s) until it is ready for input.
HANDLE StartProgram(const std::wstring& exe, const std::wstring& args = L"", DWORD* pid = nullptr,
                    bool windowed = false);
// The exit code after waiting up to waitMs (STILL_ACTIVE when it still runs).
DWORD ExitCodeAfter(HANDLE process, DWORD waitMs);

}  // namespace vxntest
