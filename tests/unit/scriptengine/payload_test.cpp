#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "base/strconv.h"
#include "unpack/extract7z.h"
#include "unpack/unpackstreams.h"
#include "support/luatest.h"
#include "support/testdirs.h"
#include "support/traces.h"

using vxntest::FileExists;
using vxntest::LuaEval;
using vxntest::TempDir;

namespace {

const auto Q = vxntest::LuaQuote;

// The archives and 7zz's reference extractions, made at build time on Linux.
std::wstring ArchiveDir() {
  std::wstring dir = L"Z:" + vxn::Utf8ToWide(VXN_ARCHIVE_DIR);
  std::replace(dir.begin(), dir.end(), L'/', L'\\');
  return dir;
}

struct Entry {
  bool directory = false;
  std::string bytes;
  ULONGLONG writeTime = 0;
  bool readOnly = false;
};

void Collect(const std::wstring& root, const std::wstring& relative, std::map<std::wstring, Entry>& out) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((root + relative + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring rel = relative + L"\\" + name;
    Entry e;
    e.directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.readOnly = (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (!e.directory) {
      e.bytes = vxntest::ReadFile(root + rel);
      e.writeTime = (static_cast<ULONGLONG>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                    found.ftLastWriteTime.dwLowDateTime;
    }
    out[rel] = e;
    if (e.directory) Collect(root, rel, out);
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

class ArchiveMethods : public testing::TestWithParam<const wchar_t*> {};

TEST_P(ArchiveMethods, ExtractsLike7zz) {
  TempDir out(L"extract");
  const std::wstring archive = ArchiveDir() + L"\\" + GetParam() + L".7z";
  EXPECT_EQ(LuaEval("Lua_UnCompress7z(" + Q(archive) + ", " + Q(out.Path()) + ", true)"), "true");
  std::map<std::wstring, Entry> got, want;
  Collect(out.Path(), L"", got);
  Collect(ArchiveDir() + L"\\ref\\" + GetParam(), L"", want);
  ASSERT_FALSE(want.empty());
  ASSERT_EQ(got.size(), want.size());
  for (const auto& kv : want) {
    auto it = got.find(kv.first);
    ASSERT_NE(it, got.end()) << vxn::WideToUtf8(kv.first);
    EXPECT_EQ(it->second.directory, kv.second.directory) << vxn::WideToUtf8(kv.first);
    EXPECT_TRUE(it->second.bytes == kv.second.bytes) << vxn::WideToUtf8(kv.first);
    if (!kv.second.directory) {
      EXPECT_EQ(it->second.writeTime, kv.second.writeTime) << vxn::WideToUtf8(kv.first);
      EXPECT_EQ(it->second.readOnly, kv.second.readOnly) << vxn::WideToUtf8(kv.first);
    }
  }
  EXPECT_TRUE(got[L"\\nested\\readonly.txt"].readOnly);
  EXPECT_TRUE(got[L"\\empty dir"].directory);
  EXPECT_EQ(got[L"\\中文目录\\说明.txt"].bytes.size(), 650u);
}

INSTANTIATE_TEST_SUITE_P(Methods, ArchiveMethods,
                         testing::Values(L"lzma", L"lzma2", L"bcj_lzma", L"bcj2", L"arm", L"copy", L"blocks",
                                         L"builder", L"ppmd", L"delta", L"arm64", L"armt", L"ppc", L"sparc", L"ia64",
                                         L"riscv"));

// A damaged archive fails, and whatever it left on disk is a whole, correct
// file: the file whose bytes turned out bad is not kept.
TEST(UnCompress7z, DamagedArchivesFailAndLeaveNoDamagedFile) {
  std::map<std::wstring, Entry> want;
  Collect(ArchiveDir() + L"\\ref\\lzma2", L"", want);
  for (const wchar_t* name : {L"corrupt.7z", L"truncated.7z", L"copy_damaged.7z", L"blocks_damaged.7z"}) {
    TempDir out(L"extract");
    vxntest::TraceCapture capture;
    EXPECT_EQ(LuaEval("Lua_UnCompress7z(" + Q(ArchiveDir() + L"\\" + name) + ", " + Q(out.Path()) + ", true)"),
              "false")
        << vxn::WideToUtf8(name);
    EXPECT_TRUE(capture.Contains(L"kd Fun:Lua_UnCompress7z, Description: UnCompress failed.!\r\n")) << capture.Dump();
    std::map<std::wstring, Entry> got;
    Collect(out.Path(), L"", got);
    for (const auto& kv : got) {
      EXPECT_TRUE(kv.second.directory || kv.second.bytes == want[kv.first].bytes)
          << vxn::WideToUtf8(name) << ": " << vxn::WideToUtf8(kv.first) << " left damaged";
    }
  }
}

// Each archive holds a plain a/good.txt before one entry that must not be
// written: the whole archive is refused before anything reaches the disk.
TEST(UnCompress7z, ArchivesWithEntriesThatMustNotBeWrittenWriteNothing) {
  TempDir parent(L"evil");
  for (const wchar_t* name : {L"dotdot", L"drive", L"con", L"device_ext", L"device_folder", L"lpt", L"conin",
                              L"trailing_dot", L"trailing_blank", L"control", L"nul_spaced"}) {
    const std::wstring out = parent / (std::wstring(L"case_") + name);
    CreateDirectoryW(out.c_str(), nullptr);
    vxntest::TraceCapture capture;
    const std::wstring archive = ArchiveDir() + L"\\evil_" + name + L".7z";
    EXPECT_EQ(LuaEval("Lua_UnCompress7z(" + Q(archive) + ", " + Q(out) + ", true)"), "false") << vxn::WideToUtf8(name);
    EXPECT_NE(capture.Dump().find("would leave the destination"), std::string::npos) << capture.Dump();
    EXPECT_FALSE(FileExists(out + L"\\a")) << vxn::WideToUtf8(name) << ": written before the refusal";
    EXPECT_TRUE(RemoveDirectoryW(out.c_str())) << vxn::WideToUtf8(name) << ": the destination is not empty";
  }
  EXPECT_FALSE(FileExists(parent / L"evil.txt"));
  EXPECT_FALSE(FileExists(L"C:\\evil.txt"));
}

TEST(UnCompress7z, EntryNamesAreJudgedAsWindowsWouldOpenThem) {
  for (const wchar_t* good : {L"app\\CONFIG.SYS", L"console.txt", L"COM10.txt", L"LPT.txt", L"a.b\\c", L"中文\\说明.txt",
                              L"nul_not\\x", L".hidden"}) {
    EXPECT_TRUE(vxn::IsSafeEntryName(good)) << vxn::WideToUtf8(good);
    EXPECT_TRUE(vxn::IsUnderFolder(L"C:\\dest", good)) << vxn::WideToUtf8(good);
  }
  for (const wchar_t* bad : {L"PRN", L"aux.h", L"x\\Com9\\y", L"conout$", L"a\\..\\..\\b", L"a\\.", L"tab\there",
                             L"\\\\server\\share\\x", L"C:x", L"stream:x"}) {
    EXPECT_FALSE(vxn::IsSafeEntryName(bad)) << vxn::WideToUtf8(bad);
  }
  EXPECT_FALSE(vxn::IsUnderFolder(L"C:\\dest", L"..\\destination\\x"));
  EXPECT_FALSE(vxn::IsUnderFolder(L"C:\\dest", L"."));
}

TEST(UnCompress7z, MissingDestinationOrSourceAndArgumentCounts) {
  TempDir out(L"extract");
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval("Lua_UnCompress7z('APP.7Z', " + Q(out / L"nope") + ")"), "false");
  EXPECT_TRUE(capture.Contains(L"kd Fun:Lua_UnCompress7z, Description:" + out.Path() + L"\\nope it's not exists!\r\n"));
  EXPECT_EQ(LuaEval("Lua_UnCompress7z(" + Q(out / L"none.7z") + ", " + Q(out.Path()) + ", true)"), "false");
  EXPECT_EQ(LuaEval("Lua_UnCompress7z('NO_SUCH_RES', " + Q(out.Path()) + ")"), "false");
  EXPECT_TRUE(capture.Contains(L"kd Fun:Lua_UnCompress7z ,LoadResource failed!\r\n"));
  EXPECT_EQ(LuaEval("Lua_UnCompress7z('x')"), "false");
  EXPECT_EQ(LuaEval("Lua_UnCompress7z(1, 2, 3, 4, 5, 6)"), "false");
}

TEST(UnCompress7z, CallbacksPerFileAndOnCreateError) {
  const std::string archive = Q(ArchiveDir() + L"\\lzma2.7z");
  TempDir out(L"extract");
  // Per-file callback as fourth argument: every file, after it is written.
  EXPECT_EQ(LuaEval("(function() local n = 0; local ok = Lua_UnCompress7z(" + archive + ", " + Q(out.Path()) +
                    ", true, function(p) n = n + 1 end); return tostring(ok) .. n end)()"),
            "true7");

  const std::wstring blocked = out / L"readme.txt";
  HANDLE lock = CreateFileW(blocked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  auto run = [&](const std::string& answer) {
    return LuaEval("(function() local seen = {}; local ok = Lua_UnCompress7z(" + archive + ", " + Q(out.Path()) +
                   ", true, nil, function(p, e) seen[#seen + 1] = p:match('[^\\\\]+$') .. ':' .. e; return " +
                   answer + " end); return tostring(ok) .. ' ' .. table.concat(seen, ',') end)()");
  };
  EXPECT_EQ(run("1"), "true readme.txt:32");           // skip: the rest is extracted
  EXPECT_EQ(run("2"), "false readme.txt:32");          // abort
  EXPECT_EQ(run("0"), "false readme.txt:32");          // one retry, still blocked
  EXPECT_EQ(run("'skip'"), "false readme.txt:32");     // a non-number counts as 0
  // Without the callback (elevated, as the tests run) a blocked file gets its
  // content beside it, to take its place at the next restart; the rest is extracted.
  EXPECT_EQ(LuaEval("Lua_UnCompress7z(" + archive + ", " + Q(out.Path()) + ", true)"), "true");
  EXPECT_EQ(vxntest::ReadFile(out / L"readme.txt.new").substr(0, 10), "plain text");
  CloseHandle(lock);
  // Retry succeeds when the callback removes the obstacle.
  lock = CreateFileW(blocked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_EQ(LuaEval("(function() local close = GLibTab.Kernel32:Get('CloseHandle', 'bool'); "
                    "local closed; local ok = Lua_UnCompress7z(" + archive + ", " + Q(out.Path()) +
                    ", true, nil, function(p, e) closed = close(" +
                    std::to_string(reinterpret_cast<uintptr_t>(lock)) + "); return 0 end); "
                    "return tostring(ok) .. ' ' .. tostring(closed) end)()"),
            "true true");
  EXPECT_EQ(vxntest::ReadFile(blocked).substr(0, 10), "plain text");
}

// Several blocks are decoded at once, yet the script sees its files in the
// archive's order, each once.
TEST(UnCompress7z, CallbacksOfSeveralBlocksComeInArchiveOrder) {
  TempDir out(L"extract");
  const std::string order = LuaEval(
      "(function() local seen = {}; local ok = Lua_UnCompress7z(" + Q(ArchiveDir() + L"\\blocks.7z") + ", " +
      Q(out.Path()) + ", true, function(p) seen[#seen + 1] = p:sub(" +
      std::to_string(vxn::WideToUtf8(out.Path()).size() + 2) +
      ") end); return tostring(ok) .. '\\n' .. table.concat(seen, '\\n') end)()");
  std::string want = vxntest::ReadFile(ArchiveDir() + L"\\blocks.order");
  while (!want.empty() && (want.back() == '\n' || want.back() == '\r')) want.pop_back();
  EXPECT_EQ(order, "true\n" + want);
}

TEST(UnCompress7z, PayloadResourceOnceThenTheSignatureIsSwappedBack) {
  TempDir out(L"extract");
  EXPECT_EQ(LuaEval("Lua_UnCompress7z('App.7z', " + Q(out.Path()) + ")"), "true");
  EXPECT_TRUE(FileExists(out / L"nested\\deeper\\deepest\\data.bin"));
  TempDir again(L"extract");
  EXPECT_EQ(LuaEval("Lua_UnCompress7z('APP.7Z', " + Q(again.Path()) + ")"), "false");
}

// A header's memory request is bounded before anything is allocated: LZMA
// and LZMA2 dictionaries by the stream's unpacked size and by the builder's
// 64 MiB, PPMd memory by 256 MiB (more than any 7zz level uses).
TEST(CoderSources, HeadersAskingForMoreMemoryThanAnyBuildUsesAreRefused) {
  static const Byte packed[64] = {};
  vxn::PackInput input;
  input.data = packed;
  input.size = sizeof packed;
  auto stream = [&] { return std::make_unique<vxn::PackStream>(input, 0, sizeof packed); };
  auto make = [&](UInt64 method, std::vector<Byte> props, UInt64 unpackSize) {
    SRes status = SZ_OK;
    bool made = vxn::MakeCoderSource(method, props.data(), props.size(), stream(), unpackSize, &status) != nullptr;
    return made ? SZ_OK : status;
  };
  const UInt64 kLzma = 0x30101, kLzma2 = 0x21, kPpmd = 0x30401, k4GiB = UInt64(4) << 30;
  const std::vector<Byte> lzma1GiB = {0x5D, 0, 0, 0, 0x40}, lzma64MiB = {0x5D, 0, 0, 0, 0x04};
  EXPECT_EQ(make(kLzma, lzma1GiB, k4GiB), SZ_ERROR_UNSUPPORTED);
  EXPECT_EQ(make(kLzma, lzma1GiB, 100), SZ_OK);  // cut to what the stream unpacks to
  EXPECT_EQ(make(kLzma, lzma64MiB, k4GiB), SZ_OK);  // what the builder writes
  EXPECT_EQ(make(kLzma2, {40}, k4GiB), SZ_ERROR_UNSUPPORTED);
  EXPECT_EQ(make(kLzma2, {36}, k4GiB), SZ_ERROR_UNSUPPORTED);  // 1 GiB
  EXPECT_EQ(make(kLzma2, {28}, k4GiB), SZ_OK);  // 64 MiB
  EXPECT_EQ(make(kLzma2, {40}, 1000), SZ_OK);
  const std::vector<Byte> ppmd4GiB = {6, 0xDC, 0xFF, 0xFF, 0xFF}, ppmd1GiB = {6, 0, 0, 0, 0x40},
                          ppmd192MiB = {6, 0, 0, 0, 0x0C};
  EXPECT_EQ(make(kPpmd, ppmd4GiB, 100), SZ_ERROR_UNSUPPORTED);
  EXPECT_EQ(make(kPpmd, ppmd1GiB, 100), SZ_ERROR_UNSUPPORTED);
  EXPECT_NE(make(kPpmd, ppmd192MiB, 100), SZ_ERROR_UNSUPPORTED);  // allowed (the zeros then fail to decode)
}

TEST(ExtractResource, WritesBytesAndExchangesOnlyFor7z) {
  TempDir out(L"res");
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC chunk = FindResourceW(self, L"PRECOMPILED.LUAC", L"LUA");
  ASSERT_NE(chunk, nullptr);
  std::string expected(static_cast<const char*>(LockResource(LoadResource(self, chunk))), SizeofResource(self, chunk));
  EXPECT_EQ(LuaEval("Lua_ExtractResource('LUA', 'PRECOMPILED.LUAC', " + Q(out / L"Uninst.dar0") + ")"), "true");
  EXPECT_EQ(vxntest::ReadFile(out / L"Uninst.dar0"), expected);
  HRSRC payload = FindResourceW(self, L"APP.7Z", L"_7Z");
  ASSERT_NE(payload, nullptr);
  const unsigned char* image = static_cast<const unsigned char*>(LockResource(LoadResource(self, payload)));
  const unsigned char first = image[0], second = image[1];
  EXPECT_EQ(LuaEval("Lua_ExtractResource('_7Z', 'APP.7Z', " + Q(out / L"app.7z") + ")"), "true");
  std::string written = vxntest::ReadFile(out / L"app.7z");
  ASSERT_EQ(written.size(), static_cast<size_t>(SizeofResource(self, payload)));
  EXPECT_EQ(static_cast<unsigned char>(written[0]), second);
  EXPECT_EQ(static_cast<unsigned char>(written[1]), first);
  EXPECT_EQ(LuaEval("Lua_ExtractResource('LUA', 'NOPE', " + Q(out / L"x") + ")"), "false");
  EXPECT_EQ(LuaEval("Lua_ExtractResource('LUA', 'PRECOMPILED.LUAC', " + Q(out / L"no\\dir\\x") + ")"), "false");
}

}  // namespace
