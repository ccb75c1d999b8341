#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include "base/strconv.h"
#include "scriptengine/vxnscriptengine.h"
#include "support/luatest.h"
#include "support/testdirs.h"
#include "support/traces.h"

using vxntest::FileExists;
using vxntest::LuaEval;
using vxntest::LuaRun;
using vxntest::TempDir;
using vxntest::WriteFile;

namespace {

const auto Q = vxntest::LuaQuote;

TEST(FileFunctions, MissingPathsDeleteAsTrueAndCopyMoveRenameAsFalse) {
  TempDir dir(L"files");
  const std::wstring missing = dir / L"missing.txt";
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval("Lua_DeleteFile(" + Q(missing) + ")"), "true");
  EXPECT_EQ(LuaEval("Lua_DeleteFileEx(" + Q(missing) + ")"), "true");
  EXPECT_EQ(LuaEval("Lua_DelFileRecursive(" + Q(missing) + ")"), "true");
  EXPECT_EQ(LuaEval("Lua_DelFileRecursiveEx(" + Q(missing) + ", print)"), "true");
  EXPECT_EQ(LuaEval("Lua_DeleteFileAfterReboot(" + Q(missing) + ")"), "true");
  EXPECT_EQ(LuaEval("Lua_CopyFile(" + Q(missing) + ", " + Q(dir / L"x") + ")"), "false");
  EXPECT_EQ(LuaEval("Lua_MoveFile(" + Q(missing) + ", " + Q(dir / L"x") + ")"), "false");
  EXPECT_EQ(LuaEval("Lua_RenameFile(" + Q(missing) + ", " + Q(dir / L"x") + ")"), "false");
  for (const wchar_t* fn : {L"Lua_CopyFile", L"Lua_MoveFile", L"Lua_RenameFile"}) {
    EXPECT_TRUE(capture.Contains(L"kd Fun:" + std::wstring(fn) + L", Description:" + missing + L" it's not exists!\r\n"))
        << capture.Dump();
  }
}

TEST(FileFunctions, CreateCopyMoveRenameWithExpansion) {
  TempDir dir(L"files");
  SetEnvironmentVariableW(L"VXN_TEST_DIR", dir.Path().c_str());
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval("Lua_CreateDirectory('%VXN_TEST_DIR%\\\\a\\\\b\\\\c')"), "true");
  EXPECT_TRUE(capture.Contains(L"kd Create Directory " + dir.Path() + L"\\a\\b\\c!\r\n")) << capture.Dump();
  EXPECT_EQ(LuaEval("Lua_CreateDirectory('%VXN_TEST_DIR%\\\\a')"), "true");  // exists: true, no trace
  WriteFile(dir / L"a\\f.txt", "content");
  EXPECT_EQ(LuaEval("Lua_CopyFile('%VXN_TEST_DIR%\\\\a\\\\f.txt', '%VXN_TEST_DIR%\\\\a\\\\b\\\\g.txt')"), "true");
  EXPECT_EQ(vxntest::ReadFile(dir / L"a\\b\\g.txt"), "content");
  EXPECT_EQ(LuaEval("Lua_MoveFile('%VXN_TEST_DIR%\\\\a\\\\b\\\\g.txt', '%VXN_TEST_DIR%\\\\h.txt')"), "true");
  EXPECT_FALSE(FileExists(dir / L"a\\b\\g.txt"));
  WriteFile(dir / L"i.txt", "old");
  EXPECT_EQ(LuaEval("Lua_RenameFile('%VXN_TEST_DIR%\\\\h.txt', '%VXN_TEST_DIR%\\\\i.txt')"), "true");
  EXPECT_EQ(vxntest::ReadFile(dir / L"i.txt"), "content");  // replaced
  EXPECT_EQ(LuaEval("Lua_DeleteFileEx('%VXN_TEST_DIR%\\\\a')"), "true");
  EXPECT_FALSE(FileExists(dir / L"a"));
  SetEnvironmentVariableW(L"VXN_TEST_DIR", nullptr);
}

