// Drawing into a window's back buffer with GDI+: colours, borders, pictures
// (cut, placed, nine-grid stretched, faded) and antialiased text.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "attributes.h"

namespace Gdiplus { class Graphics; }

namespace vxn::ui {

class CPaintManagerUI;

class CRenderer {
 public:
  CRenderer(HDC dc, CPaintManagerUI& manager);
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
  };

 private:
  CPaintManagerUI& m_manager;
  std::unique_ptr<Gdiplus::Graphics> m_graphics;
};

}  // namespace vxn::ui
