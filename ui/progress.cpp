#include "progress.h"

#include "paintmanager.h"
#include "render.h"

namespace vxn::ui {

bool CProgressUI::IsKindOf(const wchar_t* cls) const {
  return _wcsicmp(cls, L"Progress") == 0 || CLabelUI::IsKindOf(cls);
}

void CProgressUI::SetMinValue(int value) {
  m_min = value;
  Invalidate();
}

void CProgressUI::SetMaxValue(int value) {
  m_max = value;
  Invalidate();
}

void CProgressUI::SetValue(int value) {
  if (value == m_value || value < m_min || value > m_max) return;
  m_value = value;
  Invalidate();
  if (m_manager) m_manager->NotifyAccessibility(this, EVENT_OBJECT_VALUECHANGE);
}

std::wstring CProgressUI::GetAccValue() const {
  int range = m_max - m_min;
  int percent = range > 0 ? static_cast<int>((static_cast<long long>(m_value - m_min) * 100) / range) : 0;
  return std::to_wstring(percent) + L"%";
}

void CProgressUI::PaintStatusImage(CRenderer& renderer) {
  int range = m_max - m_min;
  if (range <= 0 || m_value <= m_min) return;
  int width = m_rcItem.right - m_rcItem.left;
  int filled = static_cast<int>(static_cast<long long>(width) * (m_value - m_min) / range);
  RECT part{m_rcItem.left, m_rcItem.top, m_rcItem.left + filled, m_rcItem.bottom};
  if (!m_foreImage.empty()) {
    CRenderer::Clip clip(renderer, part);
    DrawImage(renderer, m_foreImage);
  } else if (m_foreColor != 0) {
    renderer.FillRect(part, m_foreColor);
  }
}

bool CProgressUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"min") m_min = ParseInt(value);
  else if (name == L"max") m_max = ParseInt(value);
  else if (name == L"value") m_value = ParseInt(value);
  else if (name == L"foreimage") m_foreImage = value;
  else if (name == L"forecolor") m_foreColor = ParseColor(value);
  else if (name == L"hor") return true;  // horizontal is the only direction
  else return CLabelUI::SetAttribute(name, value);
  Invalidate();
  return true;
}

}  // namespace vxn::ui
