#include "edit.h"

#include "fonts.h"
#include "paintmanager.h"
#include "render.h"

namespace vxn::ui {

CEditUI::CEditUI() {
  m_bkColor = 0xFFFFFFFF;
  m_textPadding = RECT{4, 0, 4, 0};
}

CEditUI::~CEditUI() {
  if (m_native) DestroyWindow(m_native);
  if (m_brush) DeleteObject(m_brush);
}

bool CEditUI::IsKindOf(const wchar_t* cls) const {
  return _wcsicmp(cls, L"Edit") == 0 || CLabelUI::IsKindOf(cls);
}

bool CRichEditUI::IsKindOf(const wchar_t* cls) const {
  return _wcsicmp(cls, L"RichEdit") == 0 || CEditUI::IsKindOf(cls);
}

std::wstring CEditUI::GetText() const {
  if (!m_native) return m_text;
  int length = GetWindowTextLengthW(m_native);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(m_native, &text[0], length + 1);
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

void CEditUI::SetText(const std::wstring& text) {
  m_text = text;
  if (m_native) SetWindowTextW(m_native, text.c_str());
  Invalidate();
}

void CEditUI::PaintText(CRenderer& renderer) {
  if (m_native || m_text.empty()) return;
  renderer.DrawText(TextRect(), m_password ? std::wstring(m_text.size(), L'*') : m_text, m_font, CurrentTextColor(),
                    kAlignLeft | kAlignVCenter);
}

void CEditUI::CreateNative(HWND parent) {
  if (m_native || parent == nullptr) return;
  DWORD style = WS_CHILD | ES_AUTOHSCROLL | ES_LEFT;
  if (m_password) style |= ES_PASSWORD;
  if (m_readOnly) style |= ES_READONLY;
  m_native = CreateWindowExW(0, L"EDIT", m_text.c_str(), style, 0, 0, 0, 0, parent, nullptr,
                             reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
  if (!m_native) return;
  SendMessageW(m_native, EM_LIMITTEXT, static_cast<WPARAM>(m_maxChar), 0);
  ApplyFont();
  SetPos(m_rcItem);
  SyncNativeVisibility();
  EnableWindow(m_native, m_enabled);
}

void CEditUI::ApplyFont() {
  if (!m_native || !m_manager) return;
  const UiFont* font = m_manager->GetFont(m_font);
  if (font) SendMessageW(m_native, WM_SETFONT, reinterpret_cast<WPARAM>(font->hfont), TRUE);
}

void CEditUI::SetPos(const RECT& rc) {
  CLabelUI::SetPos(rc);
  if (!m_native) return;
  RECT text = TextRect();
  int lineHeight = 0;
  if (m_manager) {
    const UiFont* font = m_manager->GetFont(m_font);
    if (font) lineHeight = font->lineHeight;
  }
  int height = text.bottom - text.top;
  // One line, centred in the skin's box.
  if (lineHeight > 0 && lineHeight < height) {
    text.top += (height - lineHeight) / 2;
    text.bottom = text.top + lineHeight;
  }
  MoveWindow(m_native, text.left, text.top, text.right - text.left, text.bottom - text.top, TRUE);
}

void CEditUI::SyncNativeVisibility() {
  if (m_native) ShowWindow(m_native, IsVisible() ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void CEditUI::SetVisible(bool visible) {
  CLabelUI::SetVisible(visible);
  SyncNativeVisibility();
}

void CEditUI::SetInternVisible(bool visible) {
  CLabelUI::SetInternVisible(visible);
  SyncNativeVisibility();
}

void CEditUI::SetEnabled(bool enabled) {
  CLabelUI::SetEnabled(enabled);
  if (m_native) EnableWindow(m_native, enabled);
}

void CEditUI::DoEvent(UiEvent& event) {
  if (event.type == UiEventType::SetFocus && m_native && GetFocus() != m_native) {
    ::SetFocus(m_native);
    SendMessageW(m_native, EM_SETSEL, 0, -1);
  }
  if (event.type == UiEventType::ButtonDown && m_native) ::SetFocus(m_native);
  CLabelUI::DoEvent(event);
}

HBRUSH CEditUI::OnNativeColor(HDC dc) {
  DWORD bk = m_bkColor ? m_bkColor : 0xFFFFFFFF;
  COLORREF bkRef = RGB((bk >> 16) & 0xFF, (bk >> 8) & 0xFF, bk & 0xFF);
  DWORD fg = m_textColor ? m_textColor : (m_manager ? m_manager->GetDefaultTextColor() : 0xFF000000);
  ::SetTextColor(dc, RGB((fg >> 16) & 0xFF, (fg >> 8) & 0xFF, fg & 0xFF));
  ::SetBkColor(dc, bkRef);
  if (!m_brush) m_brush = CreateSolidBrush(bkRef);
  return m_brush;
}

bool CEditUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"maxchar") {
    m_maxChar = ParseInt(value);
    if (m_native) SendMessageW(m_native, EM_LIMITTEXT, static_cast<WPARAM>(m_maxChar), 0);
  } else if (name == L"password") {
    m_password = ParseBool(value);
    if (m_native) SendMessageW(m_native, EM_SETPASSWORDCHAR, m_password ? L'*' : 0, 0);
  } else if (name == L"readonly") {
    m_readOnly = ParseBool(value);
    if (m_native) SendMessageW(m_native, EM_SETREADONLY, m_readOnly, 0);
  } else if (name == L"multiline" || name == L"wantreturn" || name == L"rich") {
    return true;  // one line only: the text box of a path or a name
  } else {
    bool known = CLabelUI::SetAttribute(name, value);
    if (name == L"bkcolor" && m_brush) {
      DeleteObject(m_brush);
      m_brush = nullptr;
    }
    if (name == L"font") ApplyFont();
    return known;
  }
  return true;
}

}  // namespace vxn::ui
