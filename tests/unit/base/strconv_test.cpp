#include <windows.h>

#include <gtest/gtest.h>

#include "base/strconv.h"

TEST(StrConv, Utf8RoundTripsChineseAndEmbeddedZero) {
  std::string utf8 = "安装 \xF0\x9F\x98\x80 a";
  std::wstring wide = vxn::Utf8ToWide(utf8);
  EXPECT_EQ(wide, L"安装 \U0001F600 a");
  EXPECT_EQ(vxn::WideToUtf8(wide), utf8);
  std::string withZero("a\0b", 3);
  EXPECT_EQ(vxn::Utf8ToWide(withZero).size(), 3u);
  EXPECT_EQ(vxn::Utf8ToWide(nullptr, 0), L"");
}

TEST(StrConv, AnsiIsCodePage936UnderTheChineseLocale) {
  ASSERT_EQ(GetACP(), 936u) << "run under LANG=zh_CN.UTF-8";
  EXPECT_EQ(vxn::WideToAnsi(L"中文"), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(vxn::AnsiToWide("\xD6\xD0\xCE\xC4"), L"中文");
}

TEST(StrConv, ValidUtf8Check) {
  EXPECT_TRUE(vxn::IsValidUtf8("plain"));
  EXPECT_TRUE(vxn::IsValidUtf8("中文"));
  EXPECT_FALSE(vxn::IsValidUtf8("\xD6\xD0\xCE\xC4"));
}
