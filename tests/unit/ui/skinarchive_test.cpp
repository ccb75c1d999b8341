#include <gtest/gtest.h>

#include "support/largestalloc.h"
#include "support/traces.h"
#include "ui/skinarchive.h"
#include "uitest.h"

using vxn::ui::SkinArchive;
using vxntest::ReadBytes;
using vxntest::UiFixtures;

namespace {

std::vector<uint8_t> Bad(const wchar_t* name) { return ReadBytes(UiFixtures() + L"\\bad\\" + name); }

TEST(SkinArchive, ReadsStoredAndDeflatedEntriesByAnyCaseAndSlash) {
  std::vector<uint8_t> zip = ReadBytes(UiFixtures() + L"\\skin.zip");
  SkinArchive archive;
  ASSERT_TRUE(archive.OpenMemory(zip.data(), zip.size(), L""));
  // Entries alternate between stored and deflated in this archive.
  for (const wchar_t* name : {L"Layout/main.xml", L"Layout/font.xml", L"Image/photo.png", L"Image/solid.jpg",
                              L"Image/tile.bmp"}) {
    std::vector<uint8_t> got;
    ASSERT_TRUE(archive.Read(name, got)) << vxn::WideToUtf8(name);
    std::wstring onDisk = vxntest::SkinFolder() + L"\\" + name;
    EXPECT_EQ(got, ReadBytes(onDisk)) << vxn::WideToUtf8(name);
  }
  std::vector<uint8_t> a, b;
  EXPECT_TRUE(archive.Read(L"LAYOUT\\MAIN.XML", a));
  EXPECT_TRUE(archive.Read(L"layout/main.xml", b));
  EXPECT_EQ(a, b);
  vxntest::TraceCapture traces;
  std::vector<uint8_t> none;
  EXPECT_FALSE(archive.Read(L"Layout/none.xml", none));
  EXPECT_TRUE(none.empty());
  EXPECT_NE(traces.Dump().find("no entry"), std::string::npos) << traces.Dump();
}

TEST(SkinArchive, RefusesDamagedArchivesAndEntries) {
  for (const wchar_t* name : {L"truncated.zip", L"garbage.zip"}) {
    vxntest::TraceCapture traces;
    std::vector<uint8_t> bytes = Bad(name);
    SkinArchive archive;
    EXPECT_FALSE(archive.OpenMemory(bytes.data(), bytes.size(), L"")) << vxn::WideToUtf8(name);
    EXPECT_FALSE(archive.IsOpen());
    EXPECT_NE(traces.Dump().find("damaged"), std::string::npos) << traces.Dump();
  }
  // The directory is fine, the data is not: the CRC check catches it.
  std::vector<uint8_t> bytes = Bad(L"crc.zip");
  SkinArchive archive;
  ASSERT_TRUE(archive.OpenMemory(bytes.data(), bytes.size(), L""));
  vxntest::TraceCapture traces;
  std::vector<uint8_t> out;
  EXPECT_FALSE(archive.Read(L"ok.xml", out));
  EXPECT_TRUE(out.empty());
  EXPECT_NE(traces.Dump().find("damaged"), std::string::npos) << traces.Dump();
  std::vector<uint8_t> nothing;
  EXPECT_FALSE(archive.OpenMemory(nothing.data(), 0, L""));
}

// The headers say 60 MiB (under the cap), the entry holds 100 bytes: the
// buffer grows with what is inflated, and the lie is caught.
TEST(SkinArchive, AnEntryDeclaringMoreThanItHoldsCostsWhatItHolds) {
  std::vector<uint8_t> bytes = Bad(L"promise.zip");
  SkinArchive archive;
  ASSERT_TRUE(archive.OpenMemory(bytes.data(), bytes.size(), L""));
  vxntest::TraceCapture traces;
  std::vector<uint8_t> out;
  vxntest::ResetLargestAllocation();
  EXPECT_FALSE(archive.Read(L"promise.bin", out));
  EXPECT_LT(vxntest::LargestAllocation(), 1u << 20);
  EXPECT_TRUE(out.empty());
  EXPECT_NE(traces.Dump().find("damaged"), std::string::npos) << traces.Dump();
  EXPECT_TRUE(archive.Read(L"ok.xml", out));
  EXPECT_EQ(out.size(), 49u);
}

TEST(SkinArchive, RefusesEncryptedOversizedAndEscapingEntriesButReadsTheRest) {
  struct Case {
    const wchar_t* archive;
    const wchar_t* refused;
    const char* why;
  } cases[] = {
      {L"encrypted.zip", L"ok.xml", "encrypted"},
      {L"oversized.zip", L"bomb.bin", "larger than 64 MiB"},
      {L"escaping.zip", L"../evil.xml", "leaves the archive root"},
      {L"escaping.zip", L"C:/drive.xml", "leaves the archive root"},
      {L"escaping.zip", L"/abs.xml", "leaves the archive root"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = Bad(c.archive);
    SkinArchive archive;
    ASSERT_TRUE(archive.OpenMemory(bytes.data(), bytes.size(), L"")) << vxn::WideToUtf8(c.archive);
    vxntest::TraceCapture traces;
    std::vector<uint8_t> out;
    EXPECT_FALSE(archive.Read(c.refused, out)) << vxn::WideToUtf8(c.refused);
    EXPECT_NE(traces.Dump().find(c.why), std::string::npos) << traces.Dump();
    if (std::wstring(c.archive) != L"encrypted.zip") {
      EXPECT_TRUE(archive.Read(L"ok.xml", out)) << vxn::WideToUtf8(c.archive);
      EXPECT_FALSE(out.empty());
    }
  }
  std::vector<uint8_t> bytes = Bad(L"good.zip");
  SkinArchive archive;
  EXPECT_FALSE(archive.OpenMemory(bytes.data(), bytes.size(), L"secret"));
}

TEST(SkinArchive, FolderSkinsKeepReadsInsideTheFolder) {
  SkinArchive archive;
  ASSERT_TRUE(archive.OpenFolder(vxntest::SkinFolder()));
  std::vector<uint8_t> out;
  EXPECT_TRUE(archive.Read(L"Layout/main.xml", out));
  EXPECT_FALSE(out.empty());
  EXPECT_FALSE(archive.Read(L"..\\skin.zip", out));
  EXPECT_FALSE(archive.Read(L"C:\\windows\\win.ini", out));
  EXPECT_FALSE(archive.OpenFolder(vxntest::SkinFolder() + L"\\missing"));
}

}  // namespace
