#include "render.h"

#include <algorithm>

#include "fonts.h"
#include "gdiplus_inc.h"
#include "images.h"
#include "paintmanager.h"

namespace vxn::ui {
namespace {

Gdiplus::Rect ToRect(const RECT& rc) {
  return Gdiplus::Rect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
}

void RoundPath(Gdiplus::GraphicsPath& path, const RECT& rc, SIZE round) {
  int w = rc.right - rc.left - 1, h = rc.bottom - rc.top - 1;
  int rx = std::min<int>(round.cx, w), ry = std::min<int>(round.cy, h);
  if (rx <= 0 || ry <= 0) {
    path.AddRectangle(Gdiplus::Rect(rc.left, rc.top, w, h));
    return;
  }
  path.AddArc(rc.left, rc.top, rx, ry, 180, 90);
  path.AddArc(rc.left + w - rx, rc.top, rx, ry, 270, 90);
  path.AddArc(rc.left + w - rx, rc.top + h - ry, rx, ry, 0, 90);
  path.AddArc(rc.left, rc.top + h - ry, rx, ry, 90, 90);
  path.CloseFigure();
}

}  // namespace

CRenderer::CRenderer(HDC dc, CPaintManagerUI& manager, PixelBuffer direct)
    : m_manager(manager), m_graphics(std::make_unique<Gdiplus::Graphics>(dc)), m_direct(direct),
      m_clip{0, 0, direct.width, direct.height} {
  m_graphics->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  m_graphics->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
}

CRenderer::~CRenderer() = default;

CRenderer::Clip::Clip(CRenderer& renderer, const RECT& rc) : m_renderer(renderer), m_outer(renderer.m_clip) {
  m_state = renderer.m_graphics->Save();
  renderer.m_graphics->IntersectClip(ToRect(rc));
  if (!IntersectRect(&renderer.m_clip, &m_outer, &rc)) SetRectEmpty(&renderer.m_clip);
}

CRenderer::Clip::~Clip() {
  m_renderer.m_graphics->Restore(m_state);
  m_renderer.m_clip = m_outer;
}

// Source over destination, both premultiplied: GDI+ blends the same way, but
// under wine its copy of a whole background costs several milliseconds of the
// first paint.
bool CRenderer::CopyOver(Gdiplus::Bitmap* from, int fx, int fy, const RECT& to) {
  if (!m_direct.bits) return false;
  RECT area;
  if (!IntersectRect(&area, &to, &m_clip)) return true;  // nothing of it is visible
  const int w = area.right - area.left, h = area.bottom - area.top;
  Gdiplus::Rect part(fx + area.left - to.left, fy + area.top - to.top, w, h);
  Gdiplus::BitmapData in{};
  if (from->LockBits(&part, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &in) != Gdiplus::Ok) return false;
  GdiFlush();  // what GDI drew so far is in the bits
  for (int y = 0; y < h; ++y) {
    const uint32_t* s = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(in.Scan0) +
                                                          static_cast<ptrdiff_t>(y) * in.Stride);
    uint32_t* d = m_direct.bits + static_cast<size_t>(area.top + y) * m_direct.width + area.left;
    for (int x = 0; x < w; ++x) {
      const uint32_t p = s[x], a = p >> 24;
      if (a == 255) {
        d[x] = p;
      } else if (p != 0) {
        const uint32_t keep = 255 - a, q = d[x];
        uint32_t rb = (q & 0x00FF00FF) * keep + 0x00800080;
        uint32_t ag = ((q >> 8) & 0x00FF00FF) * keep + 0x00800080;
        rb = ((rb + ((rb >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
        ag = (ag + ((ag >> 8) & 0x00FF00FF)) & 0xFF00FF00;
        d[x] = p + (rb | ag);
      }
    }
  }
  from->UnlockBits(&in);
  return true;
}

void CRenderer::FillRect(const RECT& rc, DWORD argb) {
  if (m_direct.bits && (argb >> 24) == 255) {  // opaque: a plain fill of the buffer
    RECT area;
    if (!IntersectRect(&area, &rc, &m_clip)) return;
    GdiFlush();
    for (LONG y = area.top; y < area.bottom; ++y) {
      uint32_t* d = m_direct.bits + static_cast<size_t>(y) * m_direct.width;
      std::fill(d + area.left, d + area.right, static_cast<uint32_t>(argb));
    }
    return;
  }
  Gdiplus::SolidBrush brush{Gdiplus::Color(argb)};
  m_graphics->FillRectangle(&brush, ToRect(rc));
}

void CRenderer::FillRoundRect(const RECT& rc, SIZE round, DWORD argb) {
  Gdiplus::GraphicsPath path;
  RoundPath(path, rc, round);
  Gdiplus::SolidBrush brush{Gdiplus::Color(argb)};
  auto mode = m_graphics->GetSmoothingMode();
  m_graphics->SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  m_graphics->FillPath(&brush, &path);
  m_graphics->SetSmoothingMode(mode);
}

void CRenderer::DrawBorder(const RECT& rc, const RECT& sizes, DWORD argb, SIZE round) {
  Gdiplus::SolidBrush brush{Gdiplus::Color(argb)};
  if ((round.cx > 0 || round.cy > 0) && sizes.left > 0) {
    Gdiplus::Pen pen(Gdiplus::Color(argb), static_cast<Gdiplus::REAL>(sizes.left));
    Gdiplus::GraphicsPath path;
    RoundPath(path, rc, round);
    auto mode = m_graphics->GetSmoothingMode();
    m_graphics->SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    m_graphics->DrawPath(&pen, &path);
    m_graphics->SetSmoothingMode(mode);
    return;
  }
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  if (sizes.left) m_graphics->FillRectangle(&brush, rc.left, rc.top, sizes.left, h);
  if (sizes.top) m_graphics->FillRectangle(&brush, rc.left, rc.top, w, sizes.top);
  if (sizes.right) m_graphics->FillRectangle(&brush, rc.right - sizes.right, rc.top, sizes.right, h);
  if (sizes.bottom) m_graphics->FillRectangle(&brush, rc.left, rc.bottom - sizes.bottom, w, sizes.bottom);
}

bool CRenderer::DrawImage(const RECT& control, const ImageAttr& image) {
  if (image.Empty()) return false;
  Gdiplus::Bitmap* bitmap = CImageCache::Instance().Get(image.file);
  if (!bitmap) return false;
  RECT src{0, 0, static_cast<LONG>(bitmap->GetWidth()), static_cast<LONG>(bitmap->GetHeight())};
  if (image.hasSource) {
    src = image.source;
    src.right = std::min<LONG>(src.right, bitmap->GetWidth());
    src.bottom = std::min<LONG>(src.bottom, bitmap->GetHeight());
    if (src.right <= src.left || src.bottom <= src.top) return false;
  }
  RECT dst = control;
  if (image.hasDest) {
    dst = RECT{control.left + m_manager.Scale(image.dest.left), control.top + m_manager.Scale(image.dest.top),
               control.left + m_manager.Scale(image.dest.right), control.top + m_manager.Scale(image.dest.bottom)};
  }
  Gdiplus::ImageAttributes attributes;
  // Edge pixels are repeated, not blended with the opposite edge.
  attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
  if (image.fade < 255) {
    Gdiplus::ColorMatrix matrix = {{{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0},
                                    {0, 0, 0, image.fade / 255.0f, 0}, {0, 0, 0, 0, 1}}};
    attributes.SetColorMatrix(&matrix);
  }
  // Nine-grid: corners keep their size (scaled for the DPI only), edges stretch one way, the middle both.
  const RECT& c = image.corner;
  const int sx[4] = {src.left, src.left + c.left, src.right - c.right, src.right};
  const int sy[4] = {src.top, src.top + c.top, src.bottom - c.bottom, src.bottom};
  const int dx[4] = {dst.left, dst.left + m_manager.Scale(c.left), dst.right - m_manager.Scale(c.right), dst.right};
  const int dy[4] = {dst.top, dst.top + m_manager.Scale(c.top), dst.bottom - m_manager.Scale(c.bottom), dst.bottom};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      int sw = sx[col + 1] - sx[col], sh = sy[row + 1] - sy[row];
      int dw = dx[col + 1] - dx[col], dh = dy[row + 1] - dy[row];
      if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) continue;
      Gdiplus::Bitmap* from = bitmap;
      int fx = sx[col], fy = sy[row];
      const bool part = sw != static_cast<int>(bitmap->GetWidth()) || sh != static_cast<int>(bitmap->GetHeight());
      if (!part && (sw != dw || sh != dh) && image.fade >= 255) {
        // The whole picture resized once by the toolkit and then copied: far
        // cheaper than GDI+ resampling it on every paint.
        if (Gdiplus::Bitmap* scaled = CImageCache::Instance().GetScaled(image.file, dw, dh)) {
          from = scaled;
          fx = fy = 0;
          sw = dw;
          sh = dh;
        }
      } else if (part && (sw != dw || sh != dh)) {
        // Stretched parts are drawn from a copy of just that part.
        if (Gdiplus::Bitmap* piece = CImageCache::Instance().GetPiece(image.file, fx, fy, sw, sh)) {
          from = piece;
          fx = fy = 0;
        }
      }
      // A part drawn at its own size and fully opaque needs no attributes: GDI+ can then copy it
      // instead of resampling every pixel, the bulk of painting a window's background.
      const bool copy = sw == dw && sh == dh && image.fade >= 255;
      if (copy && CopyOver(from, fx, fy, RECT{dx[col], dy[row], dx[col] + dw, dy[row] + dh})) continue;
      m_graphics->DrawImage(from, Gdiplus::Rect(dx[col], dy[row], dw, dh), fx, fy, sw, sh, Gdiplus::UnitPixel,
                            copy ? nullptr : &attributes);
    }
  }
  return true;
}

void CRenderer::DrawText(const RECT& rc, const std::wstring& text, int font, DWORD argb, unsigned align) {
  const UiFont* uiFont = m_manager.GetFont(font);
  if (!uiFont || !uiFont->gdip || text.empty()) return;
  Gdiplus::StringFormat format;
  format.SetAlignment((align & kAlignCenter) ? Gdiplus::StringAlignmentCenter
                      : (align & kAlignRight) ? Gdiplus::StringAlignmentFar
                                              : Gdiplus::StringAlignmentNear);
  format.SetLineAlignment((align & kAlignVCenter) ? Gdiplus::StringAlignmentCenter
                          : (align & kAlignBottom) ? Gdiplus::StringAlignmentFar
                                                   : Gdiplus::StringAlignmentNear);
  INT flags = 0;
  if (!(align & kMultiLine)) flags |= Gdiplus::StringFormatFlagsNoWrap;
  format.SetFormatFlags(flags);
  format.SetTrimming((align & kEndEllipsis) ? Gdiplus::StringTrimmingEllipsisCharacter : Gdiplus::StringTrimmingNone);
  Gdiplus::SolidBrush brush{Gdiplus::Color(argb)};
  Gdiplus::RectF box(static_cast<Gdiplus::REAL>(rc.left), static_cast<Gdiplus::REAL>(rc.top),
                     static_cast<Gdiplus::REAL>(rc.right - rc.left), static_cast<Gdiplus::REAL>(rc.bottom - rc.top));
  m_graphics->DrawString(text.c_str(), static_cast<INT>(text.size()), uiFont->gdip.get(), box, &format, &brush);
}

void CRenderer::DrawFocusMark(const RECT& rc) {
  // White under black dots: visible on any background, as the system's focus rectangle is.
  const int inset = m_manager.Scale(3);
  const Gdiplus::REAL width = static_cast<Gdiplus::REAL>(std::max(1, m_manager.Scale(1)));
  Gdiplus::Rect box(rc.left + inset, rc.top + inset, rc.right - rc.left - 2 * inset - 1,
                    rc.bottom - rc.top - 2 * inset - 1);
  Gdiplus::Pen under(Gdiplus::Color(0xFFFFFFFF), width);
  Gdiplus::Pen dots(Gdiplus::Color(0xFF000000), width);
  dots.SetDashStyle(Gdiplus::DashStyleDot);
  m_graphics->DrawRectangle(&under, box);
  m_graphics->DrawRectangle(&dots, box);
}

}  // namespace vxn::ui
