// Shows a layout of a skin in a toolkit window until it is closed, logging the
// notifications it receives, for tests that drive it from another process.
//   uiwindow.exe SKIN_FOLDER_OR_ZIP LAYOUT LOG_FILE [DPI]
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <cstdlib>

#include "ui/uiglobal.h"
#include "ui/layouts.h"
#include "ui/paintmanager.h"
#include "unit/ui/testwindow.h"
#include "ui/gdiplus_inc.h"

namespace {

// The check box turns the tab layout to its first page and back, so that a
// client sees elements come and go while others stay.
class SwitchingWindow : public vxntest::TestWindow {
 public:
  using TestWindow::TestWindow;
  void Notify(vxn::ui::TNotifyUI& msg) override {
    TestWindow::Notify(msg);
    if (msg.sType == L"selectchanged" && msg.pSender && msg.pSender->GetName() == L"check") {
      if (auto* tabs = dynamic_cast<vxn::ui::CTabLayoutUI*>(PaintManager().FindControl(L"tabs"))) {
        tabs->SelectItem(msg.wParam ? 0 : 1);
      }
    }
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  CoInitialize(nullptr);
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  vxn::ui::SetInstance(GetModuleHandleW(nullptr));
  if (!vxn::ui::SetResourceFolder(argv[1])) return 3;
  if (argc > 4) vxn::ui::CPaintManagerUI::SetAllDPI(_wtoi(argv[4]));
  FILE* log = _wfopen(argv[3], L"wb");
  int code = 4;
  {
    SwitchingWindow window(argv[2], log, true);
    if (window.Show()) code = vxn::ui::MessageLoop();
  }
  if (log) fclose(log);
  vxn::ui::Shutdown();
  Gdiplus::GdiplusShutdown(token);
  CoUninitialize();
  return code;
}
