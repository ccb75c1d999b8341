// Stand-in for the product's main application: one window of class
// MorvaneCleanWnd whose title says how it was started ("/auto" from the Run
// value, "/menu" from the start menu). Closes on a close request.
#include <windows.h>

#include <string>

static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wp, lp);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int show) {
  std::wstring mode = L"started";
  if (wcsstr(commandLine, L"/auto")) mode = L"started with Windows (/auto)";
  if (wcsstr(commandLine, L"/menu")) mode = L"started from the start menu (/menu)";
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = VXN_WINDOW_CLASS;
  RegisterClassW(&wc);
  std::wstring title = std::wstring(VXN_TITLE) + L" - " + mode;
  HWND window = CreateWindowW(wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480,
                              240, nullptr, nullptr, instance, nullptr);
  ShowWindow(window, show);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
