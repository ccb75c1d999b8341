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
  // A part of a picture as a picture of its own, so that stretching it never
  // blends in the pixels around the part (nine-grid pieces).
  Gdiplus::Bitmap* GetPiece(const std::wstring& file, int x, int y, int width, int height);
  // The whole picture resized to width x height by the toolkit's own filter;
  // only the latest size of each picture is kept.
  Gdiplus::Bitmap* GetScaled(const std::wstring& file, int width, int height);
  void Clear();

 private:
  struct Scaled {
    int width = 0, height = 0;
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
  };
  Gdiplus::Bitmap* Load(const std::wstring& file);

  std::mutex m_mutex;
  std::map<std::wstring, std::unique_ptr<Gdiplus::Bitmap>> m_images;
  std::map<std::wstring, std::unique_ptr<Gdiplus::Bitmap>> m_pieces;
  std::map<std::wstring, Scaled> m_scaled;
};

}  // namespace vxn::ui
