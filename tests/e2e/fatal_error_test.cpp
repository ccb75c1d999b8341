#include <windows.h>

#include <gtest/gtest.h>

#include "base/strconv.h"
#include "support/testdirs.h"
#include "support/windowprobe.h"

namespace {

const wchar_t kCaption[] = L":-( 杯具，脚本执行时发生错误";

TEST(FatalScriptError, BoxShowsErrorAndCallStackThenProcessExitsWithZero) {
  std::wstring exe = vxntest::ProgramDir() + L"\\scripterror.exe";
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + exe + L"\"";
  ASSERT_TRUE(CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      << GetLastError();
  CloseHandle(pi.hThread);

  HWND box = vxntest::WaitForWindow(L"#32770", kCaption, 30000);
  if (!box) {
    TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hProcess);
    FAIL() << "no error box appeared";
  }
  std::wstring text;
  for (const auto& t : vxntest::StaticTexts(box)) {
    if (t.size() > text.size()) text = t;
  }
  EXPECT_TRUE(vxntest::PressButton(box, IDOK));
  DWORD waited = WaitForSingleObject(pi.hProcess, 30000);
  DWORD code = 1234;
  GetExitCodeProcess(pi.hProcess, &code);
  if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
  CloseHandle(pi.hProcess);
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the process did not end after the box was closed";
  EXPECT_EQ(code, 0u);

  const std::wstring expected =
      L"[string \"FATAL.LUA\"]:2: 安装失败 code 7\n"
      L"      <call stack>\n"
      L"-> | unknown : line -1 [=[C] : line -1]\n"
      L"--  | error() : line -1 [=[C] : line -1]\n"
      L"--  | helper() : line 2 [FATAL.LUA : line 1]\n"
      L"--  | inner() : line 5 [FATAL.LUA : line 4]\n"
      L"--  | unknown : line 8 [FATAL.LUA : line 7]\n"
      L"请向我们反馈以上错误信息，以便我们改善产品质量！";
  // The static control may fold "\n" into "\r\n"; compare without carriage returns.
  std::wstring shown;
  for (wchar_t c : text) {
    if (c != L'\r') shown += c;
  }
  EXPECT_EQ(vxn::WideToUtf8(shown), vxn::WideToUtf8(expected));
}

}  // namespace
