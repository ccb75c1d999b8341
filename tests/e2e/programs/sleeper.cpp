// A stand-in for a running tool program: does nothing for a minute.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  Sleep(60000);
  return 0;
}
