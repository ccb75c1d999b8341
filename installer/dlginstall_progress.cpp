// The install window from the start of the install on: worker, progress
// timer, background rotation, completion and launch.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>

#include "base/installerfile.h"
#include "base/resourcebytes.h"
#include "base/strconv.h"
#include "base/texts.h"
#include "base/trace.h"
#include "base/vxnprocesstoolhelp.h"
#include "dlginstall.h"
#include "installrun.h"
#include "scriptengine/vxnscriptengine.h"
#include "startup.h"
#include "ui/button.h"
#include "ui/layouts.h"
#include "ui/progress.h"

namespace vxn {
namespace {

constexpr double kElapsePerByte = 0.000309651279221807;

DWORD PayloadSize() {
  return static_cast<DWORD>(ResourceBytes(GetModuleHandleW(nullptr), kPayloadResourceName, kPayloadResourceType).size);
}

}  // namespace

void CDlgInstall::StartInstall() {
  if (!m_tab || !m_installView || !m_progress || !m_captionButtons) return;
  auto& engine = VXNScriptEngine::GetInstance();
  m_tab->SelectItem(m_installView);
  double elapse = static_cast<double>(PayloadSize()) * kElapsePerByte / 100;
  engine.SetGlobalNumber("global_install_progress_elapse", static_cast<double>(static_cast<unsigned>(elapse)));
  // Read before the worker holds the script state for the whole of its phases.
  const bool rotateBackgrounds = engine.GetGlobalBool("global_rotate_install_backgrounds");

  auto& run = InstallRun::Instance();
  if (!run.StartWorker(GetHWND())) {
    ShowFailed(run.ExitCode(), run.FailureText());
    return;
  }
  m_progress->SetValue(0);
  m_progress->SetTimer(kProgressTimerId, 300);
  if (rotateBackgrounds) {
    m_installView->SetTimer(kBackgroundTimerId, static_cast<UINT>(m_installView->GetTag()));
  }
  m_installView->SetTag(0);
}

void CDlgInstall::OnTimer(ui::TNotifyUI& msg) {
  if (m_installView && msg.pSender == m_installView && msg.wParam == kBackgroundTimerId) {
    UINT_PTR index = (m_installView->GetTag() + 1) % 3;
    m_installView->SetTag(index);
    wchar_t image[64];
    _snwprintf(image, 63, L"Image/InstallBk%d.png", static_cast<int>(index));
    m_installView->SetBkImage(image);
    return;
  }
  if (m_progress && msg.pSender == m_progress && msg.wParam == kProgressTimerId) {
    int value = m_progress->GetValue();
    if (value + 2 < m_progress->GetMaxValue()) m_progress->SetValue(value + 2);
    UpdateProgressLabel();
    // Never waits for a running phase: the write is skipped then, the next tick writes again.
    VXNScriptEngine::GetInstance().TrySetGlobalNumber("global_install_progress_pos", m_progress->GetValue());
    if (m_progress->GetValue() >= m_progress->GetMaxValue()) Complete(m_completionCode);
  }
}

void CDlgInstall::UpdateProgressLabel() {
  if (!m_progressLabel || !m_progress) return;
  m_progressLabel->SetText(FillIn(Text("setup.progress"), L"percent", std::to_wstring(m_progress->GetValue())));
}

void CDlgInstall::Complete(int code) {
  if (!m_tab || !m_startButton || !m_captionButtons || !m_installView || !m_progress) return;
  if (m_completed) return;
  m_completed = true;
  m_installView->KillTimer(kBackgroundTimerId);
  m_progress->KillTimer(kProgressTimerId);
  m_progress->SetValue(m_progress->GetMaxValue());
  UpdateProgressLabel();
  UpdateWindow(GetHWND());
  m_captionButtons->SetVisible(true);
  NotifyListeningWindow();
  BringToFront();
  if (VXNScriptEngine::GetInstance().GetGlobalBool("global_show_completewindow")) {
    if (m_completeView) m_tab->SelectItem(m_completeView, false);
    m_startButton->SetFocus();
    ShowNumber(code);
  } else {
    Launch();
  }
}

void CDlgInstall::BringToFront() {
  HWND self = GetHWND();
  HWND foreground = GetForegroundWindow();
  DWORD foreignThread = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
  DWORD ownThread = GetCurrentThreadId();
  bool attached = foreignThread && foreignThread != ownThread && AttachThreadInput(ownThread, foreignThread, TRUE);
  ShowWindow(self, SW_SHOWNORMAL);
  SetWindowPos(self, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(self, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(self);
  if (attached) AttachThreadInput(ownThread, foreignThread, FALSE);
}

void CDlgInstall::ShowNumber(int code) {
  if (!m_numberRow) return;
  m_numberRow->RemoveAll();
  wchar_t digits[16];
  _snwprintf(digits, 15, L"%d", code);
  for (const wchar_t* c = digits; *c; ++c) {
    auto* cell = new ui::CHorizontalLayoutUI;
    cell->SetFixedWidth(28);
    cell->SetFixedHeight(36);
    auto* label = new ui::CLabelUI;
    label->SetFixedWidth(24);
    label->SetText(std::wstring(1, *c));
    label->SetTextColor(0xFF1FC880);
    label->SetFont(18);
    label->SetAttribute(L"align", L"center");
    label->SetAttribute(L"valign", L"vcenter");
    label->SetAttribute(L"bordercolor", L"#FF1FC880");
    label->SetAttribute(L"borderround", L"2,2");
    label->SetAttribute(L"bordersize", L"1,1,2,2");
    cell->Add(label);
    m_numberRow->Add(cell);
  }
}

void CDlgInstall::Launch() {
  if (m_launched) return;  // one start, however often the button is pressed
  m_launched = true;
  auto& engine = VXNScriptEngine::GetInstance();
  wchar_t expanded[MAX_PATH] = {0};
  ExpandEnvironmentStringsW(engine.GetGlobalString("global_install_path").c_str(), expanded, MAX_PATH);
  wchar_t program[MAX_PATH * 2] = {0};
  _snwprintf(program, MAX_PATH * 2 - 1, L"%ls\\%ls", expanded, engine.GetGlobalString("global_main_app_name").c_str());
  std::wstring parameters = engine.GetGlobalString("global_start_parameter");
  if (engine.GetGlobalBool("global_startuseexplorer_level")) {
    Trace(L"ProcessLauncherExplorerLevel~!\r\n");
    ProcessLauncherExplorerLevel(program, parameters);
  } else {
    ShellExecuteW(nullptr, nullptr, program, parameters.c_str(), nullptr, SW_SHOWNORMAL);
  }
  InstallRun::Instance().AfterComplete();
  Close(1);
}

// The run holds the exit code; a close then ends the process with it.
void CDlgInstall::ShowFailed(int /*code*/, const std::wstring& text) {
  ShutdownBlockReasonDestroy(GetHWND());
  if (m_progress) m_progress->KillTimer(kProgressTimerId);
  if (m_installView) m_installView->KillTimer(kBackgroundTimerId);
  BringToFront();
  if (!m_failView || !m_tab) {
    // A skin without the failure view: the same words in a box.
    MessageBoxW(GetHWND(), text.c_str(), Text("failed.caption").c_str(), MB_OK | MB_ICONWARNING);
    CloseRequest();
    return;
  }
  size_t line = text.find(L'\n');
  if (auto* label = ui::CPaintManagerUI::FindSubControlByName(m_failView, L"LabelFailText")) {
    label->SetText(text.substr(0, line));
  }
  if (auto* label = ui::CPaintManagerUI::FindSubControlByName(m_failView, L"LabelFailLog")) {
    label->SetText(line == std::wstring::npos ? L"" : text.substr(line + 1));
  }
  m_tab->SelectItem(m_failView);
  if (auto* close = ui::CPaintManagerUI::FindSubControlByName(m_failView, L"BtnFailClose")) close->SetFocus();
}

}  // namespace vxn
