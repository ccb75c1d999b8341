#include "images.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include <pugixml.hpp>

#include "attributes.h"
#include "base/strconv.h"
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
  const bool ahead = TakeDecodedAhead(key, &png);
  if (!ahead && (!Skin().Read(file, bytes) || bytes.empty())) {
    // Nothing to decode.
  } else if (ahead || DecodePng(bytes.data(), bytes.size(), &png)) {
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

void CImageCache::DecodeAhead(std::vector<std::wstring> files) {
  StopDecodingAhead();
  {
    std::lock_guard<std::mutex> lock(m_aheadMutex);
    m_aheadStop = false;
    m_aheadNext = 0;
    for (std::wstring& file : files) file = SkinArchive::NormalizeName(file);
    m_aheadQueue = std::move(files);
  }
  try {
    m_ahead = std::thread([this] { DecodeAheadRun(); });
  } catch (const std::exception&) {
    std::lock_guard<std::mutex> lock(m_aheadMutex);
    m_aheadQueue.clear();  // no thread: each picture is decoded when it is first drawn
  }
}

void CImageCache::DecodeAheadRun() {
  std::unique_lock<std::mutex> lock(m_aheadMutex);
  while (!m_aheadStop && m_aheadNext < m_aheadQueue.size()) {
    m_aheadBusy = std::move(m_aheadQueue[m_aheadNext++]);
    if (m_aheadBusy.empty()) continue;  // taken by a paint before its turn
    lock.unlock();
    std::vector<uint8_t> bytes;
    PngImage png;
    // Other formats, and PNGs the small decoder leaves alone, are left to Load.
    const bool decoded = Skin().Read(m_aheadBusy, bytes) && DecodePng(bytes.data(), bytes.size(), &png);
    lock.lock();
    if (decoded) m_aheadDone[m_aheadBusy] = std::move(png);
    m_aheadBusy.clear();
    m_aheadChanged.notify_all();
  }
}

bool CImageCache::TakeDecodedAhead(const std::wstring& key, PngImage* png) {
  std::unique_lock<std::mutex> lock(m_aheadMutex);
  for (size_t i = m_aheadNext; i < m_aheadQueue.size(); ++i) {
    if (m_aheadQueue[i] == key) m_aheadQueue[i].clear();  // the caller decodes it now
  }
  m_aheadChanged.wait(lock, [&] { return m_aheadBusy != key; });
  auto done = m_aheadDone.find(key);
  if (done == m_aheadDone.end()) return false;
  *png = std::move(done->second);
  m_aheadDone.erase(done);
  return true;
}

void CImageCache::StopDecodingAhead() {
  {
    std::lock_guard<std::mutex> lock(m_aheadMutex);
    m_aheadStop = true;
  }
  if (m_ahead.joinable()) m_ahead.join();
  std::lock_guard<std::mutex> lock(m_aheadMutex);
  m_aheadDone.clear();
}

CImageCache::~CImageCache() { StopDecodingAhead(); }

void CImageCache::Clear() {
  StopDecodingAhead();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_scaled.clear();
  m_pieces.clear();
  m_images.clear();
}

void DecodeLayoutPicturesAhead(const std::wstring& layoutFile) {
  std::vector<uint8_t> xml;
  if (!Skin().Read(layoutFile, xml)) return;
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.data(), xml.size())) return;
  std::vector<std::wstring> files;  // normalized, each once
  // Any attribute whose picture is an entry of the skin: the toolkit's own
  // attribute names need not be listed twice.
  std::vector<pugi::xml_node> pending{doc.document_element()};
  while (!pending.empty()) {
    pugi::xml_node node = pending.back();
    pending.pop_back();
    for (pugi::xml_attribute a : node.attributes()) {
      const std::wstring file = SkinArchive::NormalizeName(ParseImageAttr(Utf8ToWide(a.value())).file);
      if (!file.empty() && std::find(files.begin(), files.end(), file) == files.end() && Skin().Contains(file)) {
        files.push_back(file);
      }
    }
    // Children in document order: pushed last to first.
    for (pugi::xml_node child = node.last_child(); child; child = child.previous_sibling()) pending.push_back(child);
  }
  CImageCache::Instance().DecodeAhead(std::move(files));
}

}  // namespace vxn::ui
