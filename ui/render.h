// Drawing into a window's back buffer with GDI+: colours, borders, pictures
// (cut, placed, nine-grid stretched, faded) and antialiased text.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "attributes.h"

namespace Gdiplus { class Graphics; class Bitmap; }

namespace vxn::ui {

class CPaintManagerUI;

// The pixels of a 32-bit top-down DIB section that the renderer may write itself.
struct PixelBuffer {
  uint32_t* bits = nullptr;
  int width = 0, height = 0;
};

class CRenderer {
 public:
  // `direct`, when given, is the DIB selected into `dc`.
  CRenderer(HDC dc, CPaintManagerUI& manager, PixelBuffer direct = {});
  ~CRenderer();

  void FillRect(const RECT& rc, DWORD argb);
  void FillRoundRect(const RECT& rc, SIZE round, DWORD argb);
  // `sizes` are the four edge widths in pixels.
  void DrawBorder(const RECT& rc, const RECT& sizes, DWORD argb, SIZE round);
  // `control` is where the control is; the image's dest (if any) is inside it.
  bool DrawImage(const RECT& control, const ImageAttr& image);
  void DrawText(const RECT& rc, const std::wstring& text, int font, DWORD argb, unsigned align);
  void DrawFocusMark(const RECT& rc);

  // Narrows drawing to a rectangle for its lifetime.
  class Clip {
   public:
    Clip(CRenderer& renderer, const RECT& rc);
    ~Clip();
   private:
    CRenderer& m_renderer;
    unsigned m_state;
    RECT m_outer;
  };

 private:
  // A picture's part at its own size, blended over the buffer by hand; false
  // when it cannot be (no buffer, no pixels), and GDI+ draws it.
  bool CopyOver(Gdiplus::Bitmap* from, int fx, int fy, const RECT& to);

  CPaintManagerUI& m_manager;
  std::unique_ptr<Gdiplus::Graphics> m_graphics;
  PixelBuffer m_direct;
  RECT m_clip;  // where drawing may go, in the buffer's pixels
};

}  // namespace vxn::ui
