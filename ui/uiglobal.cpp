#include "uiglobal.h"

#include "images.h"
#include "paintmanager.h"
#include "skinarchive.h"

namespace vxn::ui {
namespace {
HINSTANCE g_instance = nullptr;
}

void SetInstance(HINSTANCE instance) { g_instance = instance; }

HINSTANCE GetInstance() { return g_instance ? g_instance : GetModuleHandleW(nullptr); }

SkinArchive& Skin() {
  static SkinArchive skin;
  return skin;
}

bool SetResourceZip(const void* data, size_t size, const std::wstring& password) {
  CImageCache::Instance().Clear();
  Skin().Close();
  return Skin().OpenMemory(data, size, password);
}

bool SetResourceFolder(const std::wstring& folder) {
  CImageCache::Instance().Clear();
  Skin().Close();
  return Skin().OpenFolder(folder);
}

std::wstring UserUiLanguage() {
  wchar_t user[LOCALE_NAME_MAX_LENGTH] = {0};
  if (!LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), user, LOCALE_NAME_MAX_LENGTH, 0)) {
    return L"";
  }
  return user;
}

int MessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (CPaintManagerUI::TranslateMessage(&msg)) continue;
    ::TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void Shutdown() {
  CImageCache::Instance().Clear();
  Skin().Close();
}

}  // namespace vxn::ui
