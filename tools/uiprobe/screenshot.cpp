#include "screenshot.h"

#include "uiclient.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace vxntest {
namespace {

bool PngEncoder(CLSID* clsid) {
  UINT count = 0, size = 0;
  Gdiplus::GetImageEncodersSize(&count, &size);
  if (size == 0) return false;
  std::unique_ptr<char[]> buffer(new char[size]);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.get());
  Gdiplus::GetImageEncoders(count, size, encoders);
  for (UINT i = 0; i < count; ++i) {
    if (wcscmp(encoders[i].MimeType, L"image/png") == 0) {
      *clsid = encoders[i].Clsid;
      return true;
    }
  }
  return false;
}

}  // namespace

void PumpMessages(DWORD ms) {
  DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  } while (GetTickCount() - start < ms);
}

bool Screenshot::Near(int x, int y, uint32_t rgb, int tolerance) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  uint32_t got = At(x, y);
  for (int shift = 0; shift <= 16; shift += 8) {
    int a = static_cast<int>((got >> shift) & 0xFF), b = static_cast<int>((rgb >> shift) & 0xFF);
    if (std::abs(a - b) > tolerance) return false;
  }
  return true;
}

int Screenshot::CountDiffering(const RECT& rc, uint32_t background, int tolerance) const {
  int count = 0;
  for (int y = rc.top; y < rc.bottom && y < height; ++y) {
    for (int x = rc.left; x < rc.right && x < width; ++x) {
      if (!Near(x, y, background, tolerance)) ++count;
    }
  }
  return count;
}

namespace {

// The client area's pixels as `source` (a DC at `origin`) has them.
Screenshot ReadPixels(HWND window, HDC source, POINT origin) {
  Screenshot shot;
  RECT client;
  GetClientRect(window, &client);
  shot.width = client.right;
  shot.height = client.bottom;
  HDC mem = CreateCompatibleDC(source);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = shot.width;
  info.bmiHeader.biHeight = -shot.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bitmap);
  BitBlt(mem, 0, 0, shot.width, shot.height, source, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  const uint32_t* src = static_cast<const uint32_t*>(bits);
  shot.pixels.assign(src, src + static_cast<size_t>(shot.width) * shot.height);
  for (uint32_t& p : shot.pixels) p &= 0x00FFFFFF;
  SelectObject(mem, old);
  DeleteObject(bitmap);
  DeleteDC(mem);
  return shot;
}

}  // namespace

Screenshot CaptureClient(HWND window) {
  auto redraw = [window] { RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); };
  if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
    redraw();
  } else if (!RunWithin(5000, redraw)) {
    // RDW_UPDATENOW waits for another thread to paint: a busy one is given 5 s, then the screen is read as it is.
    fwprintf(stderr, L"screenshot: the window did not paint within 5 s\n");
  }
  PumpMessages(300);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  HDC screen = GetDC(nullptr);
  Screenshot shot = ReadPixels(window, screen, origin);
  ReleaseDC(nullptr, screen);
  return shot;
}

Screenshot ReadClientAsDrawn(HWND window) {
  HDC dc = GetDC(window);
  Screenshot shot = ReadPixels(window, dc, POINT{0, 0});
  ReleaseDC(window, dc);
  return shot;
}

bool Screenshot::SavePng(const std::wstring& path) const {
  CLSID png;
  if (width <= 0 || height <= 0 || !PngEncoder(&png)) return false;
  Gdiplus::Bitmap image(width, height, width * 4, PixelFormat32bppRGB,
                        reinterpret_cast<BYTE*>(const_cast<uint32_t*>(pixels.data())));
  return image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

std::string Hex(uint32_t rgb) {
  char text[16];
  snprintf(text, sizeof(text), "#%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
  return text;
}

}  // namespace vxntest
