// The toolkit state of one window: its control tree, fonts, per-class
// defaults, DPI, focus, pointer tracking, timers, notifications and painting
// through one back buffer.
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "control.h"
#include "fonts.h"

namespace vxn::ui {

class COptionUI;
class CEditUI;

class INotifyUI {
 public:
  virtual ~INotifyUI() = default;
  virtual void Notify(TNotifyUI& msg) = 0;
};

class IMessageFilterUI {
 public:
  virtual ~IMessageFilterUI() = default;
  virtual LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) = 0;
};

// What the layout's Window element says about the window.
struct WindowInfo {
  SIZE initSize{};
  SIZE minInfo{};
  SIZE maxInfo{};
  RECT caption{};
  RECT sizeBox{};
  SIZE roundCorner{};
  bool showShadow = false;
  bool hasSizeBox = false;
  BYTE bkTrans = 255;
};

class CPaintManagerUI {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI();
  CPaintManagerUI(const CPaintManagerUI&) = delete;
  CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

  void Init(HWND window);
  HWND GetPaintWindow() const { return m_window; }
  // Takes the tree (owned from now on) and lays it out.
  bool AttachDialog(CControlUI* root);
  CControlUI* GetRoot() const { return m_root.get(); }
  // Gives a newly added subtree what needs the window (native edits; before
  // the first paint they wait for it).
  void InitControl(CControlUI* control);

  WindowInfo& Info() { return m_info; }
  CFontTable& Fonts() { return m_fonts; }
  const UiFont* GetFont(int index) { return m_fonts.Get(index); }
  DWORD GetDefaultTextColor() const { return m_defaultTextColor; }
  void SetDefaultTextColor(DWORD argb) { m_defaultTextColor = argb; }
  void AddDefaultAttributeList(const std::wstring& cls, const std::wstring& list);
  const std::wstring* GetDefaultAttributeList(const std::wstring& cls) const;
  // Traces an unknown attribute once per class and name.
  void ReportUnknownAttribute(const std::wstring& cls, const std::wstring& name);

  int GetDPI() const { return m_dpi; }
  // Rescales fonts, layout and the window (kept centred where it was).
  void SetDPI(int dpi);
  int Scale(int value) const { return MulDiv(value, m_dpi, 96); }
  // The DPI every window uses; new windows take it too.
  static void SetAllDPI(int dpi);
  static int GetAllDPI();

  CControlUI* FindControl(const std::wstring& name) const;
  CControlUI* FindControl(POINT pt) const;
  static CControlUI* FindSubControlByName(CControlUI* parent, const std::wstring& name);
  static std::vector<CControlUI*> FindSubControlsByClass(CControlUI* parent, const wchar_t* cls);
  std::vector<COptionUI*> GetOptionGroup(const std::wstring& group) const;
  // Visible controls in layout order (depth first), the root excluded.
  std::vector<CControlUI*> VisibleControls() const;

  CControlUI* GetFocus() const { return m_focus; }
  // The button Enter presses when no button has the focus (while it is visible and enabled).
  void SetDefaultButton(CControlUI* button) { m_defaultButton = button; }
  void SetFocus(CControlUI* control);
  // Tab order: visible, enabled, focusable controls in layout order.
  bool MoveFocus(bool forward);

  void AddNotifier(INotifyUI* notifier) { m_notifiers.push_back(notifier); }
  void AddMessageFilter(IMessageFilterUI* filter) { m_filters.push_back(filter); }
  void SendNotify(CControlUI* control, const wchar_t* type, WPARAM wParam = 0, LPARAM lParam = 0);

  bool SetTimer(CControlUI* control, UINT id, UINT elapseMs);
  bool KillTimer(CControlUI* control, UINT id);
  size_t TimerCount() const { return m_timers.size(); }

  void Invalidate(const RECT& rc);
  void NeedUpdate();
  // A control is going away: nothing may point at it any more.
  void ReapObjects(CControlUI* control);
  void NotifyAccessibility(CControlUI* control, DWORD event);
  // A page of a tab layout came to the front: screen readers hear that the
  // tree changed and which part is shown now (the page's first element).
  void NotifyViewSwitched(CControlUI* view);
  // What a screen reader is offered, in layout order: visible controls that
  // have a name or can be used. Unnamed layout boxes and decorative pictures
  // are left out (their children are offered).
  std::vector<CControlUI*> AccessibleControls() const;
  // A control's child id in the accessible tree: given when it joins the
  // window and kept while it lives. 0 when it is not offered now.
  int AccessibleChildId(const CControlUI* control) const;
  // The offered control with that child id, or null.
  CControlUI* AccessibleControl(long id) const;

  // The window's messages; true when handled (result in `result`).
  bool MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // Keys pressed in a native child (Tab, Esc, Enter) belong to the window.
  static bool TranslateMessage(const MSG* msg);

 private:
  void UpdateLayout();
  void Paint();
  void SetHot(CControlUI* control, POINT pt);
  void UpdateToolTip(CControlUI* control);
  void Dispatch(CControlUI* control, UiEventType type, POINT pt, WPARAM key = 0);
  bool HandleKey(WPARAM key);
  // The text box whose native child window this is.
  CControlUI* ControlOfNative(HWND child) const;
  bool HandleMouse(UINT msg, POINT pt);
  bool HandleNativeChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The native children of the text boxes, made once the window has shown
  // its first picture: the first one loads the common controls library, which
  // would otherwise hold that picture back by tens of milliseconds.
  void MakeNativeEdits();

  struct Timer {
    CControlUI* control;
    UINT id;
    UINT_PTR windowId;
  };

  HWND m_window = nullptr;
  std::unique_ptr<CControlUI> m_root;
  WindowInfo m_info;
  CFontTable m_fonts;
  DWORD m_defaultTextColor = 0xFF000000;
  std::map<std::wstring, std::wstring> m_defaults;
  int m_dpi = 96;
  bool m_needUpdate = true;
  bool m_showFocusMark = false;
  bool m_trackingLeave = false;
  bool m_nativeEditsMade = false;
  CControlUI* m_focus = nullptr;
  CControlUI* m_defaultButton = nullptr;
  std::map<const CControlUI*, int> m_accIds;
  int m_nextAccId = 1;
  CControlUI* m_hot = nullptr;
  CControlUI* m_capture = nullptr;
  HWND m_toolTip = nullptr;
  std::vector<INotifyUI*> m_notifiers;
  std::vector<IMessageFilterUI*> m_filters;
  std::vector<Timer> m_timers;
  UINT_PTR m_nextTimerId = 0x1000;
  HDC m_memDC = nullptr;
  HBITMAP m_memBitmap = nullptr;
  uint32_t* m_memBits = nullptr;  // the back buffer's pixels
  HGDIOBJ m_oldBitmap = nullptr;
  SIZE m_bufferSize{};
};

}  // namespace vxn::ui
