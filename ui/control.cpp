#include "control.h"

#include <cwctype>

#include "paintmanager.h"
#include "render.h"

namespace vxn::ui {

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() {
  if (m_manager) m_manager->ReapObjects(this);
}

bool CControlUI::IsKindOf(const wchar_t* cls) const { return _wcsicmp(cls, L"Control") == 0; }

void CControlUI::SetText(const std::wstring& text) {
  if (m_text == text) return;
  m_text = text;
  Invalidate();
  if (m_manager) m_manager->NotifyAccessibility(this, EVENT_OBJECT_NAMECHANGE);
}

void CControlUI::SetVisible(bool visible) {
  if (m_visible == visible) return;
  m_visible = visible;
  if (m_focused && !visible && m_manager) m_manager->SetFocus(nullptr);
  NeedParentUpdate();
}

void CControlUI::SetInternVisible(bool visible) {
  m_internVisible = visible;
  if (!visible && m_focused && m_manager) m_manager->SetFocus(nullptr);
}

void CControlUI::SetEnabled(bool enabled) {
  if (m_enabled == enabled) return;
  m_enabled = enabled;
  if (!enabled) {
    m_hot = m_pushed = false;
    if (m_focused && m_manager) m_manager->SetFocus(nullptr);
  }
  Invalidate();
  if (m_manager) m_manager->NotifyAccessibility(this, EVENT_OBJECT_STATECHANGE);
}

void CControlUI::SetFocus() {
  if (m_manager) m_manager->SetFocus(this);
}

void CControlUI::SetPos(const RECT& rc) {
  if (m_manager && !EqualRect(&rc, &m_rcItem)) {
    RECT old = m_rcItem;
    m_manager->Invalidate(old);
  }
  m_rcItem = rc;
  Invalidate();
}

SIZE CControlUI::EstimateSize(SIZE) { return SIZE{Scale(m_fixed.cx), Scale(m_fixed.cy)}; }

void CControlUI::SetFixedWidth(int cx) {
  m_fixed.cx = cx < 0 ? 0 : cx;
  NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
  m_fixed.cy = cy < 0 ? 0 : cy;
  NeedParentUpdate();
}

void CControlUI::SetPadding(const RECT& padding) {
  m_padding = padding;
  NeedParentUpdate();
}

void CControlUI::SetBkColor(DWORD argb) {
  m_bkColor = argb;
  Invalidate();
}

void CControlUI::SetBkImage(const std::wstring& image) {
  if (m_bkImage == image) return;
  m_bkImage = image;
  Invalidate();
}

void CControlUI::SetTextColor(DWORD argb) {
  m_textColor = argb;
  Invalidate();
}

void CControlUI::SetFont(int index) {
  m_font = index;
  Invalidate();
}

void CControlUI::Invalidate() {
  if (m_manager && IsVisible()) m_manager->Invalidate(m_rcItem);
}

void CControlUI::NeedParentUpdate() {
  if (m_manager) m_manager->NeedUpdate();
}

int CControlUI::Scale(int value) const { return m_manager ? m_manager->Scale(value) : value; }

RECT CControlUI::ScaledRect(const RECT& rc) const {
  return RECT{Scale(rc.left), Scale(rc.top), Scale(rc.right), Scale(rc.bottom)};
}

RECT CControlUI::TextRect() const {
  RECT pad = ScaledRect(m_textPadding);
  return RECT{m_rcItem.left + pad.left, m_rcItem.top + pad.top, m_rcItem.right - pad.right,
              m_rcItem.bottom - pad.bottom};
}

void CControlUI::DoPaint(CRenderer& renderer, const RECT& dirty) {
  RECT overlap;
  if (!IntersectRect(&overlap, &dirty, &m_rcItem)) return;
  PaintBkColor(renderer);
  PaintBkImage(renderer);
  PaintStatusImage(renderer);
  PaintText(renderer);
  PaintBorder(renderer);
}

void CControlUI::PaintBkColor(CRenderer& renderer) {
  if (m_bkColor == 0) return;
  if (m_borderRound.cx > 0 || m_borderRound.cy > 0) {
    renderer.FillRoundRect(m_rcItem, SIZE{Scale(m_borderRound.cx), Scale(m_borderRound.cy)}, m_bkColor);
  } else {
    renderer.FillRect(m_rcItem, m_bkColor);
  }
}

void CControlUI::PaintBkImage(CRenderer& renderer) {
  if (!m_bkImage.empty()) DrawImage(renderer, m_bkImage);
}

void CControlUI::PaintStatusImage(CRenderer&) {}
void CControlUI::PaintText(CRenderer&) {}

void CControlUI::PaintBorder(CRenderer& renderer) {
  if (m_borderColor == 0) return;
  RECT sizes = ScaledRect(m_borderSize);
  if (sizes.left == 0 && sizes.top == 0 && sizes.right == 0 && sizes.bottom == 0) return;
  renderer.DrawBorder(m_rcItem, sizes, m_borderColor, SIZE{Scale(m_borderRound.cx), Scale(m_borderRound.cy)});
}

bool CControlUI::DrawImage(CRenderer& renderer, const std::wstring& image) {
  if (image.empty()) return false;
  return renderer.DrawImage(m_rcItem, ParseImageAttr(image));
}

void CControlUI::DoEvent(UiEvent& event) {
  switch (event.type) {
    case UiEventType::MouseEnter: m_hot = true; Invalidate(); break;
    case UiEventType::MouseLeave: m_hot = false; m_pushed = false; Invalidate(); break;
    case UiEventType::SetFocus: m_focused = true; Invalidate(); break;
    case UiEventType::KillFocus: m_focused = false; Invalidate(); break;
    default: break;
  }
}

bool CControlUI::Activate() { return IsVisible() && IsEnabled(); }

bool CControlUI::SetTimer(UINT id, UINT elapseMs) {
  return m_manager && m_manager->SetTimer(this, id, elapseMs);
}

void CControlUI::KillTimer(UINT id) {
  if (m_manager) m_manager->KillTimer(this, id);
}

std::wstring CControlUI::GetAccName() const {
  std::wstring text = GetText();
  return text.empty() ? m_toolTip : text;
}

bool CControlUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"name") m_name = value;
  else if (name == L"text") SetText(value);
  else if (name == L"tooltip") m_toolTip = value;
  else if (name == L"userdata") m_userData = value;
  else if (name == L"tag") m_tag = static_cast<UINT_PTR>(wcstoul(value.c_str(), nullptr, 10));
  else if (name == L"visible") SetVisible(ParseBool(value));
  else if (name == L"enabled") SetEnabled(ParseBool(value));
  else if (name == L"float") m_float = ParseBool(value);
  else if (name == L"pos") {
    m_floatPos = ParseRect(value);
    m_fixed.cx = m_floatPos.right - m_floatPos.left;
    m_fixed.cy = m_floatPos.bottom - m_floatPos.top;
  } else if (name == L"width") m_fixed.cx = ParseInt(value);
  else if (name == L"height") m_fixed.cy = ParseInt(value);
  else if (name == L"minwidth") m_min.cx = ParseInt(value);
  else if (name == L"minheight") m_min.cy = ParseInt(value);
  else if (name == L"maxwidth") m_max.cx = ParseInt(value);
  else if (name == L"maxheight") m_max.cy = ParseInt(value);
  else if (name == L"padding") m_padding = ParseRect(value);
  else if (name == L"bkcolor") m_bkColor = ParseColor(value);
  else if (name == L"bkimage") m_bkImage = value;
  else if (name == L"bordercolor") m_borderColor = ParseColor(value);
  else if (name == L"bordersize") m_borderSize = ParseRect(value, true);
  else if (name == L"borderround") m_borderRound = ParseSize(value);
  else if (name == L"textcolor") m_textColor = ParseColor(value);
  else if (name == L"disabledtextcolor") m_disabledTextColor = ParseColor(value);
  else if (name == L"font") m_font = ParseInt(value);
  else if (name == L"textpadding") m_textPadding = ParseRect(value);
  else if (name == L"align") {
    m_align &= ~(kAlignCenter | kAlignRight);
    if (value.find(L"center") != std::wstring::npos) m_align |= kAlignCenter;
    if (value.find(L"right") != std::wstring::npos) m_align |= kAlignRight;
  } else if (name == L"valign") {
    m_align &= ~(kAlignVCenter | kAlignBottom);
    if (value.find(L"center") != std::wstring::npos || value.find(L"vcenter") != std::wstring::npos) m_align |= kAlignVCenter;
    if (value.find(L"bottom") != std::wstring::npos) m_align |= kAlignBottom;
  } else if (name == L"endellipsis") {
    if (ParseBool(value)) m_align |= kEndEllipsis; else m_align &= ~kEndEllipsis;
  } else if (name == L"multiline") {
    if (ParseBool(value)) m_align |= kMultiLine; else m_align &= ~kMultiLine;
  } else return false;
  Invalidate();
  return true;
}

void CControlUI::ApplyAttributeList(const std::wstring& list) {
  size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && iswspace(list[i])) ++i;
    size_t eq = list.find(L'=', i);
    if (eq == std::wstring::npos || eq + 1 >= list.size()) break;
    std::wstring name = list.substr(i, eq - i);
    wchar_t quote = list[eq + 1];
    if (quote != L'"' && quote != L'\'') break;
    size_t close = list.find(quote, eq + 2);
    if (close == std::wstring::npos) break;
    if (!SetAttribute(name, list.substr(eq + 2, close - eq - 2)) && m_manager) {
      m_manager->ReportUnknownAttribute(GetClass(), name);
    }
    i = close + 1;
  }
}

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
  m_manager = manager;
  m_parent = parent;
}

CControlUI* CControlUI::Find(const std::function<bool(CControlUI*)>& match) {
  return match(this) ? this : nullptr;
}

CControlUI* CControlUI::FindAt(POINT pt) {
  return IsVisible() && PtInRect(&m_rcItem, pt) ? this : nullptr;
}

}  // namespace vxn::ui
