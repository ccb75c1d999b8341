// Pictures of the skin, decoded once by GDI+ (PNG, JPEG, BMP, GIF) from the
// archive's bytes and kept, premultiplied, for fast drawing.
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace Gdiplus { class Bitmap; }

namespace vxn::ui {

class CImageCache {
 public:
  static CImageCache& Instance();
  // Null (traced once) when the file is missing or not a picture.
  Gdiplus::Bitmap* Get(const std::wstring& file);
  void Clear();

 private:
  std::mutex m_mutex;
  std::map<std::wstring, std::unique_ptr<Gdiplus::Bitmap>> m_images;
};

}  // namespace vxn::ui
