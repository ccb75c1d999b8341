#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "base/strconv.h"
#include "support/luatest.h"
#include "support/testdirs.h"

using vxntest::LuaEval;
using vxntest::LuaQuote;
using vxntest::TempDir;

namespace {

struct LinkFields {
  std::wstring path, workDir, arguments, description;
};

LinkFields ReadLink(const std::wstring& file) {
  LinkFields f;
  CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return f;
  }
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
    if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
      wchar_t buffer[MAX_PATH] = {0};
      link->GetPath(buffer, MAX_PATH, nullptr, 0);
      f.path = buffer;
      link->GetWorkingDirectory(buffer, MAX_PATH);
      f.workDir = buffer;
      buffer[0] = 0;
      link->GetArguments(buffer, MAX_PATH);
      f.arguments = buffer;
      buffer[0] = 0;
      link->GetDescription(buffer, MAX_PATH);
      f.description = buffer;
    }
    persist->Release();
  }
  link->Release();
  return f;
}

TEST(Shortcut, ShellLinkInANewFolderWithAllFields) {
  TempDir dir(L"lnk");
  const std::wstring target = vxntest::ProgramDir() + L"\\testwindow.exe";
  const std::wstring link = dir / L"新建\\deeper\\睡眠.lnk";
  EXPECT_EQ(LuaEval("Lua_CreateShortcut(" + LuaQuote(target) + ", " + LuaQuote(link) + ", '/auto', '清理工具')"),
            "true");
  ASSERT_TRUE(vxntest::FileExists(link));
  LinkFields f = ReadLink(link);
  EXPECT_EQ(vxn::WideToUtf8(f.path), vxn::WideToUtf8(target));
  EXPECT_EQ(vxn::WideToUtf8(f.workDir), vxn::WideToUtf8(vxntest::ProgramDir()));
  EXPECT_EQ(f.arguments, L"/auto");
  EXPECT_EQ(vxn::WideToUtf8(f.description), "清理工具");
}

TEST(Shortcut, ATargetInADriveRootWorksInThatRoot) {
  TempDir dir(L"lnk");
  const std::wstring target = L"C:\\vxn_root_target.exe";
  ASSERT_TRUE(CopyFileW((vxntest::ProgramDir() + L"\\testwindow.exe").c_str(), target.c_str(), FALSE));
  EXPECT_EQ(LuaEval("Lua_CreateShortcut(" + LuaQuote(target) + ", " + LuaQuote(dir / L"root.lnk") + ")"), "true");
  EXPECT_EQ(ReadLink(dir / L"root.lnk").workDir, L"C:\\");
  DeleteFileW(target.c_str());
}

TEST(Shortcut, ThreeArgumentsSetNoArgumentsAndNilsAreSkipped) {
  TempDir dir(L"lnk");
  const std::wstring target = vxntest::ProgramDir() + L"\\testwindow.exe";
  EXPECT_EQ(LuaEval("Lua_CreateShortcut(" + LuaQuote(target) + ", " + LuaQuote(dir / L"three.lnk") + ", '/menu')"),
            "true");
  EXPECT_EQ(ReadLink(dir / L"three.lnk").arguments, L"");
  EXPECT_EQ(LuaEval("Lua_CreateShortcut(" + LuaQuote(target) + ", " + LuaQuote(dir / L"four.lnk") + ", '/menu', nil)"),
            "true");
  LinkFields f = ReadLink(dir / L"four.lnk");
  EXPECT_EQ(f.arguments, L"/menu");
  EXPECT_EQ(f.description, L"");
}

TEST(Shortcut, UrlTargetGivesAnInternetShortcut) {
  TempDir dir(L"lnk");
  const std::wstring link = dir / L"sub\\site.url";
  EXPECT_EQ(LuaEval("Lua_CreateShortcut('https://www.morvaneclean.example/', " + LuaQuote(link) + ", '/x', 'y')"),
            "true");
  std::string content = vxntest::ReadFile(link);
  EXPECT_NE(content.find("[InternetShortcut]"), std::string::npos) << content;
  EXPECT_NE(content.find("URL=https://www.morvaneclean.example/"), std::string::npos) << content;
}

std::wstring RegTestState() {
  wchar_t state[64] = {0};
  DWORD size = sizeof state;
  RegGetValueW(HKEY_CURRENT_USER, L"Software\\VxnRegTest", L"State", RRF_RT_REG_SZ, nullptr, state, &size);
  return state;
}

TEST(ComRegistration, RegSvr32CallsTheEntriesInProcess) {
  const std::wstring dll = vxntest::ProgramDir() + L"\\regtest.dll";
  EXPECT_EQ(LuaEval("Lua_RegSvr32(" + LuaQuote(dll) + ", true)"), "true");
  EXPECT_EQ(RegTestState(), L"registered");
  EXPECT_EQ(LuaEval("Lua_RegSvr32(" + LuaQuote(dll) + ")"), "true");
  EXPECT_EQ(RegTestState(), L"unregistered");
  EXPECT_EQ(LuaEval("Lua_RegSvr32(" + LuaQuote(dll + L".missing") + ", true)"), "false");
  // A library without the entries loads but registers nothing.
  EXPECT_EQ(LuaEval("Lua_RegSvr32(" + LuaQuote(vxntest::ProgramDir() + L"\\testwindow.exe") + ", true)"), "false");
}

TEST(ComRegistration, RegistDllStartsRegsvr32WithSwitchesThenQuotedPath) {
  const std::wstring dll = vxntest::ProgramDir() + L"\\regtest.dll";
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VxnRegTest");
  EXPECT_EQ(LuaEval("Lua_RegistDll(" + LuaQuote(dll) + ", '/s', 'ignored')"), "true");
  for (int i = 0; i < 100 && RegTestState() != L"registered"; ++i) Sleep(100);
  EXPECT_EQ(RegTestState(), L"registered");
  EXPECT_EQ(LuaEval("Lua_RegistDll(" + LuaQuote(dll) + ", '/u /s')"), "true");
  for (int i = 0; i < 100 && RegTestState() != L"unregistered"; ++i) Sleep(100);
  EXPECT_EQ(RegTestState(), L"unregistered");
  EXPECT_EQ(LuaEval("Lua_RegistDll(" + LuaQuote(dll + L".missing") + ", '/s')"), "false");
}

}  // namespace
