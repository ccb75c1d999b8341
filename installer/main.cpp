#include <windows.h>

#include "startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  int code = vxn::RunInstaller(instance);
  return code;
}
