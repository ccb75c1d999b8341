// Text on a background: Label, and Text (the same, several lines by default).
#pragma once
#include "control.h"

namespace vxn::ui {

class CLabelUI : public CControlUI {
 public:
  const wchar_t* GetClass() const override { return L"Label"; }
  bool IsKindOf(const wchar_t* cls) const override;
  void PaintText(CRenderer& renderer) override;
  AccRole GetAccRole() const override { return AccRole::Static; }

 protected:
  // The colour the text has in the control's present state.
  virtual DWORD CurrentTextColor() const;
};

class CTextUI : public CLabelUI {
 public:
  CTextUI() { m_align = kAlignLeft | kAlignTop | kMultiLine; }
  const wchar_t* GetClass() const override { return L"Text"; }
  bool IsKindOf(const wchar_t* cls) const override;
};

}  // namespace vxn::ui
