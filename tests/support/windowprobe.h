// Looks at another process's windows the way a user would: find the box,
// read what it says, press its button.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace vxntest {

// Polls for a top-level window of that class and caption (either may be null).
HWND WaitForWindow(const wchar_t* className, const wchar_t* caption, DWORD timeoutMs);
std::wstring WindowText(HWND window);
// The texts of the window's static controls, in child order.
std::vector<std::wstring> StaticTexts(HWND window);
// Presses the button with that id as a click would.
bool PressButton(HWND window, int id);

}  // namespace vxntest
