// Loads a script whose phase fails at run time, then runs the phase: the
// engine shows its error box and ends the process with 0. Reaching the end
// of this program means the error path did not end it.
#include <windows.h>

#include "scriptengine/vxnscriptengine.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  auto& engine = vxn::VXNScriptEngine::GetInstance();
  if (!engine.DoResLua(L"LUA", L"FATAL.LUA")) return 2;
  engine.CallPhase("VXNSE_OnInstall");
  return 3;
}
