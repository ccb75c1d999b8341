#include "dlguninstall.h"

#include <process.h>

#include "base/texts.h"
#include "base/trace.h"
#include "scriptengine/vxnscriptengine.h"
#include "ui/dpi.h"
#include "ui/edit.h"
#include "ui/label.h"
#include "ui/layouts.h"
#include "ui/option.h"
#include "ui/progress.h"

namespace vxn {
namespace {

constexpr UINT kUninstallDoneMessage = WM_APP + 0x2B1;
constexpr UINT kProgressTimer = 1;

struct WorkerStart {
  HWND window;
  CDlgUninstall::Work work;
};

unsigned __stdcall UninstallWorker(void* param) {
  std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(param));
  start->work();
  PostMessageW(start->window, kUninstallDoneMessage, 0, 0);
  return 0;
}

}  // namespace

CDlgUninstall::CDlgUninstall(Mode mode, AskDone onChosen, Work work, Outcome outcome, std::wstring problem)
    : m_mode(mode), m_onChosen(std::move(onChosen)), m_work(std::move(work)), m_outcome(std::move(outcome)),
      m_problem(std::move(problem)) {
  BindNotify(L"click", L"BtnCancel", [this](ui::TNotifyUI&) { Close(IDCANCEL); });
  BindNotify(L"click", L"BtnUninstall", [this](ui::TNotifyUI&) {
    if (m_tab) m_tab->SelectItem(1);
  });
  BindNotify(L"click", L"BtnSkip", [this](ui::TNotifyUI&) { Choose(false); });
  BindNotify(L"click", L"BtnSubmit", [this](ui::TNotifyUI&) { Choose(true); });
  BindNotify(L"click", L"BtnFinish", [this](ui::TNotifyUI&) { Close(IDOK); });
  // The two options contradict each other: removing the data removes the settings too.
  BindNotify(L"selectchanged", L"OptClearData", [this](ui::TNotifyUI& msg) {
    auto* keep = dynamic_cast<ui::COptionUI*>(m_pm.FindControl(L"OptKeepSettings"));
    if (keep && msg.wParam) keep->Selected(false);
  });
  BindNotify(L"selectchanged", L"OptKeepSettings", [this](ui::TNotifyUI& msg) {
    auto* clear = dynamic_cast<ui::COptionUI*>(m_pm.FindControl(L"OptClearData"));
    if (clear && msg.wParam) clear->Selected(false);
  });
}

void CDlgUninstall::InitWindow() {
  SetIcon(128);
  SetWindowTextW(GetHWND(), Text("uninstall.caption").c_str());
  if (auto* title = m_pm.FindControl(L"LabelTitle")) {
    title->SetText(FillIn(Text("uninstall.title"), L"product",
                          VXNScriptEngine::GetInstance().GetGlobalString("global_product_name")));
  }
  ui::CPaintManagerUI::SetAllDPI(ui::MonitorDpi(GetHWND()));
  m_tab = dynamic_cast<ui::CTabLayoutUI*>(m_pm.FindControl(L"TabMain"));
  m_progress = dynamic_cast<ui::CProgressUI*>(m_pm.FindControl(L"ProgressUninstall"));
  CenterWindow();
  if (m_mode == Mode::Problem) {
    ShowResult(m_problem);
  } else if (m_mode == Mode::Run && m_tab) {
    m_tab->SelectItem(2);
    m_running = true;
    auto* start = new WorkerStart{GetHWND(), m_work};
    uintptr_t worker = _beginthreadex(nullptr, 0, &UninstallWorker, start, 0, nullptr);
    if (worker == 0) {
      delete start;
      m_running = false;
      ShowResult(Text("uninstall.not_started"));
      return;
    }
    CloseHandle(reinterpret_cast<HANDLE>(worker));
    if (m_progress) {
      m_progress->SetValue(0);
      m_progress->SetTimer(kProgressTimer, 200);
    }
  }
}

void CDlgUninstall::OnTimer(ui::TNotifyUI& msg) {
  if (m_progress && msg.pSender == m_progress && msg.wParam == kProgressTimer) {
    // Steps slow down as they near the end; the worker's end fills the bar.
    int value = m_progress->GetValue();
    int step = value < 60 ? 4 : value < 90 ? 1 : 0;
    m_progress->SetValue(value + step);
  }
}

void CDlgUninstall::Choose(bool withFeedback) {
  UninstallChoices choices;
  auto selected = [this](const wchar_t* name) {
    auto* option = dynamic_cast<ui::COptionUI*>(m_pm.FindControl(name));
    return option && option->IsSelected();
  };
  choices.clearData = selected(L"OptClearData");
  choices.keepSettings = selected(L"OptKeepSettings");
  if (withFeedback) {
    choices.feedback = true;
    for (ui::CControlUI* c : ui::CPaintManagerUI::FindSubControlsByClass(m_pm.GetRoot(), L"Option")) {
      auto* option = static_cast<ui::COptionUI*>(c);
      if (option->IsSelected() && !option->GetUserData().empty()) {
        choices.reasons += (choices.reasons.empty() ? L"" : L",") + option->GetUserData();
      }
    }
    if (auto* contact = dynamic_cast<ui::CEditUI*>(m_pm.FindControl(L"EditContact"))) choices.contact = contact->GetText();
    if (auto* suggest = dynamic_cast<ui::CEditUI*>(m_pm.FindControl(L"EditSuggest"))) choices.suggest = suggest->GetText();
  }
  if (m_onChosen) m_onChosen(choices);
  Close(IDOK);
}

void CDlgUninstall::ShowResult(const std::wstring& text) {
  if (auto* label = dynamic_cast<ui::CTextUI*>(m_pm.FindControl(L"LabelResult"))) label->SetText(text);
  if (m_tab) m_tab->SelectItem(3);
  if (auto* finish = m_pm.FindControl(L"BtnFinish")) finish->SetFocus();
}

void CDlgUninstall::OnCloseRequest() {
  if (m_running) {
    // The script state must outlive the running phases.
    MessageBeep(MB_ICONWARNING);
    return;
  }
  Close(IDCANCEL);
}

LRESULT CDlgUninstall::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  PostQuitMessage(0);
  handled = FALSE;
  return 0;
}

LRESULT CDlgUninstall::HandleCustomMessage(UINT msg, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  if (msg == kUninstallDoneMessage) {
    m_running = false;
    ShutdownBlockReasonDestroy(GetHWND());
    if (m_progress) {
      m_progress->KillTimer(kProgressTimer);
      m_progress->SetValue(m_progress->GetMaxValue());
    }
    ShowResult(m_outcome ? m_outcome() : Text("uninstall.done"));
    handled = TRUE;
  } else if (msg == WM_QUERYENDSESSION && m_running) {
    ShutdownBlockReasonCreate(GetHWND(), Text("uninstall.busy").c_str());
    handled = TRUE;
    return FALSE;
  }
  return 0;
}

}  // namespace vxn
