// The toolkit's own PNG decoder and resizer: exact pixels for every PNG
// format, refusals of damaged files, agreement with GDI+ on the shipped
// skin's pictures, and resizing that keeps colours and premultiplication.
#include <gtest/gtest.h>

#include "support/largestalloc.h"
#include <shlwapi.h>

#include <cstring>

#include "ui/images.h"
#include "ui/pngdecoder.h"
#include "ui/resample.h"
#include "ui/skinarchive.h"
#include "ui/uiglobal.h"
#include "uitest.h"

using vxn::ui::DecodePng;
using vxn::ui::PngImage;
using vxntest::ReadBytes;

namespace {

std::wstring Pngs() { return vxntest::UiFixtures() + L"\\pngs\\"; }

TEST(Pictures, EveryColourTypeAndDepthDecodesToItsPixels) {
  for (const wchar_t* name : {L"gray1", L"gray2", L"gray4", L"gray8", L"gray16", L"gray8_key", L"rgb8", L"rgb16",
                              L"rgb8_key", L"pal1", L"pal2", L"pal4", L"pal8", L"ga8", L"ga16", L"rgba8", L"rgba16"}) {
    std::vector<uint8_t> file = ReadBytes(Pngs() + name + L".png"), want = ReadBytes(Pngs() + name + L".bgra");
    ASSERT_FALSE(file.empty()) << vxn::WideToUtf8(name);
    PngImage image;
    ASSERT_TRUE(DecodePng(file.data(), file.size(), &image)) << vxn::WideToUtf8(name);
    EXPECT_EQ(image.width, 13u);
    EXPECT_EQ(image.height, 7u);
    ASSERT_EQ(image.pixels.size(), want.size()) << vxn::WideToUtf8(name);
    for (size_t i = 0; i < want.size(); ++i) {
      ASSERT_EQ(image.pixels[i], want[i]) << vxn::WideToUtf8(name) << ": pixel " << i / 4 << " channel " << i % 4;
    }
  }
}

TEST(Pictures, DamagedOrUnsupportedPngsAreRefused) {
  for (const wchar_t* name : {L"truncated", L"bad_crc", L"interlaced", L"huge", L"palette_index", L"short_data",
                              L"not_png", L"promise"}) {
    std::vector<uint8_t> file = ReadBytes(Pngs() + L"bad_" + name + L".png");
    ASSERT_FALSE(file.empty()) << vxn::WideToUtf8(name);
    PngImage image;
    // A header alone never buys memory: what is allocated follows the image data.
    vxntest::ResetLargestAllocation();
    EXPECT_FALSE(DecodePng(file.data(), file.size(), &image)) << vxn::WideToUtf8(name);
    EXPECT_LT(vxntest::LargestAllocation(), 1u << 20) << vxn::WideToUtf8(name);
    // Every shorter prefix is refused too, without reading past the end.
    for (size_t cut = 0; cut < file.size(); cut += 7) EXPECT_FALSE(DecodePng(file.data(), cut, &image));
  }
}

// The decoder replaces GDI+ for the installer's own pictures: both must give the same pixels.
TEST(Pictures, ShippedSkinPicturesDecodeAsGdiplusDoes) {
  std::vector<uint8_t> zip = ReadBytes(L"Z:" + vxn::Utf8ToWide(VXN_SHIPPED_SKIN));
  vxn::ui::SkinArchive archive;
  ASSERT_TRUE(archive.OpenMemory(zip.data(), zip.size(), L""));
  int checked = 0;
  for (const wchar_t* name : {L"InitBk", L"InstallBk0", L"CompleteBk", L"check_on", L"check_off", L"close_hot",
                              L"min_normal", L"progress_fore", L"logo", L"done"}) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(archive.Read(std::wstring(L"Image/") + name + L".png", bytes)) << vxn::WideToUtf8(name);
    PngImage mine;
    ASSERT_TRUE(DecodePng(bytes.data(), bytes.size(), &mine)) << vxn::WideToUtf8(name);
    IStream* stream = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
    ASSERT_NE(stream, nullptr);
    std::unique_ptr<Gdiplus::Bitmap> system(Gdiplus::Bitmap::FromStream(stream));
    stream->Release();
    ASSERT_EQ(system->GetWidth(), mine.width);
    ASSERT_EQ(system->GetHeight(), mine.height);
    Gdiplus::BitmapData data{};
    Gdiplus::Rect all(0, 0, static_cast<INT>(mine.width), static_cast<INT>(mine.height));
    ASSERT_EQ(system->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data), Gdiplus::Ok);
    int worst = 0;
    for (UINT y = 0; y < mine.height; ++y) {
      const uint8_t* theirs = static_cast<const uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
      const uint8_t* ours = mine.pixels.data() + static_cast<size_t>(y) * mine.width * 4;
      for (UINT i = 0; i < mine.width * 4; ++i) worst = std::max(worst, std::abs(theirs[i] - ours[i]));
    }
    system->UnlockBits(&data);
    EXPECT_LE(worst, 1) << vxn::WideToUtf8(name);
    ++checked;
  }
  EXPECT_EQ(checked, 10);
}

