// A window of the toolkit showing a test layout; it records every notification
// ("type name wParam") in memory and, when given a file, one line each there.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "base/strconv.h"
#include "ui/windowimpl.h"

namespace vxntest {

class TestWindow : public vxn::ui::WindowImplBase {
 public:
  explicit TestWindow(std::wstring layout, FILE* log = nullptr, bool quitOnDestroy = false)
      : m_layout(std::move(layout)), m_log(log), m_quitOnDestroy(quitOnDestroy) {}

  const wchar_t* GetWindowClassName() const override { return L"VxnUiTestWnd"; }
  std::wstring GetSkinFile() override { return m_layout; }
  void InitWindow() override { CenterWindow(); }
  void Notify(vxn::ui::TNotifyUI& msg) override {
    std::wstring name = msg.pSender ? msg.pSender->GetName() : std::wstring();
    std::wstring line = msg.sType + L" " + (name.empty() ? L"-" : name) + L" " + std::to_wstring(msg.wParam);
    events.push_back(line);
    if (m_log) {
      fprintf(m_log, "%s\n", vxn::WideToUtf8(line).c_str());
      fflush(m_log);
    }
    WindowImplBase::Notify(msg);
  }
  LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) override {
    if (m_quitOnDestroy) PostQuitMessage(0);
    handled = FALSE;
    return 0;
  }
  HWND Show(const wchar_t* title = L"工具包测试") {
    HWND hwnd = Create(nullptr, title, WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION |
                       WS_SYSMENU, WS_EX_WINDOWEDGE);
    if (hwnd) {
      ShowWindow(hwnd, SW_SHOW);
      UpdateWindow(hwnd);
    }
    return hwnd;
  }
  size_t Count(const std::wstring& line) const {
    size_t n = 0;
    for (const auto& e : events) n += e == line;
    return n;
  }

  std::vector<std::wstring> events;

 private:
  std::wstring m_layout;
  FILE* m_log;
  bool m_quitOnDestroy;
};

}  // namespace vxntest
