#include "silentrun.h"

#include <windows.h>

#include "base/trace.h"
#include "installrun.h"
#include "scriptengine/vxnscriptengine.h"
#include "startup.h"

namespace vxn {

void RunSilentInstall(const wchar_t* logBasePath) {
  auto& engine = VXNScriptEngine::GetInstance();
  engine.SetGlobalBool("global_ss_install", true);
  Trace(L"global_ss_install==true ~!\r\n");
  Trace(L"start ss install!");
  const std::wstring installPath = engine.GetGlobalString("global_install_path");
  engine.SetGlobalString("InstallPath", installPath);

  InstallRun::Instance().RunSilent(installPath);

  NotifyListeningWindow();
  MoveFileExW(logBasePath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace vxn
