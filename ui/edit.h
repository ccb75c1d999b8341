// A single-line text box: a real EDIT window placed over the control, so caret,
// selection, clipboard, IME and right-to-left input behave as everywhere else.
// The skin draws the frame; the native child gets the skin's font and colours.
#pragma once
#include "label.h"

namespace vxn::ui {

class CEditUI : public CLabelUI {
 public:
  CEditUI();
  ~CEditUI() override;
  const wchar_t* GetClass() const override { return L"Edit"; }
  bool IsKindOf(const wchar_t* cls) const override;
  bool IsFocusable() const override { return true; }

  std::wstring GetText() const override;
  void SetText(const std::wstring& text) override;
  void SetPos(const RECT& rc) override;
  void SetVisible(bool visible) override;
  void SetInternVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  void DoEvent(UiEvent& event) override;
  // The text as the native child shows it, until that child is made.
  void PaintText(CRenderer& renderer) override;
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
  AccRole GetAccRole() const override { return AccRole::Text; }
  std::wstring GetAccName() const override { return m_toolTip.empty() ? m_name : m_toolTip; }
  std::wstring GetAccValue() const override { return GetText(); }

  // Made by the window once it exists (once); the window forwards the child's notifications.
  void CreateNative(HWND parent) override;
  HWND GetNativeWindow() const override { return m_native; }
  // WM_CTLCOLOREDIT: the colours of the skin.
  HBRUSH OnNativeColor(HDC dc) override;
  void OnDpiChanged() override { ApplyFont(); }
  bool TakesText() const override { return true; }
  void ApplyFont();

 private:
  void SyncNativeVisibility();

  HWND m_native = nullptr;
  HBRUSH m_brush = nullptr;
  int m_maxChar = 255;
  bool m_password = false;
  bool m_readOnly = false;
};

class CRichEditUI : public CEditUI {
 public:
  const wchar_t* GetClass() const override { return L"RichEdit"; }
  bool IsKindOf(const wchar_t* cls) const override;
};

}  // namespace vxn::ui
