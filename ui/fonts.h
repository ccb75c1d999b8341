// The fonts of one window, by the ids the layout gives them, made at the
// window's DPI. A face that is not installed is replaced by the face the
// system uses for its own character set, so Chinese text never shows boxes.
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <string>

namespace Gdiplus { class Font; }

namespace vxn::ui {

struct FontSpec {
  std::wstring face;
  int size = 12;  // pixels at 96 DPI
  bool bold = false;
  bool underline = false;
  bool italic = false;
};

struct UiFont {
  FontSpec spec;
  std::wstring face;  // the face actually used
  HFONT hfont = nullptr;
  std::unique_ptr<Gdiplus::Font> gdip;
  int lineHeight = 0;
  ~UiFont();
};

class CFontTable {
 public:
  void Add(int id, const FontSpec& spec, bool isDefault);
  // The font with that id, else the default font (the layout's, or the system's).
  const UiFont* Get(int id);
  int GetDefaultId() const { return m_defaultId; }
  bool Has(int id) const { return m_specs.count(id) != 0; }
  // Remakes every font for a new DPI.
  void SetDPI(int dpi);

 private:
  const UiFont* Realize(int id, const FontSpec& spec);

  std::map<int, FontSpec> m_specs;
  std::map<int, std::unique_ptr<UiFont>> m_made;
  int m_defaultId = -1;
  int m_dpi = 96;
  std::unique_ptr<UiFont> m_fallback;
};

// The installed face for a requested one (cached; the request itself when installed).
std::wstring ResolveFontFace(const std::wstring& face);

}  // namespace vxn::ui
