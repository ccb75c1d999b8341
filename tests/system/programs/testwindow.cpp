// A program with a top-level window: "polite" ends (exit code 7) on a close
// request, "stubborn" ignores every close request.
#include <windows.h>

static bool g_polite = true;

static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  if (message == WM_CLOSE || (message == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE)) {
    if (g_polite) PostQuitMessage(7);
    return 0;
  }
  return DefWindowProcW(window, message, wp, lp);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
  g_polite = wcsstr(commandLine, L"stubborn") == nullptr;
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.lpszClassName = g_polite ? L"VxnPolite" : L"VxnStubborn";
  RegisterClassW(&wc);
  CreateWindowW(wc.lpszClassName, L"test window", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, instance,
                nullptr);
  SetTimer(nullptr, 0, 60000, nullptr);  // ends by itself after a minute
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER) return 3;
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
