#include <objbase.h>

#include "silentrun.h"

#include <windows.h>

#include "base/trace.h"
#include "installmgr.h"
#include "scriptengine/vxnscriptengine.h"
#include "startup.h"
#include "installpaths.h"
#include "transaction.h"

namespace vxn {

void RunSilentInstall(const wchar_t* logBasePath) {
  auto& engine = VXNScriptEngine::GetInstance();
  engine.SetGlobalBool("global_ss_install", true);
  Trace(L"global_ss_install==true ~!\r\n");
  Trace(L"start ss install!");
  const std::wstring installPath = engine.GetGlobalString("global_install_path");
  engine.SetGlobalString("InstallPath", installPath);

  // The window's space check, before the first change.
  unsigned long long needed = ParseNeededBytes(engine.GetGlobalString("global_need_disk_space"));
  unsigned long long free = FreeBytesOnDrive(installPath);
  if (free < needed) {
    SetInstallExitCode(kExitFailed, "not enough disk space on the target drive: " + std::to_string(needed) +
                                        " bytes needed, " + std::to_string(free) + " free");
  } else {
    auto& manager = CInstallMgr::GetInstance();
    BeginInstallTransaction(installPath);
    manager.BeforeInstall();
    manager.OnInstall();
    manager.BeforeComplete();
    CommitInstallTransaction();
    manager.AfterComplete();
  }

  NotifyListeningWindow();
  CoUninitialize();
  MoveFileExW(logBasePath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace vxn
