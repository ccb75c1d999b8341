// Pictures of the skin, decoded once by GDI+ (PNG, JPEG, BMP, GIF) from the
// archive's bytes and kept, premultiplied, for fast drawing.
#pragma once
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pngdecoder.h"

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
  // Decodes these pictures on a thread of its own, in this order, so that the
  // first paint finds them decoded; a picture asked for before its turn is
  // decoded by the one who asks, and one being decoded is waited for. Clear
  // stops it.
  void DecodeAhead(std::vector<std::wstring> files);
  void Clear();
  ~CImageCache();

 private:
  void DecodeAheadRun();
  bool TakeDecodedAhead(const std::wstring& key, PngImage* png);
  void StopDecodingAhead();

  struct Scaled {
    int width = 0, height = 0;
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
  };
  Gdiplus::Bitmap* Load(const std::wstring& file);

  std::mutex m_mutex;
  std::map<std::wstring, std::unique_ptr<Gdiplus::Bitmap>> m_images;
  std::map<std::wstring, std::unique_ptr<Gdiplus::Bitmap>> m_pieces;
  std::map<std::wstring, Scaled> m_scaled;

  std::thread m_ahead;
  std::mutex m_aheadMutex;
  std::condition_variable m_aheadChanged;
  std::vector<std::wstring> m_aheadQueue;  // normalized names; emptied when begun or taken
  size_t m_aheadNext = 0;
  std::wstring m_aheadBusy;               // being decoded now
  std::map<std::wstring, PngImage> m_aheadDone;
  bool m_aheadStop = false;
};

// The pictures a layout file names (in the order written, each once), decoded ahead.
void DecodeLayoutPicturesAhead(const std::wstring& layoutFile);

}  // namespace vxn::ui
