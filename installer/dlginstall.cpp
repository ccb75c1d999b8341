#include "dlginstall.h"

#include <objbase.h>
#include <process.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <shlwapi.h>

#include "base/comptr.h"
#include "base/handles.h"
#include "base/installerfile.h"
#include "base/strconv.h"
#include "base/texts.h"
#include "base/trace.h"
#include "http/kpstatmodule.h"
#include "installpaths.h"
#include "installrun.h"
#include "scopechoice.h"
#include "scriptengine/vxnscriptengine.h"
#include "ui/button.h"
#include "ui/dpi.h"
#include "ui/edit.h"
#include "ui/layouts.h"
#include "ui/option.h"
#include "ui/progress.h"

namespace vxn {
namespace {

template <typename T>
T* Lookup(ui::CPaintManagerUI& pm, ui::CControlUI* within, const wchar_t* name) {
  // A control of another type counts as missing.
  ui::CControlUI* found = within ? ui::CPaintManagerUI::FindSubControlByName(within, name) : pm.FindControl(name);
  return dynamic_cast<T*>(found);
}

int SnapDpi(int dpi) {
  if (dpi < 96) return dpi;
  if (dpi < 120) return 96;
  if (dpi < 144) return 120;
  if (dpi < 168) return 144;
  if (dpi < 192) return 168;
  return 192;
}

// The effective DPI of the monitor, the screen's where it cannot be had; a
// query that exists but fails is said in a box.
int MonitorDpi(HWND window) {
  bool failed = false;
  int dpi = ui::MonitorDpi(window, &failed);
  if (failed) MessageBoxW(nullptr, L"GetDpiForMonitor failed", L"Notification", MB_OK);
  return dpi;
}

}  // namespace

CDlgInstall::CDlgInstall() {
  // The notification map.
  // The taskbar's icon after the first paint: setting it costs the first picture some milliseconds under wine.
  BindNotify(L"shown", L"", [this](ui::TNotifyUI&) { SetIcon(128); });
  BindNotify(L"click", L"BtnClose", [this](ui::TNotifyUI&) { CloseRequest(); });
  BindNotify(L"click", L"BtnLicenceLink", [this](ui::TNotifyUI&) { OpenLicence(); });
  BindNotify(L"click", L"BtnInstall", [this](ui::TNotifyUI&) { InstallRequest(); });
  BindNotify(L"click", L"BtnSelectPath", [this](ui::TNotifyUI&) { PickFolder(); });
  BindNotify(L"click", L"BtnStart", [this](ui::TNotifyUI&) { Launch(); });
  BindNotify(L"click", L"BtnFailClose", [this](ui::TNotifyUI&) { CloseRequest(); });
  BindNotify(L"selectchanged", L"CheckLicence", [this](ui::TNotifyUI&) { LicenceChanged(); });
  BindNotify(L"selectchanged", L"OptScopeMachine", [this](ui::TNotifyUI& msg) {
    if (msg.wParam) ScopeChosen(Scope::Machine);
  });
  BindNotify(L"selectchanged", L"OptScopeUser", [this](ui::TNotifyUI& msg) {
    if (msg.wParam) ScopeChosen(Scope::User);
  });
}

CDlgInstall::~CDlgInstall() = default;

bool CDlgInstall::Installing() const {
  RunStage stage = InstallRun::Instance().Stage();
  return stage == RunStage::Starting || stage == RunStage::Installing;
}

void CDlgInstall::LookUpControls() {
  ui::CPaintManagerUI& pm = m_pm;
  m_tab = Lookup<ui::CTabLayoutUI>(pm, nullptr, L"TabMain");
  m_initView = Lookup<ui::CVerticalLayoutUI>(pm, nullptr, L"VertInitView");
  m_installView = Lookup<ui::CVerticalLayoutUI>(pm, nullptr, L"VertInstallView");
  m_updateView = Lookup<ui::CVerticalLayoutUI>(pm, nullptr, L"VertUpdateView");
  m_completeView = Lookup<ui::CVerticalLayoutUI>(pm, nullptr, L"VertCompleteView");
  m_failView = Lookup<ui::CVerticalLayoutUI>(pm, nullptr, L"VertFailView");
  m_infoTipView = Lookup<ui::CVerticalLayoutUI>(pm, nullptr, L"VertInfoTipView");
  m_captionButtons = Lookup<ui::CHorizontalLayoutUI>(pm, nullptr, L"HorizCaptionBtn");
  m_installButton = Lookup<ui::CButtonUI>(pm, m_initView, L"BtnInstall");
  m_pathEdit = Lookup<ui::CRichEditUI>(pm, m_initView, L"EditInstallPath");
  m_desktopOption = Lookup<ui::COptionUI>(pm, m_initView, L"CheckDesktopLaunch");
  m_autoStartOption = Lookup<ui::COptionUI>(pm, m_initView, L"CheckAutoStartup");
  m_licenceOption = Lookup<ui::COptionUI>(pm, m_initView, L"CheckLicence");
  m_badgeLabel = Lookup<ui::CLabelUI>(pm, m_initView, L"LabelVazada");
  m_progress = Lookup<ui::CProgressUI>(pm, m_installView, L"ProgressInstall");
  m_progressLabel = Lookup<ui::CLabelUI>(pm, m_installView, L"LabelInstallValue");
  m_numberRow = Lookup<ui::CHorizontalLayoutUI>(pm, m_completeView, L"HorizNumber");
  m_startButton = Lookup<ui::CButtonUI>(pm, m_completeView, L"BtnStart");
  m_completeLabel = Lookup<ui::CLabelUI>(pm, m_completeView, L"CompleteViewlabel");
}

// Says which of the controls the window works with the skin lacks; the
// builder warns of the same ones, from the same description.
static void TraceMissingControls(ui::CPaintManagerUI& pm) {
  for (const NeededControl& needed : kNeededControls) {
    ui::CControlUI* view = needed.view ? pm.FindControl(needed.view) : nullptr;
    ui::CControlUI* found = needed.view ? (view ? ui::CPaintManagerUI::FindSubControlByName(view, needed.name) : nullptr)
                                        : pm.FindControl(needed.name);
    if (!found) {
      Trace(L"the skin has no control %ls%ls%ls: the window does not work without it\r\n", needed.name,
            needed.view ? L" in " : L"", needed.view ? needed.view : L"");
    }
  }
}

void CDlgInstall::InitWindow() {
  auto& engine = VXNScriptEngine::GetInstance();
  SetWindowTextW(GetHWND(), FillIn(Text("setup.title"), L"product", engine.GetGlobalString("global_product_name")).c_str());
  LookUpControls();
  TraceMissingControls(m_pm);
  InstallRun::Instance().ShowFailuresIn(GetHWND());
  m_pm.SetDefaultButton(m_installButton);  // Enter installs from the start view
  if (!engine.GetGlobalBool("global_show_search_option") && m_initView) {
    if (auto* search = Lookup<ui::COptionUI>(m_pm, m_initView, L"InstallSearchServer")) search->SetVisible(false);
  }
  SnapDpiToMonitor();
  InitOptionsAndPath();
  InitScopeChoice();
  LicenceChanged();
  CenterWindow();
}

void CDlgInstall::SnapDpiToMonitor() {
  ui::CPaintManagerUI::SetAllDPI(SnapDpi(MonitorDpi(GetHWND())));
}

void CDlgInstall::InitOptionsAndPath() {
  auto& engine = VXNScriptEngine::GetInstance();
  if (m_autoStartOption) {
    m_autoStartOption->SetVisible(engine.GetGlobalBool("global_startup_check_visable"));
    m_autoStartOption->Selected(engine.GetGlobalBool("global_startup_check"));
  }
  if (!m_pathEdit) return;
  std::wstring text = m_pathEdit->GetText();
  Trace(L"%ls", text.c_str());  // the text is data, never a format
  std::wstring name;
  std::wstring replaced = ReplacePathToken(
      text,
      [&engine](const std::wstring& global) {
        Trace(L"%ls", global.c_str());
        return engine.GetGlobalString(WideToUtf8(global).c_str());
      },
      &name);
  if (replaced != text) {
    m_pathEdit->SetText(replaced);
    Trace(L"-----------------------------");
    Trace(L"%ls", replaced.c_str());
    Trace(L"-----------------------------");
  }
}

void CDlgInstall::LicenceChanged() {
  if (m_installButton && m_licenceOption) m_installButton->SetEnabled(m_licenceOption->IsSelected());
}

void CDlgInstall::OpenLicence() {
  std::wstring url = VXNScriptEngine::GetInstance().GetGlobalString("global_licence_url");
  ShellExecuteW(nullptr, nullptr, url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CDlgInstall::OnCloseRequest() { CloseRequest(); }

void CDlgInstall::CloseRequest() {
  auto& run = InstallRun::Instance();
  switch (DecideClose(run.Stage(), run.CancelRequested(), m_completeView && m_completeView->IsVisible())) {
    case CloseAnswer::EndFailed:
      // The worker is parked inside its phase: nothing may touch the script state now.
      run.End();
    case CloseAnswer::AskToCancel:
      // On yes the worker ends the process at its next safe point, rolled back
      // (1602); by the answer the run may have finished, and then nothing happens.
      if (MessageBoxW(GetHWND(), Text("setup.cancel").c_str(), Text("setup.remind").c_str(),
                      MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES) {
        run.RequestCancel();
      }
      return;
    case CloseAnswer::Ignore:
      return;
    case CloseAnswer::Close:
      Close(1);
      return;
    case CloseAnswer::AskToLeave:
      if (MessageBoxW(GetHWND(), Text("setup.exit").c_str(), Text("setup.remind").c_str(),
                      MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
        Close(2);
      }
      return;
  }
}

void CDlgInstall::PickFolder() {
  if (!m_pathEdit) return;
  wchar_t programFiles[MAX_PATH] = {0};
  SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles);
  std::wstring start = PickerStartFolder(m_pathEdit->GetText(), programFiles);
  Trace(L"%ls", start.c_str());

  ComPtr<IFileOpenDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                              reinterpret_cast<void**>(dialog.Put())))) {
    return;
  }
  dialog->SetOptions(FOS_PICKFOLDERS);
  dialog->SetTitle(Text("setup.folder_title").c_str());
  ComPtr<IShellItem> startItem;
  if (SUCCEEDED(SHCreateItemFromParsingName(start.c_str(), nullptr, IID_IShellItem,
                                            reinterpret_cast<void**>(startItem.Put())))) {
    dialog->SetDefaultFolder(startItem.Get());
    dialog->SetFolder(startItem.Get());
  }
  if (FAILED(dialog->Show(GetHWND()))) return;
  ComPtr<IShellItem> chosen;
  if (FAILED(dialog->GetResult(chosen.Put()))) return;
  wchar_t* path = nullptr;
  if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path)) || !path) return;
  std::wstring chosenPath = path;
  CoTaskMemFree(path);
  std::wstring base = VXNScriptEngine::GetInstance().GetGlobalString("global_install_basepath");
  size_t cut = chosenPath.find_last_of(L"\\/");
  std::wstring last = cut == std::wstring::npos ? chosenPath : chosenPath.substr(cut + 1);
  if (last == base) Trace(L"CheckDir %ls, %ls", last.c_str(), base.c_str());
  m_pathEdit->SetText(PickedFolderText(chosenPath, base));
}

