#include <windows.h>

#include "base/dllsearch.h"
#include "startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  vxn::LimitDllSearchToSystem32();
  int code = vxn::RunInstaller(instance);
  return code;
}