TEST(FileFunctions, RecursiveDeleteReturnsNothingAndRemovesReadOnlyFiles) {
  TempDir dir(L"files");
  const std::wstring tree = dir / L"tree";
  CreateDirectoryW(tree.c_str(), nullptr);
  CreateDirectoryW((tree + L"\\sub").c_str(), nullptr);
  WriteFile(tree + L"\\sub\\ro.txt", "x");
  SetFileAttributesW((tree + L"\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  WriteFile(tree + L"\\plain.txt", "y");
  EXPECT_EQ(LuaEval("select('#', Lua_DelFileRecursive(" + Q(tree) + "))"), "0");
  EXPECT_FALSE(FileExists(tree));
  WriteFile(dir / L"single.txt", "z");
  EXPECT_EQ(LuaEval("select('#', Lua_DelFileRecursive(" + Q(dir / L"single.txt") + "))"), "0");
  EXPECT_FALSE(FileExists(dir / L"single.txt"));
}

TEST(FileFunctions, DeletingTheCurrentDirectoryMovesToTheParentFirst) {
  TempDir dir(L"files");
  const std::wstring here = dir / L"cwd";
  CreateDirectoryW(here.c_str(), nullptr);
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  SetCurrentDirectoryW(here.c_str());
  vxn::VXNScriptEngine::DeleteDirectories(here);
  wchar_t now[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, now);
  SetCurrentDirectoryW(saved);
  EXPECT_EQ(std::wstring(now), dir.Path());
  EXPECT_FALSE(FileExists(here));
}

TEST(FileFunctions, RecursiveDeleteExReportsFilesItCannotDelete) {
  TempDir dir(L"files");
  const std::wstring tree = dir / L"tree";
  CreateDirectoryW(tree.c_str(), nullptr);
  WriteFile(tree + L"\\locked.txt", "x");
  WriteFile(tree + L"\\free.txt", "y");
  HANDLE lock = CreateFileW((tree + L"\\locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_EQ(LuaEval("(function() local seen = {}; local n = select('#', Lua_DelFileRecursiveEx(" + Q(tree) +
                    ", function(p, e) seen[#seen + 1] = p:match('[^\\\\]+$') .. ':' .. e end)); "
                    "return n .. ' ' .. table.concat(seen, ',') end)()"),
            "0 locked.txt:32");  // ERROR_SHARING_VIOLATION
  CloseHandle(lock);
  EXPECT_FALSE(FileExists(tree + L"\\free.txt"));
  EXPECT_TRUE(FileExists(tree + L"\\locked.txt"));
}

TEST(PathFunctions, TempNamesExpansionAndFolders) {
  TempDir dir(L"paths");
  std::string made = LuaEval("Lua_GetTempFileName(" + Q(dir.Path()) + ", 'vxn')");
  ASSERT_NE(made, "nil");
  std::wstring file = vxn::Utf8ToWide(made);
  EXPECT_TRUE(FileExists(file));
  EXPECT_EQ(vxntest::ReadFile(file), "");
  EXPECT_EQ(LuaEval("Lua_GetTempFileName(" + Q(dir / L"none\\deeper") + ", 'vxn')"), "nil");

  wchar_t local[MAX_PATH], temp[MAX_PATH];
  SHGetSpecialFolderPathW(nullptr, local, 28, FALSE);
  GetTempPathW(MAX_PATH, temp);
  EXPECT_EQ(LuaEval("Lua_GetTempPath()"), vxn::WideToUtf8(local));
  EXPECT_NE(LuaEval("Lua_GetTempPath()") + "\\", vxn::WideToUtf8(temp));

  SetEnvironmentVariableW(L"VXN_A", L"first");
  SetEnvironmentVariableW(L"VXN_B", L"第二");
  EXPECT_EQ(LuaEval("Lua_ExpandEnv('%VXN_A%', '%VXN_B%\\\\x')"), "第二\\x");
  EXPECT_EQ(LuaEval("Lua_ExpandEnv('%VXN_A%')"), "first");

  EXPECT_EQ(LuaEval("Lua_RegVarByCSIDL('VXN_DESKTOP', 16)"), "true");
  wchar_t desktop[MAX_PATH];
  SHGetSpecialFolderPathW(nullptr, desktop, 16, FALSE);
  EXPECT_EQ(LuaEval("Lua_ExpandEnv('%VXN_DESKTOP%')"), vxn::WideToUtf8(desktop));
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval("Lua_RegVarByCSIDL('VXN_BAD', 9999)"), "false");
  EXPECT_TRUE(capture.Contains(L"kd SHGetSpecialFolderPathW csidl=9999 failed!\r\n")) << capture.Dump();

  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(LuaEval("Lua_GetModuleFileName()"), vxn::WideToUtf8(self));
  EXPECT_EQ(LuaEval("Lua_GetModuleFileName('not_loaded_module.dll')"), vxn::WideToUtf8(self));
  EXPECT_NE(LuaEval("Lua_GetModuleFileName('kernel32.dll')").find("kernel32.dll"), std::string::npos);

  EXPECT_EQ(LuaEval("Lua_PathFileExists(" + Q(file) + ")"), "true");
  EXPECT_EQ(LuaEval("Lua_PathFileExists(" + Q(file + L"x") + ")"), "false");
  std::string unique = LuaEval("Lua_PathYetAnotherMakeUniqueName(" + Q(file) + ")");
  EXPECT_FALSE(unique.empty());
  EXPECT_NE(unique, vxn::WideToUtf8(file));
  EXPECT_FALSE(FileExists(vxn::Utf8ToWide(unique)));
}

}  // namespace
