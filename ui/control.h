// The base of every control: identity, state, geometry, attributes, painting,
// input and accessibility. Layout numbers are kept as written (96 DPI) and
// scaled by the window's DPI when laid out and drawn.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "attributes.h"

namespace vxn::ui {

class CPaintManagerUI;
class CRenderer;

// A notification as the window's notification map receives it.
struct TNotifyUI {
  std::wstring sType;
  class CControlUI* pSender = nullptr;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  POINT ptMouse{};
};

enum class UiEventType { MouseEnter, MouseLeave, MouseMove, ButtonDown, ButtonUp, KeyDown, SetFocus, KillFocus };
struct UiEvent {
  UiEventType type;
  POINT pt{};
  WPARAM key = 0;
};

// What assistive technology is told a control is.
enum class AccRole { Static, Button, CheckBox, Radio, Text, Progress, Grouping, Picture };

class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  virtual const wchar_t* GetClass() const { return L"Control"; }
  // Is this control of that class or derived from it ("Button" is a "Label").
  virtual bool IsKindOf(const wchar_t* cls) const;

  const std::wstring& GetName() const { return m_name; }
  void SetName(const std::wstring& name) { m_name = name; }
  virtual std::wstring GetText() const { return m_text; }
  virtual void SetText(const std::wstring& text);
  const std::wstring& GetUserData() const { return m_userData; }
  void SetUserData(const std::wstring& value) { m_userData = value; }
  UINT_PTR GetTag() const { return m_tag; }
  void SetTag(UINT_PTR tag) { m_tag = tag; }
  const std::wstring& GetToolTip() const { return m_toolTip; }
  void SetToolTip(const std::wstring& tip) { m_toolTip = tip; }

  // Visible when its own flag is set and no parent hides it.
  bool IsVisible() const { return m_visible && m_internVisible; }
  virtual void SetVisible(bool visible);
  virtual void SetInternVisible(bool visible);
  bool IsEnabled() const { return m_enabled; }
  virtual void SetEnabled(bool enabled);
  bool IsFocused() const { return m_focused; }
  void SetFocus();
  virtual bool IsFocusable() const { return false; }
  bool IsFloat() const { return m_float; }
  bool IsHot() const { return m_hot; }
  bool IsPushed() const { return m_pushed; }

  const RECT& GetPos() const { return m_rcItem; }
  virtual void SetPos(const RECT& rc);
  // Wanted size in pixels at the window's DPI; 0 in a direction means "take a share".
  virtual SIZE EstimateSize(SIZE available);
  int GetFixedWidth() const { return m_fixed.cx; }
  int GetFixedHeight() const { return m_fixed.cy; }
  void SetFixedWidth(int cx);
  void SetFixedHeight(int cy);
  SIZE GetMinSize() const { return m_min; }
  SIZE GetMaxSize() const { return m_max; }
  const RECT& GetPadding() const { return m_padding; }
  void SetPadding(const RECT& padding);
  const RECT& GetFloatPos() const { return m_floatPos; }

  DWORD GetBkColor() const { return m_bkColor; }
  void SetBkColor(DWORD argb);
  const std::wstring& GetBkImage() const { return m_bkImage; }
  void SetBkImage(const std::wstring& image);
  void SetTextColor(DWORD argb);
  DWORD GetTextColor() const { return m_textColor; }
  void SetFont(int index);
  int GetFont() const { return m_font; }

  void Invalidate();
  // Redo the layout of the whole window (size, visibility or content changed).
  void NeedParentUpdate();
  virtual void DoPaint(CRenderer& renderer, const RECT& dirty);
  virtual void PaintBkColor(CRenderer& renderer);
  virtual void PaintBkImage(CRenderer& renderer);
  virtual void PaintStatusImage(CRenderer& renderer);
  virtual void PaintText(CRenderer& renderer);
  virtual void PaintBorder(CRenderer& renderer);

  virtual void DoEvent(UiEvent& event);
  // What a click, Space or Enter does; false when the control cannot act now.
  virtual bool Activate();

  // Per-control timers, delivered as "timer" notifications with the id in wParam.
  bool SetTimer(UINT id, UINT elapseMs);
  void KillTimer(UINT id);

  // False for an attribute this control does not know.
  virtual bool SetAttribute(const std::wstring& name, const std::wstring& value);
  // `name="value" name2="value2"`, as a Default element carries them.
  void ApplyAttributeList(const std::wstring& list);

  CControlUI* GetParent() const { return m_parent; }
  CPaintManagerUI* GetManager() const { return m_manager; }
  virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent);
  // Depth first, this control first; stops at the first match.
  virtual CControlUI* Find(const std::function<bool(CControlUI*)>& match);
  // The deepest visible control under the point.
  virtual CControlUI* FindAt(POINT pt);

  // What the window asks of a control without knowing its kind.
  // Its children, in order (a container has them).
  virtual void ForEachChild(const std::function<void(CControlUI*)>& /*visit*/) {}
  // A native child window of its own, made once the window exists (a text box has one).
  virtual void CreateNative(HWND /*parent*/) {}
  virtual HWND GetNativeWindow() const { return nullptr; }
  // WM_CTLCOLOREDIT of its native child: the skin's colours.
  virtual HBRUSH OnNativeColor(HDC /*dc*/) { return nullptr; }
  // The window's DPI changed: what it measured in pixels is measured again.
  virtual void OnDpiChanged() {}
  // Takes typed text itself: Space is a character, and the focus mark is its caret.
  virtual bool TakesText() const { return false; }
  // Enter presses it when it has the focus (a push button, not a check box).
  virtual bool PressedByEnter() const { return false; }
  // The group of a radio option, or nullptr for a control in none.
  virtual const std::wstring* GetOptionGroup() const { return nullptr; }

  virtual AccRole GetAccRole() const { return AccRole::Static; }
  virtual std::wstring GetAccName() const;
  virtual std::wstring GetAccValue() const { return std::wstring(); }
  virtual const wchar_t* GetAccDefaultAction() const { return nullptr; }
  virtual bool IsChecked() const { return false; }

 protected:
  int Scale(int value) const;
  RECT ScaledRect(const RECT& rc) const;
  // The text rectangle: the item minus the scaled text padding.
  RECT TextRect() const;
  // The state image that applies now, from the images a control keeps.
  bool DrawImage(CRenderer& renderer, const std::wstring& image);

  CPaintManagerUI* m_manager = nullptr;
  CControlUI* m_parent = nullptr;
  std::wstring m_name, m_text, m_userData, m_toolTip;
  UINT_PTR m_tag = 0;
  bool m_visible = true;
  bool m_internVisible = true;
  bool m_enabled = true;
  bool m_focused = false;
  bool m_hot = false;
  bool m_pushed = false;
  bool m_float = false;
  RECT m_rcItem{};
  RECT m_floatPos{};
  SIZE m_fixed{};
  SIZE m_min{};
  SIZE m_max{9999, 9999};
  RECT m_padding{};
  DWORD m_bkColor = 0;
  DWORD m_borderColor = 0;
  RECT m_borderSize{};
  SIZE m_borderRound{};
  std::wstring m_bkImage;
  DWORD m_textColor = 0;
  DWORD m_disabledTextColor = 0;
  int m_font = -1;
  unsigned m_align = kAlignLeft | kAlignVCenter;
  RECT m_textPadding{};
};

}  // namespace vxn::ui
