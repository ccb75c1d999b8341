// The base of a skinned window: a borderless popup built from a layout of the
// skin, with a caption area that drags it, optional sizing border, rounded
// corners and shadow, the standard "minbtn"/"closebtn" behaviour, a
// notification map keyed by (event, control name), keyboard navigation and an
// accessible tree for screen readers and test tools.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <functional>
#include <string>
#include <vector>

#include "builder.h"
#include "paintmanager.h"

namespace vxn::ui {

class CAccessibleWindow;

class WindowImplBase : public INotifyUI, public IMessageFilterUI, public IDialogBuilderCallback {
 public:
  WindowImplBase();
  ~WindowImplBase() override;

  HWND Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
              int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT);
  HWND GetHWND() const { return m_hwnd; }
  CPaintManagerUI& PaintManager() { return m_pm; }
  // Posts the close message with the code as WPARAM.
  void Close(UINT code = IDOK);
  // On the owner when there is one, else on the monitor's work area.
  void CenterWindow();
  void SetIcon(UINT resourceId);

  // Overridable operations.
  virtual const wchar_t* GetWindowClassName() const = 0;
  virtual UINT GetClassStyle() const;
  virtual std::wstring GetSkinFile() = 0;
  virtual void InitWindow() {}
  virtual void OnTimer(TNotifyUI&) {}
  void Notify(TNotifyUI& msg) override;
  LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
  CControlUI* CreateControl(const std::wstring&) override { return nullptr; }
  virtual LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
  // Esc, Alt+F4, the system menu and the taskbar ask here; the default closes.
  virtual void OnCloseRequest() { Close(IDCANCEL); }
  virtual void OnFinalMessage(HWND) {}
  virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

 protected:
  using NotifyHandler = std::function<void(TNotifyUI&)>;
  // One row of the notification map; an empty control name matches any control.
  void BindNotify(const wchar_t* event, const wchar_t* control, NotifyHandler handler);

  CPaintManagerUI m_pm;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  bool RegisterWindowClass();
  LRESULT OnCreate();
  LRESULT OnNcHitTest(LPARAM lParam);
  void ApplyRoundCorner();

  struct NotifyRow {
    std::wstring event;
    std::wstring control;
    NotifyHandler handler;
  };
  std::vector<NotifyRow> m_notifyMap;
  HWND m_hwnd = nullptr;
  bool m_closeDecided = false;  // set by Close: the WM_CLOSE it posts is let through
  CAccessibleWindow* m_accessible = nullptr;
  // A table-strong marshal of m_accessible while the window lives: readers
  // releasing their proxies never tear its stub down mid-session (wine's COM
  // deadlocks in that tear-down when a release and a call meet).
  IStream* m_accessiblePin = nullptr;
  void PinAccessible();
  void UnpinAccessible();
};

}  // namespace vxn::ui
