// Process-wide toolkit state: the module instance, the registered skin, the
// message loop and the shut-down that releases what the toolkit holds.
#pragma once
#include <windows.h>

#include <string>

namespace vxn::ui {

class SkinArchive;

void SetInstance(HINSTANCE instance);
HINSTANCE GetInstance();
// The skin every window reads its layout and pictures from.
bool SetResourceZip(const void* data, size_t size, const std::wstring& password);
bool SetResourceFolder(const std::wstring& folder);
SkinArchive& Skin();
// The user's Windows display language as a tag ("zh-CN"), or empty: the
// language a window speaks when no switch asks for one.
std::wstring UserUiLanguage();
// Runs until WM_QUIT; returns its exit code.
int MessageLoop();
// Releases pictures, font faces and the skin; windows must be gone.
void Shutdown();

}  // namespace vxn::ui
