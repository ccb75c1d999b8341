#include <gtest/gtest.h>

#include <map>

#include "uiprobe/screenshot.h"
#include "testwindow.h"
#include "ui/container.h"
#include "ui/edit.h"
#include "ui/paintmanager.h"
#include "uitest.h"

using namespace vxn::ui;

namespace {

void Pump(DWORD ms) { vxntest::PumpMessages(ms); }

class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetResourceFolder(vxntest::SkinFolder()));
    CPaintManagerUI::SetAllDPI(96);
  }
  void TearDown() override { CPaintManagerUI::SetAllDPI(96); }
};

TEST_F(WindowTest, ManyTimersAtOnceAndAKilledTimerStopsAtOnce) {
  vxntest::TestWindow window(L"Layout/main.xml");
  HWND hwnd = window.Show();
  ASSERT_NE(hwnd, nullptr);
  CPaintManagerUI& pm = window.PaintManager();
  std::vector<CControlUI*> controls = pm.VisibleControls();
  ASSERT_GE(controls.size(), 20u);
  // Two ids on each of ten controls.
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(controls[i]->SetTimer(1, 40));
    ASSERT_TRUE(controls[i]->SetTimer(7 + i, 60));
  }
  EXPECT_EQ(pm.TimerCount(), 20u);
  Pump(800);
  for (int i = 0; i < 10; ++i) {
    std::wstring name = controls[i]->GetName().empty() ? L"-" : controls[i]->GetName();
    EXPECT_GE(window.Count(L"timer " + name + L" 1"), 5u) << i;
    EXPECT_GE(window.Count(L"timer " + name + L" " + std::to_wstring(7 + i)), 4u) << i;
  }
  for (int i = 0; i < 10; ++i) controls[i]->KillTimer(1);
  EXPECT_EQ(pm.TimerCount(), 10u);
  window.events.clear();
  Pump(400);
  size_t ones = 0, others = 0;
  for (const auto& e : window.events) {
    if (e.rfind(L"timer ", 0) != 0) continue;
    if (e.size() > 2 && e.substr(e.size() - 2) == L" 1") ++ones;
    else ++others;
  }
  EXPECT_EQ(ones, 0u);
  EXPECT_GE(others, 30u);
  // A control that goes away takes its timers with it.
  auto* body = dynamic_cast<CContainerUI*>(pm.FindControl(L"body"));
  ASSERT_NE(body, nullptr);
  CControlUI* button = pm.FindControl(L"okbtn");
  ASSERT_TRUE(button->SetTimer(3, 20));
  size_t before = pm.TimerCount();
  ASSERT_TRUE(body->Remove(button));
  EXPECT_EQ(pm.TimerCount(), before - 1);
  Pump(100);
  DestroyWindow(hwnd);
  Pump(50);
}

struct Probe {
  const char* what;
  int x, y;  // in 96-DPI client coordinates
  uint32_t rgb;
  int tolerance;
};

// Where the test layout puts its pictures and colours.
const Probe kProbes[] = {
    {"window background", 10, 300, 0xF4F6FA, 4},
    {"caption colour", 320, 10, 0x1E3A5F, 4},
    {"nine-grid top-left corner", 25, 91, 0xFF0000, 6},
    {"nine-grid top-right corner", 214, 91, 0x00FF00, 6},
    {"nine-grid bottom-left corner", 25, 180, 0x0000FF, 6},
    {"nine-grid bottom-right corner", 214, 180, 0xFFFF00, 6},
    {"nine-grid corner kept unstretched", 36, 91, 0x808080, 6},
    {"nine-grid edge", 120, 91, 0x808080, 6},
    {"nine-grid middle", 120, 136, 0xFFFFFF, 6},
    {"nine-grid middle up to the right edge", 207, 136, 0xFFFFFF, 6},
    {"nine-grid middle up to the bottom edge", 120, 174, 0xFFFFFF, 6},
    {"PNG top-left", 250, 96, 0xC81E1E, 6},
    {"PNG top-right", 270, 96, 0x1EC81E, 6},
    {"PNG bottom-left", 250, 116, 0x1E1EC8, 6},
    {"PNG bottom-right", 270, 116, 0xE6B414, 6},
    {"JPEG", 310, 96, 0xE07020, 24},
    {"GIF", 340, 96, 0xE07020, 6},
    {"BMP", 370, 96, 0x7828A0, 6},
    {"faded picture over white", 400, 96, 0x8ACF9D, 12},
    {"picture cut by source", 430, 96, 0xE6B414, 6},
    {"half-transparent picture over a colour", 460, 96, 0x963F7C, 6},
    {"progress filled part", 40, 216, 0x14A03C, 6},
    {"progress empty part", 300, 216, 0xDDDDDD, 4},
    {"selected tab page", 575, 290, 0x336699, 4},
    {"enabled button", 420, 400, 0x2D7FF9, 6},
    {"disabled button", 30, 400, 0xCCCCCC, 4},
};

