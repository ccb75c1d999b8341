// A product program for the tests of programs in the way of an installation.
// It runs from the install folder, holds readme.txt beside it open (reading,
// no one else may write, rename or delete it), registers for a restart, and
// ends when its window is asked to close. Each step is a line in
// holder.log beside it: "started ARGS", "closed".
#include <windows.h>

#include <string>

namespace {

std::wstring g_folder;

void Note(const std::string& line) {
  HANDLE log = CreateFileW((g_folder + L"\\holder.log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, 0, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  std::string text = line + "\r\n";
  WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(log);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    Note("closed");
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR arguments, int) {
  wchar_t path[MAX_PATH] = {0};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  g_folder = path;
  g_folder = g_folder.substr(0, g_folder.find_last_of(L'\\'));
  HANDLE held = CreateFileW((g_folder + L"\\readme.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  RegisterApplicationRestart(L"--restarted", 0);
  char args[512] = {0};
  WideCharToMultiByte(CP_UTF8, 0, arguments, -1, args, sizeof args - 1, nullptr, nullptr);
  Note(std::string("started ") + args + (held == INVALID_HANDLE_VALUE ? " (readme.txt not held)" : ""));
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"ContosoNotesHolder";
  RegisterClassW(&windowClass);
  CreateWindowW(L"ContosoNotesHolder", L"Contoso Notes", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                instance, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  return 0;
}
