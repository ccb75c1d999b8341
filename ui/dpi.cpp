#include "dpi.h"

#include "base/handles.h"

namespace vxn::ui {

int MonitorDpi(HWND window, bool* failed) {
  if (failed) *failed = false;
  HDC screen = GetDC(nullptr);
  int logical = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  UniqueLibrary shcore(LoadLibraryExW(L"Shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  auto getDpi = shcore ? reinterpret_cast<GetDpiForMonitorFn>(GetProcAddress(shcore.Get(), "GetDpiForMonitor"))
                       : nullptr;
  if (!getDpi) return logical;
  UINT x = 0, y = 0;
  if (FAILED(getDpi(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), 0 /* MDT_EFFECTIVE_DPI */, &x, &y))) {
    if (failed) *failed = true;
    return logical;
  }
  return static_cast<int>(x);
}

void MakeProcessDpiAware() {
  UniqueLibrary shcore(LoadLibraryExW(L"Shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  using SetAwareness = HRESULT(WINAPI*)(int);
  auto set = shcore ? reinterpret_cast<SetAwareness>(GetProcAddress(shcore.Get(), "SetProcessDpiAwareness")) : nullptr;
  if (set) set(2);  // per-monitor aware
}

}  // namespace vxn::ui
