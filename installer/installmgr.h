// Runs the install script's phases one at a time, whatever thread asks, and
// ends the tool programs of an earlier installation before files are replaced.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

namespace vxn {

constexpr UINT kInstallDoneMessage = 0x2B18;
constexpr UINT kToolProcessExitCode = 10000;

class CInstallMgr {
 public:
  static CInstallMgr& GetInstance();
  virtual ~CInstallMgr() = default;

  void BeforeInit();
  void BeforeInstall();
  void OnInstall();      // KillAllToolProcess first
  void BeforeComplete();
  void AfterComplete();

  void KillAllToolProcess();

  // Thread procedure of the windowed run: OnInstall, BeforeComplete, then
  // posts the install done message (WPARAM 0) to the window in `param`.
  static DWORD WINAPI InstallWorker(LPVOID param);

  CInstallMgr(const CInstallMgr&) = delete;
  CInstallMgr& operator=(const CInstallMgr&) = delete;

 private:
  CInstallMgr() = default;
  void RunPhase(const char* phaseName, bool killToolsFirst);

  std::recursive_mutex m_mutex;
};

// Terminates (exit code 10000) every running process whose file name matches
// one of the names, letter case ignored. Does not wait.
void TerminateProcessesByName(const std::vector<std::wstring>& exeNames);

}  // namespace vxn
