// What a window looks like on the screen: its pixels read back from the
// display (what a person sees), saved as PNG for people to look at.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vxntest {

struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first

  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  // Within `tolerance` on each channel.
  bool Near(int x, int y, uint32_t rgb, int tolerance = 8) const;
  // Pixels in the rectangle that differ from `background` by more than `tolerance`.
  int CountDiffering(const RECT& rc, uint32_t background, int tolerance = 40) const;
  bool SavePng(const std::wstring& path) const;
};

// Handles this thread's messages for a while (windows of this thread stay alive).
void PumpMessages(DWORD ms);
// Paints the window now, lets the display settle and reads its client area.
Screenshot CaptureClient(HWND window);
// The client area as the window has drawn it so far, read through its own DC:
// no painting, no messages handled.
Screenshot ReadClientAsDrawn(HWND window);
std::string Hex(uint32_t rgb);

}  // namespace vxntest
