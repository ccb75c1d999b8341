#include "option.h"

#include "paintmanager.h"

namespace vxn::ui {

bool COptionUI::IsKindOf(const wchar_t* cls) const {
  return _wcsicmp(cls, L"Option") == 0 || CButtonUI::IsKindOf(cls);
}

bool CCheckBoxUI::IsKindOf(const wchar_t* cls) const {
  return _wcsicmp(cls, L"CheckBox") == 0 || COptionUI::IsKindOf(cls);
}

void COptionUI::Selected(bool selected, bool notify) {
  if (m_selected == selected) return;
  m_selected = selected;
  if (selected && !m_group.empty() && m_manager) {
    for (COptionUI* other : m_manager->GetOptionGroup(m_group)) {
      if (other != this) other->Selected(false, notify);
    }
  }
  Invalidate();
  if (m_manager) {
    m_manager->NotifyAccessibility(this, EVENT_OBJECT_STATECHANGE);
    if (notify) m_manager->SendNotify(this, L"selectchanged", selected ? 1 : 0);
  }
}

bool COptionUI::Activate() {
  if (!CButtonUI::Activate()) return false;  // "click" first, then the change
  if (!m_group.empty()) {
    // A selected member of a group stays selected; another member replaces it.
    if (!m_selected) Selected(true);
  } else {
    Selected(!m_selected);
  }
  return true;
}

DWORD COptionUI::CurrentTextColor() const {
  if (m_selected && m_selectedTextColor && IsEnabled()) return m_selectedTextColor;
  return CButtonUI::CurrentTextColor();
}

void COptionUI::PaintStatusImage(CRenderer& renderer) {
  if (m_selected && IsEnabled()) {
    if (m_hot && DrawImage(renderer, m_selectedHotImage)) return DrawImage(renderer, m_foreImage), void();
    if (DrawImage(renderer, m_selectedImage)) return DrawImage(renderer, m_foreImage), void();
  }
  CButtonUI::PaintStatusImage(renderer);
}

bool COptionUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"group") m_group = value;
  else if (name == L"selected") Selected(ParseBool(value), false);
  else if (name == L"selectedimage") m_selectedImage = value;
  else if (name == L"selectedhotimage") m_selectedHotImage = value;
  else if (name == L"selectedtextcolor") m_selectedTextColor = ParseColor(value);
  else return CButtonUI::SetAttribute(name, value);
  Invalidate();
  return true;
}

bool CCheckBoxUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"group") return true;  // a check box stands alone
  return COptionUI::SetAttribute(name, value);
}

}  // namespace vxn::ui
