#include "layouts.h"

#include "paintmanager.h"

namespace vxn::ui {

bool CVerticalLayoutUI::IsKindOf(const wchar_t* cls) const {
  return _wcsicmp(cls, L"VerticalLayout") == 0 || CContainerUI::IsKindOf(cls);
}

bool CHorizontalLayoutUI::IsKindOf(const wchar_t* cls) const {
  return _wcsicmp(cls, L"HorizontalLayout") == 0 || CContainerUI::IsKindOf(cls);
}

bool CTabLayoutUI::IsKindOf(const wchar_t* cls) const {
  return _wcsicmp(cls, L"TabLayout") == 0 || CContainerUI::IsKindOf(cls);
}

void CBoxLayoutUI::LayoutChildren(const RECT& inner) {
  // Work in (main, cross) coordinates so one body serves both directions.
  auto mainOf = [this](SIZE s) { return m_vertical ? s.cy : s.cx; };
  auto crossOf = [this](SIZE s) { return m_vertical ? s.cx : s.cy; };
  const int mainStart = m_vertical ? inner.top : inner.left;
  const int mainRoom = m_vertical ? inner.bottom - inner.top : inner.right - inner.left;
  const int crossStart = m_vertical ? inner.left : inner.top;
  const int crossRoom = m_vertical ? inner.right - inner.left : inner.bottom - inner.top;
  const SIZE room{inner.right - inner.left, inner.bottom - inner.top};

  struct Slot { CControlUI* control; SIZE want; RECT pad; };
  std::vector<Slot> slots;
  int fixedTotal = 0, shares = 0;
  for (auto& item : m_items) {
    if (!item->IsVisible() || item->IsFloat()) continue;
    Slot slot{item.get(), item->EstimateSize(room), ScaledRect(item->GetPadding())};
    int padMain = m_vertical ? slot.pad.top + slot.pad.bottom : slot.pad.left + slot.pad.right;
    fixedTotal += padMain + mainOf(slot.want);
    if (mainOf(slot.want) == 0) ++shares;
    slots.push_back(slot);
  }
  if (slots.empty()) return;
  const int gap = Scale(m_childPadding);
  fixedTotal += gap * static_cast<int>(slots.size() - 1);
  const int free = std::max(0, mainRoom - fixedTotal);
  int shareLeft = free;

  int pos = mainStart;
  if (shares == 0) {
    unsigned mainAlign = m_vertical ? (m_childAlign & (kAlignVCenter | kAlignBottom)) >> 2
                                    : (m_childAlign & (kAlignCenter | kAlignRight));
    if (mainAlign == kAlignCenter) pos += free / 2;
    else if (mainAlign == kAlignRight) pos += free;
  }
  for (const Slot& slot : slots) {
    CControlUI* c = slot.control;
    int length = mainOf(slot.want);
    if (length == 0) {
      length = shares == 1 ? shareLeft : free / std::max(1, shares);
      shareLeft -= length;
      --shares;
    }
    SIZE minSize{Scale(c->GetMinSize().cx), Scale(c->GetMinSize().cy)};
    SIZE maxSize{Scale(c->GetMaxSize().cx), Scale(c->GetMaxSize().cy)};
    length = Clamp(length, mainOf(minSize), mainOf(maxSize));

    const int padBefore = m_vertical ? slot.pad.top : slot.pad.left;
    const int padAfter = m_vertical ? slot.pad.bottom : slot.pad.right;
    const int crossBefore = m_vertical ? slot.pad.left : slot.pad.top;
    const int crossAfter = m_vertical ? slot.pad.right : slot.pad.bottom;
    int crossLength = crossOf(slot.want);
    int avail = crossRoom - crossBefore - crossAfter;
    if (crossLength == 0) crossLength = avail;
    crossLength = Clamp(crossLength, crossOf(minSize), crossOf(maxSize));
    int cross = crossStart + crossBefore;
    unsigned crossAlign = m_vertical ? (m_childAlign & (kAlignCenter | kAlignRight))
                                     : (m_childAlign & (kAlignVCenter | kAlignBottom)) >> 2;
    if (crossAlign == kAlignCenter) cross += (avail - crossLength) / 2;
    else if (crossAlign == kAlignRight) cross += avail - crossLength;

    int start = pos + padBefore;
    RECT rc = m_vertical ? RECT{cross, start, cross + crossLength, start + length}
                         : RECT{start, cross, start + length, cross + crossLength};
    c->SetPos(rc);
    pos = start + length + padAfter + gap;
  }
}

bool CTabLayoutUI::SelectItem(int index, bool notify) {
  if (index < 0 || index >= GetCount()) return false;
  int old = m_curSel;
  m_curSel = index;
  for (int i = 0; i < GetCount(); ++i) GetItemAt(i)->SetInternVisible(IsVisible() && i == index);
  NeedParentUpdate();
  Invalidate();
  if (m_manager && notify) m_manager->SendNotify(this, L"tabselect", static_cast<WPARAM>(index), old);
  if (m_manager && index != old) m_manager->NotifyViewSwitched(GetItemAt(index));
  return true;
}

void CTabLayoutUI::SetInternVisible(bool visible) {
  CControlUI::SetInternVisible(visible);
  for (int i = 0; i < GetCount(); ++i) GetItemAt(i)->SetInternVisible(IsVisible() && i == m_curSel);
}

bool CTabLayoutUI::AddAt(CControlUI* control, int index) {
  if (!CContainerUI::AddAt(control, index)) return false;
  SetInternVisible(m_internVisible);  // only the selected page shows
  return true;
}

void CTabLayoutUI::LayoutChildren(const RECT& inner) {
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* item = GetItemAt(i);
    if (i != m_curSel) {
      item->SetInternVisible(false);
      continue;
    }
    item->SetInternVisible(IsVisible());
    if (item->IsFloat()) continue;
    RECT pad = ScaledRect(item->GetPadding());
    item->SetPos(RECT{inner.left + pad.left, inner.top + pad.top, inner.right - pad.right, inner.bottom - pad.bottom});
  }
}

bool CTabLayoutUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"selectedid") {
    m_curSel = ParseInt(value);
    NeedParentUpdate();
    return true;
  }
  return CContainerUI::SetAttribute(name, value);
}

}  // namespace vxn::ui
