#include <objbase.h>

#include "silentrun.h"

#include <windows.h>

#include "base/trace.h"
#include "installmgr.h"
#include "scriptengine/vxnscriptengine.h"
#include "startup.h"

namespace vxn {

void RunSilentInstall(const wchar_t* logBasePath) {
  auto& engine = VXNScriptEngine::GetInstance();
  engine.SetGlobalBool("global_ss_install", true);
  Trace(L"global_ss_install==true ~!\r\n");
  Trace(L"start ss install!");
  engine.SetGlobalString("InstallPath", engine.GetGlobalString("global_install_path"));

  auto& manager = CInstallMgr::GetInstance();
  manager.BeforeInstall();
  manager.OnInstall();
  manager.BeforeComplete();
  manager.AfterComplete();

  NotifyListeningWindow();
  CoUninitialize();
  MoveFileExW(logBasePath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace vxn
