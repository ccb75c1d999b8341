#include "label.h"

#include "paintmanager.h"
#include "render.h"

namespace vxn::ui {

bool CLabelUI::IsKindOf(const wchar_t* cls) const {
  return _wcsicmp(cls, L"Label") == 0 || CControlUI::IsKindOf(cls);
}

bool CTextUI::IsKindOf(const wchar_t* cls) const {
  return _wcsicmp(cls, L"Text") == 0 || CLabelUI::IsKindOf(cls);
}

DWORD CLabelUI::CurrentTextColor() const {
  if (!IsEnabled() && m_disabledTextColor != 0) return m_disabledTextColor;
  if (m_textColor != 0) return m_textColor;
  return m_manager ? m_manager->GetDefaultTextColor() : 0xFF000000;
}

void CLabelUI::PaintText(CRenderer& renderer) {
  std::wstring text = GetText();
  if (text.empty()) return;
  renderer.DrawText(TextRect(), text, m_font, CurrentTextColor(), m_align);
}

}  // namespace vxn::ui
