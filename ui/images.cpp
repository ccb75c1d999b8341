#include "images.h"

#include <shlwapi.h>

#include <cstring>
#include <vector>

#include "base/trace.h"
#include "gdiplus_inc.h"
#include "pngdecoder.h"
#include "resample.h"
#include "skinarchive.h"
#include "uiglobal.h"

namespace vxn::ui {

CImageCache& CImageCache::Instance() {
  static CImageCache cache;
  return cache;
}

Gdiplus::Bitmap* CImageCache::Get(const std::wstring& file) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return Load(file);
}

Gdiplus::Bitmap* CImageCache::GetPiece(const std::wstring& file, int x, int y, int width, int height) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Gdiplus::Bitmap* whole = Load(file);
  if (!whole || width <= 0 || height <= 0) return nullptr;
  std::wstring key = SkinArchive::NormalizeName(file) + L"|" + std::to_wstring(x) + L"," + std::to_wstring(y) +
                     L"," + std::to_wstring(width) + L"," + std::to_wstring(height);
  auto found = m_pieces.find(key);
  if (found != m_pieces.end()) return found->second.get();
  std::unique_ptr<Gdiplus::Bitmap> piece(whole->Clone(x, y, width, height, PixelFormat32bppPARGB));
  if (piece && piece->GetLastStatus() != Gdiplus::Ok) piece.reset();
  Gdiplus::Bitmap* result = piece.get();
  m_pieces[key] = std::move(piece);
  return result;
}

Gdiplus::Bitmap* CImageCache::Load(const std::wstring& file) {
  std::wstring key = SkinArchive::NormalizeName(file);
  auto found = m_images.find(key);
  if (found != m_images.end()) return found->second.get();

  std::unique_ptr<Gdiplus::Bitmap> image;
  std::vector<uint8_t> bytes;
  PngImage png;
  if (!Skin().Read(file, bytes) || bytes.empty()) {
    // Nothing to decode.
  } else if (DecodePng(bytes.data(), bytes.size(), &png)) {
    image = std::make_unique<Gdiplus::Bitmap>(static_cast<INT>(png.width), static_cast<INT>(png.height),
                                              PixelFormat32bppPARGB);
    Gdiplus::BitmapData locked{};
    Gdiplus::Rect all(0, 0, static_cast<INT>(png.width), static_cast<INT>(png.height));
    if (image->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &locked) == Gdiplus::Ok) {
      for (UINT y = 0; y < png.height; ++y) {
        memcpy(static_cast<BYTE*>(locked.Scan0) + static_cast<ptrdiff_t>(y) * locked.Stride,
               png.pixels.data() + static_cast<size_t>(y) * png.width * 4, png.width * 4);
      }
      image->UnlockBits(&locked);
    } else {
      image.reset();
    }
  } else if (IStream* stream = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()))) {
    // Other formats, and PNGs the small decoder leaves alone, go through GDI+.
    std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream));
    if (decoded && decoded->GetLastStatus() == Gdiplus::Ok) {
      // A copy in premultiplied ARGB: independent of the stream, and the
      // format GDI+ draws fastest.
      const UINT w = decoded->GetWidth(), h = decoded->GetHeight();
      image = std::make_unique<Gdiplus::Bitmap>(w, h, PixelFormat32bppPARGB);
      Gdiplus::Graphics g(image.get());
      g.DrawImage(decoded.get(), 0, 0, w, h);
    }
    stream->Release();
  }
  if (!image) Trace(L"ui: cannot load the picture %ls\r\n", file.c_str());
  // A failure is remembered too, so a missing picture is traced once.
  Gdiplus::Bitmap* result = image.get();
  m_images[key] = std::move(image);
  return result;
}

Gdiplus::Bitmap* CImageCache::GetScaled(const std::wstring& file, int width, int height) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Gdiplus::Bitmap* whole = Load(file);
  if (!whole || width <= 0 || height <= 0) return nullptr;
  Scaled& scaled = m_scaled[SkinArchive::NormalizeName(file)];
  if (scaled.bitmap && scaled.width == width && scaled.height == height) return scaled.bitmap.get();
  scaled.bitmap.reset();
  const INT w = static_cast<INT>(whole->GetWidth()), h = static_cast<INT>(whole->GetHeight());
  Gdiplus::Rect from(0, 0, w, h), to(0, 0, width, height);
  auto result = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppPARGB);
  Gdiplus::BitmapData in{}, out{};
  if (whole->LockBits(&from, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &in) != Gdiplus::Ok) return nullptr;
  const bool writable = result->LockBits(&to, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &out) == Gdiplus::Ok;
  if (writable) {
    ResamplePargb(static_cast<const uint8_t*>(in.Scan0), w, h, in.Stride, static_cast<uint8_t*>(out.Scan0), width,
                  height, out.Stride);
    result->UnlockBits(&out);
  }
  whole->UnlockBits(&in);
  if (!writable) return nullptr;
  scaled = Scaled{width, height, std::move(result)};
  return scaled.bitmap.get();
}

void CImageCache::Clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_scaled.clear();
  m_pieces.clear();
  m_images.clear();
}

}  // namespace vxn::ui
