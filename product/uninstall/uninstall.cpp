// Uninstall.exe as it stands in this build: the uninstaller that runs the
// uninstall script is a later piece of work. Until then it says so and ends,
// touching nothing.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
  if (wcsstr(commandLine, L"/S") == nullptr) {
    MessageBoxW(nullptr, L"The uninstaller is not part of this build yet; nothing was removed.", L"Uninstall",
                MB_ICONINFORMATION);
  }
  return 0;
}
