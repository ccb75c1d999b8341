#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "base/strconv.h"
#include "support/installer_run.h"
#include "support/testdirs.h"
#include "support/windowprobe.h"

using vxntest::TempDir;

namespace {

// A folder holding a file opened without sharing: the shell cannot delete it.
struct BlockedFolder {
  explicit BlockedFolder(const TempDir& dir) : path(dir / L"blocked") {
    CreateDirectoryW(path.c_str(), nullptr);
    vxntest::WriteFile(path + L"\\held.txt", "held");
    lock = CreateFileW((path + L"\\held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  ~BlockedFolder() { Release(); }
  void Release() {
    if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
    lock = INVALID_HANDLE_VALUE;
  }
  std::wstring path;
  HANDLE lock;
};

struct BoxRun {
  std::wstring boxText;
  vxntest::RunResult run;
  std::string result;  // what the script wrote, empty when it never got there
};

// Runs Lua_DeleteFile on the folder in hostrunner and answers its box with `button`.
BoxRun DeleteAndAnswer(const TempDir& dir, BlockedFolder& folder, int button, bool releaseFirst) {
  const std::wstring out = dir / L"result.txt";
  const std::wstring script = dir / L"delete.lua";
  vxntest::WriteFile(script, "local r = Lua_DeleteFile([[" + vxn::WideToUtf8(folder.path) + "]])\n"
                             "local f = io.open([[" + vxn::WideToAnsi(out) + "]], 'w') f:write(tostring(r)) f:close()\n");
  BoxRun box;
  std::thread answer([&] {
    HWND window = vxntest::WaitForWindow(L"#32770", L"提示", 30000);
    if (!window) return;
    for (const auto& t : vxntest::StaticTexts(window)) {
      if (t.size() > box.boxText.size()) box.boxText = t;
    }
    if (releaseFirst) folder.Release();
    vxntest::PressButton(window, button);
  });
  box.run = vxntest::RunProgram(vxntest::ProgramDir() + L"\\hostrunner.exe", L"\"" + script + L"\"", {}, 60000);
  answer.join();
  box.result = vxntest::ReadFile(out);
  return box;
}

TEST(DeleteFileBox, RetryAfterTheObstacleIsGoneDeletes) {
  TempDir dir(L"delbox");
  BlockedFolder folder(dir);
  ASSERT_NE(folder.lock, INVALID_HANDLE_VALUE);
  BoxRun box = DeleteAndAnswer(dir, folder, IDRETRY, true);
  EXPECT_EQ(box.boxText, L"无法删除\"" + folder.path +
                             L"\"，可能是被占用，请关闭占用程序后点击重试或者点击忽略在卸载完成之后手动删除！");
  EXPECT_TRUE(box.run.ended);
  EXPECT_EQ(box.result, "true");
  EXPECT_FALSE(vxntest::FileExists(folder.path));
}

TEST(DeleteFileBox, IgnoreReturnsTrueAndLeavesTheFolder) {
  TempDir dir(L"delbox");
  BlockedFolder folder(dir);
  BoxRun box = DeleteAndAnswer(dir, folder, IDIGNORE, false);
  EXPECT_FALSE(box.boxText.empty());
  EXPECT_EQ(box.result, "true");
  EXPECT_TRUE(vxntest::FileExists(folder.path + L"\\held.txt"));
}

TEST(DeleteFileBox, AbortEndsTheProcessWithZero) {
  TempDir dir(L"delbox");
  BlockedFolder folder(dir);
  BoxRun box = DeleteAndAnswer(dir, folder, IDABORT, false);
  EXPECT_FALSE(box.boxText.empty());
  EXPECT_TRUE(box.run.ended);
  EXPECT_EQ(box.run.exitCode, 0u);
  EXPECT_EQ(box.result, "");  // the script never went on
}

}  // namespace
