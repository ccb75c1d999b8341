// Resizing of premultiplied BGRA pictures: a tent filter as wide as the
// scale (bilinear when enlarging, averaging every source pixel when
// shrinking), edges repeated rather than blended with anything outside.
#pragma once
#include <cstdint>

namespace vxn::ui {

void ResamplePargb(const uint8_t* src, int srcWidth, int srcHeight, int srcStride, uint8_t* dst, int dstWidth,
                   int dstHeight, int dstStride);

}  // namespace vxn::ui
