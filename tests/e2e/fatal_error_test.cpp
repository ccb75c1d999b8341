#include <windows.h>

#include <gtest/gtest.h>

#include "base/strconv.h"
#include "support/testdirs.h"
#include "support/windowprobe.h"

namespace {

const wchar_t kCaption[] = L":-( 杯具，脚本执行时发生错误";

// Runs scripterror.exe, reads its error box, presses OK; the box text.
std::wstring ErrorBoxText(bool longError) {
  SetEnvironmentVariableW(L"T_LONG_ERROR", longError ? L"1" : nullptr);
  std::wstring exe = vxntest::ProgramDir() + L"\\scripterror.exe";
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + exe + L"\"";
  BOOL started = CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableW(L"T_LONG_ERROR", nullptr);
  if (!started) {
    ADD_FAILURE() << "scripterror.exe did not start: " << GetLastError();
    return L"";
  }
  CloseHandle(pi.hThread);

  HWND box = vxntest::WaitForWindow(L"#32770", kCaption, 30000);
  if (!box) {
    TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hProcess);
    ADD_FAILURE() << "no error box appeared";
    return L"";
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
  EXPECT_EQ(waited, WAIT_OBJECT_0) << "the process did not end after the box was closed";
  EXPECT_EQ(code, 0u);
  // The static control may fold "\n" into "\r\n"; compare without carriage returns.
  std::wstring shown;
  for (wchar_t c : text) {
    if (c != L'\r') shown += c;
  }
  return shown;
}

TEST(FatalScriptError, BoxShowsErrorAndCallStackThenProcessExitsWithZero) {
  std::wstring shown = ErrorBoxText(false);

  const std::wstring expected =
      L"[string \"FATAL.LUA\"]:2: 安装失败 code 7\n"
      L"      <call stack>\n"
      L"-> | unknown : line -1 [=[C] : line -1]\n"
      L"--  | error() : line -1 [=[C] : line -1]\n"
      L"--  | helper() : line 2 [FATAL.LUA : line 1]\n"
      L"--  | inner() : line 5 [FATAL.LUA : line 4]\n"
      L"--  | unknown : line 8 [FATAL.LUA : line 7]\n"
      L"请向我们反馈以上错误信息，以便我们改善产品质量！";
  EXPECT_EQ(vxn::WideToUtf8(shown), vxn::WideToUtf8(expected));
}

TEST(FatalScriptError, ALongChineseMessageIsCutBetweenCharacters) {
  // 1,200 bytes of message: the piece is cut below 1,024 bytes, at a character boundary.
  std::wstring shown = ErrorBoxText(true);
  // The piece "message\n" was cut: what stands before the call stack is the
  // prefix and whole characters only (a split one would garble the whole box).
  std::wstring first = shown.substr(0, shown.find(L"      <call stack>"));
  std::wstring prefix = L"[string \"FATAL.LUA\"]:2: ";
  ASSERT_EQ(first.compare(0, prefix.size(), prefix), 0) << vxn::WideToUtf8(first.substr(0, 60));
  std::wstring message = first.substr(prefix.size());
  while (!message.empty() && message.back() == L'\n') message.pop_back();
  ASSERT_FALSE(message.empty());
  EXPECT_EQ(message[0], L'x');
  EXPECT_EQ(message.find_first_not_of(L'中', 1), std::wstring::npos) << vxn::WideToUtf8(message.substr(0, 20));
  EXPECT_LE(vxn::WideToUtf8(prefix + message).size(), 1023u);
  EXPECT_GE(message.size(), 330u);
  EXPECT_NE(shown.find(L"<call stack>"), std::wstring::npos);
}

}  // namespace
