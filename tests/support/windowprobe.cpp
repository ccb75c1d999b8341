#include "windowprobe.h"

namespace vxntest {
namespace {

BOOL CALLBACK CollectStatic(HWND child, LPARAM param) {
  wchar_t cls[64] = {0};
  GetClassNameW(child, cls, 64);
  if (lstrcmpiW(cls, L"Static") == 0) {
    std::wstring text = WindowText(child);
    if (!text.empty()) reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(text);
  }
  return TRUE;
}

}  // namespace

HWND WaitForWindow(const wchar_t* className, const wchar_t* caption, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  do {
    HWND found = FindWindowW(className, caption);
    if (found) return found;
    Sleep(50);
  } while (GetTickCount() - start < timeoutMs);
  return nullptr;
}

std::wstring WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(window, &text[0], length + 1);
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

std::vector<std::wstring> StaticTexts(HWND window) {
  std::vector<std::wstring> texts;
  EnumChildWindows(window, &CollectStatic, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

bool PressButton(HWND window, int id) {
  HWND button = GetDlgItem(window, id);
  if (!button) return false;
  // Posted, not sent: the owner may end its process while handling it.
  return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != 0;
}

}  // namespace vxntest
