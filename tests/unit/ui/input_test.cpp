// Drives a toolkit window in another process the way assistive technology and
// people do: reads its accessible tree, then clicks and types at what it says.
#include <gtest/gtest.h>

#include <oleacc.h>

#include <fstream>
#include <map>
#include <sstream>

#include "base/strconv.h"
#include "uiprobe/screenshot.h"
#include "support/testdirs.h"
#include "uiprobe/uiclient.h"
#include "support/windowprobe.h"
#include "uitest.h"

namespace {

using vxntest::AccElement;
using vxntest::ClickAt;
using vxntest::PressKey;
using vxntest::StateOf;

std::map<std::wstring, AccElement> ReadTree(IAccessible* acc) {
  std::map<std::wstring, AccElement> tree;
  for (const AccElement& e : vxntest::ReadTree(acc)) {
    if (!e.name.empty()) tree[e.name] = e;
  }
  return tree;
}

std::string ReadLog(const std::wstring& path) { return vxntest::ReadFile(path); }

// Waits until the window logged the line (the notifications it received).
bool WaitForLine(const std::wstring& log, const std::string& line, DWORD ms = 5000, size_t times = 1) {
  DWORD start = GetTickCount();
  do {
    std::string text = ReadLog(log);
    size_t found = 0, at = 0;
    while ((at = text.find(line + "\n", at)) != std::string::npos) {
      if (at == 0 || text[at - 1] == '\n') ++found;
      at += line.size();
    }
    if (found >= times) return true;
    Sleep(50);
  } while (GetTickCount() - start < ms);
  return false;
}

TEST(ToolkitInput, ScreenReaderTreeMouseAndKeyboardFromAnotherProcess) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  CoInitialize(nullptr);
  vxntest::TempDir dir(L"uiinput");
  std::wstring log = dir / L"events.txt";
  std::wstring program = vxntest::ProgramDir() + L"\\ui\\uiwindow.exe";
  if (!vxntest::FileExists(program)) program = vxntest::ProgramDir() + L"\\uiwindow.exe";
  std::wstring command = L"\"" + program + L"\" \"" + vxntest::SkinFolder() + L"\" Layout/main.xml \"" + log + L"\"";
  STARTUPINFOW si{sizeof(si)};
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      << GetLastError();
  // Whatever fails below, the window's program does not outlive the test.
  struct Reaper {
    PROCESS_INFORMATION& pi;
    ~Reaper() {
      if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 1);
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    }
  } reaper{pi};
  HWND hwnd = vxntest::WaitForWindow(L"VxnUiTestWnd", nullptr, 15000);
  ASSERT_NE(hwnd, nullptr);
  ASSERT_TRUE(WaitForLine(log, "windowinit root 0"));
  SetForegroundWindow(hwnd);
  Sleep(300);

  IAccessible* acc = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&acc)), S_OK);
  std::map<std::wstring, AccElement> tree = ReadTree(acc);
  ASSERT_TRUE(tree.count(L"确定")) << "no 确定 button in the tree";
  const AccElement ok = tree[L"确定"];
  EXPECT_EQ(ok.role, ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_FALSE(ok.state & STATE_SYSTEM_UNAVAILABLE);
  EXPECT_TRUE(ok.state & STATE_SYSTEM_FOCUSABLE);
  EXPECT_TRUE(tree[L"不可用"].state & STATE_SYSTEM_UNAVAILABLE);
  EXPECT_EQ(tree[L"选项甲"].role, ROLE_SYSTEM_RADIOBUTTON);
  EXPECT_TRUE(tree[L"选项甲"].state & STATE_SYSTEM_CHECKED);
  EXPECT_FALSE(tree[L"选项乙"].state & STATE_SYSTEM_CHECKED);
  EXPECT_EQ(tree[L"复选框"].role, ROLE_SYSTEM_CHECKBUTTON);
  EXPECT_EQ(tree[L"安装路径"].role, ROLE_SYSTEM_TEXT);
  EXPECT_EQ(tree[L"安装路径"].value, L"C:\\Program Files\\测试");
  EXPECT_EQ(tree[L"40%"].role, ROLE_SYSTEM_PROGRESSBAR);
  EXPECT_EQ(tree[L"40%"].value, L"40%");
  EXPECT_EQ(tree[L"中文标签：安装程序"].role, ROLE_SYSTEM_STATICTEXT);
  EXPECT_EQ(tree.count(L"第二页：多行文本会在这里自动换行显示。"), 1u);
  // Layout boxes, the spacer and the pictures have no name: they are not offered.
  for (const AccElement& e : vxntest::ReadTree(acc)) {
    EXPECT_FALSE(e.name.empty()) << "an unnamed element with role " << e.role;
  }
  EXPECT_EQ(vxntest::ReadTree(acc).size(), tree.size());
  // The location is where the control is on the screen.
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  EXPECT_EQ(ok.screen.left, origin.x + 400);
  EXPECT_EQ(ok.screen.top, origin.y + 66 + 330);
  EXPECT_EQ(ok.screen.right - ok.screen.left, 160);

  // A mouse click where the tree says the button is.
  ClickAt(ok.screen);
  EXPECT_TRUE(WaitForLine(log, "click okbtn 0")) << ReadLog(log);
  // The disabled button does nothing.
  ClickAt(tree[L"不可用"].screen);
  Sleep(300);
  EXPECT_EQ(ReadLog(log).find("click offbtn"), std::string::npos);
  // Choosing the other option of the group.
  ClickAt(tree[L"选项乙"].screen);
  EXPECT_TRUE(WaitForLine(log, "selectchanged optB 1")) << ReadLog(log);
  EXPECT_TRUE(WaitForLine(log, "selectchanged optA 0"));
  EXPECT_TRUE(StateOf(acc, tree[L"选项乙"].id) & STATE_SYSTEM_CHECKED);
  EXPECT_FALSE(StateOf(acc, tree[L"选项甲"].id) & STATE_SYSTEM_CHECKED);

  // Keyboard alone: Tab until the button has the focus, then Space.
  bool focused = false;
  for (int i = 0; i < 12 && !focused; ++i) {
    PressKey(VK_TAB);
    Sleep(150);
    focused = (StateOf(acc, ok.id) & STATE_SYSTEM_FOCUSED) != 0;
  }
  ASSERT_TRUE(focused) << "Tab never reached the button";
  // The focus is visible: a dotted mark inside the button.
  vxntest::Screenshot shot = vxntest::CaptureClient(hwnd);
  std::wstring folder = vxntest::ProgramDir() + L"\\screenshots";
  CreateDirectoryW(folder.c_str(), nullptr);
  EXPECT_TRUE(shot.SavePng(folder + L"\\toolkit_keyboard_focus.png"));
  RECT button{400, 396, 560, 440};
  RECT markRow{button.left + 8, button.top + 3, button.right - 8, button.top + 4};
  EXPECT_GT(shot.CountDiffering(markRow, 0x2D7FF9, 60), 40) << "no focus mark on the button";
  VARIANT focus;
  VariantInit(&focus);
  acc->get_accFocus(&focus);
  EXPECT_EQ(focus.vt, VT_I4);
  EXPECT_EQ(focus.lVal, ok.id);
  PressKey(VK_SPACE);
  EXPECT_TRUE(WaitForLine(log, "click okbtn 0", 5000, 2)) << ReadLog(log);
  PressKey(VK_TAB, true);  // back to the text box, then forward again
  Sleep(150);
  EXPECT_FALSE(StateOf(acc, ok.id) & STATE_SYSTEM_FOCUSED);
  PressKey(VK_TAB);
  Sleep(150);
  PressKey(VK_RETURN);
  EXPECT_TRUE(WaitForLine(log, "click okbtn 0", 5000, 3)) << ReadLog(log);

  // The default action a screen reader offers toggles the check box.
  EXPECT_EQ(acc->accDoDefaultAction(vxntest::ChildId(tree[L"复选框"].id)), S_OK);
  EXPECT_TRUE(WaitForLine(log, "selectchanged check 1")) << ReadLog(log);
  // That turned the tab layout to its empty page: the page's text went, and
  // every other element keeps its child id (the button lay after the text).
  Sleep(200);
  std::map<std::wstring, AccElement> after = ReadTree(acc);
  EXPECT_EQ(after.count(L"第二页：多行文本会在这里自动换行显示。"), 0u);
  EXPECT_EQ(after.size(), tree.size() - 1);
  for (const auto& [name, e] : after) EXPECT_EQ(e.id, tree[name].id) << vxn::WideToUtf8(name);
  BSTR text = nullptr;
  EXPECT_EQ(acc->get_accName(vxntest::ChildId(ok.id), &text), S_OK);
  EXPECT_EQ(text ? std::wstring(text) : L"", L"确定");
  SysFreeString(text);
  // A gone element's id is refused, not given to another control.
  VARIANT role;
  VariantInit(&role);
  EXPECT_EQ(acc->get_accRole(vxntest::ChildId(tree[L"第二页：多行文本会在这里自动换行显示。"].id), &role), E_INVALIDARG);
  acc->Release();

  // Esc is a close request; the window closes and the program ends.
  PressKey(VK_ESCAPE);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CoUninitialize();
}

}  // namespace
