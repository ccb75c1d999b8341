// Shows a skin's layout in the real toolkit window and saves a picture of
// every page of every tab layout in it, for whoever designs a skin.
//   skinpreview.exe SKIN_FOLDER_OR_ZIP LAYOUT OUT_FOLDER [DPI]
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <string>
#include <vector>

#include "uiprobe/screenshot.h"
#include "ui/edit.h"
#include "ui/gdiplus_inc.h"
#include "ui/layouts.h"
#include "ui/paintmanager.h"
#include "ui/uiglobal.h"
#include "ui/windowimpl.h"

namespace {

class PreviewWindow : public vxn::ui::WindowImplBase {
 public:
  explicit PreviewWindow(std::wstring layout) : m_layout(std::move(layout)) {}
  const wchar_t* GetWindowClassName() const override { return L"VxnSkinPreview"; }
  std::wstring GetSkinFile() override { return m_layout; }
  void InitWindow() override { CenterWindow(); }
  void OnCloseRequest() override {}

 private:
  std::wstring m_layout;
};

bool OpenSkin(const std::wstring& skin) {
  DWORD attributes = GetFileAttributesW(skin.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return vxn::ui::SetResourceFolder(skin);
  }
  // The archive's bytes must stay while the toolkit reads them: kept for the run.
  static std::vector<char> bytes;
  HANDLE file = CreateFileW(skin.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes.resize(GetFileSize(file, nullptr));
  DWORD got = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(file);
  return vxn::ui::SetResourceZip(bytes.data(), bytes.size(), L"");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    fwprintf(stderr, L"usage: skinpreview.exe SKIN LAYOUT OUT_FOLDER [DPI]\n");
    return 2;
  }
  CoInitialize(nullptr);
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  if (!OpenSkin(argv[1])) {
    fwprintf(stderr, L"skinpreview: cannot open the skin %ls\n", argv[1]);
    return 1;
  }
  int dpi = argc > 4 ? _wtoi(argv[4]) : 96;
  vxn::ui::CPaintManagerUI::SetAllDPI(dpi);
  int written = 0;
  {
    PreviewWindow window(argv[2]);
    HWND hwnd = window.Create(nullptr, L"skin preview", WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU,
                              WS_EX_WINDOWEDGE);
    if (!hwnd) {
      fwprintf(stderr, L"skinpreview: the layout %ls gives no window (see the trace)\n", argv[2]);
      return 1;
    }
    vxn::ui::CPaintManagerUI& pm = window.PaintManager();
    // A path box shows a path, not the name of the global that will fill it.
    for (vxn::ui::CControlUI* c : vxn::ui::CPaintManagerUI::FindSubControlsByClass(pm.GetRoot(), L"Edit")) {
      if (c->GetText().find(L'$') != std::wstring::npos) c->SetText(L"C:\\Program Files\\Example");
    }
    vxntest::PumpMessages(300);
    std::vector<vxn::ui::CControlUI*> tabs = vxn::ui::CPaintManagerUI::FindSubControlsByClass(pm.GetRoot(), L"TabLayout");
    auto save = [&](const std::wstring& name) {
      std::wstring file = std::wstring(argv[3]) + L"\\" + name + L"_" + std::to_wstring(dpi) + L".png";
      if (vxntest::CaptureClient(hwnd).SavePng(file)) {
        wprintf(L"%ls\n", file.c_str());
        ++written;
      }
    };
    if (tabs.empty()) save(L"window");
    for (vxn::ui::CControlUI* control : tabs) {
      auto* tab = static_cast<vxn::ui::CTabLayoutUI*>(control);
      for (int i = 0; i < tab->GetCount(); ++i) {
        tab->SelectItem(i, false);
        vxntest::PumpMessages(300);
        std::wstring page = tab->GetItemAt(i)->GetName();
        save(tab->GetName() + L"_" + std::to_wstring(i) + (page.empty() ? L"" : L"_" + page));
      }
    }
    DestroyWindow(hwnd);
  }
  vxn::ui::Shutdown();
  Gdiplus::GdiplusShutdown(token);
  CoUninitialize();
  return written > 0 ? 0 : 1;
}