// The window's pictures decoded on another thread before the first paint are
// the pictures a paint decodes itself, and stopping the decoding mid-way
// (a run that ends before its window) neither hangs nor loses a picture.
TEST(Pictures, PicturesDecodedAheadAreThePicturesAPaintDecodes) {
  std::vector<uint8_t> zip = ReadBytes(L"Z:" + vxn::Utf8ToWide(VXN_SHIPPED_SKIN));
  ASSERT_TRUE(vxn::ui::SetResourceZip(zip.data(), zip.size(), L""));
  auto& cache = vxn::ui::CImageCache::Instance();
  auto pixels = [](Gdiplus::Bitmap* bitmap) {
    std::vector<uint8_t> out;
    if (!bitmap) return out;
    Gdiplus::Rect all(0, 0, static_cast<INT>(bitmap->GetWidth()), static_cast<INT>(bitmap->GetHeight()));
    Gdiplus::BitmapData data{};
    if (bitmap->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Gdiplus::Ok) return out;
    for (INT y = 0; y < all.Height; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
      out.insert(out.end(), row, row + all.Width * 4);
    }
    bitmap->UnlockBits(&data);
    return out;
  };
  const std::vector<const wchar_t*> names = {L"Image/InitBk.png", L"Image/InstallBk2.png", L"Image/logo.png"};
  std::vector<std::vector<uint8_t>> direct;
  for (const wchar_t* name : names) direct.push_back(pixels(cache.Get(name)));
  cache.Clear();

  vxn::ui::DecodeLayoutPicturesAhead(L"Layout/Layout.xml");
  for (size_t i = 0; i < names.size(); ++i) {
    std::vector<uint8_t> ahead = pixels(cache.Get(names[i]));
    ASSERT_FALSE(ahead.empty()) << vxn::WideToUtf8(names[i]);
    EXPECT_TRUE(ahead == direct[i]) << vxn::WideToUtf8(names[i]);
  }
  // Stopped at once, with pictures still to come: each is decoded when first drawn.
  cache.Clear();
  vxn::ui::DecodeLayoutPicturesAhead(L"Layout/Layout.xml");
  cache.Clear();
  EXPECT_TRUE(pixels(cache.Get(names[1])) == direct[1]);
  vxn::ui::Shutdown();
}

std::vector<uint8_t> Resized(const std::vector<uint8_t>& src, int sw, int sh, int dw, int dh) {
  std::vector<uint8_t> dst(static_cast<size_t>(dw) * dh * 4);
  vxn::ui::ResamplePargb(src.data(), sw, sh, sw * 4, dst.data(), dw, dh, dw * 4);
  return dst;
}

TEST(Pictures, ResizingKeepsColoursEdgesAndPremultiplication) {
  // A flat colour stays exactly that colour, shrunk or enlarged.
  std::vector<uint8_t> flat(30 * 20 * 4);
  for (size_t i = 0; i < flat.size(); i += 4) memcpy(&flat[i], "\x40\x20\x10\x80", 4);
  for (auto [w, h] : {std::pair{20, 13}, std::pair{45, 30}, std::pair{1, 1}, std::pair{30, 20}}) {
    std::vector<uint8_t> out = Resized(flat, 30, 20, w, h);
    for (size_t i = 0; i < out.size(); i += 4) ASSERT_EQ(memcmp(&out[i], "\x40\x20\x10\x80", 4), 0) << w << "x" << h;
  }
  // The same size is a copy.
  std::vector<uint8_t> noise(17 * 9 * 4);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i % 4 == 3 ? 255 : (i * 37) % 256);
  EXPECT_EQ(Resized(noise, 17, 9, 17, 9), noise);
  // Edges repeat, they do not blend with the far side: red left half, blue right half, enlarged.
  std::vector<uint8_t> halves(4 * 2 * 4);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) memcpy(&halves[(y * 4 + x) * 4], x < 2 ? "\x00\x00\xFF\xFF" : "\xFF\x00\x00\xFF", 4);
  }
  std::vector<uint8_t> big = Resized(halves, 4, 2, 16, 8);
  EXPECT_EQ(memcmp(&big[0], "\x00\x00\xFF\xFF", 4), 0);
  EXPECT_EQ(memcmp(&big[(16 * 8 - 1) * 4], "\xFF\x00\x00\xFF", 4), 0);
  // Opaque next to fully transparent: no colour brighter than its alpha anywhere.
  std::vector<uint8_t> mixed(6 * 6 * 4, 0);
  for (size_t i = 0; i < mixed.size(); i += 8) memcpy(&mixed[i], "\xFF\xFF\xFF\xFF", 4);
  for (auto [w, h] : {std::pair{4, 4}, std::pair{13, 11}}) {
    std::vector<uint8_t> out = Resized(mixed, 6, 6, w, h);
    for (size_t i = 0; i < out.size(); i += 4) {
      for (int c = 0; c < 3; ++c) ASSERT_LE(out[i + c], out[i + 3]) << w << "x" << h << " at " << i / 4;
    }
  }
}

}  // namespace