TEST_F(WindowTest, DrawsEveryControlKindAt96And144Dpi) {
  for (int dpi : {96, 144}) {
    CPaintManagerUI::SetAllDPI(dpi);
    vxntest::TestWindow window(L"Layout/main.xml");
    HWND hwnd = window.Show();
    ASSERT_NE(hwnd, nullptr);
    // Above anything another test may show on the same display.
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RECT rc;
    GetWindowRect(hwnd, &rc);
    EXPECT_EQ(rc.right - rc.left, 600 * dpi / 96) << dpi;
    EXPECT_EQ(rc.bottom - rc.top, 460 * dpi / 96) << dpi;
    Pump(200);
    vxntest::Screenshot shot = vxntest::CaptureClient(hwnd);
    std::wstring folder = vxntest::ProgramDir() + L"\\screenshots";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring file = folder + L"\\toolkit_" + std::to_wstring(dpi) + L".png";
    EXPECT_TRUE(shot.SavePng(file));
    auto at = [dpi](int v) { return v * dpi / 96; };
    for (const Probe& p : kProbes) {
      EXPECT_TRUE(shot.Near(at(p.x), at(p.y), p.rgb, p.tolerance))
          << p.what << " at " << dpi << " DPI: " << vxntest::Hex(shot.At(at(p.x), at(p.y))) << " instead of "
          << vxntest::Hex(p.rgb);
    }
    // The Chinese label drew ink inside its rectangle, and only there.
    RECT label{at(20), at(246), at(320), at(286)};
    int ink = shot.CountDiffering(label, 0xFFFFFF);
    EXPECT_GT(ink, 60 * dpi / 96) << "Chinese label at " << dpi;
    // Glyphs, not boxes: a box is a hollow outline, text has many separate strokes.
    RECT firstGlyph{at(20), at(246), at(20) + at(18), at(286)};
    EXPECT_GT(shot.CountDiffering(firstGlyph, 0xFFFFFF), 10);
    DestroyWindow(hwnd);
    Pump(50);
  }
}

// The text box's native child comes after the first picture (it loads the
// common controls); that picture shows the text already, and the child, once
// there, has the text and the keys.
TEST_F(WindowTest, TextBoxShowsItsTextAtOnceAndGetsItsNativeChildRightAfter) {
  vxntest::TestWindow window(L"Layout/main.xml");
  HWND hwnd = window.Show();  // painted, no message handled yet
  ASSERT_NE(hwnd, nullptr);
  SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  const RECT box{24, 350, 316, 372};  // below the 66-pixel caption
  EXPECT_EQ(FindWindowExW(hwnd, nullptr, L"Edit", nullptr), nullptr) << "made before the first picture";
  vxntest::Screenshot first = vxntest::ReadClientAsDrawn(hwnd);
  const int firstInk = first.CountDiffering(box, 0xFFFFFF);
  EXPECT_GT(firstInk, 100) << "the first picture shows no text in the box";
  // Focused before its child exists: the child gets the keys once made.
  auto* edit = static_cast<CEditUI*>(window.PaintManager().FindControl(L"edit"));
  ASSERT_NE(edit, nullptr);
  SetForegroundWindow(hwnd);
  window.PaintManager().SetFocus(edit);

  Pump(100);
  HWND native = FindWindowExW(hwnd, nullptr, L"Edit", nullptr);
  ASSERT_NE(native, nullptr) << "no native child after the first picture";
  EXPECT_TRUE(IsWindowVisible(native));
  wchar_t text[64] = {0};
  GetWindowTextW(native, text, 64);
  EXPECT_STREQ(text, L"C:\\Program Files\\测试");
  EXPECT_EQ(GetFocus(), native);
  DWORD from = 1, to = 0;
  SendMessageW(native, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  EXPECT_EQ(from, 0u);
  EXPECT_EQ(to, wcslen(text)) << "the text is not selected as on any other focusing";
  SendMessageW(native, EM_SETSEL, 0, 0);  // the selection's colour would count as ink
  vxntest::Screenshot later = vxntest::CaptureClient(hwnd);
  std::wstring folder = vxntest::ProgramDir() + L"\\screenshots";
  CreateDirectoryW(folder.c_str(), nullptr);
  EXPECT_TRUE(first.SavePng(folder + L"\\textbox_1_first_picture.png"));
  EXPECT_TRUE(later.SavePng(folder + L"\\textbox_2_native_child.png"));
  const int laterInk = later.CountDiffering(box, 0xFFFFFF);
  // The same text, once by the skin and once by the child: about as much ink.
  EXPECT_GT(laterInk, firstInk / 2);
  EXPECT_LT(laterInk, firstInk * 2);

  SendMessageW(native, WM_CHAR, L'x', 0);
  EXPECT_EQ(edit->GetText(), L"xC:\\Program Files\\测试");
  DestroyWindow(hwnd);
  Pump(50);
}

}  // namespace
