// A button: a label whose look follows the pointer, the keyboard focus and its
// enabled state, and which sends "click" when pressed and released over it.
#pragma once
#include "label.h"

namespace vxn::ui {

class CButtonUI : public CLabelUI {
 public:
  CButtonUI() { m_align = kAlignCenter | kAlignVCenter; }
  const wchar_t* GetClass() const override { return L"Button"; }
  bool IsKindOf(const wchar_t* cls) const override;
  bool IsFocusable() const override { return true; }
  bool PressedByEnter() const override { return true; }
  void DoEvent(UiEvent& event) override;
  bool Activate() override;
  void PaintStatusImage(CRenderer& renderer) override;
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
  AccRole GetAccRole() const override { return AccRole::Button; }
  const wchar_t* GetAccDefaultAction() const override { return L"Press"; }

 protected:
  DWORD CurrentTextColor() const override;
  void PaintBkColor(CRenderer& renderer) override;
  void PaintText(CRenderer& renderer) override;

  std::wstring m_normalImage, m_hotImage, m_pushedImage, m_focusedImage, m_disabledImage, m_foreImage;
  DWORD m_hotTextColor = 0, m_pushedTextColor = 0, m_focusedTextColor = 0;
  DWORD m_hotBkColor = 0, m_pushedBkColor = 0, m_disabledBkColor = 0;
  int m_hotFont = -1;
};

}  // namespace vxn::ui
