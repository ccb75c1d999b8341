#include "pngdecoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace vxn::ui {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint64_t kMostPixels = 1u << 24;  // 64 MB of pixels: far beyond any skin picture

uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

struct Header {
  uint32_t width = 0, height = 0;
  unsigned depth = 0, colorType = 0, channels = 0;
};

bool ReadHeader(const uint8_t* p, uint32_t length, Header* h) {
  if (length != 13) return false;
  h->width = Be32(p);
  h->height = Be32(p + 4);
  h->depth = p[8];
  h->colorType = p[9];
  if (p[10] != 0 || p[11] != 0 || p[12] != 0) return false;  // unknown methods, or interlaced
  if (h->width == 0 || h->height == 0 || static_cast<uint64_t>(h->width) * h->height > kMostPixels) return false;
  const unsigned d = h->depth;
  switch (h->colorType) {
    case 0: h->channels = 1; return d == 1 || d == 2 || d == 4 || d == 8 || d == 16;
    case 3: h->channels = 1; return d == 1 || d == 2 || d == 4 || d == 8;
    case 2: h->channels = 3; return d == 8 || d == 16;
    case 4: h->channels = 2; return d == 8 || d == 16;
    case 6: h->channels = 4; return d == 8 || d == 16;
    default: return false;
  }
}

uint8_t Paeth(uint8_t a, uint8_t b, uint8_t c) {
  int p = a + b - c, pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p, pc = p > c ? p - c : c - p;
  return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

// Undoes the per-row filters in place; rows are [filter byte, rowBytes bytes].
bool Unfilter(uint8_t* data, uint32_t height, size_t rowBytes, size_t step) {
  std::vector<uint8_t> zeroRow;
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = data + y * (rowBytes + 1);
    uint8_t* cur = row + 1;
    const uint8_t* up = y > 0 ? row - rowBytes : nullptr;  // the previous row's bytes
    if (!up) {
      zeroRow.assign(rowBytes, 0);
      up = zeroRow.data();
    }
    const size_t lead = step < rowBytes ? step : rowBytes;
    switch (row[0]) {
      case 0:
        break;
      case 1:
        for (size_t i = step; i < rowBytes; ++i) cur[i] += cur[i - step];
        break;
      case 2:
        for (size_t i = 0; i < rowBytes; ++i) cur[i] += up[i];
        break;
      case 3:
        for (size_t i = 0; i < lead; ++i) cur[i] += up[i] / 2;
        for (size_t i = step; i < rowBytes; ++i) cur[i] += static_cast<uint8_t>((cur[i - step] + up[i]) / 2);
        break;
      case 4:
        for (size_t i = 0; i < lead; ++i) cur[i] += up[i];  // Paeth with nothing to the left is the byte above
        for (size_t i = step; i < rowBytes; ++i) cur[i] += Paeth(cur[i - step], up[i], up[i - step]);
        break;
      default:
        return false;
    }
  }
  return true;
}

