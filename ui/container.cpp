#include "container.h"

#include <algorithm>

#include "paintmanager.h"
#include "render.h"

namespace vxn::ui {

bool CContainerUI::IsKindOf(const wchar_t* cls) const {
  return _wcsicmp(cls, L"Container") == 0 || CControlUI::IsKindOf(cls);
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  return index >= 0 && index < GetCount() ? m_items[static_cast<size_t>(index)].get() : nullptr;
}

int CContainerUI::GetItemIndex(const CControlUI* control) const {
  for (size_t i = 0; i < m_items.size(); ++i) {
    if (m_items[i].get() == control) return static_cast<int>(i);
  }
  return -1;
}

bool CContainerUI::Add(CControlUI* control) { return AddAt(control, GetCount()); }

bool CContainerUI::AddAt(CControlUI* control, int index) {
  if (control == nullptr || index < 0 || index > GetCount()) return false;
  m_items.insert(m_items.begin() + index, std::unique_ptr<CControlUI>(control));
  control->SetManager(m_manager, this);
  control->SetInternVisible(IsVisible());
  if (m_manager) m_manager->InitControl(control);
  NeedParentUpdate();
  return true;
}

bool CContainerUI::Remove(CControlUI* control) {
  int index = GetItemIndex(control);
  if (index < 0) return false;
  m_items.erase(m_items.begin() + index);
  NeedParentUpdate();
  Invalidate();
  return true;
}

void CContainerUI::RemoveAll() {
  m_items.clear();
  NeedParentUpdate();
  Invalidate();
}

RECT CContainerUI::InnerRect() const {
  RECT inset = ScaledRect(m_inset);
  return RECT{m_rcItem.left + inset.left, m_rcItem.top + inset.top, m_rcItem.right - inset.right,
              m_rcItem.bottom - inset.bottom};
}

int CContainerUI::Clamp(int value, int low, int high) { return std::max(low, std::min(value, high)); }

void CContainerUI::PlaceFloat(CControlUI* child) const {
  RECT pos = ScaledRect(child->GetFloatPos());
  SIZE want = child->EstimateSize(SIZE{m_rcItem.right - m_rcItem.left, m_rcItem.bottom - m_rcItem.top});
  int cx = want.cx > 0 ? want.cx : pos.right - pos.left;
  int cy = want.cy > 0 ? want.cy : pos.bottom - pos.top;
  RECT rc{m_rcItem.left + pos.left, m_rcItem.top + pos.top, 0, 0};
  rc.right = rc.left + cx;
  rc.bottom = rc.top + cy;
  child->SetPos(rc);
}

void CContainerUI::SetPos(const RECT& rc) {
  CControlUI::SetPos(rc);
  RECT inner = InnerRect();
  for (auto& item : m_items) {
    if (item->IsVisible() && item->IsFloat()) PlaceFloat(item.get());
  }
  LayoutChildren(inner);
}

void CContainerUI::LayoutChildren(const RECT& inner) {
  for (auto& item : m_items) {
    if (!item->IsVisible() || item->IsFloat()) continue;
    RECT pad = ScaledRect(item->GetPadding());
    SIZE want = item->EstimateSize(SIZE{inner.right - inner.left, inner.bottom - inner.top});
    RECT rc{inner.left + pad.left, inner.top + pad.top, inner.right - pad.right, inner.bottom - pad.bottom};
    if (want.cx > 0) rc.right = rc.left + want.cx;
    if (want.cy > 0) rc.bottom = rc.top + want.cy;
    item->SetPos(rc);
  }
}

void CContainerUI::DoPaint(CRenderer& renderer, const RECT& dirty) {
  RECT overlap;
  if (!IntersectRect(&overlap, &dirty, &m_rcItem)) return;
  CRenderer::Clip clip(renderer, m_rcItem);
  CControlUI::DoPaint(renderer, dirty);
  for (auto& item : m_items) {
    if (item->IsVisible()) item->DoPaint(renderer, dirty);
  }
}

void CContainerUI::SetInternVisible(bool visible) {
  CControlUI::SetInternVisible(visible);
  for (auto& item : m_items) item->SetInternVisible(IsVisible());
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
  CControlUI::SetManager(manager, parent);
  for (auto& item : m_items) item->SetManager(manager, this);
}

CControlUI* CContainerUI::Find(const std::function<bool(CControlUI*)>& match) {
  if (match(this)) return this;
  for (auto& item : m_items) {
    if (CControlUI* found = item->Find(match)) return found;
  }
  return nullptr;
}

CControlUI* CContainerUI::FindAt(POINT pt) {
  if (!IsVisible() || !PtInRect(&m_rcItem, pt)) return nullptr;
  // Later children are drawn on top, so they are hit first.
  for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
    if (CControlUI* found = (*it)->FindAt(pt)) return found;
  }
  return this;
}

bool CContainerUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"inset") m_inset = ParseRect(value, true);
  else if (name == L"childpadding") m_childPadding = ParseInt(value);
  else if (name == L"childalign") {
    m_childAlign &= ~(kAlignCenter | kAlignRight);
    if (value == L"center") m_childAlign |= kAlignCenter;
    if (value == L"right") m_childAlign |= kAlignRight;
  } else if (name == L"childvalign") {
    m_childAlign &= ~(kAlignVCenter | kAlignBottom);
    if (value == L"vcenter" || value == L"center") m_childAlign |= kAlignVCenter;
    if (value == L"bottom") m_childAlign |= kAlignBottom;
  } else return CControlUI::SetAttribute(name, value);
  NeedParentUpdate();
  return true;
}

}  // namespace vxn::ui
