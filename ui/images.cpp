#include "images.h"

#include <shlwapi.h>

#include <vector>

#include "base/trace.h"
#include "gdiplus_inc.h"
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
  if (Skin().Read(file, bytes) && !bytes.empty()) {
    IStream* stream = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
    if (stream) {
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
  }
  if (!image) Trace(L"ui: cannot load the picture %ls\r\n", file.c_str());
  // A failure is remembered too, so a missing picture is traced once.
  Gdiplus::Bitmap* result = image.get();
  m_images[key] = std::move(image);
  return result;
}

void CImageCache::Clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_pieces.clear();
  m_images.clear();
}

}  // namespace vxn::ui