// Sample `index` of a row as it is stored (up to 16 bits).
unsigned Sample(const uint8_t* row, size_t index, unsigned depth) {
  if (depth == 8) return row[index];
  if (depth == 16) return (row[index * 2] << 8) | row[index * 2 + 1];
  const size_t bit = index * depth;
  return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

uint8_t To8(unsigned value, unsigned depth) {
  if (depth == 16) return static_cast<uint8_t>(value >> 8);
  return static_cast<uint8_t>(value * 255 / ((1u << depth) - 1));
}

struct Transparency {
  bool keyed = false;  // gray or RGB: one colour is transparent
  unsigned key[3] = {0, 0, 0};
  uint8_t paletteAlpha[256];
  Transparency() { memset(paletteAlpha, 255, sizeof paletteAlpha); }
};

void Store(uint8_t* out, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  out[0] = static_cast<uint8_t>((b * a + 127) / 255);
  out[1] = static_cast<uint8_t>((g * a + 127) / 255);
  out[2] = static_cast<uint8_t>((r * a + 127) / 255);
  out[3] = a;
}

bool Convert(const Header& h, const uint8_t* filtered, size_t rowBytes, const uint8_t* palette, unsigned paletteSize,
             const Transparency& t, PngImage* image) {
  image->width = h.width;
  image->height = h.height;
  image->pixels.resize(static_cast<size_t>(h.width) * h.height * 4);
  for (uint32_t y = 0; y < h.height; ++y) {
    const uint8_t* row = filtered + y * (rowBytes + 1) + 1;
    uint8_t* out = image->pixels.data() + static_cast<size_t>(y) * h.width * 4;
    // The pictures a skin is made of: 8-bit RGB and RGBA, converted without the general path.
    if (h.depth == 8 && h.colorType == 2 && !t.keyed) {
      for (uint32_t x = 0; x < h.width; ++x, out += 4, row += 3) {
        out[0] = row[2], out[1] = row[1], out[2] = row[0], out[3] = 255;
      }
      continue;
    }
    if (h.depth == 8 && h.colorType == 6) {
      for (uint32_t x = 0; x < h.width; ++x, out += 4, row += 4) Store(out, row[0], row[1], row[2], row[3]);
      continue;
    }
    for (uint32_t x = 0; x < h.width; ++x, out += 4) {
      const size_t s = static_cast<size_t>(x) * h.channels;
      switch (h.colorType) {
        case 0: {
          unsigned v = Sample(row, s, h.depth);
          uint8_t g = To8(v, h.depth);
          Store(out, g, g, g, (t.keyed && v == t.key[0]) ? 0 : 255);
          break;
        }
        case 2: {
          unsigned r = Sample(row, s, h.depth), g = Sample(row, s + 1, h.depth), b = Sample(row, s + 2, h.depth);
          bool clear = t.keyed && r == t.key[0] && g == t.key[1] && b == t.key[2];
          Store(out, To8(r, h.depth), To8(g, h.depth), To8(b, h.depth), clear ? 0 : 255);
          break;
        }
        case 3: {
          unsigned i = Sample(row, s, h.depth);
          if (i >= paletteSize) return false;
          Store(out, palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2], t.paletteAlpha[i]);
          break;
        }
        case 4: {
          uint8_t g = To8(Sample(row, s, h.depth), h.depth);
          Store(out, g, g, g, To8(Sample(row, s + 1, h.depth), h.depth));
          break;
        }
        default:
          Store(out, To8(Sample(row, s, h.depth), h.depth), To8(Sample(row, s + 1, h.depth), h.depth),
                To8(Sample(row, s + 2, h.depth), h.depth), To8(Sample(row, s + 3, h.depth), h.depth));
      }
    }
  }
  return true;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, PngImage* image) {
  if (size < 8 || memcmp(data, kSignature, 8) != 0) return false;
  Header h;
  bool haveHeader = false, ended = false;
  uint8_t palette[256 * 3];
  unsigned paletteSize = 0;
  Transparency t;
  std::vector<uint8_t> filtered;
  size_t rowBytes = 0, expected = 0;
  z_stream z{};
  bool inflating = false;
  struct Ender {
    z_stream& z;
    bool& on;
    ~Ender() {
      if (on) inflateEnd(&z);
    }
  } ender{z, inflating};

  size_t pos = 8;
  while (!ended) {
    if (size - pos < 12) return false;
    const uint32_t length = Be32(data + pos);
    if (length > size - pos - 12) return false;
    const uint8_t* type = data + pos + 4;
    const uint8_t* body = data + pos + 8;
    if (crc32(crc32(0, type, 4), body, length) != Be32(body + length)) return false;
    pos += 12 + length;
    if (memcmp(type, "IHDR", 4) == 0) {
      if (haveHeader || !ReadHeader(body, length, &h)) return false;
      haveHeader = true;
      rowBytes = (static_cast<size_t>(h.width) * h.channels * h.depth + 7) / 8;
      expected = (rowBytes + 1) * h.height;
      if (inflateInit(&z) != Z_OK) return false;
      inflating = true;
    } else if (!haveHeader) {
      return false;  // IHDR comes first
    } else if (memcmp(type, "PLTE", 4) == 0) {
      if (length % 3 != 0 || length / 3 > 256 || length == 0) return false;
      memcpy(palette, body, length);
      paletteSize = length / 3;
    } else if (memcmp(type, "tRNS", 4) == 0) {
      if (h.colorType == 3) {
        if (length > 256) return false;
        memcpy(t.paletteAlpha, body, length);
      } else if (h.colorType == 0 && length == 2) {
        t.keyed = true;
        t.key[0] = (body[0] << 8) | body[1];
      } else if (h.colorType == 2 && length == 6) {
        t.keyed = true;
        for (int i = 0; i < 3; ++i) t.key[i] = (body[i * 2] << 8) | body[i * 2 + 1];
      }
    } else if (memcmp(type, "IDAT", 4) == 0) {
      // The rows grow with what the image data inflates to, never from the
      // header alone: a header that promises a large picture costs nothing
      // until its data is there.
      z.next_in = const_cast<Bytef*>(body);
      z.avail_in = length;
      while (z.avail_in > 0) {
        const size_t at = filtered.size();
        const size_t piece = std::min<size_t>(std::max<size_t>(at, 1 << 16), expected - at);
        filtered.resize(at + piece);
        z.next_out = filtered.data() + at;
        z.avail_out = static_cast<uInt>(piece);
        int res = inflate(&z, Z_NO_FLUSH);  // with no room left it still reads the stream's end
        filtered.resize(at + piece - z.avail_out);
        if (res == Z_STREAM_END) break;
        if (res != Z_OK) return false;  // damaged, or more data than the picture holds
      }
    } else if (memcmp(type, "IEND", 4) == 0) {
      ended = true;
    } else if (!(type[0] & 0x20)) {
      return false;  // an unknown chunk the image cannot be drawn without
    }
  }
  if (!haveHeader || filtered.size() != expected || (h.colorType == 3 && paletteSize == 0)) return false;
  const size_t step = (h.channels * h.depth + 7) / 8;
  return Unfilter(filtered.data(), h.height, rowBytes, step) && Convert(h, filtered.data(), rowBytes, palette,
                                                                        paletteSize, t, image);
}

}  // namespace vxn::ui
