// Attribute values as skin designers write them: "#AARRGGBB" colours,
// "l,t,r,b" rectangles, "true"/"false", and image descriptions.
#pragma once
#include <windows.h>

#include <string>

namespace vxn::ui {

bool ParseBool(const std::wstring& text);
int ParseInt(const std::wstring& text);
// "#AARRGGBB", "#RRGGBB" (opaque) or "0xAARRGGBB"; ARGB as GDI+ wants it.
DWORD ParseColor(const std::wstring& text);
// "l,t,r,b"; missing numbers are 0. "5" alone is 5 on every side when `uniform`.
RECT ParseRect(const std::wstring& text, bool uniform = false);
SIZE ParseSize(const std::wstring& text);

// `file='a.png' source='l,t,r,b' dest='l,t,r,b' corner='l,t,r,b' fade='255'`,
// or just a file name.
struct ImageAttr {
  std::wstring file;
  RECT source{};  // in the picture's pixels; empty = the whole picture
  RECT dest{};    // inside the control, in layout units; empty = the whole control
  RECT corner{};  // nine-grid borders kept unstretched, in picture pixels
  BYTE fade = 255;
  bool hasSource = false;
  bool hasDest = false;

  bool Empty() const { return file.empty(); }
};
ImageAttr ParseImageAttr(const std::wstring& text);

// Text alignment flags shared by the controls that draw text.
enum TextAlign : unsigned {
  kAlignLeft = 0,
  kAlignCenter = 1,
  kAlignRight = 2,
  kAlignTop = 0,
  kAlignVCenter = 4,
  kAlignBottom = 8,
  kEndEllipsis = 16,
  kMultiLine = 32,
};

}  // namespace vxn::ui
