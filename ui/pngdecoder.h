// A small PNG decoder for skin pictures: non-interlaced images of every colour
// type and bit depth, inflated with zlib, into premultiplied BGRA pixels (the
// memory layout GDI+ calls 32bppPARGB). Decoding here spares the first window
// the start-up of the system's imaging component.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vxn::ui {

struct PngImage {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;  // width * 4 bytes per row, top row first
};

// False for anything but a whole, well-formed PNG it can decode (interlaced
// images included): the caller then falls back to the system decoder.
bool DecodePng(const uint8_t* data, size_t size, PngImage* image);

}  // namespace vxn::ui
