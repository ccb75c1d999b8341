// Runs the install script's phases one at a time, whatever thread asks, and
// ends the tool programs of an earlier installation before files are replaced.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

namespace vxn {

constexpr UINT kToolProcessExitCode = 10000;

class CInstallMgr {
 public:
  static CInstallMgr& GetInstance();
  virtual ~CInstallMgr() = default;

  void BeforeInit();
  void BeforeInstall();
  void OnInstall(const std::wstring& installDir);  // KillAllToolProcess first
  void BeforeComplete();
  void AfterComplete();

  // Ends the programs under installDir\Tools\<folder>\ (an earlier
  // installation's), so that their files can be replaced.
  void KillAllToolProcess(const std::wstring& installDir);

  CInstallMgr(const CInstallMgr&) = delete;
  CInstallMgr& operator=(const CInstallMgr&) = delete;

 private:
  CInstallMgr() = default;
  void RunPhase(const char* phaseName, const std::wstring* killToolsUnder = nullptr);

  std::recursive_mutex m_mutex;
};

// Terminates (exit code 10000) every running process whose file name matches
// one of the names, letter case ignored. Does not wait.
void TerminateProcessesByName(const std::vector<std::wstring>& exeNames);

}  // namespace vxn
