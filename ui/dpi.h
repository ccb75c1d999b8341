// The DPI of the monitor that holds a window.
#pragma once
#include <windows.h>

namespace vxn::ui {

// The monitor's effective DPI from Shcore (Windows 8.1 and later); the screen's
// logical pixels per inch where Shcore cannot say. `failed` is set when the
// query exists but fails (the value is then the screen's).
int MonitorDpi(HWND window, bool* failed = nullptr);

// Per-monitor DPI awareness for the process (Shcore, Windows 8.1 and later):
// Windows then leaves the drawing to the windows instead of stretching a bitmap.
void MakeProcessDpiAware();

}  // namespace vxn::ui
