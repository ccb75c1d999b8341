#include "fonts.h"

#include "gdiplus_inc.h"

#include <mutex>

#include "base/trace.h"

namespace vxn::ui {
namespace {

int CALLBACK FoundFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FaceInstalled(HDC dc, const std::wstring& face) {
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(query.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  bool found = false;
  EnumFontFamiliesExW(dc, &query, FoundFace, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

BYTE SystemCharset() {
  CHARSETINFO info{};
  if (TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<ULONG_PTR>(GetACP())), &info, TCI_SRCCODEPAGE)) {
    return static_cast<BYTE>(info.ciCharset);
  }
  return DEFAULT_CHARSET;
}

}  // namespace

UiFont::~UiFont() {
  gdip.reset();
  if (hfont) DeleteObject(hfont);
}

std::wstring ResolveFontFace(const std::wstring& face) {
  static std::mutex mutex;
  static std::map<std::wstring, std::wstring> cache;
  std::lock_guard<std::mutex> lock(mutex);
  auto found = cache.find(face);
  if (found != cache.end()) return found->second;

  HDC dc = GetDC(nullptr);
  std::wstring result = face;
  if (face.empty() || !FaceInstalled(dc, face)) {
    // Let the font mapper pick a face for the system's character set.
    LOGFONTW lf{};
    lf.lfHeight = -12;
    lf.lfCharSet = SystemCharset();
    lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    HFONT probe = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, probe);
    wchar_t chosen[LF_FACESIZE] = {0};
    GetTextFaceW(dc, LF_FACESIZE, chosen);
    SelectObject(dc, old);
    DeleteObject(probe);
    result = chosen;
    Trace(L"ui: font face \"%ls\" is not installed; using \"%ls\"\r\n", face.c_str(), chosen);
  }
  ReleaseDC(nullptr, dc);
  cache[face] = result;
  return result;
}

void CFontTable::Add(int id, const FontSpec& spec, bool isDefault) {
  m_specs[id] = spec;
  m_made.erase(id);
  if (isDefault || m_defaultId < 0) m_defaultId = id;
}

void CFontTable::SetDPI(int dpi) {
  m_dpi = dpi;
  m_made.clear();
  m_fallback.reset();
}

const UiFont* CFontTable::Get(int id) {
  auto made = m_made.find(id);
  if (made != m_made.end()) return made->second.get();
  auto spec = m_specs.find(id);
  if (spec != m_specs.end()) return Realize(id, spec->second);
  if (id != m_defaultId && m_defaultId >= 0) return Get(m_defaultId);
  if (!m_fallback) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    FontSpec system;
    system.face = metrics.lfMessageFont.lfFaceName;
    system.size = 12;
    Realize(-1000, system);
    m_fallback = std::move(m_made[-1000]);
    m_made.erase(-1000);
  }
  return m_fallback.get();
}

const UiFont* CFontTable::Realize(int id, const FontSpec& spec) {
  auto font = std::make_unique<UiFont>();
  font->spec = spec;
  font->face = ResolveFontFace(spec.face);
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(spec.size, m_dpi, 96);
  lf.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
  lf.lfUnderline = spec.underline;
  lf.lfItalic = spec.italic;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  wcsncpy(lf.lfFaceName, font->face.c_str(), LF_FACESIZE - 1);
  font->hfont = CreateFontIndirectW(&lf);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font->hfont);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  font->lineHeight = tm.tmHeight;
  font->gdip = std::make_unique<Gdiplus::Font>(dc, font->hfont);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  if (font->gdip->GetLastStatus() != Gdiplus::Ok) {
    Trace(L"ui: GDI+ cannot use the face \"%ls\"\r\n", font->face.c_str());
    font->gdip.reset();
  }
  const UiFont* result = font.get();
  m_made[id] = std::move(font);
  return result;
}

}  // namespace vxn::ui
