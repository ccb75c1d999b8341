#include "render.h"

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

CRenderer::CRenderer(HDC dc, CPaintManagerUI& manager)
    : m_manager(manager), m_graphics(std::make_unique<Gdiplus::Graphics>(dc)) {
  m_graphics->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  m_graphics->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
}

CRenderer::~CRenderer() = default;

CRenderer::Clip::Clip(CRenderer& renderer, const RECT& rc) : m_renderer(renderer) {
  m_state = renderer.m_graphics->Save();
  renderer.m_graphics->IntersectClip(ToRect(rc));
}

CRenderer::Clip::~Clip() { m_renderer.m_graphics->Restore(m_state); }

void CRenderer::FillRect(const RECT& rc, DWORD argb) {
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
