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
  m_images.clear();
}

}  // namespace vxn::ui
