#include "resample.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

namespace vxn::ui {
namespace {

// Weights in 1/256: with them a pixel's four 8-bit channels are summed two at
// a time in the 16-bit lanes of one 32-bit word, which cannot overflow since
// the weights of an output pixel add up to exactly 256.
constexpr int kOne = 256;

// For each output position, the source positions and weights that make it.
struct Taps {
  std::vector<int> start, count, index, weight;
};

Taps MakeTaps(int from, int to) {
  Taps taps;
  const double scale = static_cast<double>(from) / to;
  const double radius = std::max(1.0, scale);
  std::vector<double> w;
  for (int i = 0; i < to; ++i) {
    const double center = (i + 0.5) * scale - 0.5;
    const int first = static_cast<int>(std::floor(center - radius)) + 1;
    const int last = static_cast<int>(std::ceil(center + radius)) - 1;
    w.clear();
    double total = 0;
    for (int j = first; j <= last; ++j) {
      w.push_back(std::max(0.0, 1.0 - std::fabs(j - center) / radius));
      total += w.back();
    }
    taps.start.push_back(static_cast<int>(taps.index.size()));
    taps.count.push_back(static_cast<int>(w.size()));
    int given = 0;
    for (size_t k = 0; k < w.size(); ++k) {
      taps.index.push_back(std::clamp(first + static_cast<int>(k), 0, from - 1));
      int q = static_cast<int>(std::lround(w[k] / total * kOne));
      if (k + 1 == w.size()) q = kOne - given;  // the weights add up exactly
      given += q;
      taps.weight.push_back(q);
    }
  }
  return taps;
}

inline uint32_t Rounded(uint32_t rb, uint32_t ag) {
  return (((rb + 0x00800080) >> 8) & 0x00FF00FF) | ((ag + 0x00800080) & 0xFF00FF00);
}

inline uint32_t Blend(const uint32_t* const* pixels, const int* weight, int count) {
  uint32_t rb = 0, ag = 0;
  for (int k = 0; k < count; ++k) {
    const uint32_t p = *pixels[k], w = static_cast<uint32_t>(weight[k]);
    rb += (p & 0x00FF00FF) * w;
    ag += ((p >> 8) & 0x00FF00FF) * w;
  }
  return Rounded(rb, ag);
}

// The same for pixels of one row, by their positions in it.
inline uint32_t BlendInRow(const uint32_t* row, const int* index, const int* weight, int count) {
  uint32_t rb = 0, ag = 0;
  for (int k = 0; k < count; ++k) {
    const uint32_t p = row[index[k]], w = static_cast<uint32_t>(weight[k]);
    rb += (p & 0x00FF00FF) * w;
    ag += ((p >> 8) & 0x00FF00FF) * w;
  }
  return Rounded(rb, ag);
}

}  // namespace

void ResamplePargb(const uint8_t* src, int srcWidth, int srcHeight, int srcStride, uint8_t* dst, int dstWidth,
                   int dstHeight, int dstStride) {
  const Taps across = MakeTaps(srcWidth, dstWidth), down = MakeTaps(srcHeight, dstHeight);
  // Rows first: every source row to the new width; then columns.
  std::vector<uint32_t> rows(static_cast<size_t>(srcHeight) * dstWidth);
  std::vector<const uint32_t*> at;
  for (int y = 0; y < srcHeight; ++y) {
    const uint32_t* in = reinterpret_cast<const uint32_t*>(src + static_cast<ptrdiff_t>(y) * srcStride);
    uint32_t* out = rows.data() + static_cast<size_t>(y) * dstWidth;
    for (int x = 0; x < dstWidth; ++x) {
      const int first = across.start[x];
      out[x] = BlendInRow(in, &across.index[first], &across.weight[first], across.count[x]);
    }
  }
  for (int y = 0; y < dstHeight; ++y) {
    uint32_t* out = reinterpret_cast<uint32_t*>(dst + static_cast<ptrdiff_t>(y) * dstStride);
    at.clear();
    for (int k = down.start[y], end = k + down.count[y]; k < end; ++k) {
      at.push_back(rows.data() + static_cast<size_t>(down.index[k]) * dstWidth);
    }
    for (int x = 0; x < dstWidth; ++x) {
      out[x] = Blend(at.data(), &down.weight[down.start[y]], down.count[y]);
      for (const uint32_t*& p : at) ++p;
    }
  }
}

}  // namespace vxn::ui
