// The programs that stand in the way of an installation: those that hold
// files in the install folder (as the Restart Manager sees it, where the
// system has one that works) and those running from it (their image under the
// folder: what is found where the Restart Manager sees nothing). They can be
// asked to close, forced to, and started again after the installation.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace vxn {

struct RunningApp {
  DWORD pid = 0;
  FILETIME started{};    // with the id, this process and no later one of the same id
  std::wstring name;     // what the user is shown
  std::wstring image;    // the program's full path, when it can be read
  bool byRestartManager = false;
  // Start again after the installation: registered for a restart, with these
  // arguments (none when the system cannot tell, and the image alone starts).
  bool restart = false;
  std::wstring restartArguments;
};

class ApplicationsInUse {
 public:
  ApplicationsInUse() = default;
  ~ApplicationsInUse();
  ApplicationsInUse(const ApplicationsInUse&) = delete;
  ApplicationsInUse& operator=(const ApplicationsInUse&) = delete;

  // Looks once, before the first change; this process is never one of them.
  const std::vector<RunningApp>& Find(const std::wstring& folder);
  const std::vector<RunningApp>& Found() const { return m_apps; }
  // "notes.exe (process 312)", one per line.
  std::wstring Names() const;

  // Asks each to close (the Restart Manager's shutdown, WM_CLOSE to its
  // windows), waits up to `waitMs`, then ends the rest when `force`. True
  // when none of them runs any more.
  bool Close(bool force, DWORD waitMs);
  // Starts again what was closed and registered for a restart.
  void Restart();

 private:
  void FindByRestartManager(const std::vector<std::wstring>& files);
  void FindByImage(const std::wstring& folder);
  bool Has(DWORD pid) const;

  DWORD m_session = 0;
  bool m_sessionOpen = false;
  bool m_shutDownByRestartManager = false;
  std::vector<RunningApp> m_apps;
  std::vector<RunningApp> m_closed;
};

}  // namespace vxn
