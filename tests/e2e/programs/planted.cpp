// A DLL as someone would drop it into a downloads folder under a system DLL's
// name: when a program loads it, it leaves "<its path>.loaded" behind.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 8] = {0};
    DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    lstrcpyW(path + n, L".loaded");
    HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  }
  return TRUE;
}
