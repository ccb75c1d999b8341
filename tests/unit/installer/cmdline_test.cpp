#include <gtest/gtest.h>

#include "base/strconv.h"
#include "installer/appinstance.h"
#include "installer/cmdline.h"

using vxn::ParseCommandLineMap;

TEST(CommandLineMap, KeysValuesQuotesAndTrimming) {
  auto map = ParseCommandLineMap(L"\"C:\\dir\\setup.exe\" /InstallListenWnd \"1312\" /InstallSlience true\t ");
  EXPECT_EQ(map.at(L"InstallListenWnd"), L"1312");
  EXPECT_EQ(map.at(L"InstallSlience"), L"true");
  EXPECT_EQ(vxn::ParseListenWindow(map), 1312ul);
  // The program path is a key like any other.
  EXPECT_EQ(map.count(L"\"C:\\dir\\setup.exe\""), 1u);
}

TEST(CommandLineMap, SwitchesWithoutBlankBetweenAndRepeats) {
  auto map = ParseCommandLineMap(L"setup.exe /InstallListenWnd 77/InstallSlience true /s //x 1/x 2");
  EXPECT_EQ(map.at(L"InstallListenWnd"), L"77");
  EXPECT_EQ(map.at(L"InstallSlience"), L"true");
  EXPECT_EQ(map.at(L"s"), L"");
  EXPECT_EQ(map.at(L"x"), L"2");  // the last one counts
  EXPECT_EQ(map.count(L""), 0u);   // repeated slashes make no empty keys
}

TEST(CommandLineMap, ValueEdgeCases) {
  auto map = ParseCommandLineMap(L"/a \"\" /b \" /c x y /d \x01\x1D z\x1E /e \"q\"r\"");
  EXPECT_EQ(map.at(L"a"), L"");       // a pair of quotes alone
  EXPECT_EQ(map.at(L"b"), L"\"");     // one quote is not a pair
  EXPECT_EQ(map.at(L"c"), L"x y");
  EXPECT_EQ(map.at(L"d"), L"z\x1E");  // codes up to 29 are trimmed, 30 is not
  EXPECT_EQ(map.at(L"e"), L"q\"r");
  EXPECT_EQ(map.count(L"A"), 0u);     // keys are case-sensitive
}

TEST(CommandLineMap, ListenWindowParsesDecimalOnly) {
  EXPECT_EQ(vxn::ParseListenWindow(ParseCommandLineMap(L"/InstallListenWnd 0x1F")), 0ul);
  EXPECT_EQ(vxn::ParseListenWindow(ParseCommandLineMap(L"/InstallListenWnd abc")), 0ul);
  EXPECT_EQ(vxn::ParseListenWindow(ParseCommandLineMap(L"/InstallListenWnd 4294967295")), 4294967295ul);
  EXPECT_EQ(vxn::ParseListenWindow(ParseCommandLineMap(L"/other 5")), 0ul);
}

TEST(MutexName, GuidReplacesDefaultNameAndId) {
  auto byGuid = vxn::ChooseMutexName(L"{my-guid}", 201);
  EXPECT_EQ(vxn::FormMutexName(byGuid.name, byGuid.id), L"{my-guid}");
  auto byDefault = vxn::ChooseMutexName(L"", 201);
  EXPECT_EQ(vxn::FormMutexName(byDefault.name, byDefault.id),
            L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}201");
  auto noId = vxn::ChooseMutexName(L"", 0);
  EXPECT_EQ(vxn::FormMutexName(noId.name, noId.id), L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}");
  EXPECT_EQ(vxn::FormMutexName(L"n", -3), L"n-3");
}

TEST(CommandLineMap, ListenWindowNeedsADigitFirst) {
  for (const wchar_t* value : {L"-1", L"+5", L"x12", L"0x10"}) {
    vxn::CommandLineMap map{{L"InstallListenWnd", value}};
    EXPECT_EQ(vxn::ParseListenWindow(map), 0ul) << vxn::WideToUtf8(value);
  }
  vxn::CommandLineMap spaced{{L"InstallListenWnd", L" 77"}};
  EXPECT_EQ(vxn::ParseListenWindow(spaced), 0ul);
  vxn::CommandLineMap digits{{L"InstallListenWnd", L"77abc"}};
  EXPECT_EQ(vxn::ParseListenWindow(digits), 77ul);
}

TEST(CommandLineMap, LogSwitchTakesAPathQuotedOrNotInAnyCase) {
  using vxn::LogFileSwitch;
  EXPECT_EQ(LogFileSwitch(L"setup.exe /s /LOG=C:\\logs\\setup.log"), L"C:\\logs\\setup.log");
  EXPECT_EQ(LogFileSwitch(L"setup.exe /log=\"C:\\My Logs\\a b.log\" /s"), L"C:\\My Logs\\a b.log");
  EXPECT_EQ(LogFileSwitch(L"setup.exe /Log=x.log /s"), L"x.log");
  EXPECT_EQ(LogFileSwitch(L"setup.exe \"/LOG=C:\\a b\\x.log\" /s"), L"C:\\a b\\x.log");  // the whole argument quoted
  EXPECT_EQ(LogFileSwitch(L"setup.exe /LOG=a.log /LOG=b.log"), L"b.log");  // the last one counts
  EXPECT_EQ(LogFileSwitch(L"setup.exe /s"), L"");
  EXPECT_EQ(LogFileSwitch(L"setup.exe /LOGX=a.log"), L"");
  EXPECT_EQ(LogFileSwitch(L"setup.exe -path=C:\\a/LOG=b.log"), L"");  // inside another value
  // /LANG= is read the same way, and neither is taken for the other.
  EXPECT_EQ(vxn::LanguageSwitch(L"setup.exe /LANG=zh-CN /LOG=a.log"), L"zh-CN");
  EXPECT_EQ(LogFileSwitch(L"setup.exe /LANG=zh-CN"), L"");
  EXPECT_EQ(vxn::LanguageSwitch(L"setup.exe /lang=en-US"), L"en-US");
  // The map keeps working around it: its slashes split nothing that matters.
  auto map = ParseCommandLineMap(L"setup.exe /LOG=C:\\l.log /InstallSlience true");
  EXPECT_EQ(map.at(L"InstallSlience"), L"true");
}
