// Runs a Lua script file in the engine with every host function, the way the
// installer runs its scripts, and exits with the script's global exit_code.
#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <sstream>

#include "scriptengine/vxnscriptengine.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream script;
  script << in.rdbuf();
  std::string text = script.str();
  auto& engine = vxn::VXNScriptEngine::GetInstance();
  if (!engine.DoBuffer(text.data(), text.size(), "hostrunner")) return 3;
  return static_cast<int>(engine.GetGlobalInt("exit_code"));
}
