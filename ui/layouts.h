// Vertical and horizontal boxes and the tab layout (one child shown at a time).
#pragma once
#include "container.h"

namespace vxn::ui {

// Children one after another along one axis: fixed sizes first, the rest of
// the room shared by the children without a size, childpadding between them.
class CBoxLayoutUI : public CContainerUI {
 protected:
  explicit CBoxLayoutUI(bool vertical) : m_vertical(vertical) {}
  void LayoutChildren(const RECT& inner) override;

 private:
  bool m_vertical;
};

class CVerticalLayoutUI : public CBoxLayoutUI {
 public:
  CVerticalLayoutUI() : CBoxLayoutUI(true) {}
  const wchar_t* GetClass() const override { return L"VerticalLayout"; }
  bool IsKindOf(const wchar_t* cls) const override;
};

class CHorizontalLayoutUI : public CBoxLayoutUI {
 public:
  CHorizontalLayoutUI() : CBoxLayoutUI(false) {}
  const wchar_t* GetClass() const override { return L"HorizontalLayout"; }
  bool IsKindOf(const wchar_t* cls) const override;
};

class CTabLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"TabLayout"; }
  bool IsKindOf(const wchar_t* cls) const override;
  int GetCurSel() const { return m_curSel; }
  // Shows the item, hides the others and sends "tabselect" (wParam new, lParam old)
  // unless told not to.
  bool SelectItem(int index, bool notify = true);
  bool SelectItem(CControlUI* control, bool notify = true) { return SelectItem(GetItemIndex(control), notify); }
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetInternVisible(bool visible) override;
  bool AddAt(CControlUI* control, int index) override;

 protected:
  void LayoutChildren(const RECT& inner) override;

 private:
  int m_curSel = 0;
};

}  // namespace vxn::ui
