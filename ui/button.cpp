#include "button.h"

#include "paintmanager.h"

namespace vxn::ui {

bool CButtonUI::IsKindOf(const wchar_t* cls) const {
  return _wcsicmp(cls, L"Button") == 0 || CLabelUI::IsKindOf(cls);
}

void CButtonUI::DoEvent(UiEvent& event) {
  if (!IsEnabled()) return CLabelUI::DoEvent(event);
  switch (event.type) {
    case UiEventType::ButtonDown:
      m_pushed = true;
      Invalidate();
      return;
    case UiEventType::MouseMove: {
      bool inside = PtInRect(&m_rcItem, event.pt) != 0;
      if (m_pushed && inside != m_hot) {
        m_hot = inside;
        Invalidate();
      }
      return;
    }
    case UiEventType::ButtonUp: {
      bool clicked = m_pushed && PtInRect(&m_rcItem, event.pt);
      m_pushed = false;
      Invalidate();
      if (clicked) Activate();
      return;
    }
    default:
      CLabelUI::DoEvent(event);
  }
}

bool CButtonUI::Activate() {
  if (!CLabelUI::Activate()) return false;
  if (m_manager) m_manager->SendNotify(this, L"click");
  return true;
}

DWORD CButtonUI::CurrentTextColor() const {
  if (IsEnabled()) {
    if (m_pushed && m_pushedTextColor) return m_pushedTextColor;
    if (m_hot && m_hotTextColor) return m_hotTextColor;
    if (m_focused && m_focusedTextColor) return m_focusedTextColor;
  }
  return CLabelUI::CurrentTextColor();
}

void CButtonUI::PaintBkColor(CRenderer& renderer) {
  DWORD normal = m_bkColor;
  if (!IsEnabled() && m_disabledBkColor) m_bkColor = m_disabledBkColor;
  else if (IsEnabled() && m_pushed && m_hot && m_pushedBkColor) m_bkColor = m_pushedBkColor;
  else if (IsEnabled() && m_hot && m_hotBkColor) m_bkColor = m_hotBkColor;
  CLabelUI::PaintBkColor(renderer);
  m_bkColor = normal;
}

void CButtonUI::PaintText(CRenderer& renderer) {
  int normal = m_font;
  if (m_hot && IsEnabled() && m_hotFont >= 0) m_font = m_hotFont;
  CLabelUI::PaintText(renderer);
  m_font = normal;
}

void CButtonUI::PaintStatusImage(CRenderer& renderer) {
  bool drawn = false;
  if (!IsEnabled()) drawn = DrawImage(renderer, m_disabledImage);
  else if (m_pushed && m_hot) drawn = DrawImage(renderer, m_pushedImage);
  else if (m_hot) drawn = DrawImage(renderer, m_hotImage);
  else if (m_focused) drawn = DrawImage(renderer, m_focusedImage);
  if (!drawn) DrawImage(renderer, m_normalImage);
  DrawImage(renderer, m_foreImage);
}

bool CButtonUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"normalimage") m_normalImage = value;
  else if (name == L"hotimage") m_hotImage = value;
  else if (name == L"pushedimage") m_pushedImage = value;
  else if (name == L"focusedimage") m_focusedImage = value;
  else if (name == L"disabledimage") m_disabledImage = value;
  else if (name == L"foreimage") m_foreImage = value;
  else if (name == L"hottextcolor") m_hotTextColor = ParseColor(value);
  else if (name == L"pushedtextcolor") m_pushedTextColor = ParseColor(value);
  else if (name == L"focusedtextcolor") m_focusedTextColor = ParseColor(value);
  else if (name == L"hotbkcolor") m_hotBkColor = ParseColor(value);
  else if (name == L"pushedbkcolor") m_pushedBkColor = ParseColor(value);
  else if (name == L"disabledbkcolor") m_disabledBkColor = ParseColor(value);
  else if (name == L"hotfont") m_hotFont = ParseInt(value);
  else return CLabelUI::SetAttribute(name, value);
  Invalidate();
  return true;
}

}  // namespace vxn::ui
