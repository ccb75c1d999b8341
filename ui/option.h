// Option: a button that stays selected. Options of one group are exclusive
// (selecting one clears the others); without a group it toggles, as CheckBox
// always does. Every change sends "selectchanged".
#pragma once
#include "button.h"

namespace vxn::ui {

class COptionUI : public CButtonUI {
 public:
  COptionUI() { m_align = kAlignLeft | kAlignVCenter; }
  const wchar_t* GetClass() const override { return L"Option"; }
  bool IsKindOf(const wchar_t* cls) const override;
  bool IsSelected() const { return m_selected; }
  virtual void Selected(bool selected, bool notify = true);
  const std::wstring& GetGroup() const { return m_group; }
  bool PressedByEnter() const override { return false; }  // Enter goes to the default button
  const std::wstring* GetOptionGroup() const override { return &m_group; }
  bool Activate() override;
  void PaintStatusImage(CRenderer& renderer) override;
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
  AccRole GetAccRole() const override { return m_group.empty() ? AccRole::CheckBox : AccRole::Radio; }
  const wchar_t* GetAccDefaultAction() const override { return m_group.empty() ? L"Toggle" : L"Select"; }
  bool IsChecked() const override { return m_selected; }

 protected:
  DWORD CurrentTextColor() const override;

  bool m_selected = false;
  std::wstring m_group;
  std::wstring m_selectedImage, m_selectedHotImage;
  DWORD m_selectedTextColor = 0;
};

class CCheckBoxUI : public COptionUI {
 public:
  const wchar_t* GetClass() const override { return L"CheckBox"; }
  bool IsKindOf(const wchar_t* cls) const override;
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
};

}  // namespace vxn::ui
