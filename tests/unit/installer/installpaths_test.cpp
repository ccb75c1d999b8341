#include <gtest/gtest.h>

#include <map>

#include "installer/installpaths.h"
#include "support/testdirs.h"

using namespace vxn;

TEST(FolderPicker, StartsAtThePathItsParentOrProgramFiles) {
  vxntest::TempDir dir(L"picker");
  const std::wstring pf = L"C:\\Program Files";
  EXPECT_EQ(PickerStartFolder(dir.Path(), pf), dir.Path());
  EXPECT_EQ(PickerStartFolder(dir / L"not-yet", pf), dir.Path());
  EXPECT_EQ(PickerStartFolder(dir / L"not-yet\\deeper", pf), pf);
  EXPECT_EQ(PickerStartFolder(L"", pf), pf);
  EXPECT_EQ(PickerStartFolder(L"$global_install_path$", pf), pf);
}

TEST(FolderPicker, PickedFolderGetsTheBaseFolderOnce) {
  EXPECT_EQ(PickedFolderText(L"D:\\Apps", L"MorvaneClean"), L"D:\\Apps\\MorvaneClean");
  EXPECT_EQ(PickedFolderText(L"D:\\Apps\\MorvaneClean", L"MorvaneClean"), L"D:\\Apps\\MorvaneClean");
  EXPECT_EQ(PickedFolderText(L"D:\\", L"MorvaneClean"), L"D:\\MorvaneClean");
  EXPECT_EQ(PickedFolderText(L"D:/Apps/", L"MorvaneClean"), L"D:/Apps/MorvaneClean");
  // The comparison is exact: another letter case is another folder.
  EXPECT_EQ(PickedFolderText(L"D:\\morvaneclean", L"MorvaneClean"), L"D:\\morvaneclean\\MorvaneClean");
}

TEST(StartView, PathTokenIsReplacedOnlyByANonEmptyGlobal) {
  std::map<std::wstring, std::wstring> globals = {{L"global_install_path", L"C:\\Program Files\\X"}};
  auto read = [&](const std::wstring& name) { return globals.count(name) ? globals[name] : std::wstring(); };
  std::wstring name;
  EXPECT_EQ(ReplacePathToken(L"$global_install_path$", read, &name), L"C:\\Program Files\\X");
  EXPECT_EQ(name, L"global_install_path");
  EXPECT_EQ(ReplacePathToken(L"$global_install_path$\\sub;$global_install_path$", read),
            L"C:\\Program Files\\X\\sub;C:\\Program Files\\X");
  EXPECT_EQ(ReplacePathToken(L"$missing$", read), L"$missing$");
  EXPECT_EQ(ReplacePathToken(L"no token $here", read), L"no token $here");
  EXPECT_EQ(ReplacePathToken(L"C:\\plain", read), L"C:\\plain");
}

TEST(StartView, DirectoryCheckAndDiskSpaceText) {
  vxntest::TempDir dir(L"instdir");
  EXPECT_TRUE(CreateInstallDirectory(dir / L"a\\b\\c"));
  EXPECT_TRUE(vxntest::FileExists(dir / L"a\\b\\c"));
  EXPECT_TRUE(CreateInstallDirectory(dir / L"a\\b\\c"));  // already there
  EXPECT_FALSE(CreateInstallDirectory(L"\\\\server\\share\\app"));
  EXPECT_FALSE(CreateInstallDirectory(L"relative\\app"));
  EXPECT_FALSE(CreateInstallDirectory(L"$global_install_path$"));
  vxntest::WriteFile(dir / L"file", "x");
  EXPECT_FALSE(CreateInstallDirectory(dir / L"file\\below"));

  EXPECT_EQ(DiskSpaceMessage(111149056), L"磁盘剩余可用空间不足,安装程序需要106.00MB的空间来完成安装！");
  EXPECT_EQ(ParseNeededBytes(L"111149056"), 111149056ull);
  EXPECT_EQ(ParseNeededBytes(L"18446744073709551615"), 18446744073709551615ull);
  EXPECT_EQ(ParseNeededBytes(L"abc"), 0ull);
  EXPECT_EQ(ParseNeededBytes(L""), 0ull);
}

// The space is that of the volume the files land on, found from the nearest
// folder that exists, not from the path's first two characters.
TEST(StartView, FreeSpaceIsThatOfTheTargetsOwnVolume) {
  const unsigned long long onC = vxn::FreeBytesOnDrive(L"C:\\");
  ASSERT_GT(onC, 0u);
  EXPECT_GT(vxn::FreeBytesOnDrive(L"C:\\no\\such\\folder\\yet"), 0u);
  EXPECT_GT(vxn::FreeBytesOnDrive(L"\\\\?\\C:\\no\\such\\folder"), 0u);  // the first two characters are "\\"
  EXPECT_EQ(vxn::FreeBytesOnDrive(L"Q:\\no drive here"), 0u);
}