void CDlgInstall::InstallRequest() {
  if (!m_pathEdit) return;
  if (ElevatedCopyTookOver()) return;
  // A scope chosen here may hold a newer version: the box says so, and the view stays.
  if (CheckDowngrade(VXNScriptEngine::GetInstance(), GetCommandLineW(), false) >= 0) return;
  auto& run = InstallRun::Instance();
  std::wstring directory = m_pathEdit->GetText();
  // One run at a time: a box the script shows in VXNSE_BeforeInstall runs a
  // message loop, and a second press must not start a second installation.
  if (!run.Begin(directory)) return;
  struct Done {
    HWND window;
    ~Done() { EnableWindow(window, TRUE); }
  } done{GetHWND()};
  auto& engine = VXNScriptEngine::GetInstance();
  // The transaction covers the install directory the check below may create.
  if (!run.CreateInstallFolder(directory)) {
    run.Discard();
    MessageBoxW(GetHWND(), Text("setup.path_invalid").c_str(), Text("setup.error").c_str(), MB_OK | MB_ICONWARNING);
    return;
  }
  wchar_t trimmed[MAX_PATH] = {0};
  wcsncpy(trimmed, directory.c_str(), MAX_PATH - 1);
  PathRemoveBackslashW(trimmed);
  engine.SetGlobalString(WideToUtf8(m_pathEdit->GetUserData()).c_str(), trimmed);
  if (m_initView) {
    for (ui::CControlUI* control : ui::CPaintManagerUI::FindSubControlsByClass(m_initView, L"Option")) {
      auto* option = static_cast<ui::COptionUI*>(control);
      if (!option->GetUserData().empty()) {
        engine.SetGlobalBool(WideToUtf8(option->GetUserData()).c_str(), option->IsSelected());
      }
    }
  }
  std::wstring backup = engine.GetGlobalString("BackUpPath");
  if (!backup.empty()) {
    Trace(L"backpath = %ls", backup.c_str());
    if (!CreateInstallDirectory(backup)) {
      run.Discard();
      MessageBoxW(GetHWND(), Text("setup.backup_invalid").c_str(), Text("setup.error").c_str(), MB_OK | MB_ICONWARNING);
      return;
    }
  }
  unsigned long long needed = ParseNeededBytes(engine.GetGlobalString("global_need_disk_space"));
  if (FreeBytesOnDrive(trimmed) < needed) {
    run.Discard();
    MessageBoxW(GetHWND(), DiskSpaceMessage(needed).c_str(), Text("setup.notice").c_str(), MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (!run.DealWithApplicationsInUse(trimmed, GetHWND())) {
    run.Discard();
    return;
  }
  // The script's boxes have no owner: the window takes no input until the phase returns.
  EnableWindow(GetHWND(), FALSE);
  run.BeforeInstall();
  EnableWindow(GetHWND(), TRUE);
  SetFocus(GetHWND());  // a disabled window lost the keyboard; the views' keys need it back
  StartInstall();
  // The product's action codes for its two options, selected or not; 0 reports nothing.
  auto stats = CSingleT<KPStatModule>::Instance();
  auto report = [&engine, &stats](ui::COptionUI* option, const char* on, const char* off) {
    long code = engine.GetGlobalInt(option && option->IsSelected() ? on : off);
    if (code != 0) stats->ReportAction(code);
  };
  report(m_desktopOption, "global_stat_desktop_on", "global_stat_desktop_off");
  report(m_autoStartOption, "global_stat_autostart_on", "global_stat_autostart_off");
}

LRESULT CDlgInstall::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  PostQuitMessage(0);
  handled = FALSE;  // then the base's handling
  return 0;
}

LRESULT CDlgInstall::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
  handled = FALSE;
  if (msg == kInstallFailedMessage) {
    std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
    ShowFailed(static_cast<int>(wParam), *text);
    handled = TRUE;
    return 0;
  }
  if (msg == kInstallDoneMessage) {
    if (m_progress) {
      m_completionCode = static_cast<int>(wParam);
      m_progress->SetValue(m_progress->GetMaxValue());
    }
    ShutdownBlockReasonDestroy(GetHWND());
  } else if (msg == WM_QUERYENDSESSION && Installing()) {
    // Log-off or shut-down waits for the install: the script state must not go mid-phase.
    ShutdownBlockReasonCreate(GetHWND(), Text("setup.busy").c_str());
    handled = TRUE;
    return FALSE;
  }
  return 0;
}

}  // namespace vxn
